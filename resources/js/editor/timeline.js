// The timeline: a ruler, one track per overlay with its time window as a clip to drag or retype.
import { Captions } from './libs.js';
import { $, clamp, el, fmtTime, num } from './helpers.js';
import { duration, KIND_ICONS, KIND_LAYER, overlayLabel, state } from './state.js';
import { renderPreview } from './preview.js';
import { commit, renderLayers, select } from './layers.js';
import { renderInspector } from './inspector.js';
import { seekToFraction } from './playback.js';
import { renderSegments } from './panels.js';

function renderRuler() {
  const ruler = $('ruler');
  ruler.textContent = '';
  const D = duration();
  if (!(D > 0)) return;
  const width = ruler.clientWidth || 600;
  const steps = [0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600];
  const step = steps.find((st) => (width / D) * st >= 70) || steps[steps.length - 1];
  for (let t = 0; t <= D + 1e-9; t += step) {
    const tick = el('div', 'tick', fmtTime(t));
    tick.style.left = (t / D) * 100 + '%';
    ruler.appendChild(tick);
  }
}

export function renderTimeline() {
  const tracks = $('tracks');
  tracks.textContent = '';
  if (!state.overlays.length) {
    tracks.appendChild(el('div', 'timeline-empty', 'Az elemek időablakai itt jelennek meg.'));
  }
  for (const o of state.overlays) {
    const row = el('div', 'track' + (o.id === state.selectedId ? ' selected' : ''));
    row.dataset.id = o.id;
    const label = el('div', 'track-label');
    label.appendChild(el('span', '', KIND_ICONS[o.type] || '?'));
    label.appendChild(el('span', 'lbl', overlayLabel(o)));
    label.addEventListener('click', () => select(o.id));
    row.appendChild(label);
    const lane = el('div', 'lane');
    if (o.type in KIND_LAYER) {
      const hasWindow = o.type !== 'progressbar';
      const start = hasWindow ? clamp(num(o.timeStartPercent, 0), 0, 100) : 0;
      const end = hasWindow ? clamp(num(o.timeEndPercent, 100), 0, 100) : 100;
      const clip = el('div', 'clip k-' + o.type, hasWindow ? overlayLabel(o) : 'Teljes videó');
      clip.style.left = start + '%';
      clip.style.width = Math.max(0, end - start) + '%';
      clip.dataset.id = o.id;
      if (hasWindow) {
        const hl = el('div', 'handle l'); hl.dataset.edge = 'start';
        const hr = el('div', 'handle r'); hr.dataset.edge = 'end';
        clip.appendChild(hl);
        clip.appendChild(hr);
        clip.addEventListener('pointerdown', (e) => startClipDrag(e, o.id, lane));
        if (o.type === 'text' || o.type === 'emoji') clip.addEventListener('dblclick', () => editClipText(clip, o.id));
      }
      lane.appendChild(clip);
    }
    lane.addEventListener('pointerdown', (e) => {
      if (e.target !== lane) return;
      select(o.id);
      seekToFraction((e.clientX - lane.getBoundingClientRect().left) / lane.clientWidth);
    });
    row.appendChild(lane);
    tracks.appendChild(row);
  }
  renderRuler();
  updatePlayhead();
}

// The text of a clip edited where it is: Enter or leaving the field keeps it, Escape drops it.
function editClipText(clip, id) {
  const o = state.overlays.find((x) => x.id === id);
  if (!o) return;
  const input = el('input', 'clip-edit');
  input.type = 'text';
  input.value = o.text;
  clip.textContent = '';
  clip.appendChild(input);
  input.addEventListener('pointerdown', (e) => e.stopPropagation());
  let done = false;
  const finish = (keep) => {
    if (done) return;
    done = true;
    if (keep && input.value !== o.text) {
      o.text = input.value;
      if (Captions.isSubtitle(o) && state.segments[o.subtitleIndex]) {
        state.segments[o.subtitleIndex].text = o.text;
        renderSegments();
      }
      commit();
    } else {
      renderTimeline();
    }
  };
  input.addEventListener('keydown', (e) => {
    if (e.key === 'Enter') { e.preventDefault(); finish(true); }
    if (e.key === 'Escape') { e.preventDefault(); finish(false); }
  });
  input.addEventListener('blur', () => finish(true));
  input.focus();
  input.select();
}

function startClipDrag(e, id, lane) {
  e.preventDefault();
  e.stopPropagation();
  const o = state.overlays.find((x) => x.id === id);
  if (!o) return;
  if (state.selectedId !== id) { state.selectedId = id; renderLayers(); renderInspector(); renderPreview(); }
  const edge = e.target.dataset.edge || 'move';
  const x0 = e.clientX;
  const s0 = num(o.timeStartPercent, 0);
  const e0 = num(o.timeEndPercent, 100);
  const width = lane.clientWidth || 1;
  const target = e.currentTarget;
  try { target.setPointerCapture(e.pointerId); } catch (err) { /* synthetic events have no capture */ }
  const round = (v) => Math.round(v * 10) / 10;
  let moved = false;
  const onMove = (ev) => {
    moved = true;
    const d = ((ev.clientX - x0) / width) * 100;
    if (edge === 'start') {
      o.timeStartPercent = round(clamp(s0 + d, 0, e0));
    } else if (edge === 'end') {
      o.timeEndPercent = round(clamp(e0 + d, s0, 100));
    } else {
      const len = e0 - s0;
      const ns = clamp(s0 + d, 0, 100 - len);
      o.timeStartPercent = round(ns);
      o.timeEndPercent = round(ns + len);
    }
    const clip = lane.querySelector('.clip');
    clip.style.left = o.timeStartPercent + '%';
    clip.style.width = Math.max(0, o.timeEndPercent - o.timeStartPercent) + '%';
    renderPreview();
  };
  const onUp = () => {
    window.removeEventListener('pointermove', onMove);
    window.removeEventListener('pointerup', onUp);
    if (moved) {
      commit();
      return;
    }
    // A plain click keeps the clip element, so a second click makes a double click on it.
    for (const t of document.querySelectorAll('.track')) t.classList.toggle('selected', t.dataset.id === state.selectedId);
  };
  window.addEventListener('pointermove', onMove);
  window.addEventListener('pointerup', onUp);
}

export function updatePlayhead() {
  const body = $('timeline-body');
  const ruler = $('ruler');
  const D = duration();
  const frac = D > 0 ? clamp(state.time / D, 0, 1) : 0;
  $('playhead').style.left = ruler.offsetLeft + frac * ruler.clientWidth + 'px';
  $('playhead').hidden = !(D > 0);
  body.style.setProperty('--dummy', '0');
}
