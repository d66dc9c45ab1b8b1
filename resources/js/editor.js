// The editor page: state, user interface, messages to the native side and the global functions the
// native side calls. Everything the native side sends is shown as text (textContent), never as HTML.
(function () {
  'use strict';

  const Anim = window.TamoAnimation;
  const Geo = window.TamoGeometry;
  const Ov = window.TamoOverlays;
  const Subs = window.TamoSubtitles;
  const Product = window.TamoProduct;

  const PROJECT_VERSION = 1;
  const API_KEY_STORAGE = 'tamo.openaiApiKey';
  const PLACEHOLDER_SIZE = { width: 1080, height: 1920 };

  const FONTS = ['Helvetica', 'Arial', 'DejaVu Sans', 'DejaVu Serif', 'Liberation Sans', 'Liberation Serif',
    'Liberation Mono', 'Noto Sans', 'Georgia', 'Times New Roman', 'Courier New', 'Impact', 'Verdana'];
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
    exportPhase: 'idle', // idle | waiting | running | done | error
    exportPercent: 0,
    whisperBusy: false,
    ttsBusy: false,
  };
  const history = new window.TamoHistory.History([]);

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
    const blur = `blur(${Math.max(0, o.blurAmount * s)}px)`;
    n.style.backdropFilter = blur;
    n.style.webkitBackdropFilter = blur;
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
    lines.style.fontFamily = `"${String(o.fontFamily).replace(/["\\]/g, '')}", "Liberation Sans", "Noto Color Emoji", "DejaVu Sans", sans-serif`;
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
    addOverlay(Ov.create(kind, extra));
  }

  function deleteSelected() {
    const i = state.overlays.findIndex((o) => o.id === state.selectedId);
    if (i < 0) return;
    state.overlays.splice(i, 1);
    const next = state.overlays[Math.min(i, state.overlays.length - 1)];
    state.selectedId = next ? next.id : null;
    commit();
  }

  function moveOverlay(id, delta) {
    const i = state.overlays.findIndex((o) => o.id === id);
    const j = i + delta;
    if (i < 0 || j < 0 || j >= state.overlays.length) return;
    const [o] = state.overlays.splice(i, 1);
    state.overlays.splice(j, 0, o);
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
  function undo() { applyHistory(history.undo()); }
  function redo() { applyHistory(history.redo()); }

  function refreshAll() {
    renderLayers();
    renderInspector();
    renderTimeline();
    renderPreview();
    $('btn-undo').disabled = !history.canUndo();
    $('btn-redo').disabled = !history.canRedo();
  }

  function overlayLabel(o) {
    if (o.type === 'text' || o.type === 'emoji') return o.text ? String(o.text).replace(/\s+/g, ' ') : '(üres szöveg)';
    if (o.type === 'image') return 'Kép ' + (o.imageId || '');
    if (o.type in KIND_LABELS) return KIND_LABELS[o.type];
    return 'Ismeretlen elem: ' + String(o.type);
  }

  // ---------------------------------------------------------------- layers list
  function renderLayers() {
    const list = $('layers');
    list.textContent = '';
    $('layers-empty').hidden = state.overlays.length > 0;
    state.overlays.forEach((o, i) => {
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
      mk('↑', 'Feljebb', () => moveOverlay(o.id, -1), i === 0);
      mk('↓', 'Lejjebb', () => moveOverlay(o.id, 1), i === state.overlays.length - 1);
      mk('❏', 'Másolat', () => duplicateOverlay(o.id));
      mk('🗑', 'Törlés', () => { state.selectedId = o.id; deleteSelected(); });
      li.appendChild(actions);
      li.addEventListener('click', () => select(o.id));
      list.appendChild(li);
    });
  }

  function select(id) {
    state.selectedId = id;
    refreshAll();
  }

  // ---------------------------------------------------------------- inspector
  const TIME_FIELDS = [
    { group: 'Időablak' },
    { key: 'timeStartPercent', label: 'Kezdet (%)', type: 'range', min: 0, max: 100, step: 0.1 },
    { key: 'timeEndPercent', label: 'Vége (%)', type: 'range', min: 0, max: 100, step: 0.1 },
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
    { key: 'fontFamily', label: 'Betűtípus', type: 'select', options: Object.fromEntries(FONTS.map((f) => [f, f])) },
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
      const opts = { ...f.options };
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
    const onMove = (ev) => {
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
      commit();
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
    let moved = false;
    const onMove = (ev) => {
      moved = true;
      o.xPercent = Math.round(clamp(px0 + ((ev.clientX - x0) / rect.width) * 100, 0, 100) * 10) / 10;
      o.yPercent = Math.round(clamp(py0 + ((ev.clientY - y0) / rect.height) * 100, 0, 100) * 10) / 10;
      renderPreview();
    };
    const onUp = () => {
      window.removeEventListener('pointermove', onMove);
      window.removeEventListener('pointerup', onUp);
      if (moved) commit();
    };
    window.addEventListener('pointermove', onMove);
    window.addEventListener('pointerup', onUp);
  }

  // ---------------------------------------------------------------- playback
  let rafId = 0;
  let lastTick = 0;

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
    if (state.video.url) v.src = state.video.url;
    v.load();
    $('empty-hint').hidden = true;
    let name = '';
    try { name = decodeURIComponent(state.video.url.split('/').pop() || ''); } catch (e) { name = state.video.url.split('/').pop() || ''; }
    $('video-name').textContent = name;
    setTime(0);
    layoutStage();
    renderTimeline();
    if (okMessage) showToast(okMessage, 'ok');
  }

  // ---------------------------------------------------------------- export
  function setExportPhase(phase) {
    state.exportPhase = phase;
    const busy = phase === 'waiting' || phase === 'running';
    $('btn-export').disabled = busy;
    const dlg = $('export-dialog');
    const modal = dlg.querySelector('.modal');
    modal.classList.toggle('error', phase === 'error');
    modal.classList.toggle('done', phase === 'done');
    $('export-close').hidden = phase === 'running';
    $('export-fill').style.width = state.exportPercent + '%';
    $('export-percent').textContent = Math.round(state.exportPercent) + '%';
    dlg.hidden = phase === 'idle';
  }

  // Picture overlays whose picture the native side could not find: the export would leave them out.
  function missingPictureCount() {
    return state.overlays.filter((o) => o.type === 'image' && state.images[o.imageId] && state.images[o.imageId].missing).length;
  }

  function exportVideo() {
    if (state.exportPhase === 'waiting' || state.exportPhase === 'running') return;
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
    if (post('saveProject', projectState())) showToast('Válaszd ki a projektfájl helyét.', '');
  }

  function setPreset(id) {
    state.cropPreset = Geo.PRESETS.some((p) => p.id === id) ? id : 'original';
    for (const b of $('preset-bar').children) {
      const on = b.dataset.preset === state.cropPreset;
      b.classList.toggle('active', on);
      b.setAttribute('aria-checked', on ? 'true' : 'false');
    }
    layoutStage();
  }

  function setSelectValue(sel, value) {
    if ([...sel.options].some((o) => o.value === value)) sel.value = value;
  }

  function loadProjectState(p) {
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
    showToast('Projekt betöltve.', 'ok');
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
    for (const s of state.segments) {
      const li = el('li');
      li.appendChild(el('span', 'seg-time', `${fmtTime(s.start)} – ${fmtTime(s.end)}`));
      li.appendChild(document.createTextNode(s.text));
      list.appendChild(li);
    }
  }

  function downloadSrt() {
    const text = Subs.toSrt(state.segments);
    const blob = new Blob([text], { type: 'application/x-subrip;charset=utf-8' });
    const a = el('a');
    a.href = URL.createObjectURL(blob);
    a.download = 'feliratok.srt';
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
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

    onExportError(text) {
      $('export-message').textContent = 'Exportálási hiba: ' + textOf(text);
      setExportPhase('error');
      showToast('Exportálási hiba: ' + textOf(text), 'error');
    },

    onProjectLoaded(p) { loadProjectState(p); },

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

    $('add-text').addEventListener('click', () => addKind('text'));
    $('add-emoji').addEventListener('click', () => openEmojiPicker(null));
    $('emoji-close').addEventListener('click', () => { $('emoji-picker').hidden = true; });
    $('add-image').addEventListener('click', () => post('pickImage'));
    $('add-blur').addEventListener('click', () => addKind('blur'));
    $('add-progress').addEventListener('click', () => addKind('progressbar'));

    $('btn-generate-bg').addEventListener('click', generateBackground);
    $('btn-whisper').addEventListener('click', startWhisper);
    $('btn-srt').addEventListener('click', downloadSrt);
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
      showToast('A videó nem játszható le az előnézetben; az elemek szerkesztése és az exportálás működik.', 'error');
      if (state.playing) { state.clockPlayback = true; lastTick = 0; }
    });
    v.addEventListener('loadedmetadata', () => { if (Math.abs(v.currentTime - state.time) > 0.01) v.currentTime = state.time; });

    $('stage').addEventListener('pointerdown', startPreviewDrag);
    document.addEventListener('keydown', onKey);
    if (typeof ResizeObserver === 'function') new ResizeObserver(() => layoutStage()).observe($('stage-wrap'));
    window.addEventListener('resize', layoutStage);

    setPreset('original');
    setExportPhase('idle');
    setTime(0);
    refreshAll();
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', init);
  else init();

  // Read-only view for tests and debugging.
  window.TamoEditor = {
    get state() { return state; },
    projectState,
    previewHeight,
  };
})();
