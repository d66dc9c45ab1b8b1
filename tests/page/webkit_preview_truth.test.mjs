// The preview tells the truth in a WebKitGTK window on an X server without a GPU: a blur region is
// seen blurred on the screen, and a line of text is as wide in the preview as in the exported video.
// Run under Xvfb (run_gui_test.sh); the export is tamovid-render, its output decoded by ffmpeg.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { By } from 'selenium-webdriver';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { available, launchWebKit, openEditor, js, nativeCall, grabScreen, viewportOnScreen } from './webkit_harness.mjs';

const RENDER = process.env.TAMO_RENDER_BIN || '';
const opts = { skip: available ? false : 'WebKitWebDriver, MiniBrowser or a display is missing' };

let wk;
let d;
let dir;
before(async () => {
  dir = mkdtempSync(path.join(tmpdir(), 'tamovid-truth-'));
  if (available) { wk = await launchWebKit(); d = wk.driver; }
});
after(async () => {
  if (wk) await wk.close();
  rmSync(dir, { recursive: true, force: true });
});

function ffmpeg(args) {
  const r = spawnSync('ffmpeg', ['-nostdin', '-v', 'error', '-y', ...args], { maxBuffer: 64 * 1024 * 1024 });
  assert.equal(r.status, 0, String(r.stderr));
  return r.stdout;
}

// Waits until the page shows a picture of the clip (the blur canvas draws from it).
async function loadClip(file, width, height, seconds) {
  await nativeCall(d, `onVideoLoaded(${JSON.stringify({ url: pathToFileURL(file).href, width, height, duration: seconds })})`);
  await d.wait(() => js(d, "return document.getElementById('video').readyState >= 2"), 15000);
}

// Mean absolute difference of horizontally neighbouring pixels (green channel) over a screen box:
// high on a fine checkerboard, low where it is blurred.
function roughness(screen, x0, y0, x1, y1) {
  let sum = 0, n = 0;
  for (let y = Math.round(y0); y < Math.round(y1); y++) {
    for (let x = Math.round(x0); x < Math.round(x1) - 1; x++) {
      sum += Math.abs(screen.at(x, y)[1] - screen.at(x + 1, y)[1]);
      n++;
    }
  }
  return n ? sum / n : NaN;
}

test('a blur region is blurred on the screen, the clip around it stays sharp', opts, async () => {
  const clip = path.join(dir, 'checker.mp4');
  ffmpeg(['-f', 'lavfi', '-i', "nullsrc=s=640x360:r=10:d=2,geq=lum='if(mod(floor(X/4)+floor(Y/4),2),235,16)':cb=128:cr=128",
    '-pix_fmt', 'yuv420p', '-c:v', 'libx264', '-preset', 'ultrafast', '-qp', '4', clip]);
  await openEditor(d);
  await loadClip(clip, 640, 360, 2);
  await d.findElement(By.id('add-blur')).click();
  // Deselected, so no frame or handle is drawn over it.
  await js(d, "document.getElementById('stage').dispatchEvent(new PointerEvent('pointerdown', {bubbles: true}))");
  await js(d, 'return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))');
  const view = await viewportOnScreen(d);
  const r = await js(d, "const b = document.querySelector('.ov-blur').getBoundingClientRect(); const s = document.getElementById('stage').getBoundingClientRect(); return {bx: b.left, by: b.top, bw: b.width, bh: b.height, sx: s.left, sy: s.top, sw: s.width, sh: s.height}");
  // The window may show the new frame a few paints later: look again a bounded number of times.
  let inner = Infinity, outer = 0;
  for (let attempt = 0; attempt < 8 && !(inner < outer / 4); attempt++) {
    await js(d, 'return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))');
    const screen = grabScreen();
    inner = roughness(screen, view.x + r.bx + 6, view.y + r.by + 6, view.x + r.bx + r.bw - 6, view.y + r.by + r.bh - 6);
    // The clip left of the region, inside the stage.
    outer = roughness(screen, view.x + r.sx + 6, view.y + r.by + 6, view.x + r.bx - 6, view.y + r.by + r.bh - 6);
  }
  assert.ok(outer > 20, `the checkerboard beside the region is not sharp on screen (${outer.toFixed(1)}): preview not where expected`);
  assert.ok(inner < outer / 4, `inside the blur region ${inner.toFixed(1)}, beside it ${outer.toFixed(1)}`);
});

// Left and right ends of the light pixels in a band of rows: the ink extent of a white line.
function inkSpan(pixelAt, x0, x1, y0, y1) {
  let left = Infinity, right = -Infinity;
  for (let y = y0; y < y1; y++) {
    for (let x = x0; x < x1; x++) {
      const [r, g, b] = pixelAt(x, y);
      if (r > 128 && g > 128 && b > 128) { left = Math.min(left, x); right = Math.max(right, x); }
    }
  }
  return right >= left ? right - left + 1 : 0;
}

test('one line of text is as wide in the preview as in the exported video (within 2 %)', { skip: opts.skip || (!existsSync(RENDER) && 'tamovid-render not built') }, async () => {
  const W = 1280, H = 720;
  const clip = path.join(dir, 'black.mp4');
  ffmpeg(['-f', 'lavfi', '-i', `color=black:s=${W}x${H}:r=10:d=1`, '-pix_fmt', 'yuv420p', '-c:v', 'libx264', '-preset', 'ultrafast', clip]);
  await openEditor(d);
  await loadClip(clip, W, H, 1);
  // Three offered families, and a name of older projects that is not installed (drawn with the fallback).
  for (const family of ['Liberation Sans', 'Open Sans', 'DejaVu Serif', 'Georgia']) {
    const overlay = {
      type: 'text', text: 'Tavaszi kiárusítás minden termékre', fontFamily: family, fontSizePercent: 6, fontColor: '#ffffff',
      bold: false, italic: false, xPercent: 50, yPercent: 50, alignment: 'center', strokeEnabled: false, bgEnabled: false,
      shadowEnabled: false, timeStartPercent: 0, timeEndPercent: 100, animationIn: 'none', animationOut: 'none',
    };
    await nativeCall(d, `onProjectLoaded(${JSON.stringify({ textObjects: [overlay], cropPreset: 'original' })})`);
    await js(d, 'return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))');
    const view = await viewportOnScreen(d);
    const s = await js(d, "const s = document.getElementById('stage').getBoundingClientRect(); return {x: s.left, y: s.top, w: s.width, h: s.height}");
    const sx0 = Math.round(view.x + s.x), sy0 = Math.round(view.y + s.y);
    const band = [Math.round(s.h * 0.4), Math.round(s.h * 0.6)];
    // A busy machine may paint the new text a few frames late: measure until two looks agree.
    let previewInk = -1;
    for (let attempt = 0; attempt < 10; attempt++) {
      const screen = grabScreen();
      const ink = inkSpan((x, y) => screen.at(x, y), sx0 + 2, sx0 + Math.round(s.w) - 2, sy0 + band[0], sy0 + band[1]);
      if (ink > 0 && ink === previewInk) break;
      previewInk = ink;
      await js(d, 'return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))');
    }
    const previewInOutputPixels = previewInk * (H / s.h);

    const params = path.join(dir, 'params.json');
    writeFileSync(params, JSON.stringify({ textObjects: [overlay], cropPreset: 'original', previewHeight: s.h }));
    const out = path.join(dir, 'out.mp4');
    const r = spawnSync(RENDER, ['--video', clip, '--params', params, '--output', out]);
    assert.equal(r.status, 0, String(r.stderr) + String(r.stdout));
    const frame = ffmpeg(['-i', out, '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-']);
    const at = (x, y) => { const i = (y * W + x) * 3; return [frame[i], frame[i + 1], frame[i + 2]]; };
    const exportInk = inkSpan(at, 0, W, Math.round(H * 0.4), Math.round(H * 0.6));
    assert.ok(exportInk > W * 0.3, `${family}: export drew ${exportInk} px`);
    const ratio = previewInOutputPixels / exportInk;
    assert.ok(Math.abs(ratio - 1) <= 0.02, `${family}: preview ${previewInOutputPixels.toFixed(1)} px, export ${exportInk} px`);
  }
});
