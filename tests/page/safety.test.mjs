// Everything the native side sends is shown as text: error callbacks become visible messages, and
// hostile texts (markup, script tags, quotes) appear literally without creating elements or running.
import { test, before, after, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, nativeCall, editorState } from './harness.mjs';
import { loadVideo } from './fixtures.mjs';

const HOSTILE = `<img src=x onerror="window.__pwned='img'"><script>window.__pwned='script'</script><b>vastag</b> O'Brien "idézet" 🙂`;
// The native side puts texts between single quotes and escapes only the apostrophes.
const quoted = (s) => `'${s.replace(/'/g, "\\'")}'`;

let browser;
let page;
before(async () => { browser = await launch(); });
after(async () => {
  assert.deepEqual(browser.outbound, [], 'the page never reached for the network');
  await browser?.close();
});
beforeEach(async () => {
  if (page) await page.close();
  page = await openEditor(browser);
});

const injected = (p) => p.evaluate(() => ({
  pwned: window.__pwned,
  imgs: document.querySelectorAll('img[src="x"]').length,
  bolds: document.querySelectorAll('b').length,
  scripts: [...document.scripts].filter((s) => !s.src).length,
}));
const CLEAN = { pwned: undefined, imgs: 0, bolds: 0, scripts: 0 };

const ERROR_CALLS = [
  ['onWhisperError', '#whisper-status'],
  ['onNarrationError', '#tts-status'],
  ['onProductImageError', '#product-status'],
  ['onBackgroundError', '#bg-status'],
  ['onExportError', '#export-message'],
];

test('every error callback shows its text visibly, literally', async () => {
  for (const [fn, where] of ERROR_CALLS) {
    await nativeCall(page, `${fn}(${quoted(HOSTILE)})`);
    const tab = { '#whisper-status': 'subtitles', '#tts-status': 'narration', '#product-status': 'product', '#bg-status': 'background' }[where];
    if (tab) await page.click(`.tab[data-tab="${tab}"]`);
    assert.equal(await page.isVisible(where), true, `${fn}: message visible`);
    assert.ok((await page.textContent(where)).includes(HOSTILE), `${fn}: literal text in ${where}`);
    assert.ok((await page.textContent('#toasts')).includes(HOSTILE), `${fn}: toast`);
    if (fn === 'onExportError') await page.click('#export-close');
  }
  await nativeCall(page, `onUrlFetched({error:${quoted(HOSTILE)}})`);
  await page.click('.tab[data-tab="product"]');
  assert.equal(await page.textContent('#product-status'), HOSTILE);
  await page.waitForTimeout(100);
  assert.deepEqual(await injected(page), CLEAN);
});

test('a status line that is not one of the two fixed lines is shown as text', async () => {
  await page.click('.tab[data-tab="subtitles"]');
  await nativeCall(page, `showWhisperStatus(${quoted(HOSTILE)}, false)`);
  assert.equal(await page.textContent('#whisper-status'), HOSTILE);
  await nativeCall(page, `showWhisperStatus('<span class="ai-loading"></span><img src=x onerror="window.__pwned=1">', false)`);
  assert.equal(await page.locator('#whisper-status img').count(), 0);
  await page.waitForTimeout(100);
  assert.deepEqual(await injected(page), CLEAN);
});

test('hostile texts in segments, projects, product pages and file names are shown as text', async () => {
  await loadVideo(page, { url: `file:///tmp/${encodeURIComponent('<b>x</b>.mp4')}`, width: 1280, height: 720, duration: 10 });
  assert.equal(await page.textContent('#video-name'), '<b>x</b>.mp4');

  await nativeCall(page, `onWhisperResult(${JSON.stringify([{ start: 0, end: 10, text: HOSTILE }])})`);
  await page.click('.tab[data-tab="subtitles"]');
  assert.equal(await page.inputValue('#segments .seg-text'), HOSTILE);
  assert.equal(await page.textContent('.ov-text .ov-lines'), HOSTILE);

  await nativeCall(page, `onProjectLoaded(${JSON.stringify({ textObjects: [{ type: 'text', text: HOSTILE, fontFamily: '"><img src=x onerror=alert(1)>' }], narrationText: HOSTILE })})`);
  await page.click('.tab[data-tab="elements"]');
  assert.equal(await page.textContent('#layers .layer-label'), HOSTILE);
  assert.equal(await page.inputValue('#tts-text'), HOSTILE);
  await page.click('#layers li');
  assert.equal(await page.inputValue('#f-text'), HOSTILE);

  const html = `<title>${HOSTILE.replace(/</g, '&lt;')}</title><meta property="og:description" content="${HOSTILE.replace(/"/g, '&quot;').replace(/</g, '&lt;')}">`;
  await nativeCall(page, `onUrlFetched(${JSON.stringify({ html, url: 'https://x.example/' })})`);
  await page.click('.tab[data-tab="product"]');
  assert.equal(await page.textContent('#product-title'), HOSTILE);
  assert.equal(await page.textContent('#product-desc'), HOSTILE);

  await page.waitForTimeout(100);
  assert.deepEqual(await injected(page), CLEAN);
  assert.deepEqual(page.errors.filter((e) => !e.startsWith('Failed to load resource')), []);
});

test('malformed callback arguments are refused with a message, not an exception', async () => {
  const calls = ['onVideoLoaded(null)', 'onVideoLoaded({"width":"wide"})', 'onImagePicked({imageId:5})',
    "onImagePicked({imageId:'img_1',dataURL:'javascript:alert(1)',width:1,height:1})", 'onWhisperResult({"a":1})',
    'onUrlFetched(7)', 'onUrlFetched({})', 'onNarrationReady()', 'onProductImageReady(null)', 'onExportProgress("abc")',
    'onImageReloaded(undefined)', 'onBackgroundReady([])'];
  for (const c of calls) await nativeCall(page, c);
  const st = await editorState(page);
  assert.equal(st.overlays.length, 0);
  assert.equal(st.video, null);
  assert.deepEqual(page.errors, []);
  assert.ok((await page.locator('.toast.error').count()) > 0);
});
