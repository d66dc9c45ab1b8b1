// The font families the page offers: exactly those installed with the program, so the preview and
// the export draw with the same font file. Names of older projects that are not installed are kept
// in the overlay (the export resolves them itself) and previewed with what the export falls back to.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoFonts = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const FAMILIES = ['Liberation Sans', 'Liberation Serif', 'Liberation Mono', 'DejaVu Sans', 'DejaVu Serif',
    'DejaVu Sans Mono', 'Open Sans', 'Roboto', 'Lato', 'Bebas Neue', 'Comic Neue'];

  // Metric-compatible names the font configuration maps to an installed family; the export finds
  // them through the same aliases.
  const ALIASES = {
    Helvetica: 'Liberation Sans',
    Arial: 'Liberation Sans',
    'Times New Roman': 'Liberation Serif',
    Times: 'Liberation Serif',
    'Courier New': 'Liberation Mono',
    Courier: 'Liberation Mono',
  };

  // The export draws a missing family with the system's sans-serif face.
  const MISSING_FALLBACK = 'DejaVu Sans';

  function clean(name) {
    return String(name == null ? '' : name).replace(/["\\]/g, '').trim();
  }

  function isOffered(name) {
    return FAMILIES.includes(name);
  }

  // The installed family a page name is drawn with.
  function drawnFamily(name) {
    const n = clean(name);
    if (FAMILIES.includes(n)) return n;
    if (Object.prototype.hasOwnProperty.call(ALIASES, n)) return ALIASES[n];
    return MISSING_FALLBACK;
  }

  // The CSS font stack of the preview: the drawn family, colour emoji for the emoji.
  function cssStack(name) {
    return `"${drawnFamily(name)}", "Noto Color Emoji", "${MISSING_FALLBACK}"`;
  }

  // Select options: the offered families, plus an entry of an older project saying what stands in for it.
  function options(current) {
    const out = Object.fromEntries(FAMILIES.map((f) => [f, f]));
    const c = typeof current === 'string' ? current : '';
    if (c && !(c in out)) out[c] = `${c} (helyette: ${drawnFamily(c)})`;
    return out;
  }

  return { FAMILIES, ALIASES, MISSING_FALLBACK, isOffered, drawnFamily, cssStack, options };
});
