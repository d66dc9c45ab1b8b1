// Project save → load round trip: the page's whole state sits at the top level of "saveProject",
// comes back through onProjectLoaded, pictures are asked for again, and a second save is identical.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, posted, clearPosted, lastPosted, nativeCall, editorState } from './harness.mjs';
import { loadVideo, pngDataUrl, buildRealisticSet, EXPECTED_SET } from './fixtures.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

async function fillNarration(page) {
  await page.click('.tab[data-tab="narration"]');
  await page.fill('#tts-text', 'Csak ma: minden termék féláron!');
  await page.selectOption('#tts-voice', 'nova');
  await page.locator('#tts-speed').fill('1.25');
  await page.fill('#api-key-tts', 'sk-secret-key-123');
  await page.click('.tab[data-tab="subtitles"]');
  await page.selectOption('#whisper-language', 'en');
}

test('save, load into a fresh page, save again: the same project', async () => {
  const first = await openEditor(browser);
  await buildRealisticSet(first);
  await fillNarration(first);
  await clearPosted(first);
  await first.click('#btn-save-project');
  const saved = (await lastPosted(first, 'saveProject')).params;
  assert.deepEqual(Object.keys(saved).sort(), ['captionStyle', 'cropPositionX', 'cropPositionY', 'cropPreset', 'fillMode',
    'narrationSpeed', 'narrationText', 'narrationVoice', 'outputSize', 'previewHeight', 'subtitleLanguage', 'textObjects',
    'version']);
  assert.equal(saved.version, 1);
  assert.equal(saved.cropPreset, '9:16');
  assert.equal(saved.narrationText, 'Csak ma: minden termék féláron!');
  assert.equal(saved.narrationVoice, 'nova');
  assert.equal(saved.narrationSpeed, 1.25);
  assert.equal(saved.subtitleLanguage, 'en');
  assert.deepEqual(saved.textObjects.map(({ id, ...rest }) => rest), EXPECTED_SET);
  assert.ok(!JSON.stringify(await posted(first)).includes('sk-secret-key-123'), 'the API key never leaves the page');
  await first.close();

  // The native side adds videoPath, reopens the video (onVideoLoaded first), then hands the file back.
  const second = await openEditor(browser);
  await loadVideo(second);
  const project = { ...saved, videoPath: '/tmp/clip one.mp4' };
  await nativeCall(second, `onProjectLoaded(${JSON.stringify(project)})`);
  assert.deepEqual(await posted(second), [{ action: 'reloadImage', params: { imageId: 'img_1F0C9A3B' } }]);
  assert.equal(await second.getAttribute('.preset.active', 'data-preset'), '9:16');
  assert.equal(await second.inputValue('#tts-text'), 'Csak ma: minden termék féláron!');
  assert.equal(await second.inputValue('#tts-voice'), 'nova');
  assert.equal(await second.inputValue('#whisper-language'), 'en');
  assert.equal(await second.isDisabled('#btn-undo'), true, 'loading starts a new undo history');
  // The picture zooms in, so look at it after its entry (t = 10 s of 20).
  await second.evaluate(() => { const r = document.getElementById('scrubber'); r.value = '500'; r.dispatchEvent(new Event('input')); });
  assert.equal(await second.locator('.ov-image .ov-missing').count(), 1);
  const dataURL = await pngDataUrl(second, 640, 480);
  await nativeCall(second, `onImageReloaded({imageId:'img_1F0C9A3B',dataURL:'${dataURL}'})`);
  assert.equal(await second.locator('.ov-image img').count(), 1);
  const img = await second.locator('.ov-image').boundingBox();
  assert.ok(Math.abs(img.width / img.height - 4 / 3) < 0.02, 'size read from the reloaded picture');

  await clearPosted(second);
  await second.click('#btn-save-project');
  const again = (await lastPosted(second, 'saveProject')).params;
  const { videoPath, ...savedAgainExpected } = project;
  assert.deepEqual(again, savedAgainExpected);
  await second.close();
});

test('reframing and the caption style come back with the project; older projects load with the defaults', async () => {
  const first = await openEditor(browser);
  await loadVideo(first);
  await first.click('.preset[data-preset="9:16"]');
  await first.selectOption('#output-size', 'standard');
  await first.selectOption('#fill-mode', 'fit');
  await first.evaluate(() => { window.TamoEditor.state.cropPositionX = 12.5; });
  await first.click('.tab[data-tab="subtitles"]');
  await first.click('#caption-presets [data-preset="punchy"]');
  await first.fill('#cap-size', '7.5');
  await first.locator('#cap-size').dispatchEvent('change');
  await clearPosted(first);
  await first.click('#btn-save-project');
  const saved = (await lastPosted(first, 'saveProject')).params;
  assert.equal(saved.cropPositionX, 12.5);
  assert.equal(saved.outputSize, 'standard');
  assert.equal(saved.fillMode, 'fit');
  assert.equal(saved.captionStyle.fontFamily, 'Bebas Neue');
  assert.equal(saved.captionStyle.fontSizePercent, 7.5);
  assert.equal(saved.captionStyle.preset, null, 'a changed preset is no longer that preset');
  await first.close();

  const second = await openEditor(browser);
  await loadVideo(second);
  await nativeCall(second, `onProjectLoaded(${JSON.stringify({ ...saved, videoPath: '/tmp/clip.mp4' })})`);
  assert.equal(await second.inputValue('#output-size'), 'standard');
  assert.equal(await second.inputValue('#fill-mode'), 'fit');
  assert.equal(await second.inputValue('#cap-font'), 'Bebas Neue');
  assert.equal(await second.inputValue('#cap-size'), '7.5');
  assert.match(await second.textContent('#out-size'), /1080 × 1920/);
  await clearPosted(second);
  await second.click('#btn-save-project');
  const again = (await lastPosted(second, 'saveProject')).params;
  assert.deepEqual([again.cropPositionX, again.outputSize, again.fillMode, again.captionStyle],
    [12.5, 'standard', 'fit', saved.captionStyle]);

  // A project from before these keys (and one with unusable values) loads with the defaults.
  for (const old of [{ cropPreset: '9:16', textObjects: [] },
    { cropPreset: '9:16', textObjects: [], cropPositionX: 'left', outputSize: 'huge', fillMode: null, captionStyle: [3] }]) {
    await nativeCall(second, `onProjectLoaded(${JSON.stringify(old)})`);
    await clearPosted(second);
    await second.click('#btn-save-project');
    const p = (await lastPosted(second, 'saveProject')).params;
    assert.deepEqual([p.cropPositionX, p.cropPositionY, p.outputSize, p.fillMode], [50, 50, 'crop', 'crop']);
    assert.equal(p.captionStyle.fontFamily, 'Liberation Sans');
    assert.equal(p.captionStyle.preset, null);
  }
  await second.close();
});

test('damaged project content is refused or repaired, never crashes the page', async () => {
  const page = await openEditor(browser);
  await page.click('#add-text');
  for (const bad of ['[1,2,3]', "'just text'", 'null', '42']) {
    await nativeCall(page, `onProjectLoaded(${bad})`);
    assert.equal((await editorState(page)).overlays.length, 1, `kept state after ${bad}`);
  }
  assert.match(await page.textContent('#toasts'), /projektfájl tartalma nem olvasható/);

  const odd = {
    textObjects: [
      { type: 'text', text: 'ok', fontSizePercent: '12', xPercent: 20 },
      7, null, 'str',
      { type: 'sparkles', futureKey: { a: 1 } },
      { text: 'no type' },
    ],
    cropPreset: 'weird',
    narrationSpeed: 'fast',
  };
  await nativeCall(page, `onProjectLoaded(${JSON.stringify(odd)})`);
  const st = await editorState(page);
  assert.deepEqual(st.overlays.map((o) => o.type), ['text', 'sparkles', 'text']);
  assert.equal(st.overlays[0].fontSizePercent, 5);
  assert.equal(st.overlays[0].xPercent, 20);
  assert.equal(st.cropPreset, 'original');
  assert.match(await page.textContent('#layers'), /Ismeretlen elem: sparkles/);
  // The entry the page does not know travels on unchanged.
  await clearPosted(page);
  await page.click('#btn-export');
  const sent = (await lastPosted(page, 'exportVideo')).params.textObjects;
  assert.deepEqual(sent[1].futureKey, { a: 1 });
  assert.deepEqual(page.errors, []);
  await page.close();
});

// The fixture video's file does not exist; anything else the page reports is a fault.
const scriptErrors = (page) => page.errors.filter((e) => !/ERR_FILE_NOT_FOUND/.test(e));

test('a picture whose file is gone shows as missing, can be chosen again, and the export asks first', async () => {
  const page = await openEditor(browser);
  await loadVideo(page);
  const overlay = { type: 'image', imageId: 'img_0BADF00D', scalePercent: 30, xPercent: 50, yPercent: 50 };
  await nativeCall(page, `onProjectLoaded(${JSON.stringify({ textObjects: [overlay] })})`);
  await page.evaluate(() => { const r = document.getElementById('scrubber'); r.value = '500'; r.dispatchEvent(new Event('input')); });
  assert.equal(await page.locator('.ov-image .ov-missing').textContent(), 'Kép betöltése…');
  await nativeCall(page, "onImageMissing('img_0BADF00D')");
  assert.match(await page.locator('.ov-image .ov-missing').textContent(), /Hiányzó kép/);
  assert.match(await page.textContent('#toasts'), /nem található/);

  // Choosing it again goes through the picture's own identifier.
  await page.click('#layers .layer');
  await clearPosted(page);
  await page.click('#btn-choose-image-again');
  assert.deepEqual(await posted(page), [{ action: 'reloadImage', params: { imageId: 'img_0BADF00D', choose: true } }]);

  // An export that would leave the picture out asks; saying no sends nothing, yes sends the export.
  const questions = [];
  let answer = false;
  page.on('dialog', (d) => { questions.push(d.message()); if (answer) d.accept(); else d.dismiss(); });
  await clearPosted(page);
  await page.click('#btn-export');
  assert.equal(questions.length, 1);
  assert.match(questions[0], /1 kép fájlja hiányzik/);
  assert.deepEqual(await posted(page), []);
  answer = true;
  await page.click('#btn-export');
  assert.equal(questions.length, 2);
  assert.equal((await lastPosted(page, 'exportVideo')).params.textObjects.length, 1);
  await page.click('#export-close');

  // Once the file is back, the picture shows and the export no longer asks.
  const dataURL = await pngDataUrl(page, 40, 30);
  await nativeCall(page, `onImageReloaded({imageId:'img_0BADF00D',dataURL:'${dataURL}'})`);
  assert.equal(await page.locator('.ov-image img').count(), 1);
  assert.equal(await page.locator('#btn-choose-image-again').count(), 0);
  await clearPosted(page);
  await page.click('#btn-export');
  assert.equal(questions.length, 2);
  assert.equal((await posted(page)).length, 1);
  assert.deepEqual(scriptErrors(page), []);
  await page.close();
});

test('a video that cannot be opened is reported and the clip on screen stays', async () => {
  const page = await openEditor(browser);
  await loadVideo(page);
  const before = (await editorState(page)).video;
  await nativeCall(page, "onVideoError('Nincs videósáv a fájlban!')");
  assert.equal(await page.locator('#toasts [role="alert"]', { hasText: 'Nincs videósáv a fájlban!' }).count(), 1);
  assert.deepEqual((await editorState(page)).video, before);
  assert.deepEqual(scriptErrors(page), []);
  await page.close();
});
