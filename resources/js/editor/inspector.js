// The inspector: the selected overlay's fields, built from one table per kind.
import { Fonts, TimeFmt } from './libs.js';
import { $, clamp, el, hexColor } from './helpers.js';
import { duration, KIND_LABELS, selected, state } from './state.js';
import { post } from './messages.js';
import { renderPreview } from './preview.js';
import { commit, deleteSelected, renderLayers } from './layers.js';
import { renderTimeline } from './timeline.js';
import { openEmojiPicker } from './panels.js';

export const ANIM_IN_LABELS = {
  none: 'Nincs', fadeIn: 'Áttűnés', slideUp: 'Becsúszás alulról', slideDown: 'Becsúszás felülről',
  slideLeft: 'Becsúszás jobbról', slideRight: 'Becsúszás balról', zoomIn: 'Nagyítás', bounce: 'Pattogás', typewriter: 'Írógép',
};
const ANIM_OUT_LABELS = {
  none: 'Nincs', fadeOut: 'Elhalványulás', slideUp: 'Kicsúszás felfelé', slideDown: 'Kicsúszás lefelé',
  slideLeft: 'Kicsúszás balra', slideRight: 'Kicsúszás jobbra', zoomOut: 'Kicsinyítés',
};

const TIME_FIELDS = [
  { group: 'Időablak' },
  { key: 'timeStartPercent', label: 'Kezdet (mp)', type: 'seconds' },
  { key: 'timeEndPercent', label: 'Vége (mp)', type: 'seconds' },
];
const ANIM_FIELDS = [
  { group: 'Animáció' },
  { key: 'animationIn', label: 'Belépés', type: 'select', options: ANIM_IN_LABELS },
  { key: 'animationOut', label: 'Kilépés', type: 'select', options: ANIM_OUT_LABELS },
  { key: 'animationDuration', label: 'Hossz (mp)', type: 'range', min: 0, max: 5, step: 0.1 },
];
const POS_FIELDS = [
  { group: 'Pozíció' },
  { key: 'xPercent', label: 'X (%)', type: 'range', min: 0, max: 100, step: 0.1 },
  { key: 'yPercent', label: 'Y (%)', type: 'range', min: 0, max: 100, step: 0.1 },
];
const TEXT_FIELDS = [
  { group: 'Szöveg' },
  { key: 'text', label: 'Szöveg', type: 'textarea' },
  { key: 'fontFamily', label: 'Betűtípus', type: 'select', options: (current) => Fonts.options(current) },
  { key: 'fontSizePercent', label: 'Méret (a magasság %-a)', type: 'range', min: 0.5, max: 30, step: 0.1 },
  { key: 'fontColor', label: 'Szín', type: 'color' },
  { key: 'bold', label: 'Félkövér', type: 'bool' },
  { key: 'italic', label: 'Dőlt', type: 'bool' },
  { key: 'alignment', label: 'Igazítás', type: 'buttons', options: { left: 'Balra', center: 'Középre', right: 'Jobbra' } },
  { group: 'Körvonal' },
  { key: 'strokeEnabled', label: 'Körvonal', type: 'bool' },
  { key: 'strokeColor', label: 'Körvonal színe', type: 'color' },
  { key: 'strokeWidth', label: 'Vastagság (px)', type: 'range', min: 0, max: 12, step: 0.5 },
  { group: 'Háttérdoboz' },
  { key: 'bgEnabled', label: 'Háttérdoboz', type: 'bool' },
  { key: 'bgColor', label: 'Doboz színe', type: 'color' },
  { key: 'bgOpacity', label: 'Átlátszatlanság (%)', type: 'range', min: 0, max: 100, step: 1 },
  { group: 'Árnyék' },
  { key: 'shadowEnabled', label: 'Árnyék (körvonallal nem látszik)', type: 'bool' },
  { key: 'shadowColor', label: 'Árnyék színe', type: 'color' },
  { key: 'shadowBlur', label: 'Elmosás (px)', type: 'range', min: 0, max: 30, step: 0.5 },
  ...POS_FIELDS, ...TIME_FIELDS, ...ANIM_FIELDS,
];
const FIELDS = {
  text: TEXT_FIELDS,
  emoji: TEXT_FIELDS,
  image: [
    { group: 'Kép' },
    { key: 'scalePercent', label: 'Magasság (a kép %-a)', type: 'range', min: 1, max: 100, step: 0.5 },
    { key: 'opacity', label: 'Átlátszatlanság (%)', type: 'range', min: 0, max: 100, step: 1 },
    ...POS_FIELDS, ...TIME_FIELDS, ...ANIM_FIELDS,
  ],
  blur: [
    { group: 'Elmosott terület' },
    { key: 'widthPercent', label: 'Szélesség (%)', type: 'range', min: 1, max: 100, step: 0.5 },
    { key: 'heightPercent', label: 'Magasság (%)', type: 'range', min: 1, max: 100, step: 0.5 },
    { key: 'blurAmount', label: 'Erősség (px)', type: 'range', min: 0, max: 100, step: 1 },
    ...POS_FIELDS, ...TIME_FIELDS,
  ],
  progressbar: [
    { group: 'Folyamatjelző' },
    { key: 'color', label: 'Kitöltés színe', type: 'color' },
    { key: 'bgColor', label: 'Sáv színe', type: 'color' },
    { key: 'bgOpacity', label: 'Sáv átlátszatlansága (%)', type: 'range', min: 0, max: 100, step: 1 },
    { key: 'heightPercent', label: 'Vastagság (a magasság %-a)', type: 'range', min: 0.1, max: 10, step: 0.1 },
    { key: 'position', label: 'Helyzet', type: 'buttons', options: { top: 'Felül', bottom: 'Alul' } },
  ],
};

export function renderInspector() {
  const box = $('inspector');
  box.textContent = '';
  const o = selected();
  $('inspector-empty').hidden = !!o;
  if (!o) return;
  const head = el('div', 'group');
  const title = el('div', 'group-title');
  title.appendChild(el('span', 'kind-badge', KIND_LABELS[o.type] || ('Ismeretlen: ' + String(o.type))));
  const del = el('button', 'btn small danger', 'Törlés');
  del.type = 'button';
  del.addEventListener('click', deleteSelected);
  title.appendChild(del);
  head.appendChild(title);
  if (o.type === 'emoji') {
    const pick = el('button', 'btn small', 'Emoji cseréje');
    pick.type = 'button';
    pick.addEventListener('click', () => openEmojiPicker(o.id));
    head.appendChild(pick);
  }
  if (o.type === 'image' && state.images[o.imageId] && state.images[o.imageId].missing) {
    head.appendChild(el('p', 'status error', 'A kép fájlja nem található; exportáláskor kimaradna.'));
    const again = el('button', 'btn small', 'Kép újra kiválasztása');
    again.type = 'button';
    again.id = 'btn-choose-image-again';
    again.addEventListener('click', () => post('reloadImage', { imageId: o.imageId, choose: true }));
    head.appendChild(again);
  }
  box.appendChild(head);
  const fields = FIELDS[o.type];
  if (!fields) {
    box.appendChild(el('p', 'muted', 'Ezt az elemtípust a szerkesztő nem ismeri; exportáláskor kimarad.'));
    return;
  }
  let group = null;
  for (const f of fields) {
    if (f.group) {
      group = el('div', 'group');
      group.appendChild(el('div', 'group-title', f.group));
      box.appendChild(group);
      continue;
    }
    group.appendChild(buildField(o, f));
  }
}

function buildField(o, f) {
  const id = 'f-' + f.key;
  const update = (value, final) => {
    const cur = state.overlays.find((x) => x.id === o.id);
    if (!cur) return;
    cur[f.key] = value;
    if (final) {
      commit();
    } else {
      renderPreview();
      renderTimeline();
      if (f.key === 'text') renderLayers();
    }
  };
  if (f.type === 'bool') {
    const lab = el('label', 'toggle');
    const cb = el('input');
    cb.type = 'checkbox';
    cb.id = id;
    cb.checked = !!o[f.key];
    cb.addEventListener('change', () => update(cb.checked, true));
    lab.appendChild(cb);
    lab.appendChild(el('span', '', f.label));
    return lab;
  }
  const wrap = el('label', 'field');
  wrap.appendChild(el('span', '', f.label));
  if (f.type === 'textarea') {
    const ta = el('textarea');
    ta.id = id;
    ta.rows = 2;
    ta.value = o[f.key];
    ta.addEventListener('input', () => update(ta.value, false));
    ta.addEventListener('change', () => update(ta.value, true));
    wrap.appendChild(ta);
  } else if (f.type === 'select') {
    const sel = el('select');
    sel.id = id;
    const opts = typeof f.options === 'function' ? f.options(o[f.key]) : { ...f.options };
    if (!(o[f.key] in opts)) opts[o[f.key]] = String(o[f.key]);
    for (const [v, label] of Object.entries(opts)) {
      const op = el('option', '', label);
      op.value = v;
      sel.appendChild(op);
    }
    sel.value = o[f.key];
    sel.addEventListener('change', () => update(sel.value, true));
    wrap.appendChild(sel);
  } else if (f.type === 'buttons') {
    const row = el('div', 'seg-btns');
    row.id = id;
    for (const [v, label] of Object.entries(f.options)) {
      const b = el('button', o[f.key] === v ? 'on' : '', label);
      b.type = 'button';
      b.dataset.value = v;
      b.addEventListener('click', () => update(v, true));
      row.appendChild(b);
    }
    wrap.appendChild(row);
  } else if (f.type === 'color') {
    const c = el('input');
    c.type = 'color';
    c.id = id;
    c.value = hexColor(o[f.key], '#000000').toLowerCase();
    c.addEventListener('input', () => update(c.value, false));
    c.addEventListener('change', () => update(c.value, true));
    wrap.appendChild(c);
  } else if (f.type === 'seconds') {
    buildSecondsField(wrap, o, f, id, update);
  } else if (f.type === 'range') {
    const row = el('div', 'slider-row');
    const r = el('input');
    r.type = 'range';
    r.min = f.min; r.max = f.max; r.step = f.step;
    r.value = o[f.key];
    const n = el('input');
    n.type = 'number';
    n.id = id;
    n.step = f.step;
    n.value = o[f.key];
    const read = (input) => {
      const v = parseFloat(input.value);
      return Number.isFinite(v) ? v : null;
    };
    r.addEventListener('input', () => { const v = read(r); if (v !== null) { n.value = v; update(v, false); } });
    r.addEventListener('change', () => { const v = read(r); if (v !== null) update(v, true); });
    n.addEventListener('input', () => { const v = read(n); if (v !== null) { r.value = v; update(v, false); } });
    n.addEventListener('change', () => { const v = read(n); if (v !== null) update(v, true); else n.value = o[f.key]; });
    row.appendChild(r);
    row.appendChild(n);
    wrap.appendChild(row);
  }
  return wrap;
}

// A time window edge, stored as a percentage of the video's length, shown and typed in seconds
// with tenths. Without a known length it can only be shown as the stored percentage.
function buildSecondsField(wrap, o, f, id, update) {
  const D = duration();
  const row = el('div', 'slider-row');
  const r = el('input');
  r.type = 'range';
  const n = el('input');
  n.type = 'text';
  n.inputMode = 'decimal';
  n.id = id;
  n.className = 'seconds';
  if (!(D > 0)) {
    wrap.firstChild.textContent = f.label.replace('(mp)', '(%)');
    r.min = 0; r.max = 100; r.step = 0.1;
    r.value = o[f.key];
    n.value = String(o[f.key]);
    r.addEventListener('input', () => { n.value = r.value; update(parseFloat(r.value), false); });
    r.addEventListener('change', () => update(parseFloat(r.value), true));
    n.addEventListener('change', () => {
      const v = parseFloat(String(n.value).replace(',', '.'));
      if (Number.isFinite(v)) update(clamp(v, 0, 100), true); else n.value = String(o[f.key]);
    });
  } else {
    const show = (pct) => TimeFmt.formatSeconds(TimeFmt.percentToSeconds(pct, D));
    r.min = 0; r.max = String(Math.round(D * 10) / 10); r.step = 0.1;
    r.value = TimeFmt.percentToSeconds(o[f.key], D);
    n.value = show(o[f.key]);
    const fromSeconds = (sec) => TimeFmt.secondsToPercent(Math.round(sec * 10) / 10, D);
    r.addEventListener('input', () => {
      const p = fromSeconds(parseFloat(r.value));
      n.value = show(p);
      update(p, false);
    });
    r.addEventListener('change', () => update(fromSeconds(parseFloat(r.value)), true));
    n.addEventListener('change', () => {
      const sec = TimeFmt.parseSeconds(n.value);
      if (sec === null) { n.value = show(o[f.key]); return; }
      const p = fromSeconds(sec);
      n.value = show(p);
      r.value = TimeFmt.percentToSeconds(p, D);
      update(p, true);
    });
  }
  row.appendChild(r);
  row.appendChild(n);
  wrap.appendChild(row);
}
