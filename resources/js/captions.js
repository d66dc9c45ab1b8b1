// One caption style for every subtitle overlay: font, size, colour, outline, box, position and
// animation, with three ready presets. Subtitle overlays carry "subtitle": true (the export ignores it).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoCaptions = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Where the caption block's centre sits (percent of the height); low enough to read, high enough
  // that two wrapped lines stay inside the frame and above the platforms' bottom strip.
  const POSITIONS = { top: 15, middle: 50, bottom: 75 };

  const PRESETS = {
    classic: {
      label: 'Klasszikus',
      style: {
        fontFamily: 'Liberation Sans', fontSizePercent: 4, fontColor: '#ffffff', bold: true,
        strokeEnabled: true, strokeColor: '#000000', strokeWidth: 2, bgEnabled: false, bgColor: '#000000', bgOpacity: 60,
        position: 'bottom', animationIn: 'none', animationOut: 'none',
      },
    },
    boxed: {
      label: 'Dobozos',
      style: {
        fontFamily: 'Open Sans', fontSizePercent: 3.5, fontColor: '#ffffff', bold: true,
        strokeEnabled: false, strokeColor: '#000000', strokeWidth: 2, bgEnabled: true, bgColor: '#000000', bgOpacity: 65,
        position: 'bottom', animationIn: 'fadeIn', animationOut: 'fadeOut',
      },
    },
    punchy: {
      label: 'Kiemelt',
      style: {
        fontFamily: 'Bebas Neue', fontSizePercent: 6, fontColor: '#ffd400', bold: false,
        strokeEnabled: true, strokeColor: '#000000', strokeWidth: 3, bgEnabled: false, bgColor: '#000000', bgOpacity: 60,
        position: 'middle', animationIn: 'zoomIn', animationOut: 'fadeOut',
      },
    },
  };

  const DEFAULT_STYLE = { ...PRESETS.classic.style };

  function isSubtitle(o) {
    return !!o && o.subtitle === true && (o.type === 'text' || o.type === undefined);
  }

  // The overlay keys a style sets; unknown or malformed style values fall back to the default style.
  function overlayKeys(style) {
    const s = { ...DEFAULT_STYLE, ...(style || {}) };
    const num = (v, d, lo, hi) => (typeof v === 'number' && Number.isFinite(v) ? Math.min(hi, Math.max(lo, v)) : d);
    const hex = (v, d) => (typeof v === 'string' && /^#[0-9a-fA-F]{6}$/.test(v) ? v : d);
    return {
      fontFamily: typeof s.fontFamily === 'string' && s.fontFamily ? s.fontFamily : DEFAULT_STYLE.fontFamily,
      fontSizePercent: num(s.fontSizePercent, DEFAULT_STYLE.fontSizePercent, 0.5, 30),
      fontColor: hex(s.fontColor, DEFAULT_STYLE.fontColor),
      bold: !!s.bold,
      strokeEnabled: !!s.strokeEnabled,
      strokeColor: hex(s.strokeColor, DEFAULT_STYLE.strokeColor),
      strokeWidth: num(s.strokeWidth, DEFAULT_STYLE.strokeWidth, 0, 12),
      shadowEnabled: false,
      bgEnabled: !!s.bgEnabled,
      bgColor: hex(s.bgColor, DEFAULT_STYLE.bgColor),
      bgOpacity: num(s.bgOpacity, DEFAULT_STYLE.bgOpacity, 0, 100),
      xPercent: 50,
      yPercent: POSITIONS[s.position] !== undefined ? POSITIONS[s.position] : POSITIONS.bottom,
      alignment: 'center',
      animationIn: typeof s.animationIn === 'string' ? s.animationIn : 'none',
      animationOut: typeof s.animationOut === 'string' ? s.animationOut : 'none',
    };
  }

  // A style as the panel keeps it (a project's, say): the default style with every usable value
  // of `style` taken over; unknown keys dropped, unusable values the default's.
  function normalizeStyle(style) {
    const s = style && typeof style === 'object' && !Array.isArray(style) ? style : {};
    const k = overlayKeys(s);
    const position = Object.prototype.hasOwnProperty.call(POSITIONS, s.position) ? s.position : DEFAULT_STYLE.position;
    return {
      fontFamily: k.fontFamily, fontSizePercent: k.fontSizePercent, fontColor: k.fontColor, bold: k.bold,
      strokeEnabled: k.strokeEnabled, strokeColor: k.strokeColor, strokeWidth: k.strokeWidth,
      bgEnabled: k.bgEnabled, bgColor: k.bgColor, bgOpacity: k.bgOpacity, position,
      animationIn: k.animationIn, animationOut: k.animationOut,
      preset: typeof s.preset === 'string' && Object.prototype.hasOwnProperty.call(PRESETS, s.preset) ? s.preset : null,
    };
  }

  // Sets the style on every subtitle overlay of the list (in place); returns how many changed.
  function applyToAll(overlays, style) {
    const keys = overlayKeys(style);
    let n = 0;
    for (const o of overlays || []) {
      if (!isSubtitle(o)) continue;
      Object.assign(o, keys);
      n += 1;
    }
    return n;
  }

  return { POSITIONS, PRESETS, DEFAULT_STYLE, isSubtitle, overlayKeys, normalizeStyle, applyToAll };
});
