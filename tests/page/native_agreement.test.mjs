// The page must preview what the exporter produces: its crop geometry (and animation curves, once
// the native animation is part of the build) are compared in the browser with the values the
// native functions print for the same table of cases.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { launch, openEditor, nativeCall } from './harness.mjs';

const bin = process.env.TAMO_REFERENCE_BIN;
let reference;
let browser;
let page;

before(async () => {
  assert.ok(bin, 'TAMO_REFERENCE_BIN must name the page_reference_values program (ctest sets it)');
  reference = JSON.parse(execFileSync(bin, { encoding: 'utf8', maxBuffer: 32 * 1024 * 1024 }));
  browser = await launch();
  page = await openEditor(browser);
});
after(async () => { await browser?.close(); });

test('crop geometry of the page equals the native one for every case', async () => {
  assert.ok(reference.geometry.length > 100);
  const mismatches = await page.evaluate((rows) => rows
    .map((r) => ({ r, got: window.TamoGeometry.computeGeometry(r.w, r.h, r.preset) }))
    .filter(({ r, got }) => got.width !== r.width || got.height !== r.height || got.cropX !== r.cropX || got.cropY !== r.cropY),
  reference.geometry);
  assert.deepEqual(mismatches, []);
});

test('moved crop windows and whole output frames of the page equal the native plans', async () => {
  assert.ok(reference.reframe.length > 500);
  const mismatches = await page.evaluate((rows) => rows
    .map((r) => {
      const p = window.TamoGeometry.framePlan(r.w, r.h, r.preset, { positionX: r.px, positionY: r.py, outputSize: r.outputSize, fillMode: r.fillMode });
      const got = { cropX: p.crop.cropX, cropY: p.crop.cropY, cropWidth: p.crop.width, cropHeight: p.crop.height, width: p.width, height: p.height, fill: p.fill, fitX: p.fitX, fitY: p.fitY, fitWidth: p.fitWidth, fitHeight: p.fitHeight };
      return { r, got };
    })
    .filter(({ r, got }) => Object.keys(got).some((k) => got[k] !== r[k]))
    .slice(0, 5),
  reference.reframe);
  assert.deepEqual(mismatches, []);
});

test('the preview window shows exactly the native crop of the video', async () => {
  const cases = reference.geometry.filter((r) => r.w >= 100 && r.h >= 100 && ['9:16', '1:1', '4:5', '16:9', '4:3', 'original'].includes(r.preset));
  for (const r of cases.slice(0, 30)) {
    await nativeCall(page, `onVideoLoaded(${JSON.stringify({ url: '', width: r.w, height: r.h, duration: 4 })})`);
    await page.click(`.preset[data-preset="${r.preset}"]`);
    const box = await page.evaluate(() => {
      const s = document.getElementById('stage').getBoundingClientRect();
      const v = document.getElementById('video').getBoundingClientRect();
      return { sw: s.width, sh: s.height, vl: v.left - s.left, vt: v.top - s.top, vw: v.width };
    });
    const scale = box.sh / r.height;
    const what = `${r.w}x${r.h} ${r.preset}`;
    assert.ok(Math.abs(box.sw / box.sh - r.width / r.height) < 0.01, `${what}: aspect ${box.sw / box.sh}`);
    assert.ok(Math.abs(box.vl + r.cropX * scale) < 0.6, `${what}: left ${box.vl}`);
    assert.ok(Math.abs(box.vt + r.cropY * scale) < 0.6, `${what}: top ${box.vt}`);
    assert.ok(Math.abs(box.vw - r.w * scale) < 0.6, `${what}: width ${box.vw}`);
  }
});

test('animation curves of the page equal the native animState for every case', async (t) => {
  if (reference.animation === null) {
    t.skip('the native animation is not part of this build yet');
    return;
  }
  assert.ok(reference.animation.length > 1000);
  const mismatches = await page.evaluate((rows) => {
    const bad = [];
    for (const r of rows) {
      const s = window.TamoAnimation.animState(r.in, r.out, r.phase, r.t, r.start, r.end, r.len, r.W, r.H);
      const off = ['opacity', 'tx', 'ty', 'scale'].some((k) => Math.abs(s[k] - r[k]) > 1e-9) || s.textLen !== r.textLen;
      if (off) bad.push({ r, s });
    }
    return bad.slice(0, 5);
  }, reference.animation);
  assert.deepEqual(mismatches, []);
});
