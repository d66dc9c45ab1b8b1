// Blur regions in the preview, drawn on a canvas from the video element: the region is shrunk in
// halving steps and enlarged again with smoothing, which softens it about as much as the export's
// Gaussian.
// Plain 2D canvas drawing needs no GPU (a CSS backdrop filter shows nothing in a window without one).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoBlurPreview = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // The shrink factor for a blur of `radius` preview pixels.
  function shrinkFactor(radius) {
    if (!(radius > 0)) return 1;
    return Math.max(2, Math.min(64, radius / 1.5));
  }

  // Draws the part of `video` under the region into `canvas` (already sized and placed).
  // region: {left, top, width, height} in preview pixels of the stage; video box: {left, top,
  // width, height} where the video element sits on the stage; radius in preview pixels.
  function draw(canvas, video, region, videoBox, radius) {
    const w = Math.max(1, Math.round(region.width));
    const h = Math.max(1, Math.round(region.height));
    canvas.width = w;
    canvas.height = h;
    const ctx = canvas.getContext('2d');
    if (!ctx) return false;
    ctx.clearRect(0, 0, w, h);
    const ready = video && video.readyState >= 2 && video.videoWidth > 0 && videoBox.width > 0;
    if (!ready) {
      // No picture yet: a frosted panel still shows where the region is.
      ctx.fillStyle = 'rgba(200, 200, 210, 0.55)';
      ctx.fillRect(0, 0, w, h);
      return false;
    }
    const k = video.videoWidth / videoBox.width; // source pixels per preview pixel
    const sx = (region.left - videoBox.left) * k;
    const sy = (region.top - videoBox.top) * k;
    const f = shrinkFactor(radius);
    const doc = canvas.ownerDocument;
    const target = { w: Math.max(1, Math.round(w / f)), h: Math.max(1, Math.round(h / f)) };
    try {
      // Down in halving steps, so every step averages its pixels (one big step would only sample
      // a few of them and keep the pattern), then up again in doubling steps.
      let cur = doc.createElement('canvas');
      cur.width = w;
      cur.height = h;
      cur.getContext('2d').drawImage(video, sx, sy, w * k, h * k, 0, 0, w, h);
      const chain = [];
      while (cur.width > target.w || cur.height > target.h) {
        const next = doc.createElement('canvas');
        next.width = Math.max(target.w, Math.ceil(cur.width / 2));
        next.height = Math.max(target.h, Math.ceil(cur.height / 2));
        const g = next.getContext('2d');
        g.imageSmoothingEnabled = true;
        g.drawImage(cur, 0, 0, next.width, next.height);
        chain.push(cur);
        cur = next;
      }
      while (chain.length) {
        const up = chain.pop();
        const g = up.getContext('2d');
        g.imageSmoothingEnabled = true;
        g.clearRect(0, 0, up.width, up.height);
        g.drawImage(cur, 0, 0, up.width, up.height);
        cur = up;
      }
      ctx.imageSmoothingEnabled = true;
      ctx.drawImage(cur, 0, 0, w, h);
      return true;
    } catch (e) {
      ctx.fillStyle = 'rgba(200, 200, 210, 0.55)';
      ctx.fillRect(0, 0, w, h);
      return false;
    }
  }

  return { shrinkFactor, draw };
});
