// The stage: its size and the video's place on it, the overlays drawn over the video as the export
// draws them, dragging them on the preview and the resize handles.
import { Anim, BlurPreview, Fonts, Geo, Handles } from './libs.js';
import { $, clamp, el, hexColor, num, rgba } from './helpers.js';
import { duration, KIND_LAYER, noteChange, outputGeometry, outputPlan, reframeOptions, selected, sourceSize, state } from './state.js';
import { commit, flushPendingEdit, refreshAll } from './layers.js';

let stageScale = 0; // preview pixels per output pixel
let videoBox = { left: 0, top: 0, width: 0, height: 0 }; // the video element on the stage
let windowBox = videoBox; // where the video would lie showing the crop window (the blurred fill's source)
let handles = null; // resize handles, snapping guides and the safe zones over the stage
export function layoutStage() {
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
  const lay = Geo.previewLayout(src.width, src.height, state.cropPreset, h, reframeOptions());
  stageScale = lay.scale;
  const v = $('video');
  v.style.left = lay.videoLeft + 'px';
  v.style.top = lay.videoTop + 'px';
  v.style.width = lay.videoWidth + 'px';
  v.style.height = lay.videoHeight + 'px';
  videoBox = { left: lay.videoLeft, top: lay.videoTop, width: lay.videoWidth, height: lay.videoHeight };
  windowBox = lay.windowBox;
  $('out-size').textContent = `Kimenet: ${lay.plan.width} × ${lay.plan.height}`;
  // The window can be moved when it leaves part of the picture out.
  stage.classList.toggle('can-pan', g.width < src.width || g.height < src.height);
  renderPreview();
}

export function previewHeight() {
  return $('stage').getBoundingClientRect().height;
}

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

export function renderPreview() {
  const layer = $('overlay-layer');
  const g = outputGeometry();
  const s = stageScale;
  const D = duration();
  const t = state.time;
  const stageW = g.width * s;
  const stageH = g.height * s;
  layer.textContent = '';
  renderFill(stageW, stageH);
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

// Fit: the crop window, blurred and enlarged, behind the whole picture (as the export fills it).
function renderFill(stageW, stageH) {
  const canvas = $('fill-canvas');
  const on = state.fillMode === 'fit' && outputPlan().fill === 'fit' && stageW > 0 && stageH > 0;
  canvas.hidden = !on;
  if (on) BlurPreview.draw(canvas, $('video'), { left: 0, top: 0, width: stageW, height: stageH }, windowBox, stageH / 20);
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

export function startPreviewDrag(e) {
  flushPendingEdit();
  if (e.target.closest('.rz-handle')) return;
  const node = e.target.closest('.ov');
  if (!node || !node.dataset.id) {
    if (e.target.closest('#stage')) {
      state.selectedId = null;
      refreshAll();
      startCropDrag(e);
    }
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

// Dragging the picture where no overlay is moves the crop window the other way: the part of the
// video the frame shows follows the pointer, as when sliding a photo under a frame.
function startCropDrag(e) {
  if (e.target.closest('.empty-hint')) return;
  const src = sourceSize();
  const g = outputGeometry();
  const roomX = src.width - g.width, roomY = src.height - g.height;
  if (!(roomX > 0 || roomY > 0) || !(stageScale > 0)) return;
  e.preventDefault();
  const stage = $('stage');
  const x0 = e.clientX, y0 = e.clientY;
  const px0 = state.cropPositionX, py0 = state.cropPositionY;
  let moved = false;
  stage.classList.add('panning');
  const onMove = (ev) => {
    moved = true;
    // Preview pixels → source pixels → percent of the room; a tenth of a percent is plenty.
    const step = (d, room) => (room > 0 ? (d / stageScale / room) * 100 : 0);
    state.cropPositionX = Math.round(clamp(px0 - step(ev.clientX - x0, roomX), 0, 100) * 10) / 10;
    state.cropPositionY = Math.round(clamp(py0 - step(ev.clientY - y0, roomY), 0, 100) * 10) / 10;
    layoutStage();
    const pos = roomX > 0 ? state.cropPositionX : state.cropPositionY;
    handles.showTip(`Kivágás: ${pos.toFixed(1)}%`, ev.clientX, ev.clientY);
  };
  const onUp = () => {
    window.removeEventListener('pointermove', onMove);
    window.removeEventListener('pointerup', onUp);
    stage.classList.remove('panning');
    handles.hideTip();
    if (moved) noteChange();
  };
  window.addEventListener('pointermove', onMove);
  window.addEventListener('pointerup', onUp);
}

export function setupHandles() {
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
}
