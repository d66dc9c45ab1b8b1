// The page as a person sees it, with a real clip playing in the preview: screenshots at 1440×900
// and 960×600 (kept in test-artifacts/page/ to be looked at), and checks that every main control
// is on screen and usable at both sizes.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, openEditor, nativeCall, screenshot } from './harness.mjs';
import { buildRealisticSet, setField } from './fixtures.mjs';

let browser;
let dir;
let clipUrl;
before(async () => {
  dir = mkdtempSync(path.join(tmpdir(), 'tamovid-shots-'));
  const clip = path.join(dir, 'minta klip.mp4');
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=s=480x270:r=25:d=2', '-f', 'lavfi', '-i', 'sine=f=440:d=2',
    '-c:v', 'libx264', '-pix_fmt', 'yuv420p', '-c:a', 'aac', '-shortest', clip]);
  clipUrl = pathToFileURL(clip).href;
  browser = await launch();
});
after(async () => {
  await browser?.close();
  if (dir) rmSync(dir, { recursive: true, force: true });
});

async function editedPage(viewport) {
  const page = await openEditor(browser, viewport);
  await buildRealisticSet(page);
  // The realistic set was built against a placeholder; now the real clip (480×270, 2 s) arrives.
  await nativeCall(page, `onVideoLoaded(${JSON.stringify({ url: clipUrl, width: 480, height: 270, duration: 2 })})`);
  await page.waitForFunction(() => document.getElementById('video').readyState >= 2);
  await page.click('#layers li:first-child');
  await setField(page, 'fontSizePercent', 6);
  await page.evaluate(() => { const r = document.getElementById('scrubber'); r.value = '500'; r.dispatchEvent(new Event('input')); });
  await page.waitForFunction(() => Math.abs(document.getElementById('video').currentTime - 1) < 0.05 && !document.getElementById('video').seeking);
  return page;
}

const MAIN_CONTROLS = ['#btn-open-video', '#btn-save-project', '#btn-export', '#btn-undo', '.preset[data-preset="4:3"]',
  '#stage', '#btn-play', '#scrubber', '#timeline', '.tab[data-tab="product"]', '#add-progress', '#f-text'];

async function checkLayout(page, viewport) {
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  assert.ok(overflow <= 0, `no sideways scrolling (${overflow}px)`);
  for (const sel of MAIN_CONTROLS) {
    const b = await page.locator(sel).first().boundingBox();
    assert.ok(b && b.width > 4 && b.height > 4, `${sel} has a size`);
    assert.ok(b.x >= 0 && b.y >= 0 && b.x + b.width <= viewport.width + 0.5 && b.y + b.height <= viewport.height + 0.5,
      `${sel} on screen at ${viewport.width}x${viewport.height}: ${JSON.stringify(b)}`);
  }
  const stage = await page.locator('#stage').boundingBox();
  assert.ok(stage.height >= 150, `preview tall enough: ${stage.height}`);
}

for (const viewport of [{ width: 1440, height: 900 }, { width: 960, height: 600 }]) {
  test(`editor at ${viewport.width}x${viewport.height}: real clip in the preview, controls on screen`, async () => {
    const page = await editedPage(viewport);
    const playing = await page.evaluate(async () => {
      const v = document.getElementById('video');
      v.muted = true; // headless has no sound card; the program's preview keeps the clip's sound
      await v.play();
      await new Promise((r) => setTimeout(r, 300));
      const moved = v.currentTime > 1;
      v.pause();
      return moved;
    });
    assert.ok(playing, 'the clip plays in the preview');
    await page.evaluate(() => { const r = document.getElementById('scrubber'); r.value = '500'; r.dispatchEvent(new Event('input')); });
    await page.waitForFunction(() => !document.getElementById('video').seeking);
    await checkLayout(page, viewport);
    await screenshot(page, `editor-${viewport.width}x${viewport.height}.png`);

    await page.click('#btn-export');
    await nativeCall(page, 'onExportProgress(63)');
    await screenshot(page, `export-${viewport.width}x${viewport.height}.png`);
    await nativeCall(page, 'onExportComplete()');
    await page.click('#export-close');

    await page.click('.tab[data-tab="subtitles"]');
    await nativeCall(page, `showWhisperStatus('<span class="ai-loading"></span> Whisper API hívás...', false)`);
    await nativeCall(page, 'onWhisperResult([{"start":0.2,"end":0.9,"text":"Szia, ez egy próba!"},{"start":1.0,"end":1.9,"text":"Második mondat."}])');
    await screenshot(page, `subtitles-${viewport.width}x${viewport.height}.png`);
    assert.deepEqual(page.errors.filter((e) => !e.startsWith('Failed to load resource')), []);
    await page.close();
  });
}
