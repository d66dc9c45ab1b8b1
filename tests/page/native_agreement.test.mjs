// The page agrees with the native side: its crop geometry, frame plans and animation curves equal the
// values the native functions print (reference_values.cpp) for the same cases, the preview window
// shows exactly the native crop, and the script calls the native side writes reach the page intact.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { launch, openEditor, nativeCall, editorState, loadVideo } from './harness.mjs';

const reference = JSON.parse(execFileSync(process.env.TAMO_REFERENCE_BIN, { encoding: 'utf8', maxBuffer: 32 * 1024 * 1024 }));

test('crop geometry, frame plans and animation curves of the page equal the native ones', async () => {
  const browser = await launch();
  const page = await openEditor(browser);
  const mismatches = await page.evaluate(({ geometry, reframe, animation }) => {
    const G = window.TamoGeometry;
    const off = (want, got) => got.some((v, i) => (typeof v === 'number' ? Math.abs(v - want[i]) > 1e-9 : v !== want[i]));
    return [
      ...geometry.map(([w, h, preset, ...want]) => { const g = G.computeGeometry(w, h, preset); return [want, [g.width, g.height, g.cropX, g.cropY]]; }),
      ...reframe.map(([w, h, preset, positionX, positionY, outputSize, fillMode, ...want]) => {
        const p = G.framePlan(w, h, preset, { positionX, positionY, outputSize, fillMode });
        return [want, [p.crop.cropX, p.crop.cropY, p.crop.width, p.crop.height, p.width, p.height, p.fill, p.fitX, p.fitY, p.fitWidth, p.fitHeight]];
      }),
      ...animation.map(([i, o, phase, t, len, W, ...want]) => {
        const s = window.TamoAnimation.animState(i, o, phase, t, 1, 5, len, W, 1920);
        return [want, [s.opacity, s.tx, s.ty, s.scale, s.textLen]];
      }),
    ].filter(([want, got]) => off(want, got)).slice(0, 5);
  }, reference);
  assert.deepEqual(mismatches, []);
  assert.ok(reference.geometry.length > 80 && reference.reframe.length > 1500 && reference.animation.length > 3000);

  for (const [w, h, preset, width, height, cropX, cropY] of reference.geometry.filter(([w, h, p]) => w >= 100 && h >= 100 && p && p !== '2:1').slice(0, 20)) {
    await loadVideo(page, { url: '', width: w, height: h, duration: 4 });
    await page.click(`.preset[data-preset="${preset}"]`);
    const box = await page.evaluate(() => {
      const [s, v] = ['stage', 'video'].map((id) => document.getElementById(id).getBoundingClientRect());
      return { sw: s.width, sh: s.height, vl: v.left - s.left, vt: v.top - s.top, vw: v.width };
    });
    const scale = box.sh / height;
    assert.ok(Math.abs(box.sw / box.sh - width / height) < 0.01 && Math.abs(box.vl + cropX * scale) < 0.6 && Math.abs(box.vt + cropY * scale) < 0.6 &&
      Math.abs(box.vw - w * scale) < 0.6, `${w}x${h} ${preset}: ${JSON.stringify(box)}`);
  }
  await browser.close();
});

test('script calls the native side writes show a hostile text literally, run nothing, and keep numbers under its locale', async () => {
  assert.equal(reference.decimalPoint, ',', 'run under the Hungarian locale, whose decimal comma breaks numbers written with it');
  const browser = await launch();
  const page = await openEditor(browser);
  for (const call of reference.calls) await nativeCall(page, call);
  for (const where of ['#toasts', '#whisper-status', '#project-name', '#product-status']) assert.ok((await page.textContent(where)).includes(reference.hostile), where);
  assert.match(await page.textContent('#tts-status'), /^Narráció kész: 2\.3 mp/);
  assert.equal((await editorState(page)).video.duration, 12.75);
  await page.waitForTimeout(100); // an onerror handler would have run by now
  assert.deepEqual(await page.evaluate(() => [window.__pwned, document.querySelectorAll('img[src="x"], b').length]), [undefined, 0]);
  assert.deepEqual(page.errors, []);
  await browser.close();
});
