// Time windows are stored as percentages of the video's length (as the project file and the
// export read them) and shown and typed in seconds with tenths.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoTime = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function percentToSeconds(percent, duration) {
    if (!(duration > 0) || !Number.isFinite(percent)) return 0;
    return (percent / 100) * duration;
  }

  // Seconds to a percentage in [0, 100]; an unknown length gives null (nothing can be stored).
  function secondsToPercent(seconds, duration) {
    if (!(duration > 0) || !Number.isFinite(seconds)) return null;
    return Math.min(100, Math.max(0, (seconds / duration) * 100));
  }

  // "12.3" — tenths, with the decimal point the number fields use.
  function formatSeconds(seconds) {
    if (!Number.isFinite(seconds) || seconds < 0) seconds = 0;
    return (Math.round(seconds * 10) / 10).toFixed(1);
  }

  // Reads what a person types: "1.5", "1,5" (Hungarian decimal comma), "1:05.5" (minutes), " 3 mp".
  function parseSeconds(text) {
    const t = String(text == null ? '' : text).trim().replace(/\s*(mp|s)\.?$/i, '').replace(',', '.');
    let m = /^(\d+):([0-5]?\d(?:\.\d*)?)$/.exec(t);
    if (m) return Number(m[1]) * 60 + Number(m[2]);
    m = /^\d*\.?\d+$|^\d+\.$/.exec(t);
    if (m) return Number(t);
    return null;
  }

  return { percentToSeconds, secondsToPercent, formatSeconds, parseSeconds };
});
