// The editor page: state, user interface, messages to the native side and the global functions the
// native side calls. Everything the native side sends is shown as text (textContent), never as HTML.
(function () {
  'use strict';

  const Anim = window.TamoAnimation;
  const Geo = window.TamoGeometry;
  const Ov = window.TamoOverlays;
  const Subs = window.TamoSubtitles;
  const Product = window.TamoProduct;
  const Fonts = window.TamoFonts;
  const TimeFmt = window.TamoTime;
  const Handles = window.TamoHandles;
  const BlurPreview = window.TamoBlurPreview;
  const Captions = window.TamoCaptions;

  const PROJECT_VERSION = 1;
  const API_KEY_STORAGE = 'tamo.openaiApiKey';
  const PLACEHOLDER_SIZE = { width: 1080, height: 1920 };

  const EMOJIS = ['🔥', '😀', '😂', '😍', '🥳', '😎', '🤩', '😮', '😢', '😡', '👍', '👏', '🙌', '💪', '🙏', '👀',
    '❤️', '💯', '✨', '⭐', '🎉', '🎁', '💰', '🛒', '📣', '📌', '✅', '❌', '⚡', '🚀', '🌟', '🏆'];
  const ANIM_IN_LABELS = {
    none: 'Nincs', fadeIn: 'Áttűnés', slideUp: 'Becsúszás alulról', slideDown: 'Becsúszás felülről',
    slideLeft: 'Becsúszás jobbról', slideRight: 'Becsúszás balról', zoomIn: 'Nagyítás', bounce: 'Pattogás', typewriter: 'Írógép',
  };
  const ANIM_OUT_LABELS = {
    none: 'Nincs', fadeOut: 'Elhalványulás', slideUp: 'Kicsúszás felfelé', slideDown: 'Kicsúszás lefelé',
    slideLeft: 'Kicsúszás balra', slideRight: 'Kicsúszás jobbra', zoomOut: 'Kicsinyítés',
  };
  const KIND_LABELS = { text: 'Szöveg', emoji: 'Emoji', image: 'Kép', blur: 'Elmosás', progressbar: 'Folyamatjelző' };
  const KIND_ICONS = { text: 'T', emoji: '😀', image: '🖼', blur: '◌', progressbar: '▬' };

  const $ = (id) => document.getElementById(id);
  const el = (tag, cls, text) => {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  };
  const clamp = Ov.clamp;
  const num = (v, d) => (typeof v === 'number' && Number.isFinite(v) ? v : d);

  // ---------------------------------------------------------------- state
  const state = {
    overlays: [],
    selectedId: null,
    cropPreset: 'original',
    video: null, // {url, width, height, duration}
    time: 0,
    playing: false,
    clockPlayback: false,
    images: {}, // imageId → {dataURL, width, height}
    segments: [],
    product: null,
    exportPhase: 'idle', // idle | waiting | running | cancelling | cancelled | done | error
    captionStyle: { ...Captions.DEFAULT_STYLE },
    exportPercent: 0,
    whisperBusy: false,
    ttsBusy: false,
  };
  const history = new window.TamoHistory.History([]);
  let autosave = null; // set up at the end of init(); absent when the page has no storage

  function noteChange() {
    if (autosave) autosave.changed();
  }

  // ---------------------------------------------------------------- native bridge
  function post(action, params) {
    const message = params === undefined ? { action } : { action, params };
    try {
      window.webkit.messageHandlers.swift.postMessage(message);
      return true;
    } catch (e) {
      showToast('A program natív része nem érhető el, a művelet nem indult el.', 'error');
      return false;
    }
  }

  // ---------------------------------------------------------------- messages to the user
  function showToast(text, kind, ms) {
    const box = el('div', 'toast' + (kind ? ' ' + kind : ''));
    box.setAttribute('role', kind === 'error' ? 'alert' : 'status');
    box.appendChild(el('span', 'toast-text', String(text)));
    const close = el('button', '', '✕');
    close.type = 'button';
    close.setAttribute('aria-label', 'Bezárás');
    close.addEventListener('click', () => box.remove());
    box.appendChild(close);
    $('toasts').appendChild(box);
    while ($('toasts').children.length > 4) $('toasts').firstChild.remove();
    setTimeout(() => box.remove(), ms || (kind === 'error' ? 9000 : 4000));
  }

  function setStatus(id, text, kind) {
    const s = $(id);
    s.textContent = text == null ? '' : String(text);
    s.className = 'status' + (kind ? ' ' + kind : '');
  }

  function textOf(v) {
    if (typeof v === 'string') return v;
    if (v === undefined || v === null) return 'Ismeretlen hiba';
    try { return JSON.stringify(v); } catch (e) { return String(v); }
  }

  // ---------------------------------------------------------------- geometry of the preview
  function sourceSize() {
    return state.video ? { width: state.video.width, height: state.video.height } : PLACEHOLDER_SIZE;
  }
  function outputGeometry() {
    const s = sourceSize();
    return Geo.computeGeometry(s.width, s.height, state.cropPreset);
  }
  function duration() {
    return state.video ? state.video.duration : 0;
  }

  let stageScale = 0; // preview pixels per output pixel
  let videoBox = { left: 0, top: 0, width: 0, height: 0 }; // the video element on the stage
  function layoutStage() {
    const wrap = $('stage-wrap');
    const g = outputGeometry();
    const cs = getComputedStyle(wrap);
    const availW = wrap.clientWidth - parseFloat(cs.paddingLeft) - parseFloat(cs.paddingRight);
    const availH = wrap.clientHeight - parseFloat(cs.paddingTop) - parseFloat(cs.paddingBottom);
    const stage = $('stage');
    if (g.width <= 0 || g.height <= 0 || availW <= 0 || availH <= 0) {
      stage.style.width = '0px';
      stage.style.height = '0px';
      stageScale = 0;
      return;
    }
    const aspect = g.width / g.height;
    const h = Math.max(1, Math.floor(Math.min(availH, availW / aspect)));
    const w = h * aspect;
    stage.style.width = w + 'px';
    stage.style.height = h + 'px';
    const src = sourceSize();
    const lay = Geo.previewLayout(src.width, src.height, state.cropPreset, h);
    stageScale = lay.scale;
    const v = $('video');
    v.style.left = lay.videoLeft + 'px';
    v.style.top = lay.videoTop + 'px';
    v.style.width = lay.videoWidth + 'px';
    v.style.height = lay.videoHeight + 'px';
    videoBox = { left: lay.videoLeft, top: lay.videoTop, width: lay.videoWidth, height: lay.videoHeight };
    $('out-size').textContent = `Kimenet: ${g.width} × ${g.height}`;
    renderPreview();
  }

  function previewHeight() {
    return $('stage').getBoundingClientRect().height;
  }

  // ---------------------------------------------------------------- preview rendering
  // Drawing order of the exporter: blur regions, progress bar, pictures, texts; list order within a kind.
  const KIND_LAYER = { blur: 0, progressbar: 1, image: 2, text: 3, emoji: 3 };

  function isVisibleAt(o, t, D) {
    const start = (num(o.timeStartPercent, 0) / 100) * D;
    const end = (num(o.timeEndPercent, 100) / 100) * D;
    return start <= t && t <= end;
  }

  function animFor(o, t, D, g, textLength) {
    const start = (num(o.timeStartPercent, 0) / 100) * D;
    const end = (num(o.timeEndPercent, 100) / 100) * D;
    return Anim.animState(o.animationIn, o.animationOut, num(o.animationDuration, 0.5), t, start, end, textLength || 0, g.width, g.height);
  }

  function hexColor(v, fallback) {
    return typeof v === 'string' && /^#[0-9a-fA-F]{6}$/.test(v.trim()) ? v.trim() : fallback;
  }
  function rgba(hex, alpha) {
    const h = hexColor(hex, '#000000');
    const n = parseInt(h.slice(1), 16);
    return `rgba(${(n >> 16) & 255},${(n >> 8) & 255},${n & 255},${clamp(alpha, 0, 1)})`;
  }

  function renderPreview() {
    const layer = $('overlay-layer');
    const g = outputGeometry();
    const s = stageScale;
    const D = duration();
    const t = state.time;
    const stageW = g.width * s;
    const stageH = g.height * s;
    layer.textContent = '';
    if (s <= 0) return;
    const ordered = state.overlays
      .map((o, i) => ({ o, i }))
      .filter(({ o }) => o.type in KIND_LAYER)
      .sort((a, b) => KIND_LAYER[a.o.type] - KIND_LAYER[b.o.type] || a.i - b.i);
    for (const { o } of ordered) {
      let node = null;
      if (o.type === 'blur') node = renderBlur(o, t, D, s, stageW, stageH);
      else if (o.type === 'progressbar') node = renderBar(o, t, D, stageW, stageH);
      else if (o.type === 'image') node = renderImage(o, t, D, g, s, stageW, stageH);
      else node = renderText(layer, o, t, D, g, s, stageW, stageH);
      if (!node) continue;
      node.dataset.id = o.id;
      if (o.id === state.selectedId) node.classList.add('selected');
      if (!node.parentNode) layer.appendChild(node);
    }
    if (handles) handles.update();
  }

  function renderBlur(o, t, D, s, stageW, stageH) {
    if (!isVisibleAt(o, t, D)) return null;
    const n = el('div', 'ov ov-blur');
    const w = (o.widthPercent / 100) * stageW;
    const h = (o.heightPercent / 100) * stageH;
    n.style.left = ((o.xPercent / 100) * stageW - w / 2) + 'px';
    n.style.top = ((o.yPercent / 100) * stageH - h / 2) + 'px';
    n.style.width = Math.max(0, w) + 'px';
    n.style.height = Math.max(0, h) + 'px';
    const canvas = el('canvas', 'ov-blur-canvas');
    n.appendChild(canvas);
    const region = { left: parseFloat(n.style.left), top: parseFloat(n.style.top), width: Math.max(1, w), height: Math.max(1, h) };
    BlurPreview.draw(canvas, $('video'), region, videoBox, Math.max(0, o.blurAmount * s));
    return n;
  }

  function renderBar(o, t, D, stageW, stageH) {
    const n = el('div', 'ov ov-bar');
    const h = Math.max(1, (o.heightPercent / 100) * stageH);
    n.style.height = h + 'px';
    n.style.top = (o.position === 'top' ? 0 : stageH - h) + 'px';
    n.style.background = rgba(o.bgColor, o.bgOpacity / 100);
    const fill = el('div', 'ov-bar-fill');
    const fraction = D > 0 ? t / D : 0;
    fill.style.width = Math.min(stageW, fraction * stageW) + 'px';
    fill.style.background = hexColor(o.color, '#000000');
    n.appendChild(fill);
    return n;
  }

  function renderImage(o, t, D, g, s, stageW, stageH) {
    if (!isVisibleAt(o, t, D)) return null;
    const st = animFor(o, t, D, g, 0);
    if (!(st.opacity > 0.01)) return null;
    const pic = state.images[o.imageId];
    const aspect = pic && pic.width > 0 && pic.height > 0 ? pic.width / pic.height : 1;
    const h = (o.scalePercent / 100) * stageH;
    const w = h * aspect;
    const n = el('div', 'ov ov-image');
    n.style.left = ((o.xPercent / 100) * stageW - w / 2 + st.tx * s) + 'px';
    n.style.top = ((o.yPercent / 100) * stageH - h / 2 + st.ty * s) + 'px';
    n.style.width = Math.max(0, w) + 'px';
    n.style.height = Math.max(0, h) + 'px';
    n.style.opacity = String(clamp((o.opacity / 100) * st.opacity, 0, 1));
    if (st.scale !== 1) n.style.transform = `scale(${st.scale})`;
    if (pic && pic.missing) {
      n.appendChild(el('div', 'ov-missing', 'Hiányzó kép – válaszd ki újra'));
    } else if (pic && pic.dataURL) {
      const img = el('img');
      img.alt = '';
      img.draggable = false;
      img.src = pic.dataURL;
      n.appendChild(img);
    } else {
      n.appendChild(el('div', 'ov-missing', 'Kép betöltése…'));
    }
    return n;
  }

  function renderText(layer, o, t, D, g, s, stageW, stageH) {
    if (!isVisibleAt(o, t, D)) return null;
    const chars = Anim.graphemes(o.text);
    const st = animFor(o, t, D, g, chars.length);
    if (!(st.opacity > 0.01)) return null;
    const visible = st.textLen >= 0 && st.textLen < chars.length ? chars.slice(0, st.textLen).join('') : o.text;
    if (!visible) return null;

    const boxW = 0.9 * stageW;
    const n = el('div', 'ov ov-text');
    const lines = el('div', 'ov-lines', visible);
    lines.style.width = boxW + 'px';
    lines.style.fontFamily = Fonts.cssStack(o.fontFamily);
    lines.style.fontSize = (o.fontSizePercent / 100) * stageH + 'px';
    lines.style.fontWeight = o.bold ? '700' : '400';
    lines.style.fontStyle = o.italic ? 'italic' : 'normal';
    lines.style.color = hexColor(o.fontColor, '#000000');
    lines.style.textAlign = o.alignment === 'center' ? 'center' : o.alignment === 'right' ? 'right' : 'left';
    if (o.strokeEnabled) {
      // The outline is eight shifted copies of the text in the outline colour.
      const w = o.strokeWidth; // preview pixels: the export scales it by its height / this preview's height
      const c = hexColor(o.strokeColor, '#000000');
      const offs = [[w, 0], [-w, 0], [0, w], [0, -w], [w, w], [-w, -w], [w, -w], [-w, w]];
      lines.style.textShadow = offs.map(([x, y]) => `${x}px ${y}px 0 ${c}`).join(', ');
    } else if (o.shadowEnabled) {
      lines.style.textShadow = `0 0 ${Math.max(0, o.shadowBlur)}px ${hexColor(o.shadowColor, '#000000')}`;
    }
    n.appendChild(lines);
    n.style.width = boxW + 'px';
    n.style.visibility = 'hidden';
    layer.appendChild(n);

    // Measure the wrapped block: its height centres it on the anchor, its widest line sizes the box.
    const bh = lines.offsetHeight;
    let bw = 0;
    const range = document.createRange();
    range.selectNodeContents(lines);
    const r = range.getBoundingClientRect();
    bw = r.width;
    n.style.left = ((o.xPercent / 100) * stageW - boxW / 2 + st.tx * s) + 'px';
    n.style.top = ((o.yPercent / 100) * stageH - bh / 2 + st.ty * s) + 'px';
    n.style.height = bh + 'px';
    if (o.bgEnabled) {
      // A box behind the laid-out lines, 8 × 4 output pixels of margin; it follows the alignment
      // exactly as the export places it.
      const box = el('div', 'ov-box');
      const inset = o.alignment === 'center' ? (boxW - bw) / 2 : o.alignment === 'right' ? boxW - bw : 0;
      box.style.left = inset - 8 * s + 'px';
      box.style.top = -4 * s + 'px';
      box.style.width = bw + 16 * s + 'px';
      box.style.height = bh + 8 * s + 'px';
      box.style.background = rgba(o.bgColor, o.bgOpacity / 100);
      n.insertBefore(box, lines);
    }
    // Only the laid-out lines take the pointer, not the whole wrapping width.
    const hit = el('div', 'ov-hit');
    const hitInset = o.alignment === 'center' ? (boxW - bw) / 2 : o.alignment === 'right' ? boxW - bw : 0;
    hit.style.left = hitInset + 'px';
    hit.style.top = '0px';
    hit.style.width = bw + 'px';
    hit.style.height = bh + 'px';
    n.appendChild(hit);
    n.style.opacity = String(clamp(st.opacity, 0, 1));
    if (st.scale !== 1) n.style.transform = `scale(${st.scale})`;
    n.style.visibility = '';
    return n;
  }

  // ---------------------------------------------------------------- overlay list operations
  function selected() {
    return state.overlays.find((o) => o.id === state.selectedId) || null;
  }

  function commit() {
    history.commit(state.overlays);
    refreshAll();
  }

  // An edit typed into a field is part of the list before its field reports "change" (the field may
  // be rebuilt or left first): it becomes its own undo step before anything else happens.
  function flushPendingEdit() {
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

  function addKind(kind, extra) {
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

  function deleteSelected() {
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
  function undo() { flushPendingEdit(); applyHistory(history.undo()); }
  function redo() { flushPendingEdit(); applyHistory(history.redo()); }

  function refreshAll() {
    renderLayers();
    renderInspector();
    renderTimeline();
    renderPreview();
    $('btn-undo').disabled = !history.canUndo();
    $('btn-redo').disabled = !history.canRedo();
    noteChange();
  }

  function overlayLabel(o) {
    if (o.type === 'text' || o.type === 'emoji') return o.text ? String(o.text).replace(/\s+/g, ' ') : '(üres szöveg)';
    if (o.type === 'image') return 'Kép ' + (o.imageId || '');
    if (o.type in KIND_LABELS) return KIND_LABELS[o.type];
    return 'Ismeretlen elem: ' + String(o.type);
  }

  // ---------------------------------------------------------------- layers list
  // Listed as drawn, topmost first: texts, then pictures, then the progress bar, then blur regions.
  function renderLayers() {
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

  function select(id) {
    flushPendingEdit();
    state.selectedId = id;
    refreshAll();
  }

  // ---------------------------------------------------------------- inspector
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

  function renderInspector() {
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

  // ---------------------------------------------------------------- timeline
  function fmtTime(sec) {
    if (!Number.isFinite(sec) || sec < 0) sec = 0;
    const m = Math.floor(sec / 60);
    const s = sec - m * 60;
    return `${String(m).padStart(2, '0')}:${s.toFixed(1).padStart(4, '0')}`;
  }

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

  function renderTimeline() {
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

  function updatePlayhead() {
    const body = $('timeline-body');
    const ruler = $('ruler');
    const D = duration();
    const frac = D > 0 ? clamp(state.time / D, 0, 1) : 0;
    $('playhead').style.left = ruler.offsetLeft + frac * ruler.clientWidth + 'px';
    $('playhead').hidden = !(D > 0);
    body.style.setProperty('--dummy', '0');
  }

  // ---------------------------------------------------------------- dragging on the preview
  function startPreviewDrag(e) {
    flushPendingEdit();
    if (e.target.closest('.rz-handle')) return;
    const node = e.target.closest('.ov');
    if (!node || !node.dataset.id) {
      if (e.target.closest('#stage')) { state.selectedId = null; refreshAll(); }
      return;
    }
    e.preventDefault();
    const id = node.dataset.id;
    const o = state.overlays.find((x) => x.id === id);
    if (!o) return;
    if (state.selectedId !== id) { state.selectedId = id; refreshAll(); }
    if (o.type === 'progressbar') return;
    const rect = $('stage').getBoundingClientRect();
    const x0 = e.clientX, y0 = e.clientY;
    const px0 = num(o.xPercent, 50), py0 = num(o.yPercent, 50);
    // The overlay's own box (a text's laid-out lines), as half sizes in percent, for edge snapping.
    const boxNode = node.querySelector('.ov-hit') || node;
    const box = boxNode.getBoundingClientRect();
    const halfW = (box.width / 2 / rect.width) * 100;
    const halfH = (box.height / 2 / rect.height) * 100;
    const tolX = (6 / rect.width) * 100;
    const tolY = (6 / rect.height) * 100;
    let moved = false;
    const onMove = (ev) => {
      moved = true;
      const x = Math.round(clamp(px0 + ((ev.clientX - x0) / rect.width) * 100, 0, 100) * 10) / 10;
      const y = Math.round(clamp(py0 + ((ev.clientY - y0) / rect.height) * 100, 0, 100) * 10) / 10;
      // Alt held: free placement without snapping.
      const snapped = ev.altKey ? { x, y, guides: [] } : Handles.snapPosition(x, y, halfW, halfH, tolX, tolY);
      o.xPercent = snapped.x;
      o.yPercent = snapped.y;
      renderPreview();
      handles.showGuides(snapped.guides);
      handles.showTip(`X ${o.xPercent.toFixed(1)}% · Y ${o.yPercent.toFixed(1)}%`, ev.clientX, ev.clientY);
    };
    const onUp = () => {
      window.removeEventListener('pointermove', onMove);
      window.removeEventListener('pointerup', onUp);
      handles.showGuides([]);
      handles.hideTip();
      if (moved) commit();
    };
    window.addEventListener('pointermove', onMove);
    window.addEventListener('pointerup', onUp);
  }

  // ---------------------------------------------------------------- playback
  let rafId = 0;
  let lastTick = 0;
  let handles = null;

  function setTime(t, fromVideo) {
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

  function seekToFraction(f) {
    setTime(clamp(f, 0, 1) * duration());
  }

  function tick(now) {
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

  function play() {
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

  function pause() {
    state.playing = false;
    cancelAnimationFrame(rafId);
    const v = $('video');
    if (!v.paused) v.pause();
    $('btn-play').textContent = '▶';
    $('btn-play').setAttribute('aria-label', 'Lejátszás');
  }

  function loadVideo(p, okMessage) {
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
  function previewThroughScheme(v, url) {
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

  function videoUnplayable() {
    showToast('A videó nem játszható le az előnézetben; az elemek szerkesztése és az exportálás működik.', 'error');
    if (state.playing) { state.clockPlayback = true; lastTick = 0; }
  }

  // ---------------------------------------------------------------- export
  function setExportPhase(phase) {
    state.exportPhase = phase;
    const busy = phase === 'waiting' || phase === 'running' || phase === 'cancelling';
    $('btn-export').disabled = busy;
    const dlg = $('export-dialog');
    const modal = dlg.querySelector('.modal');
    modal.classList.toggle('error', phase === 'error');
    modal.classList.toggle('done', phase === 'done');
    $('export-close').hidden = phase === 'running' || phase === 'cancelling';
    $('export-cancel').hidden = phase !== 'running';
    $('export-open-video').hidden = phase !== 'done';
    $('export-open-folder').hidden = phase !== 'done';
    modal.classList.toggle('cancelled', phase === 'cancelled');
    $('export-fill').style.width = state.exportPercent + '%';
    $('export-percent').textContent = Math.round(state.exportPercent) + '%';
    dlg.hidden = phase === 'idle';
  }

  // Picture overlays whose picture the native side could not find: the export would leave them out.
  function missingPictureCount() {
    return state.overlays.filter((o) => o.type === 'image' && state.images[o.imageId] && state.images[o.imageId].missing).length;
  }

  function exportVideo() {
    if (state.exportPhase === 'waiting' || state.exportPhase === 'running' || state.exportPhase === 'cancelling') return;
    const missing = missingPictureCount();
    if (missing > 0 && !window.confirm(`${missing} kép fájlja hiányzik, ezek kimaradnak a videóból. Exportálod így is?`)) return;
    state.exportPercent = 0;
    $('export-message').textContent = 'Válaszd ki, hová mentsük a videót. Az exportálás a mentés helye után indul.';
    setExportPhase('waiting');
    const ok = post('exportVideo', {
      textObjects: JSON.parse(JSON.stringify(state.overlays)),
      cropPreset: state.cropPreset,
      previewHeight: previewHeight(),
    });
    if (!ok) setExportPhase('idle');
  }

  // ---------------------------------------------------------------- project
  function projectState() {
    return {
      version: PROJECT_VERSION,
      textObjects: JSON.parse(JSON.stringify(state.overlays)),
      cropPreset: state.cropPreset,
      previewHeight: previewHeight(),
      narrationText: $('tts-text').value,
      narrationVoice: $('tts-voice').value,
      narrationSpeed: parseFloat($('tts-speed').value),
      subtitleLanguage: $('whisper-language').value,
    };
  }

  function saveProject() {
    if (post('saveProject', projectState())) {
      if (autosave) autosave.saving();
      showToast('Válaszd ki a projektfájl helyét.', '');
    }
  }

  function setPreset(id) {
    state.cropPreset = Geo.PRESETS.some((p) => p.id === id) ? id : 'original';
    for (const b of $('preset-bar').children) {
      const on = b.dataset.preset === state.cropPreset;
      b.classList.toggle('active', on);
      b.setAttribute('aria-checked', on ? 'true' : 'false');
    }
    layoutStage();
    noteChange();
  }

  function setSelectValue(sel, value) {
    if ([...sel.options].some((o) => o.value === value)) sel.value = value;
  }

  function loadProjectState(p, okMessage) {
    if (!Ov.isPlainObject(p)) {
      showToast('A projektfájl tartalma nem olvasható.', 'error');
      return;
    }
    if (typeof p.version === 'number' && p.version > PROJECT_VERSION) {
      showToast('A projektet a program újabb változata mentette; ami ismeretlen, kimaradhat.', '');
    }
    pause();
    state.overlays = Ov.normalizeList(p.textObjects);
    state.selectedId = null;
    history.reset(state.overlays);
    setPreset(typeof p.cropPreset === 'string' ? p.cropPreset : 'original');
    if (typeof p.narrationText === 'string') $('tts-text').value = p.narrationText;
    if (typeof p.narrationVoice === 'string') setSelectValue($('tts-voice'), p.narrationVoice);
    if (typeof p.narrationSpeed === 'number' && Number.isFinite(p.narrationSpeed)) {
      $('tts-speed').value = clamp(p.narrationSpeed, 0.25, 4);
      $('tts-speed-out').textContent = Number($('tts-speed').value).toFixed(2).replace(/0$/, '') + '×';
    }
    if (typeof p.subtitleLanguage === 'string') setSelectValue($('whisper-language'), p.subtitleLanguage);
    const ids = new Set(state.overlays.filter((o) => o.type === 'image' && o.imageId).map((o) => o.imageId));
    for (const imageId of ids) post('reloadImage', { imageId });
    refreshAll();
    showToast(okMessage || 'Projekt betöltve.', 'ok');
  }

  // ---------------------------------------------------------------- pictures
  function validPicture(p, needSize) {
    if (!Ov.isPlainObject(p) || typeof p.imageId !== 'string' || !p.imageId) return false;
    if (typeof p.dataURL !== 'string' || !p.dataURL.startsWith('data:image/')) return false;
    if (needSize && !(num(p.width, 0) > 0 && num(p.height, 0) > 0)) return false;
    return true;
  }

  function rememberPicture(p) {
    const entry = { dataURL: p.dataURL, width: num(p.width, 0), height: num(p.height, 0) };
    state.images[p.imageId] = entry;
    if (!(entry.width > 0 && entry.height > 0)) {
      // A reloaded picture comes without its size: read it from the picture itself.
      const img = new Image();
      img.onload = () => {
        entry.width = img.naturalWidth;
        entry.height = img.naturalHeight;
        renderPreview();
      };
      img.src = p.dataURL;
    }
  }

  // ---------------------------------------------------------------- emoji picker
  let emojiTarget = null;
  function openEmojiPicker(targetId) {
    emojiTarget = targetId || null;
    $('emoji-picker').hidden = false;
  }
  function pickEmoji(e) {
    $('emoji-picker').hidden = true;
    const target = emojiTarget && state.overlays.find((o) => o.id === emojiTarget);
    emojiTarget = null;
    if (target) {
      target.text = e;
      commit();
    } else {
      addKind('emoji', { text: e });
    }
  }

  // ---------------------------------------------------------------- subtitles, narration, product, background
  function apiKey() {
    return $('api-key').value.trim();
  }
  function storeApiKey(value) {
    for (const input of document.querySelectorAll('.api-key')) if (input.value !== value) input.value = value;
    try { localStorage.setItem(API_KEY_STORAGE, value); } catch (e) { /* storage may be off */ }
  }

  function startWhisper() {
    const key = apiKey();
    if (!key) { setStatus('whisper-status', 'Add meg az OpenAI API kulcsot!', 'error'); return; }
    if (!state.video) { setStatus('whisper-status', 'Előbb nyiss meg egy videót!', 'error'); return; }
    setStatus('whisper-status', 'Kérés elküldve…');
    state.whisperBusy = true;
    $('btn-whisper').disabled = true;
    post('whisperTranscribe', { apiKey: key, language: $('whisper-language').value });
  }

  function renderSegments() {
    const list = $('segments');
    list.textContent = '';
    $('segments-head').hidden = state.segments.length === 0;
    $('segments-count').textContent = `${state.segments.length} szakasz`;
    state.segments.forEach((s, i) => {
      const li = el('li');
      li.appendChild(el('span', 'seg-time', `${fmtTime(s.start)} – ${fmtTime(s.end)}`));
      // Edited in place: the segment (for the .srt) and its caption on the video change together.
      const input = el('textarea', 'seg-text');
      input.rows = 2;
      input.value = s.text;
      input.setAttribute('aria-label', `${i + 1}. felirat szövege`);
      input.addEventListener('input', () => setSubtitleText(i, input.value, false));
      input.addEventListener('change', () => setSubtitleText(i, input.value, true));
      li.appendChild(input);
      list.appendChild(li);
    });
  }

  function setSubtitleText(index, text, final) {
    if (state.segments[index]) state.segments[index].text = text;
    const o = state.overlays.find((x) => Captions.isSubtitle(x) && x.subtitleIndex === index);
    if (o) o.text = text;
    if (final) commit();
    else { renderPreview(); renderLayers(); renderTimeline(); }
  }

  // The caption style panel: presets and fields, each change applied to every subtitle at once.
  function renderCaptionStyle() {
    const st = state.captionStyle;
    for (const b of $('caption-presets').children) b.classList.toggle('on', b.dataset.preset === st.preset);
    $('cap-font').value = Fonts.isOffered(st.fontFamily) ? st.fontFamily : Fonts.FAMILIES[0];
    $('cap-size').value = st.fontSizePercent;
    $('cap-color').value = st.fontColor;
    $('cap-stroke').checked = !!st.strokeEnabled;
    $('cap-stroke-color').value = st.strokeColor;
    $('cap-box').checked = !!st.bgEnabled;
    $('cap-position').value = st.position;
    $('cap-anim').value = st.animationIn;
  }

  function setCaptionStyle(patch, preset) {
    state.captionStyle = { ...state.captionStyle, ...patch, preset: preset || null };
    const n = Captions.applyToAll(state.overlays, state.captionStyle);
    renderCaptionStyle();
    if (n > 0) commit();
    $('caption-count').textContent = n > 0 ? `${n} feliratra alkalmazva.` : 'Még nincs felirat; az újak ezt a stílust kapják.';
  }

  function initCaptionStyle() {
    for (const [id, p] of Object.entries(Captions.PRESETS)) {
      const b = el('button', 'btn small', p.label);
      b.type = 'button';
      b.dataset.preset = id;
      b.addEventListener('click', () => setCaptionStyle({ ...p.style }, id));
      $('caption-presets').appendChild(b);
    }
    for (const f of Fonts.FAMILIES) {
      const op = el('option', '', f);
      op.value = f;
      $('cap-font').appendChild(op);
    }
    for (const [v, label] of Object.entries(ANIM_IN_LABELS)) {
      const op = el('option', '', label);
      op.value = v;
      $('cap-anim').appendChild(op);
    }
    const on = (id, ev, fn) => $(id).addEventListener(ev, fn);
    on('cap-font', 'change', () => setCaptionStyle({ fontFamily: $('cap-font').value }));
    on('cap-size', 'change', () => {
      const v = parseFloat(String($('cap-size').value).replace(',', '.'));
      if (Number.isFinite(v)) setCaptionStyle({ fontSizePercent: clamp(v, 0.5, 30) }); else renderCaptionStyle();
    });
    on('cap-color', 'change', () => setCaptionStyle({ fontColor: $('cap-color').value }));
    on('cap-stroke', 'change', () => setCaptionStyle({ strokeEnabled: $('cap-stroke').checked }));
    on('cap-stroke-color', 'change', () => setCaptionStyle({ strokeColor: $('cap-stroke-color').value }));
    on('cap-box', 'change', () => setCaptionStyle({ bgEnabled: $('cap-box').checked }));
    on('cap-position', 'change', () => setCaptionStyle({ position: $('cap-position').value }));
    on('cap-anim', 'change', () => {
      const a = $('cap-anim').value;
      setCaptionStyle({ animationIn: a, animationOut: a === 'none' ? 'none' : 'fadeOut' });
    });
    renderCaptionStyle();
  }

  // The native side asks where to save and writes the file (a browser-style download goes nowhere here).
  function saveSubtitles(format) {
    if (!state.segments.length) return;
    post('saveSubtitles', { segments: JSON.parse(JSON.stringify(state.segments)), format });
  }

  function startTts() {
    const text = $('tts-text').value;
    if (!text.trim()) { setStatus('tts-status', 'Írd be a narráció szövegét!', 'error'); return; }
    const key = $('api-key-tts').value.trim();
    if (!key) { setStatus('tts-status', 'Add meg az OpenAI API kulcsot!', 'error'); return; }
    setStatus('tts-status', 'Narráció készül…');
    state.ttsBusy = true;
    $('btn-tts').disabled = true;
    post('generateTTS', { text, voice: $('tts-voice').value, speed: parseFloat($('tts-speed').value), apiKey: key });
  }

  function fetchProduct() {
    const url = $('product-url').value.trim();
    if (!url) { setStatus('product-status', 'Add meg a termékoldal címét!', 'error'); return; }
    state.product = null;
    $('product-results').hidden = true;
    setStatus('product-status', 'Oldal letöltése…');
    post('fetchUrl', { url });
  }

  function showProduct(info) {
    state.product = info;
    $('product-results').hidden = false;
    $('product-title-card').hidden = !info.title;
    $('product-desc-card').hidden = !info.description;
    $('product-image-card').hidden = !info.imageUrl;
    $('product-title').textContent = info.title;
    $('product-desc').textContent = info.description;
    $('product-image-url').textContent = info.imageUrl;
  }

  function generateBackground() {
    const [w, h] = $('bg-size').value.split('x').map((n) => parseInt(n, 10));
    const dur = parseFloat($('bg-duration').value);
    if (!(dur >= 0.5 && dur <= 300)) { setStatus('bg-status', 'A hossz 0,5 és 300 másodperc között lehet.', 'error'); return; }
    const params = { width: w, height: h, duration: dur, color: $('bg-color').value };
    const imageURL = $('bg-image-url').value.trim();
    if (imageURL) params.imageURL = imageURL;
    setStatus('bg-status', 'Háttérvideó készül…');
    $('btn-generate-bg').disabled = true;
    post('generateBackground', params);
  }

  // ---------------------------------------------------------------- functions the native side calls
  const api = {
    onVideoLoaded(p) { loadVideo(p, 'Videó betöltve.'); },

    // The file could not be opened; the clip on screen stays the current one.
    onVideoError(text) { showToast(textOf(text), 'error'); },

    onImagePicked(p) {
      if (!validPicture(p, true)) { showToast('A kép nem olvasható.', 'error'); return; }
      rememberPicture(p);
      addKind('image', { imageId: p.imageId });
    },

    onImageReloaded(p) {
      if (!validPicture(p, false)) return;
      rememberPicture(p);
      renderPreview();
      renderInspector();
    },

    // The picture's file is gone: shown as missing (with a way to choose it again) instead of loading for ever.
    onImageMissing(imageId) {
      if (typeof imageId !== 'string' || !imageId) return;
      state.images[imageId] = { missing: true, width: 0, height: 0 };
      renderPreview();
      renderInspector();
      showToast('Egy kép fájlja nem található. Jelöld ki a képet, és válaszd ki újra.', 'error');
    },

    // The native side sends one of two fixed lines: a spinner element, then a text. Only that
    // shape is built as an element; anything else is shown as plain text.
    showWhisperStatus(html, done) {
      const s = $('whisper-status');
      s.className = 'status';
      s.textContent = '';
      const m = /^<span class="ai-loading"><\/span>\s?([^<>]*)$/.exec(typeof html === 'string' ? html : '');
      if (m) {
        s.appendChild(el('span', 'ai-loading'));
        s.appendChild(document.createTextNode(' ' + m[1]));
      } else {
        s.textContent = textOf(html);
      }
      if (done === true) { state.whisperBusy = false; $('btn-whisper').disabled = false; }
    },

    onWhisperError(text) {
      state.whisperBusy = false;
      $('btn-whisper').disabled = false;
      setStatus('whisper-status', textOf(text), 'error');
      showToast('Felirat hiba: ' + textOf(text), 'error');
    },

    onWhisperResult(segments) {
      state.whisperBusy = false;
      $('btn-whisper').disabled = false;
      if (!Array.isArray(segments)) { api.onWhisperError('Érvénytelen feliratadatok érkeztek.'); return; }
      state.segments = Subs.cleanSegments(segments);
      renderSegments();
      const overlays = Subs.segmentsToOverlays(state.segments, duration());
      if (!state.segments.length) {
        setStatus('whisper-status', 'Nem található beszéd a videóban.', '');
        return;
      }
      if (!overlays.length) {
        setStatus('whisper-status', 'A videó hossza ismeretlen, a feliratok nem helyezhetők el.', 'error');
        return;
      }
      overlays.forEach((o, i) => { o.subtitle = true; o.subtitleIndex = i; });
      Captions.applyToAll(overlays, state.captionStyle);
      state.overlays.push(...overlays);
      state.selectedId = overlays[0].id;
      commit();
      setStatus('whisper-status', `${overlays.length} felirat hozzáadva.`, 'ok');
    },

    onUrlFetched(p) {
      if (!Ov.isPlainObject(p)) { setStatus('product-status', 'Érvénytelen válasz érkezett.', 'error'); return; }
      if (p.error !== undefined) {
        setStatus('product-status', textOf(p.error), 'error');
        showToast('Termék import hiba: ' + textOf(p.error), 'error');
        return;
      }
      if (typeof p.html !== 'string') { setStatus('product-status', 'Érvénytelen válasz érkezett.', 'error'); return; }
      const info = Product.extractProductInfo(p.html, typeof p.url === 'string' ? p.url : '');
      showProduct(info);
      if (!info.title && !info.description && !info.imageUrl) {
        setStatus('product-status', 'Az oldalon nem található cím, leírás vagy kép.', 'error');
      } else {
        setStatus('product-status', 'Válaszd ki, mit teszünk a videóra.', 'ok');
      }
    },

    onNarrationReady(p) {
      state.ttsBusy = false;
      $('btn-tts').disabled = false;
      const d = Ov.isPlainObject(p) ? num(p.duration, NaN) : NaN;
      const text = Number.isFinite(d)
        ? `Narráció kész: ${d.toFixed(1)} mp. Exportáláskor a videó hangja alatt szól.`
        : 'Narráció kész.';
      setStatus('tts-status', text, 'ok');
    },

    onNarrationError(text) {
      state.ttsBusy = false;
      $('btn-tts').disabled = false;
      setStatus('tts-status', textOf(text), 'error');
      showToast('Narráció hiba: ' + textOf(text), 'error');
    },

    onProductImageReady(p) {
      if (!validPicture(p, true)) { api.onProductImageError('A kép nem olvasható.'); return; }
      rememberPicture(p);
      addKind('image', { imageId: p.imageId });
      setStatus('product-status', 'A termékkép a videóra került.', 'ok');
    },

    onProductImageError(text) {
      setStatus('product-status', textOf(text), 'error');
      showToast('Termékkép hiba: ' + textOf(text), 'error');
    },

    onBackgroundReady(p) {
      $('btn-generate-bg').disabled = false;
      setStatus('bg-status', 'A háttérvideó elkészült.', 'ok');
      loadVideo(p, 'Háttérvideó betöltve.');
    },

    onBackgroundError(text) {
      $('btn-generate-bg').disabled = false;
      setStatus('bg-status', textOf(text), 'error');
      showToast('Háttér hiba: ' + textOf(text), 'error');
    },

    onExportProgress(percent) {
      // Progress already on its way when the cancel was asked for does not undo the request.
      if (state.exportPhase === 'cancelling') return;
      const v = Number(percent);
      state.exportPercent = clamp(Number.isFinite(v) ? v : 0, 0, 100);
      $('export-message').textContent = 'Exportálás folyamatban…';
      setExportPhase('running');
    },

    onExportComplete() {
      state.exportPercent = 100;
      $('export-message').textContent = 'Az exportálás sikeresen befejeződött!';
      setExportPhase('done');
      showToast('Az exportálás sikeresen befejeződött!', 'ok');
    },

    // The running export was stopped: the earlier file at the chosen place is unchanged.
    onExportCancelled() {
      $('export-message').textContent = 'Az exportálás megszakítva. A korábbi fájl változatlan maradt.';
      setExportPhase('cancelled');
      showToast('Az exportálás megszakítva.', '');
    },

    onExportError(text) {
      $('export-message').textContent = 'Exportálási hiba: ' + textOf(text);
      setExportPhase('error');
      showToast('Exportálási hiba: ' + textOf(text), 'error');
    },

    onProjectLoaded(p) {
      loadProjectState(p);
      if (autosave) autosave.opened();
    },

    // Sent before the opened project's video and state: unsaved work is kept to be offered back.
    onProjectOpened(name) {
      $('project-name').textContent = textOf(name);
      if (autosave && autosave.replacing()) showRestoreOffer(autosave.offer(), 'replaced');
    },

    onProjectSaved(name) {
      $('project-name').textContent = textOf(name);
      if (autosave) autosave.saved();
      showToast('Projekt mentve: ' + textOf(name), 'ok');
    },

    onSubtitlesSaved(name) { showToast('Feliratok mentve: ' + textOf(name), 'ok'); },

    onSubtitlesError(text) { showToast('Felirat mentési hiba: ' + textOf(text), 'error'); },

    triggerExport() { exportVideo(); },

    triggerSaveProject() { saveProject(); },
  };
  for (const [name, fn] of Object.entries(api)) {
    window[name] = function () {
      try {
        return fn.apply(null, arguments);
      } catch (e) {
        console.error(e);
        showToast('Váratlan hiba a szerkesztőben: ' + (e && e.message ? e.message : String(e)), 'error');
        return undefined;
      }
    };
  }

  // ---------------------------------------------------------------- wiring
  function isTyping(target) {
    return target && (target.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(target.tagName));
  }

  function onKey(e) {
    if (isTyping(e.target)) return;
    const mod = e.ctrlKey || e.metaKey;
    const key = e.key.toLowerCase();
    if (mod && key === 'z') { e.preventDefault(); if (e.shiftKey) redo(); else undo(); return; }
    if (mod && key === 'y') { e.preventDefault(); redo(); return; }
    if (e.key === 'Delete' && !mod) { e.preventDefault(); deleteSelected(); return; }
    if (e.key === ' ' && !mod) { e.preventDefault(); if (state.playing) pause(); else play(); return; }
    if (e.key === 'Escape') { $('emoji-picker').hidden = true; }
  }

  function init() {
    for (const p of Geo.PRESETS) {
      const b = el('button', 'preset', p.label);
      b.type = 'button';
      b.dataset.preset = p.id;
      b.setAttribute('role', 'radio');
      b.addEventListener('click', () => setPreset(p.id));
      $('preset-bar').appendChild(b);
    }
    for (const e of EMOJIS) {
      const b = el('button', '', e);
      b.type = 'button';
      b.setAttribute('aria-label', e);
      b.addEventListener('click', () => pickEmoji(e));
      $('emoji-grid').appendChild(b);
    }
    for (const tab of document.querySelectorAll('.tab')) {
      tab.addEventListener('click', () => {
        for (const t of document.querySelectorAll('.tab')) t.classList.toggle('active', t === tab);
        for (const p of document.querySelectorAll('.panel')) p.classList.toggle('active', p.dataset.panel === tab.dataset.tab);
      });
    }

    $('btn-open-video').addEventListener('click', () => post('openVideo'));
    $('btn-open-video-2').addEventListener('click', () => post('openVideo'));
    $('btn-load-project').addEventListener('click', () => post('loadProject'));
    $('btn-save-project').addEventListener('click', saveProject);
    $('btn-export').addEventListener('click', exportVideo);
    $('btn-undo').addEventListener('click', undo);
    $('btn-redo').addEventListener('click', redo);
    $('export-close').addEventListener('click', () => setExportPhase('idle'));
    $('export-cancel').addEventListener('click', () => {
      if (state.exportPhase !== 'running') return;
      if (!post('cancelExport')) return;
      $('export-message').textContent = 'Megszakítás…';
      setExportPhase('cancelling');
    });
    $('export-open-video').addEventListener('click', () => post('openExportResult', { target: 'video' }));
    $('export-open-folder').addEventListener('click', () => post('openExportResult', { target: 'folder' }));
    initCaptionStyle();

    $('add-text').addEventListener('click', () => addKind('text'));
    $('add-emoji').addEventListener('click', () => openEmojiPicker(null));
    $('emoji-close').addEventListener('click', () => { $('emoji-picker').hidden = true; });
    $('add-image').addEventListener('click', () => post('pickImage'));
    $('add-blur').addEventListener('click', () => addKind('blur'));
    $('add-progress').addEventListener('click', () => addKind('progressbar'));

    $('btn-generate-bg').addEventListener('click', generateBackground);
    $('btn-whisper').addEventListener('click', startWhisper);
    $('btn-srt').addEventListener('click', () => saveSubtitles('srt'));
    $('btn-vtt').addEventListener('click', () => saveSubtitles('vtt'));
    $('btn-tts').addEventListener('click', startTts);
    $('tts-speed').addEventListener('input', () => {
      $('tts-speed-out').textContent = Number($('tts-speed').value).toFixed(2).replace(/0$/, '') + '×';
    });
    $('btn-fetch-product').addEventListener('click', fetchProduct);
    $('product-url').addEventListener('keydown', (e) => { if (e.key === 'Enter') fetchProduct(); });
    $('btn-add-product-title').addEventListener('click', () => {
      if (state.product && state.product.title) addKind('text', { text: state.product.title, yPercent: 15, bold: true, fontSizePercent: 5 });
    });
    $('btn-add-product-desc').addEventListener('click', () => {
      if (state.product && state.product.description) addKind('text', { text: state.product.description, yPercent: 30, fontSizePercent: 3 });
    });
    $('btn-add-product-image').addEventListener('click', () => {
      if (state.product && state.product.imageUrl) {
        setStatus('product-status', 'Kép letöltése…');
        post('downloadProductImage', { url: state.product.imageUrl });
      }
    });

    let stored = '';
    try { stored = localStorage.getItem(API_KEY_STORAGE) || ''; } catch (e) { stored = ''; }
    storeApiKey(stored);
    for (const input of document.querySelectorAll('.api-key')) {
      input.addEventListener('input', () => storeApiKey(input.value.trim()));
    }

    $('btn-play').addEventListener('click', () => (state.playing ? pause() : play()));
    $('scrubber').addEventListener('input', () => seekToFraction($('scrubber').value / 1000));
    $('ruler').addEventListener('pointerdown', (e) => {
      const r = $('ruler').getBoundingClientRect();
      seekToFraction((e.clientX - r.left) / r.width);
    });
    const v = $('video');
    v.addEventListener('ended', pause);
    v.addEventListener('error', () => {
      // An aborted earlier clip reports its error after the next one has started: only the current counts.
      if (!state.video || !v.error) return;
      if (!v.currentSrc.startsWith('blob:') && previewThroughScheme(v, state.video.url)) return;
      videoUnplayable();
    });
    v.addEventListener('loadedmetadata', () => { if (Math.abs(v.currentTime - state.time) > 0.01) v.currentTime = state.time; });
    // Blur regions are drawn from the current picture: redraw once a picture is there.
    v.addEventListener('loadeddata', () => renderPreview());
    v.addEventListener('seeked', () => { if (!state.playing) renderPreview(); });

    handles = Handles.controller({
      stage: $('stage'),
      layer: $('guide-layer'),
      selected,
      nodeFor: (id) => [...$('overlay-layer').children].find((n) => n.dataset.id === id) || null,
      boxOf: (node) => node.querySelector('.ov-hit'),
      change: (o, patch, final) => {
        const cur = state.overlays.find((x) => x.id === o.id);
        if (!cur) return;
        Object.assign(cur, patch);
        if (final) commit(); else renderPreview();
      },
    });
    $('safe-zones').addEventListener('change', () => handles.setSafeZones($('safe-zones').checked));
    $('inspector').addEventListener('focusout', () => flushPendingEdit());
    $('stage').addEventListener('pointerdown', startPreviewDrag);
    document.addEventListener('keydown', onKey);
    if (typeof ResizeObserver === 'function') new ResizeObserver(() => layoutStage()).observe($('stage-wrap'));
    window.addEventListener('resize', layoutStage);

    setPreset('original');
    setExportPhase('idle');
    setTime(0);
    refreshAll();
    setupAutosave();
  }

  // ---------------------------------------------------------------- unsaved work
  function autosaveState() {
    const p = projectState();
    delete p.previewHeight; // follows the window, not the work
    p.videoURL = state.video ? state.video.url : '';
    return p;
  }

  function setupAutosave() {
    let storage = null;
    try { storage = window.localStorage; } catch (e) { storage = null; }
    if (!storage || !window.TamoAutosave) return;
    autosave = new window.TamoAutosave.Autosave({
      storage,
      capture: autosaveState,
      onDirtyChange: (dirty) => { $('unsaved-marker').hidden = !dirty; },
      onWriteFailed: () => showToast('A munka nem menthető a szerkesztő tárolójába; mentsd a projektet!', 'error'),
    });
    // Text fields and selects of the state change without a commit.
    document.addEventListener('input', noteChange);
    document.addEventListener('change', noteChange);
    window.addEventListener('pagehide', () => autosave.flush());
    $('btn-restore').addEventListener('click', restoreOffer);
    $('btn-restore-dismiss').addEventListener('click', () => {
      autosave.settleOffer();
      $('restore-bar').hidden = true;
    });
    showRestoreOffer(autosave.start(), 'start');
  }

  function showRestoreOffer(offer, when) {
    if (!offer) return;
    let at = '';
    try { at = new Date(offer.savedAt).toLocaleString('hu-HU'); } catch (e) { at = ''; }
    const count = Array.isArray(offer.state.textObjects) ? offer.state.textObjects.length : 0;
    const what = `${count} elem${at ? ', ' + at : ''}`;
    $('restore-text').textContent = when === 'start'
      ? `Az előző futásból nem mentett munka maradt (${what}). Visszaállítod?`
      : `A projekt megnyitása előtti, nem mentett munka megmaradt (${what}). Visszaállítod?`;
    $('restore-bar').hidden = false;
  }

  function restoreOffer() {
    $('restore-bar').hidden = true;
    const offer = autosave && autosave.offer();
    if (!offer) return;
    autosave.settleOffer();
    loadProjectState(offer.state, 'A nem mentett munka visszaállítva.');
    const url = offer.state.videoURL;
    if (typeof url === 'string' && /^file:\/\//i.test(url) && (!state.video || state.video.url !== url)) {
      post('restoreVideo', { url });
    }
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', init);
  else init();

  // Read-only view for tests and debugging.
  window.TamoEditor = {
    get state() { return state; },
    get canUndo() { return history.canUndo(); },
    get canRedo() { return history.canRedo(); },
    projectState,
    previewHeight,
  };
})();
