// Transcription segments → timed subtitle overlays and .srt text.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(root.TamoOverlays || require('./overlays.js'));
  else root.TamoSubtitles = factory(root.TamoOverlays);
})(typeof self !== 'undefined' ? self : this, function (Overlays) {
  'use strict';

  // Readable at the bottom of any crop: white, bold, black outline instead of a glow.
  const SUBTITLE_STYLE = {
    fontSizePercent: 4,
    bold: true,
    yPercent: 85,
    strokeEnabled: true,
    strokeColor: '#000000',
    strokeWidth: 2,
    shadowEnabled: false,
  };

  // Keeps segments with numeric start/end and a text; end before start is swapped.
  function cleanSegments(segments) {
    if (!Array.isArray(segments)) return [];
    const out = [];
    for (const s of segments) {
      if (!Overlays.isPlainObject(s)) continue;
      const { start, end, text } = s;
      if (typeof start !== 'number' || typeof end !== 'number' || !Number.isFinite(start) || !Number.isFinite(end)) continue;
      if (typeof text !== 'string' || !text.trim()) continue;
      out.push({ start: Math.min(start, end), end: Math.max(start, end), text: text.trim() });
    }
    return out;
  }

  // Each segment's window as percentages of the video's duration.
  function segmentsToOverlays(segments, duration) {
    if (!(duration > 0)) return [];
    return cleanSegments(segments).map((s) => Overlays.create('text', {
      ...SUBTITLE_STYLE,
      text: s.text,
      timeStartPercent: Overlays.clamp((s.start / duration) * 100, 0, 100),
      timeEndPercent: Overlays.clamp((s.end / duration) * 100, 0, 100),
    }));
  }

  function srtTime(seconds) {
    const ms = Math.max(0, Math.round(seconds * 1000));
    const h = Math.floor(ms / 3600000);
    const m = Math.floor((ms % 3600000) / 60000);
    const s = Math.floor((ms % 60000) / 1000);
    const rest = ms % 1000;
    const p = (n, w) => String(n).padStart(w, '0');
    return `${p(h, 2)}:${p(m, 2)}:${p(s, 2)},${p(rest, 3)}`;
  }

  function toSrt(segments) {
    return cleanSegments(segments)
      .map((s, i) => `${i + 1}\n${srtTime(s.start)} --> ${srtTime(s.end)}\n${s.text}\n`)
      .join('\n');
  }

  return { SUBTITLE_STYLE, cleanSegments, segmentsToOverlays, srtTime, toSrt };
});
