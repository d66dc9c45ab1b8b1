// Crop presets and output geometry, computed by the same rule as the exporter: a window of the
// preset's ratio (centred unless moved), sizes and origin truncated toward zero; the output is the
// window at its own size or scaled to the preset's standard size, filled by the window or by the
// whole picture over a blurred copy of the window.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoGeometry = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const PRESETS = [
    { id: 'original', label: 'Eredeti' },
    { id: '9:16', label: '9:16' },
    { id: '1:1', label: '1:1' },
    { id: '4:5', label: '4:5' },
    { id: '16:9', label: '16:9' },
    { id: '4:3', label: '4:3' },
  ];

  function presetRatio(preset) {
    switch (preset) {
      case '9:16': return 0.5625;
      case '1:1': return 1.0;
      case '4:5': return 0.8;
      case '16:9': return 16 / 9;
      case '4:3': return 4 / 3;
      default: return 0;
    }
  }

  function truncToInt(v) {
    if (!Number.isFinite(v) || v <= 0) return 0;
    if (v >= 2147483647) return 2147483647;
    return Math.trunc(v);
  }

  // The size the platforms expect for a preset; 0 × 0 for "original" and unknown names.
  function standardSize(preset) {
    switch (preset) {
      case '9:16': return { width: 1080, height: 1920 };
      case '1:1': return { width: 1080, height: 1080 };
      case '4:5': return { width: 1080, height: 1350 };
      case '16:9': return { width: 1920, height: 1080 };
      case '4:3': return { width: 1440, height: 1080 };
      default: return { width: 0, height: 0 };
    }
  }

  // A position in percent (0…100, 50 centred) as a share of the room; anything else is the centre.
  function share(percent) {
    return typeof percent === 'number' && Number.isFinite(percent) ? Math.min(100, Math.max(0, percent)) / 100 : 0.5;
  }

  // The window's origin in `room` source pixels: 0 at 0 %, the centred origin at 50 %, and at
  // 100 % the whole pixels of room, so that the truncated window touches the far edge.
  function origin(room, windowSize, percent) {
    const s = share(percent);
    const centre = room / 2;
    if (s <= 0.5) return room * s;
    const wholeRoom = Math.floor(room + windowSize) - Math.floor(windowSize);
    return centre + (wholeRoom - centre) * (s - 0.5) * 2;
  }

  // Output width/height and crop origin for a source of display size w0 × h0; positionX/Y place
  // the window in its room to move (percent, default 50: centred).
  function computeGeometry(w0, h0, preset, positionX, positionY) {
    w0 = Math.abs(Number(w0) || 0);
    h0 = Math.abs(Number(h0) || 0);
    let x = 0, y = 0, cw = w0, ch = h0;
    const t = presetRatio(preset);
    if (t > 0 && h0 > 0) {
      const r = w0 / h0;
      if (r > t) {
        cw = h0 * t;
        x = origin(w0 - cw, cw, positionX);
      } else {
        ch = w0 / t;
        y = origin(h0 - ch, ch, positionY);
      }
    }
    return { width: truncToInt(cw), height: truncToInt(ch), cropX: truncToInt(x), cropY: truncToInt(y) };
  }

  // The whole output frame, as the exporter plans it. opts: {positionX, positionY, outputSize:
  // 'crop'|'standard', fillMode: 'crop'|'fit'}. fit* is where the whole picture lies in it (Fit).
  function framePlan(w0, h0, preset, opts) {
    const o = opts || {};
    const crop = computeGeometry(w0, h0, preset, o.positionX, o.positionY);
    const whole = computeGeometry(w0, h0, 'original');
    const plan = { crop, width: crop.width, height: crop.height, fill: 'crop', fitX: 0, fitY: 0, fitWidth: 0, fitHeight: 0 };
    const standard = standardSize(preset);
    if (o.outputSize === 'standard' && standard.width > 0 && crop.width > 0 && crop.height > 0) {
      plan.width = standard.width;
      plan.height = standard.height;
    }
    const cropsSomething = crop.width < whole.width || crop.height < whole.height;
    if (o.fillMode !== 'fit' || !cropsSomething || whole.width <= 0 || whole.height <= 0) return plan;
    plan.fill = 'fit';
    const scale = Math.min(plan.width / whole.width, plan.height / whole.height);
    // Math.round of C's lround for the positive values here: halves away from zero.
    const evenWithin = (v, limit) => Math.min(Math.max(2, Math.floor(v / 2 + 0.5) * 2), limit);
    plan.fitWidth = evenWithin(whole.width * scale, plan.width);
    plan.fitHeight = evenWithin(whole.height * scale, plan.height);
    plan.fitX = Math.floor((plan.width - plan.fitWidth) / 4) * 2;
    plan.fitY = Math.floor((plan.height - plan.fitHeight) / 4) * 2;
    return plan;
  }

  // Where the source video sits inside a preview of the output window that is previewHeight tall:
  // the scale from crop-window pixels to preview pixels and the video element's box. With opts
  // (see framePlan) in fit mode the video is the fitted picture and windowBox is where the crop
  // window's video would lie (the blurred fill is drawn from it).
  function previewLayout(w0, h0, preset, previewHeight, opts) {
    const plan = framePlan(w0, h0, preset, opts);
    const g = plan.crop;
    const scale = g.height > 0 ? previewHeight / g.height : 0;
    const windowBox = {
      left: -g.cropX * scale,
      top: -g.cropY * scale,
      width: Math.abs(Number(w0) || 0) * scale,
      height: Math.abs(Number(h0) || 0) * scale,
    };
    let video = windowBox;
    if (plan.fill === 'fit' && plan.height > 0) {
      const k = previewHeight / plan.height; // preview pixels per output pixel
      video = { left: plan.fitX * k, top: plan.fitY * k, width: plan.fitWidth * k, height: plan.fitHeight * k };
    }
    return {
      geometry: g,
      plan,
      scale,
      previewWidth: g.width * scale,
      previewHeight,
      videoLeft: video.left,
      videoTop: video.top,
      videoWidth: video.width,
      videoHeight: video.height,
      windowBox,
    };
  }

  return { PRESETS, presetRatio, standardSize, computeGeometry, framePlan, previewLayout };
});
