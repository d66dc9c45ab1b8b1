// Overlay animation curves, the same tables the exporter draws with, so the preview moves exactly
// like the exported video. Sets window.TamoAnimation in the page (js/editor/libs.js imports it) and
// loads with require() from Node tests.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoAnimation = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const ENTRY_NAMES = ['none', 'fadeIn', 'slideUp', 'slideDown', 'slideLeft', 'slideRight', 'zoomIn', 'bounce', 'typewriter'];
  const EXIT_NAMES = ['none', 'fadeOut', 'slideUp', 'slideDown', 'slideLeft', 'slideRight', 'zoomOut'];

  // Quadratic ease-in-out; 0.5 takes the second branch.
  function ease(p) {
    return p < 0.5 ? 2 * p * p : -1 + (4 - 2 * p) * p;
  }

  // Drawing state of an overlay at time `now` (seconds) inside its window [start, end].
  // W and H are the frame size the slide distances are measured in (5 % of each).
  function animState(animIn, animOut, duration, now, start, end, textLength, W, H) {
    const st = { opacity: 1, tx: 0, ty: 0, scale: 1, textLen: -1 };
    const len = Math.trunc(Number(textLength) || 0);
    const dy = 0.05 * H;
    const dx = 0.05 * W;

    if (animIn !== 'none') {
      const elapsed = now - start;
      if (duration > elapsed) {
        const p = Math.min(1, elapsed / duration);
        const e = ease(p);
        switch (animIn) {
          case 'fadeIn': st.opacity = e; break;
          case 'slideUp': st.ty = (1 - e) * dy; break;
          case 'slideDown': st.ty = -(1 - e) * dy; break;
          case 'slideLeft': st.tx = (1 - e) * dx; break;
          case 'slideRight': st.tx = -(1 - e) * dx; break;
          case 'zoomIn': st.opacity = e; st.scale = e; break;
          case 'bounce': st.ty = -Math.abs(Math.sin(p * Math.PI * 2.5)) * (1 - p) * dy * 0.75; break;
          case 'typewriter': st.textLen = Math.trunc(p * len); break;
          default: break;
        }
      }
    }

    if (animOut !== 'none') {
      const remaining = end - now;
      if (duration > remaining) {
        const q = Math.min(1, remaining / duration);
        const f = ease(q);
        switch (animOut) {
          case 'fadeOut': st.opacity = Math.min(st.opacity, f); break;
          case 'slideUp': st.ty = -(1 - f) * dy; break;
          case 'slideDown': st.ty = (1 - f) * dy; break;
          case 'slideLeft': st.tx = -(1 - f) * dx; break;
          case 'slideRight': st.tx = (1 - f) * dx; break;
          case 'zoomOut': st.scale = f; st.opacity = Math.min(st.opacity, f); break;
          default: break;
        }
      }
    }
    return st;
  }

  // User-perceived characters, which is what the typewriter counts.
  function graphemes(text) {
    const s = String(text);
    if (typeof Intl !== 'undefined' && typeof Intl.Segmenter === 'function') {
      return Array.from(new Intl.Segmenter(undefined, { granularity: 'grapheme' }).segment(s), (g) => g.segment);
    }
    return Array.from(s);
  }

  return { ease, animState, graphemes, ENTRY_NAMES, EXIT_NAMES };
});
