// The overlay model: one entry of the "textObjects" list per overlay, with the keys and defaults the
// exporter reads. The page keeps its entries in exactly this form, so the list can be posted as is.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoOverlays = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const TIME_AND_ANIMATION = {
    timeStartPercent: 0,
    timeEndPercent: 100,
    animationIn: 'none',
    animationOut: 'none',
    animationDuration: 0.5,
  };

  const TEXT_KEYS = {
    text: '',
    fontFamily: 'Helvetica',
    fontSizePercent: 5,
    fontColor: '#ffffff',
    bold: false,
    italic: false,
    xPercent: 50,
    yPercent: 80,
    alignment: 'center',
    strokeEnabled: false,
    strokeColor: '#000000',
    strokeWidth: 2,
    bgEnabled: false,
    bgColor: '#000000',
    bgOpacity: 60,
    shadowEnabled: true,
    shadowColor: '#000000',
    shadowBlur: 3,
    ...TIME_AND_ANIMATION,
  };

  // Defaults of every key the exporter reads, per kind (the values it uses for a missing key).
  const DEFAULTS = {
    text: { type: 'text', ...TEXT_KEYS },
    emoji: { type: 'emoji', ...TEXT_KEYS },
    image: {
      type: 'image', imageId: '', xPercent: 50, yPercent: 50, scalePercent: 20, opacity: 100, ...TIME_AND_ANIMATION,
    },
    blur: {
      type: 'blur', xPercent: 50, yPercent: 50, widthPercent: 20, heightPercent: 15, blurAmount: 15,
      timeStartPercent: 0, timeEndPercent: 100,
    },
    progressbar: {
      type: 'progressbar', color: '#6c5ce7', bgColor: '#333333', bgOpacity: 30, heightPercent: 0.8, position: 'bottom',
    },
  };

  const KINDS = Object.keys(DEFAULTS);

  // What a freshly added overlay starts with besides the defaults (an empty text would not be drawn).
  const STARTERS = {
    text: { text: 'Új szöveg' },
    emoji: { text: '🔥' },
  };

  let counter = 0;
  function newId() {
    counter += 1;
    return 'ov_' + Date.now().toString(36) + '_' + counter.toString(36) + '_' + Math.floor(Math.random() * 1e6).toString(36);
  }

  function isPlainObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v);
  }

  function sameKind(value, def) {
    if (typeof def === 'number') return typeof value === 'number' && Number.isFinite(value);
    return typeof value === typeof def;
  }

  function create(kind, extra) {
    const base = DEFAULTS[kind];
    if (!base) throw new Error('unknown overlay kind ' + kind);
    return { id: newId(), ...base, ...(STARTERS[kind] || {}), ...(extra || {}) };
  }

  // An entry read from a project file: keys of the wrong kind fall back to the default, as they
  // would in the export; unknown keys are kept. Entries of a type the page does not know are kept
  // unchanged (the exporter ignores them). Non-objects are dropped.
  function normalize(entry) {
    if (!isPlainObject(entry)) return null;
    const type = typeof entry.type === 'string' ? entry.type : 'text';
    const out = { ...entry };
    if (typeof out.id !== 'string' || !out.id) out.id = newId();
    const defs = DEFAULTS[type];
    if (!defs) return out;
    for (const [key, def] of Object.entries(defs)) {
      if (!sameKind(out[key], def)) out[key] = def;
    }
    out.type = type;
    return out;
  }

  function normalizeList(list) {
    if (!Array.isArray(list)) return [];
    return list.map(normalize).filter((e) => e !== null);
  }

  function duplicate(entry) {
    const copy = JSON.parse(JSON.stringify(entry));
    copy.id = newId();
    return copy;
  }

  const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));

  return { DEFAULTS, KINDS, STARTERS, create, normalize, normalizeList, duplicate, isPlainObject, clamp };
});
