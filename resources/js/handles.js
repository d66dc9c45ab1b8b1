// Direct manipulation on the preview: corner handles that resize the selected overlay, snapping to
// the frame's centre lines and edges with a visible guide, the 9:16 safe zones, and where a new
// overlay goes. The arithmetic is plain functions; controller() holds the few DOM pieces.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoHandles = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));
  const round1 = (v) => Math.round(v * 10) / 10;

  // What a corner drag changes, per kind, and its range (the inspector's ranges).
  const RESIZE = {
    text: { key: 'fontSizePercent', min: 0.5, max: 30, label: 'Betűméret' },
    emoji: { key: 'fontSizePercent', min: 0.5, max: 30, label: 'Méret' },
    image: { key: 'scalePercent', min: 1, max: 100, label: 'Méret' },
  };

  // A size that scales with the pointer's distance from the overlay's anchor (its centre).
  function scaledValue(kind, startValue, startDistance, distance) {
    const r = RESIZE[kind];
    if (!r) return startValue;
    if (!(startDistance > 0) || !Number.isFinite(distance)) return startValue;
    return round1(clamp(startValue * (distance / startDistance), r.min, r.max));
  }

  // A blur region keeps its centre: width and height are twice the pointer's distance from it,
  // as percentages of the frame.
  function blurSize(centerX, centerY, pointerX, pointerY, stageWidth, stageHeight) {
    return {
      widthPercent: round1(clamp((2 * Math.abs(pointerX - centerX) / stageWidth) * 100, 1, 100)),
      heightPercent: round1(clamp((2 * Math.abs(pointerY - centerY) / stageHeight) * 100, 1, 100)),
    };
  }

  // The text shown beside the handle while dragging.
  function valueLabel(kind, o) {
    if (kind === 'blur') return `${Number(o.widthPercent).toFixed(1)}% × ${Number(o.heightPercent).toFixed(1)}%`;
    const r = RESIZE[kind];
    return r ? `${r.label}: ${Number(o[r.key]).toFixed(1)}%` : '';
  }

  // Snaps an anchor (percent of the frame) whose box reaches half (percent) to each side: the box's
  // centre to the frame's centre line, or its edge to the frame's edge, whichever is nearest within
  // the tolerance. Returns the position and the guides to show (percent along the axis).
  function snapAxis(pos, half, tolerance) {
    const candidates = [
      { value: 50, guide: 50 },
      { value: half, guide: 0 },
      { value: 100 - half, guide: 100 },
    ];
    let best = null;
    for (const c of candidates) {
      const d = Math.abs(pos - c.value);
      if (d <= tolerance && (!best || d < best.d)) best = { d, ...c };
    }
    return best ? { value: round1(best.value), guide: best.guide } : { value: pos, guide: null };
  }

  function snapPosition(x, y, halfWidth, halfHeight, toleranceX, toleranceY) {
    const sx = snapAxis(x, halfWidth, toleranceX);
    const sy = snapAxis(y, halfHeight, toleranceY);
    const guides = [];
    if (sx.guide !== null) guides.push({ axis: 'x', at: sx.guide });
    if (sy.guide !== null) guides.push({ axis: 'y', at: sy.guide });
    return { x: sx.value, y: sy.value, guides };
  }

  // Where the platforms' own controls cover a 9:16 frame (percent of the frame): the top bar, the
  // caption and buttons strip at the bottom, the column of buttons on the right.
  const SAFE_ZONES_9_16 = [
    { left: 0, top: 0, width: 100, height: 12, label: 'Fejléc' },
    { left: 0, top: 78, width: 100, height: 22, label: 'Leírás és gombok' },
    { left: 85, top: 38, width: 15, height: 40, label: 'Gombok' },
  ];

  // Starting size of a new overlay where the stored default is too small to see at once (an emoji
  // at a text's size is a speck); the other kinds start at their defaults.
  const NEW_SIZE = {
    emoji: { fontSizePercent: 10 },
  };

  // The first free spot for a new overlay of a kind: its usual place, then steps away from it, so
  // that items added one after another do not stack on one spot.
  function placeNew(kind, overlays, base) {
    const x0 = base && Number.isFinite(base.xPercent) ? base.xPercent : 50;
    const y0 = base && Number.isFinite(base.yPercent) ? base.yPercent : 50;
    const taken = (x, y) => (overlays || []).some((o) => o && o.type !== 'progressbar'
      && Math.abs((Number(o.xPercent) || 0) - x) < 3 && Math.abs((Number(o.yPercent) || 0) - y) < 3);
    const steps = [0, -10, 10, -20, 20, -30, 30, -40];
    for (const dy of steps) {
      const y = y0 + dy;
      if (y < 8 || y > 92) continue;
      if (!taken(x0, y)) return { xPercent: x0, yPercent: y };
    }
    for (const dx of [-25, 25]) {
      for (const dy of steps) {
        const y = clamp(y0 + dy, 8, 92);
        if (!taken(x0 + dx, y)) return { xPercent: x0 + dx, yPercent: y };
      }
    }
    return { xPercent: x0, yPercent: y0 };
  }

  // ------------------------------------------------------------------ DOM
  // ctx: { stage, layer (the guide layer element), selected() → overlay, nodeFor(id) → element,
  //        boxOf(node) → element whose box is the overlay's, change(patch, final), kindOf(o) }
  function controller(ctx) {
    const doc = ctx.stage.ownerDocument;
    const layer = ctx.layer;
    let guides = [];
    let showSafe = false;
    let dragging = null;

    function mk(cls) {
      const e = doc.createElement('div');
      e.className = cls;
      layer.appendChild(e);
      return e;
    }

    function stageBox() { return ctx.stage.getBoundingClientRect(); }

    function update() {
      for (const e of [...layer.querySelectorAll('.rz-handle, .rz-frame')]) e.remove();
      const o = ctx.selected();
      if (!o || !(o.type in RESIZE || o.type === 'blur')) return;
      const node = ctx.nodeFor(o.id);
      if (!node) return;
      const box = (ctx.boxOf(node) || node).getBoundingClientRect();
      const s = stageBox();
      const frame = mk('rz-frame');
      frame.style.left = box.left - s.left + 'px';
      frame.style.top = box.top - s.top + 'px';
      frame.style.width = box.width + 'px';
      frame.style.height = box.height + 'px';
      for (const corner of ['nw', 'ne', 'sw', 'se']) {
        const h = mk('rz-handle ' + corner);
        h.dataset.corner = corner;
        h.dataset.id = o.id;
        h.style.left = (corner[1] === 'w' ? box.left : box.right) - s.left + 'px';
        h.style.top = (corner[0] === 'n' ? box.top : box.bottom) - s.top + 'px';
        h.addEventListener('pointerdown', (e) => startResize(e, o));
      }
    }

    function showGuides(list) {
      for (const g of guides) g.remove();
      guides = (list || []).map((g) => {
        const e = mk('snap-guide ' + g.axis);
        if (g.axis === 'x') e.style.left = g.at + '%';
        else e.style.top = g.at + '%';
        return e;
      });
    }

    function setSafeZones(on) {
      showSafe = !!on;
      for (const e of [...layer.querySelectorAll('.safe-zone')]) e.remove();
      if (!showSafe) return;
      for (const z of SAFE_ZONES_9_16) {
        const e = mk('safe-zone');
        e.style.left = z.left + '%';
        e.style.top = z.top + '%';
        e.style.width = z.width + '%';
        e.style.height = z.height + '%';
        e.title = z.label;
      }
    }

    function startResize(e, o) {
      e.preventDefault();
      e.stopPropagation();
      const s = stageBox();
      const cx = s.left + (Number(o.xPercent) / 100) * s.width;
      const cy = s.top + (Number(o.yPercent) / 100) * s.height;
      const d0 = Math.hypot(e.clientX - cx, e.clientY - cy);
      const r = RESIZE[o.type];
      const start = r ? Number(o[r.key]) : 0;
      const tip = mk('drag-value');
      let moved = false;
      try { e.target.setPointerCapture(e.pointerId); } catch (err) { /* synthetic events have no capture */ }
      const place = (ev) => {
        tip.style.left = ev.clientX - s.left + 14 + 'px';
        tip.style.top = ev.clientY - s.top + 14 + 'px';
      };
      const onMove = (ev) => {
        moved = true;
        let patch;
        if (o.type === 'blur') patch = blurSize(cx, cy, ev.clientX, ev.clientY, s.width, s.height);
        else patch = { [r.key]: scaledValue(o.type, start, d0, Math.hypot(ev.clientX - cx, ev.clientY - cy)) };
        ctx.change(o, patch, false);
        tip.textContent = valueLabel(o.type, { ...o, ...patch });
        place(ev);
      };
      const onUp = () => {
        doc.defaultView.removeEventListener('pointermove', onMove);
        doc.defaultView.removeEventListener('pointerup', onUp);
        tip.remove();
        dragging = null;
        if (moved) ctx.change(o, {}, true);
      };
      dragging = o.id;
      tip.textContent = valueLabel(o.type, o);
      place(e);
      doc.defaultView.addEventListener('pointermove', onMove);
      doc.defaultView.addEventListener('pointerup', onUp);
    }

    // The position while an overlay is moved, beside the pointer.
    let moveTip = null;
    function showTip(text, clientX, clientY) {
      if (!moveTip) moveTip = mk('drag-value');
      const s = stageBox();
      moveTip.textContent = text;
      moveTip.style.left = clientX - s.left + 14 + 'px';
      moveTip.style.top = clientY - s.top + 14 + 'px';
    }
    function hideTip() {
      if (moveTip) moveTip.remove();
      moveTip = null;
    }

    return {
      update, showGuides, setSafeZones, showTip, hideTip,
      get safeZones() { return showSafe; },
      get dragging() { return dragging; },
    };
  }

  return {
    RESIZE, NEW_SIZE, SAFE_ZONES_9_16, scaledValue, blurSize, valueLabel, snapAxis, snapPosition, placeNew, controller,
  };
});
