// Subtitles, narration, product import and background clips: the messages the page posts and what
// the native callbacks change on the page.
import { test, before, after, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, openEditor, posted, clearPosted, nativeCall, editorState } from './harness.mjs';
import { loadVideo, pngDataUrl } from './fixtures.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
let browser;
let page;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });
beforeEach(async () => {
  if (page) await page.close();
  page = await openEditor(browser);
});

test('subtitles: the key stays in local storage, segments become timed subtitle overlays and an .srt', async () => {
  await loadVideo(page); // 20 s
  await page.click('.tab[data-tab="subtitles"]');
  await page.click('#btn-whisper');
  assert.match(await page.textContent('#whisper-status'), /API kulcsot/);
  assert.deepEqual(await posted(page), []);

  await page.fill('#api-key', 'sk-test-ABC');
  await page.click('#btn-whisper');
  assert.deepEqual(await posted(page), [{ action: 'whisperTranscribe', params: { apiKey: 'sk-test-ABC', language: 'hu' } }]);
  assert.equal(await page.evaluate(() => localStorage.getItem('tamo.openaiApiKey')), 'sk-test-ABC');
  assert.equal(await page.inputValue('#api-key-tts'), 'sk-test-ABC', 'one key for both services');

  await nativeCall(page, `showWhisperStatus('<span class="ai-loading"></span> Hang kinyerése...', false)`);
  assert.equal(await page.locator('#whisper-status .ai-loading').count(), 1);
  assert.equal((await page.textContent('#whisper-status')).trim(), 'Hang kinyerése...');
  await nativeCall(page, `showWhisperStatus('<span class="ai-loading"></span> Whisper API hívás...', false)`);
  assert.equal((await page.textContent('#whisper-status')).trim(), 'Whisper API hívás...');

  await nativeCall(page, 'onWhisperResult([{"start":0,"end":2.5,"text":"Szia!"},{"text":"Második mondat","end":10,"start":5}])');
  const subs = (await editorState(page)).overlays;
  assert.deepEqual(subs.map((o) => [o.type, o.text, o.timeStartPercent, o.timeEndPercent]),
    [['text', 'Szia!', 0, 12.5], ['text', 'Második mondat', 25, 50]]);
  // The caption style (the classic preset until another is chosen) is on every subtitle.
  assert.ok(subs.every((o) => o.subtitle === true && o.bold && o.strokeEnabled && o.yPercent === 75), JSON.stringify(subs));
  assert.match(await page.textContent('#whisper-status'), /2 felirat hozzáadva/);
  assert.equal(await page.locator('#segments li').count(), 2);
  // All subtitles are one undo step.
  await page.click('.timeline-head');
  await page.keyboard.press('Control+z');
  assert.equal((await editorState(page)).overlays.length, 0);

  // Saving the subtitles is the native side's job: it gets the cleaned segments and the format.
  await clearPosted(page);
  await page.click('#btn-srt');
  await page.click('#btn-vtt');
  const segments = [{ start: 0, end: 2.5, text: 'Szia!' }, { start: 5, end: 10, text: 'Második mondat' }];
  assert.deepEqual(await posted(page), [
    { action: 'saveSubtitles', params: { segments, format: 'srt' } },
    { action: 'saveSubtitles', params: { segments, format: 'vtt' } },
  ]);
  await nativeCall(page, "onSubtitlesSaved('film <b>.srt')");
  assert.match(await page.locator('.toast.ok').last().textContent(), /Feliratok mentve: film <b>\.srt/);
  await nativeCall(page, "onSubtitlesError('Már van „a.srt” nevű fájl')");
  assert.match(await page.locator('.toast.error').last().textContent(), /Felirat mentési hiba: Már van „a\.srt” nevű fájl/);

  // The key survives a reload of the page, and is never part of a project.
  await page.reload();
  await page.waitForFunction(() => window.TamoEditor);
  assert.equal(await page.inputValue('#api-key'), 'sk-test-ABC');
  await clearPosted(page);
  await page.click('#btn-save-project');
  assert.ok(!JSON.stringify(await posted(page)).includes('sk-test-ABC'));
});

test('subtitles: an empty result and an error are reported', async () => {
  await loadVideo(page);
  await nativeCall(page, 'onWhisperResult([])');
  assert.match(await page.textContent('#whisper-status'), /Nem található beszéd/);
  await nativeCall(page, "onWhisperError('Nincs hangsáv a videóban!')");
  assert.equal(await page.textContent('#whisper-status'), 'Nincs hangsáv a videóban!');
  assert.match(await page.getAttribute('#whisper-status', 'class'), /error/);
});

test('narration: text, voice, speed and key are posted; the duration is shown', async () => {
  await page.click('.tab[data-tab="narration"]');
  await page.fill('#tts-text', 'Üdv a csatornán!');
  await page.selectOption('#tts-voice', 'onyx');
  await page.locator('#tts-speed').fill('1.5');
  await page.fill('#api-key-tts', 'sk-tts');
  await page.click('#btn-tts');
  assert.deepEqual(await posted(page), [{ action: 'generateTTS', params: { text: 'Üdv a csatornán!', voice: 'onyx', speed: 1.5, apiKey: 'sk-tts' } }]);
  assert.equal(await page.isDisabled('#btn-tts'), true);
  await nativeCall(page, 'onNarrationReady({duration:7.0})');
  assert.match(await page.textContent('#tts-status'), /^Narráció kész: 7\.0 mp/);
  assert.equal(await page.isDisabled('#btn-tts'), false);
  await nativeCall(page, "onNarrationError('Üres vagy hibás válasz!')");
  assert.equal(await page.textContent('#tts-status'), 'Üres vagy hibás válasz!');
});

test('product import: title, description and picture from a fetched page, without running or loading it', async () => {
  await loadVideo(page);
  await page.click('.tab[data-tab="product"]');
  await page.fill('#product-url', 'https://bolt.example/termek/42');
  await page.click('#btn-fetch-product');
  assert.deepEqual(await posted(page), [{ action: 'fetchUrl', params: { url: 'https://bolt.example/termek/42' } }]);
  const html = readFileSync(path.join(here, 'fixtures', 'product.html'), 'utf8');
  await nativeCall(page, `onUrlFetched(${JSON.stringify({ html, url: 'https://bolt.example/termek/42' })})`);
  assert.equal(await page.textContent('#product-title'), 'Vezeték nélküli fülhallgató X2');
  assert.equal(await page.textContent('#product-desc'), 'Zajszűrés, 30 óra üzemidő, USB-C töltés.');
  assert.equal(await page.textContent('#product-image-url'), 'https://bolt.example/kepek/x2-fekete.jpg');
  await page.waitForTimeout(200);
  assert.equal(await page.evaluate(() => window.__pwned), undefined, 'nothing of the fetched page ran');
  assert.deepEqual(browser.outbound, [], 'nothing of the fetched page was loaded');

  await clearPosted(page);
  await page.click('#btn-add-product-title');
  await page.click('#btn-add-product-desc');
  await page.click('#btn-add-product-image');
  assert.deepEqual(await posted(page), [{ action: 'downloadProductImage', params: { url: 'https://bolt.example/kepek/x2-fekete.jpg' } }]);
  const dataURL = await pngDataUrl(page, 300, 300);
  await nativeCall(page, `onProductImageReady({imageId:'product_0A1B2C3D',dataURL:'${dataURL}',width:300,height:300})`);
  const list = (await editorState(page)).overlays;
  assert.deepEqual(list.map((o) => [o.type, o.text ?? o.imageId]), [
    ['text', 'Vezeték nélküli fülhallgató X2'],
    ['text', 'Zajszűrés, 30 óra üzemidő, USB-C töltés.'],
    ['image', 'product_0A1B2C3D'],
  ]);

  // A page with only a <title>, and the error forms.
  await nativeCall(page, `onUrlFetched(${JSON.stringify({ html: '<title>Csak cím</title>', url: 'http://x.example/' })})`);
  assert.equal(await page.textContent('#product-title'), 'Csak cím');
  assert.equal(await page.isVisible('#product-image-card'), false);
  await nativeCall(page, "onUrlFetched({error:'Érvénytelen URL! Csak http/https támogatott.'})");
  assert.equal(await page.textContent('#product-status'), 'Érvénytelen URL! Csak http/https támogatott.');
  await nativeCall(page, "onProductImageError('Nem sikerült a kép letöltése!')");
  assert.equal(await page.textContent('#product-status'), 'Nem sikerült a kép letöltése!');
});

test('background clip: size, length, colour and optional picture address; the clip becomes the video', async () => {
  await page.click('.tab[data-tab="background"]');
  await page.selectOption('#bg-size', '1080x1080');
  await page.fill('#bg-duration', '8');
  await page.locator('#bg-color').fill('#ff0000');
  await page.click('#btn-generate-bg');
  await page.fill('#bg-image-url', 'https://kepek.example/hatter.jpg');
  await nativeCall(page, "onBackgroundError('Writer hiba!')");
  assert.equal(await page.textContent('#bg-status'), 'Writer hiba!');
  await page.click('#btn-generate-bg');
  assert.deepEqual(await posted(page), [
    { action: 'generateBackground', params: { width: 1080, height: 1080, duration: 8, color: '#ff0000' } },
    { action: 'generateBackground', params: { width: 1080, height: 1080, duration: 8, color: '#ff0000', imageURL: 'https://kepek.example/hatter.jpg' } },
  ]);
  await nativeCall(page, 'onBackgroundReady({"url":"file:///tmp/bg_1.mp4","width":1080,"height":1080,"duration":8})');
  assert.equal(await page.textContent('#time-label'), '00:00.0 / 00:08.0');
  assert.equal(await page.textContent('#out-size'), 'Kimenet: 1080 × 1080');
  await page.fill('#bg-duration', '-3');
  await clearPosted(page);
  await page.click('#btn-generate-bg');
  assert.deepEqual(await posted(page), []);
  assert.match(await page.textContent('#bg-status'), /0,5 és 300/);
});
