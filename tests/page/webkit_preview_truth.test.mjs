// The preview tells the truth in WebKitGTK, the engine of the program's window, under Xvfb without a GPU
// (WebKitWebDriver drives MiniBrowser): a blur region is seen blurred on the screen, and a line of text
// is as wide in the preview as in the video tamovid-render exports.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { Builder, By } from 'selenium-webdriver';
import { spawn, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import { pathToFileURL } from 'node:url';

const MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const editorUrl = new URL('../../resources/editor.html', import.meta.url).href;
const RENDER = process.env.TAMO_RENDER_BIN || '';
const skip = !(existsSync(MINIBROWSER) && existsSync('/usr/bin/WebKitWebDriver') && process.env.DISPLAY) && 'WebKitWebDriver, MiniBrowser or a display is missing';

let driver, child, dir;
const js = (body, ...args) => driver.executeScript(body, ...args);
const nativeCall = (text) => js('(0, eval)(arguments[0]);', text);
const twoFrames = () => js('return new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))');
before(async () => {
  dir = mkdtempSync('/tmp/tamovid-truth-');
  if (skip) return;
  const port = await new Promise((resolve) => { const s = net.createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); }); });
  child = spawn('/usr/bin/WebKitWebDriver', ['--host=127.0.0.1', '--port=' + port], { stdio: ['ignore', 'ignore', 'inherit'] });
  const answers = () => new Promise((r) => { const c = net.connect(port, '127.0.0.1', () => { c.destroy(); r(true); }).once('error', () => r(false)); });
  for (let i = 0; i < 200 && !(await answers()); i++) await new Promise((r) => setTimeout(r, 50));
  driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
    browserName: 'MiniBrowser', 'webkitgtk:browserOptions': { binary: MINIBROWSER, args: ['--automation', '--allow-file-access-from-file-urls=true'] },
  }).build();
  await driver.manage().window().setRect({ x: 0, y: 0, width: 1280, height: 800 });
  await driver.get(editorUrl);
  await driver.wait(() => js('return !!(window.TamoEditor && window.onExportComplete)'), 10000);
  await js('window.webkit = { messageHandlers: { swift: { postMessage() {} } } };');
});
after(async () => {
  try { await driver?.quit(); } finally { child?.kill(); rmSync(dir, { recursive: true, force: true }); }
});

function run(program, args) {
  const r = spawnSync(program, program === 'ffmpeg' ? ['-nostdin', '-v', 'error', '-y', ...args] : args, { maxBuffer: 64 * 1024 * 1024 });
  assert.equal(r.status, 0, String(r.stderr));
  return r.stdout;
}
const ffmpeg = (args) => run('ffmpeg', args);

// The X server's screen as the person sees it, and where the page's viewport starts on it.
async function grabScreen() {
  const data = ffmpeg(['-f', 'x11grab', '-i', process.env.DISPLAY, '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-']);
  const width = Number(/dimensions:\s+(\d+)x/.exec(spawnSync('xdpyinfo', [], { encoding: 'utf8' }).stdout)[1]);
  const view = await js('return { x: window.screenX + window.outerWidth - window.innerWidth, y: window.screenY + window.outerHeight - window.innerHeight }');
  // Pixel at viewport coordinates.
  return (x, y) => { const i = ((Math.round(y) + view.y) * width + Math.round(x) + view.x) * 3; return [data[i], data[i + 1], data[i + 2]]; };
}

async function loadClip(file, width, height, seconds) {
  await nativeCall(`onVideoLoaded(${JSON.stringify({ url: pathToFileURL(file).href, width, height, duration: seconds })})`);
  await driver.wait(() => js("return document.getElementById('video').readyState >= 2"), 15000);
}

// Mean difference of horizontally neighbouring pixels (green) over a box: high on a fine checkerboard, low when blurred.
function roughness(at, x0, y0, x1, y1) {
  let sum = 0, n = 0;
  for (let y = Math.round(y0); y < y1; y++) for (let x = Math.round(x0); x < x1 - 1; x++, n++) sum += Math.abs(at(x, y)[1] - at(x + 1, y)[1]);
  return sum / n;
}

test('a blur region is blurred on the screen, the clip around it stays sharp', { skip }, async () => {
  const clip = `${dir}/checker.mp4`;
  ffmpeg(['-f', 'lavfi', '-i', "nullsrc=s=640x360:r=10:d=2,geq=lum='if(mod(floor(X/4)+floor(Y/4),2),235,16)':cb=128:cr=128",
    '-pix_fmt', 'yuv420p', '-c:v', 'libx264', '-preset', 'ultrafast', '-qp', '4', clip]);
  await loadClip(clip, 640, 360, 2);
  await driver.findElement(By.id('add-blur')).click();
  // Deselected, so no frame or handle is drawn over it.
  await js("document.getElementById('stage').dispatchEvent(new PointerEvent('pointerdown', {bubbles: true}))");
  const r = await js("const b = document.querySelector('.ov-blur').getBoundingClientRect(); return {l: b.left, t: b.top, r: b.right, b: b.bottom, sl: document.getElementById('stage').getBoundingClientRect().left}");
  // The window may show the new frame a few paints later: look again a bounded number of times.
  let inner = Infinity, outer = 0;
  for (let attempt = 0; attempt < 8 && !(inner < outer / 4); attempt++) {
    await twoFrames();
    const at = await grabScreen();
    inner = roughness(at, r.l + 6, r.t + 6, r.r - 6, r.b - 6);
    outer = roughness(at, r.sl + 6, r.t + 6, r.l - 6, r.b - 6); // the clip left of the region
  }
  assert.ok(outer > 20, `the checkerboard beside the region is not sharp on screen (${outer.toFixed(1)}): preview not where expected`);
  assert.ok(inner < outer / 4, `inside the blur region ${inner.toFixed(1)}, beside it ${outer.toFixed(1)}`);
});

// Left and right ends of the light pixels in a band of rows: the ink extent of a white line.
function inkSpan(at, x0, x1, y0, y1) {
  let left = Infinity, right = -Infinity;
  for (let y = Math.round(y0); y < y1; y++) for (let x = Math.round(x0); x < x1; x++) if (at(x, y).every((c) => c > 128)) [left, right] = [Math.min(left, x), Math.max(right, x)];
  return right >= left ? right - left + 1 : 0;
}

test('one line of text is as wide in the preview as in the exported video (within 2 %)', { skip: skip || (!existsSync(RENDER) && 'tamovid-render not built') }, async () => {
  const W = 1280, H = 720;
  const clip = `${dir}/black.mp4`;
  ffmpeg(['-f', 'lavfi', '-i', `color=black:s=${W}x${H}:r=10:d=1`, '-pix_fmt', 'yuv420p', '-c:v', 'libx264', '-preset', 'ultrafast', clip]);
  await loadClip(clip, W, H, 1);
  // Three offered families, and a name of older projects that is not installed (drawn with the fallback).
  for (const family of ['Liberation Sans', 'Open Sans', 'DejaVu Serif', 'Georgia']) {
    const overlay = { type: 'text', text: 'Tavaszi kiárusítás minden termékre', fontFamily: family, fontSizePercent: 6, fontColor: '#ffffff',
      bold: false, italic: false, xPercent: 50, yPercent: 50, alignment: 'center', strokeEnabled: false, bgEnabled: false,
      shadowEnabled: false, timeStartPercent: 0, timeEndPercent: 100, animationIn: 'none', animationOut: 'none' };
    await nativeCall(`onProjectLoaded(${JSON.stringify({ textObjects: [overlay], cropPreset: 'original' })})`);
    const s = await js("const s = document.getElementById('stage').getBoundingClientRect(); return {x: s.left, y: s.top, w: s.width, h: s.height}");
    // A busy machine may paint the new text a few frames late: measure until two looks agree.
    let previewInk = -1;
    for (let attempt = 0; attempt < 10; attempt++) {
      await twoFrames();
      const ink = inkSpan(await grabScreen(), s.x + 2, s.x + s.w - 2, s.y + s.h * 0.4, s.y + s.h * 0.6);
      if (ink > 0 && ink === previewInk) break;
      previewInk = ink;
    }
    const [params, out] = [`${dir}/params.json`, `${dir}/out.mp4`];
    writeFileSync(params, JSON.stringify({ textObjects: [overlay], cropPreset: 'original', previewHeight: s.h }));
    run(RENDER, ['--video', clip, '--params', params, '--output', out]);
    const frame = ffmpeg(['-i', out, '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-']);
    const exportInk = inkSpan((x, y) => { const i = (y * W + x) * 3; return [frame[i], frame[i + 1], frame[i + 2]]; }, 0, W, H * 0.4, H * 0.6);
    assert.ok(exportInk > W * 0.3, `${family}: export drew ${exportInk} px`);
    const preview = previewInk * (H / s.h);
    assert.ok(Math.abs(preview / exportInk - 1) <= 0.02, `${family}: preview ${preview.toFixed(1)} px, export ${exportInk} px`);
  }
});
