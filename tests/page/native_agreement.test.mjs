// The page previews what the exporter produces: its crop geometry, frame plans and animation curves
// equal the values the native functions print (reference_values.cpp) for the same cases, and the
// preview window shows exactly the native crop of the video.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { launch, openEditor, nativeCall } from './harness.mjs';

test('crop geometry, frame plans and animation curves of the page equal the native ones', async () => {
  const bin = process.env.TAMO_REFERENCE_BIN;
  assert.ok(bin, 'TAMO_REFERENCE_BIN must name the page_reference_values program (ctest sets it)');
  const reference = JSON.parse(execFileSync(bin, { encoding: 'utf8', maxBuffer: 32 * 1024 * 1024 }));
  const browser = await launch();
  const page = await openEditor(browser);
  const mismatches = await page.evaluate(({ geometry, reframe, animation }) => {
    const G = window.TamoGeometry;
    const differs = (got, r) => Object.keys(got).some((k) => (typeof got[k] === 'number' ? Math.abs(got[k] - r[k]) > 1e-9 : got[k] !== r[k]));
    return [
      ...geometry.map((r) => ({ r, got: G.computeGeometry(r.w, r.h, r.preset) }))
        .map(({ r, got }) => ({ r, got: { width: got.width, height: got.height, cropX: got.cropX, cropY: got.cropY } })),
      ...reframe.map((r) => {
        const p = G.framePlan(r.w, r.h, r.preset, { positionX: r.px, positionY: r.py, outputSize: r.outputSize, fillMode: r.fillMode });
        return { r, got: { cropX: p.crop.cropX, cropY: p.crop.cropY, cropWidth: p.crop.width, cropHeight: p.crop.height, width: p.width,
          height: p.height, fill: p.fill, fitX: p.fitX, fitY: p.fitY, fitWidth: p.fitWidth, fitHeight: p.fitHeight } };
      }),
      ...animation.map((r) => {
        const s = window.TamoAnimation.animState(r.in, r.out, r.phase, r.t, 1, 5, r.len, r.W, 1920);
        return { r, got: { opacity: s.opacity, tx: s.tx, ty: s.ty, scale: s.scale, textLen: s.textLen } };
      }),
    ].filter(({ r, got }) => differs(got, r)).slice(0, 5);
  }, reference);
  assert.deepEqual(mismatches, []);
  assert.ok(reference.geometry.length > 80 && reference.reframe.length > 1500 && reference.animation.length > 3000);

  for (const r of reference.geometry.filter((g) => g.w >= 100 && g.h >= 100 && g.preset && g.preset !== '2:1').slice(0, 20)) {
    await nativeCall(page, `onVideoLoaded(${JSON.stringify({ url: '', width: r.w, height: r.h, duration: 4 })})`);
    await page.click(`.preset[data-preset="${r.preset}"]`);
    const box = await page.evaluate(() => {
      const s = document.getElementById('stage').getBoundingClientRect();
      const v = document.getElementById('video').getBoundingClientRect();
      return { sw: s.width, sh: s.height, vl: v.left - s.left, vt: v.top - s.top, vw: v.width };
    });
    const scale = box.sh / r.height;
    const what = `${r.w}x${r.h} ${r.preset}: ${JSON.stringify(box)}`;
    assert.ok(Math.abs(box.sw / box.sh - r.width / r.height) < 0.01, what);
    assert.ok(Math.abs(box.vl + r.cropX * scale) < 0.6 && Math.abs(box.vt + r.cropY * scale) < 0.6, what);
    assert.ok(Math.abs(box.vw - r.w * scale) < 0.6, what);
  }
  await browser.close();
});
