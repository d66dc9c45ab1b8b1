// Crop presets and output geometry, computed by the same rule as the exporter: a centred window
// of the preset's ratio, sizes and origin truncated toward zero, no scaling.
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

  // Output width/height and crop origin for a source of display size w0 × h0.
  function computeGeometry(w0, h0, preset) {
    w0 = Math.abs(Number(w0) || 0);
    h0 = Math.abs(Number(h0) || 0);
    let x = 0, y = 0, cw = w0, ch = h0;
    const t = presetRatio(preset);
    if (t > 0 && h0 > 0) {
      const r = w0 / h0;
      if (r > t) {
        cw = h0 * t;
        x = (w0 - cw) / 2;
      } else {
        ch = w0 / t;
        y = (h0 - ch) / 2;
      }
    }
    return { width: truncToInt(cw), height: truncToInt(ch), cropX: truncToInt(x), cropY: truncToInt(y) };
  }

  // Where the source video sits inside a preview of the output window that is previewHeight tall:
  // the scale from output pixels to preview pixels and the video element's box.
  function previewLayout(w0, h0, preset, previewHeight) {
    const g = computeGeometry(w0, h0, preset);
    const scale = g.height > 0 ? previewHeight / g.height : 0;
    return {
      geometry: g,
      scale,
      previewWidth: g.width * scale,
      previewHeight,
      videoLeft: -g.cropX * scale,
      videoTop: -g.cropY * scale,
      videoWidth: Math.abs(Number(w0) || 0) * scale,
      videoHeight: Math.abs(Number(h0) || 0) * scale,
    };
  }

  return { PRESETS, presetRatio, computeGeometry, previewLayout };
});
