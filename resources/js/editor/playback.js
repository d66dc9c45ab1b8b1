// Playback and seeking, and loading a clip into the preview's player.
import { Ov } from './libs.js';
import { $, clamp, fmtTime, num } from './helpers.js';
import { duration, noteChange, state } from './state.js';
import { showToast } from './messages.js';
import { layoutStage, renderPreview } from './preview.js';
import { renderTimeline, updatePlayhead } from './timeline.js';

let rafId = 0;
let lastTick = 0;

export function setTime(t, fromVideo) {
  const D = duration();
  state.time = clamp(Number.isFinite(t) ? t : 0, 0, D > 0 ? D : 0);
  const v = $('video');
  if (!fromVideo && v.src && v.readyState > 0 && Math.abs(v.currentTime - state.time) > 0.01) {
    try { v.currentTime = state.time; } catch (e) { /* not seekable yet */ }
  }
  $('time-label').textContent = `${fmtTime(state.time)} / ${fmtTime(D)}`;
  $('scrubber').value = D > 0 ? Math.round((state.time / D) * 1000) : 0;
  updatePlayhead();
  renderPreview();
}

export function seekToFraction(f) {
  setTime(clamp(f, 0, 1) * duration());
}

export function tick(now) {
  if (!state.playing) return;
  const v = $('video');
  if (state.clockPlayback) {
    const dt = lastTick ? (now - lastTick) / 1000 : 0;
    lastTick = now;
    const t = state.time + dt;
    if (t >= duration()) { setTime(duration()); pause(); return; }
    setTime(t, true);
  } else {
    setTime(v.currentTime, true);
  }
  rafId = requestAnimationFrame(tick);
}

export function play() {
  if (!(duration() > 0)) return;
  if (state.time >= duration()) setTime(0);
  state.playing = true;
  $('btn-play').textContent = '❚❚';
  $('btn-play').setAttribute('aria-label', 'Szünet');
  const v = $('video');
  const useClock = () => { state.clockPlayback = true; lastTick = 0; };
  if (v.src && !v.error) {
    state.clockPlayback = false;
    const p = v.play();
    if (p && p.catch) p.catch(() => { if (state.playing) useClock(); });
  } else {
    useClock();
  }
  cancelAnimationFrame(rafId);
  rafId = requestAnimationFrame(tick);
}

export function pause() {
  state.playing = false;
  cancelAnimationFrame(rafId);
  const v = $('video');
  if (!v.paused) v.pause();
  $('btn-play').textContent = '▶';
  $('btn-play').setAttribute('aria-label', 'Lejátszás');
}

export function loadVideo(p, okMessage) {
  if (!Ov.isPlainObject(p)) {
    showToast('Hibás videóadatok érkeztek.', 'error');
    return;
  }
  const width = num(p.width, 0), height = num(p.height, 0), dur = num(p.duration, 0);
  if (!(width > 0) || !(height > 0)) {
    showToast('A videó mérete nem olvasható.', 'error');
    return;
  }
  pause();
  state.video = { url: typeof p.url === 'string' ? p.url : '', width, height, duration: Math.max(0, dur) };
  const v = $('video');
  v.removeAttribute('src');
  forgetServedPreview();
  if (state.video.url) v.src = state.video.url;
  v.load();
  $('empty-hint').hidden = true;
  let name = '';
  try { name = decodeURIComponent(state.video.url.split('/').pop() || ''); } catch (e) { name = state.video.url.split('/').pop() || ''; }
  $('video-name').textContent = name;
  setTime(0);
  layoutStage();
  renderTimeline();
  noteChange();
  if (okMessage) showToast(okMessage, 'ok');
}

// Local files the web process cannot open itself (its sandbox mounts only some folders) are
// served by the program under its media scheme; the address the page was given stays the file:// one.
function mediaAddress(url) {
  const scheme = window.TamoMediaScheme;
  return typeof scheme === 'string' && /^[a-z][a-z0-9+.-]*$/.test(scheme) && /^file:\/\//i.test(url) ? scheme + url.slice(4) : url;
}

// The player streams only from file:, http: and blob: addresses, so a clip the sandbox hides is
// read through the scheme into memory once; beyond this size the preview is left out instead.
const SERVED_PREVIEW_LIMIT = 1024 * 1024 * 1024;
let servedPreview = { url: '', objectUrl: '' };

function forgetServedPreview() {
  if (servedPreview.objectUrl) URL.revokeObjectURL(servedPreview.objectUrl);
  servedPreview = { url: '', objectUrl: '' };
}

// True when the clip is being fetched through the scheme; false when there is nothing to try.
export function previewThroughScheme(v, url) {
  const served = mediaAddress(url);
  if (served === url || servedPreview.url === url) return false; // no scheme, or tried already
  forgetServedPreview();
  servedPreview.url = url;
  fetch(served)
    .then((r) => {
      const size = Number(r.headers.get('Content-Length'));
      if (!r.ok || size > SERVED_PREVIEW_LIMIT) throw new Error('status ' + r.status + ', ' + size + ' bytes');
      return r.blob();
    })
    .then((blob) => {
      if (!state.video || state.video.url !== url) return; // another clip came meanwhile
      servedPreview.objectUrl = URL.createObjectURL(blob);
      v.src = servedPreview.objectUrl;
      v.load();
    })
    .catch(() => {
      if (state.video && state.video.url === url) videoUnplayable();
    });
  return true;
}

export function videoUnplayable() {
  showToast('A videó nem játszható le az előnézetben; az elemek szerkesztése és az exportálás működik.', 'error');
  if (state.playing) { state.clockPlayback = true; lastTick = 0; }
}
