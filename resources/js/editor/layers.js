// Operations on the overlay list (add, delete, reorder, duplicate, undo) and the layers list.
import { Fonts, Handles, Ov } from './libs.js';
import { $, el } from './helpers.js';
import { history, KIND_ICONS, KIND_LAYER, noteChange, overlayLabel, state } from './state.js';
import { showToast } from './messages.js';
import { renderPreview } from './preview.js';
import { renderInspector } from './inspector.js';
import { renderTimeline } from './timeline.js';

export function commit() {
  history.commit(state.overlays);
  refreshAll();
}

// An edit typed into a field is part of the list before its field reports "change" (the field may
// be rebuilt or left first): it becomes its own undo step before anything else happens.
export function flushPendingEdit() {
  if (history.commit(state.overlays)) {
    $('btn-undo').disabled = !history.canUndo();
    $('btn-redo').disabled = !history.canRedo();
  }
}

function addOverlay(o) {
  state.overlays.push(o);
  state.selectedId = o.id;
  commit();
}

export function addKind(kind, extra) {
  if (kind === 'progressbar' && state.overlays.some((o) => o.type === 'progressbar')) {
    showToast('Csak egy folyamatjelző lehet a videón; a meglévőt választottam ki.', '');
    state.selectedId = state.overlays.find((o) => o.type === 'progressbar').id;
    refreshAll();
    return;
  }
  // New texts start in an installed family (the stored default name is only an alias of one).
  const family = kind === 'text' || kind === 'emoji' ? { fontFamily: Fonts.FAMILIES[0] } : {};
  const o = Ov.create(kind, { ...family, ...(Handles.NEW_SIZE[kind] || {}), ...(extra || {}) });
  if (o.type !== 'progressbar' && !(extra && ('xPercent' in extra || 'yPercent' in extra))) {
    Object.assign(o, Handles.placeNew(kind, state.overlays, o));
  }
  addOverlay(o);
}

export function deleteSelected() {
  const i = state.overlays.findIndex((o) => o.id === state.selectedId);
  if (i < 0) return;
  state.overlays.splice(i, 1);
  const next = state.overlays[Math.min(i, state.overlays.length - 1)];
  state.selectedId = next ? next.id : null;
  commit();
}

// The export draws by kind (blur regions, progress bar, pictures, texts) and by list order within
// a kind, so an overlay can only change places with its neighbour of the same drawing layer.
function sameLayerNeighbour(id, delta) {
  const i = state.overlays.findIndex((o) => o.id === id);
  if (i < 0) return -1;
  const layer = KIND_LAYER[state.overlays[i].type];
  for (let j = i + delta; j >= 0 && j < state.overlays.length; j += delta) {
    if (KIND_LAYER[state.overlays[j].type] === layer) return j;
  }
  return -1;
}

// delta +1: drawn later (above), -1: drawn earlier (below).
function moveOverlay(id, delta) {
  const i = state.overlays.findIndex((o) => o.id === id);
  const j = sameLayerNeighbour(id, delta);
  if (i < 0 || j < 0) return;
  const tmp = state.overlays[i];
  state.overlays[i] = state.overlays[j];
  state.overlays[j] = tmp;
  commit();
}

function duplicateOverlay(id) {
  const i = state.overlays.findIndex((o) => o.id === id);
  if (i < 0) return;
  if (state.overlays[i].type === 'progressbar') {
    showToast('Csak egy folyamatjelző lehet a videón.', '');
    return;
  }
  const copy = Ov.duplicate(state.overlays[i]);
  state.overlays.splice(i + 1, 0, copy);
  state.selectedId = copy.id;
  commit();
}

function applyHistory(list) {
  if (!list) return;
  state.overlays = list;
  if (!state.overlays.some((o) => o.id === state.selectedId)) state.selectedId = null;
  refreshAll();
}
export function undo() { flushPendingEdit(); applyHistory(history.undo()); }
export function redo() { flushPendingEdit(); applyHistory(history.redo()); }

export function refreshAll() {
  renderLayers();
  renderInspector();
  renderTimeline();
  renderPreview();
  $('btn-undo').disabled = !history.canUndo();
  $('btn-redo').disabled = !history.canRedo();
  noteChange();
}

// Listed as drawn, topmost first: texts, then pictures, then the progress bar, then blur regions.
export function renderLayers() {
  const list = $('layers');
  list.textContent = '';
  $('layers-empty').hidden = state.overlays.length > 0;
  const rank = (o) => (o.type in KIND_LAYER ? KIND_LAYER[o.type] : -1);
  const shown = state.overlays.map((o, i) => ({ o, i })).sort((a, b) => rank(b.o) - rank(a.o) || b.i - a.i);
  shown.forEach(({ o }) => {
    const li = el('li', 'layer' + (o.id === state.selectedId ? ' selected' : ''));
    li.dataset.id = o.id;
    li.appendChild(el('span', 'layer-kind', KIND_ICONS[o.type] || '?'));
    li.appendChild(el('span', 'layer-label', overlayLabel(o)));
    const actions = el('span', 'layer-actions');
    const mk = (label, title, fn, disabled) => {
      const b = el('button', '', label);
      b.type = 'button';
      b.title = title;
      b.setAttribute('aria-label', title);
      b.disabled = !!disabled;
      b.addEventListener('click', (e) => { e.stopPropagation(); fn(); });
      actions.appendChild(b);
    };
    mk('↑', 'Feljebb', () => moveOverlay(o.id, 1), sameLayerNeighbour(o.id, 1) < 0);
    mk('↓', 'Lejjebb', () => moveOverlay(o.id, -1), sameLayerNeighbour(o.id, -1) < 0);
    mk('❏', 'Másolat', () => duplicateOverlay(o.id));
    mk('🗑', 'Törlés', () => { state.selectedId = o.id; deleteSelected(); });
    li.appendChild(actions);
    li.addEventListener('click', () => select(o.id));
    list.appendChild(li);
  });
}

export function select(id) {
  flushPendingEdit();
  state.selectedId = id;
  refreshAll();
}
