// One flow per feature of the editor page, clicked through in Chromium: editing and export, project
// save and load, unsaved work restored after a reload, the services, and hostile texts.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, posted, clearPosted, lastPosted, nativeCall, editorState, loadVideo, seek, setField, pngDataUrl } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => {
  assert.deepEqual(browser.outbound, [], 'the page never reached for the network');
  await browser?.close();
});
const withoutIds = (list) => list.map(({ id, ...rest }) => rest);
const waitMarker = (page, shown) => page.waitForFunction((s) => document.getElementById('unsaved-marker').hidden !== s, shown);

// Text, picture, blur and progress bar overlays built through the user interface, and what the export gets of them.
async function buildSet(p) {
  await p.click('#btn-open-video');
  await loadVideo(p);
  await p.click('.preset[data-preset="9:16"]');
  await p.click('#add-text');
  for (const [k, v] of [['text', 'Akciós ár: 4 990 Ft'], ['fontFamily', 'DejaVu Serif'], ['bold', true], ['alignment', 'right'],
    ['strokeEnabled', true], ['timeStartPercent', 2], ['timeEndPercent', 12], ['animationIn', 'slideUp']]) await setField(p, k, v);
  await p.click('#add-image');
  await nativeCall(p, `onImagePicked({imageId:'img_1F0C9A3B',dataURL:'${await pngDataUrl(p, 640, 480)}',width:640,height:480})`);
  await setField(p, 'scalePercent', 30);
  await p.click('#add-blur');
  await setField(p, 'blurAmount', 25);
  await p.click('#add-progress');
  await setField(p, 'position', 'top');
}
const TIMES = { timeStartPercent: 0, timeEndPercent: 100 };
const EXPECTED_SET = [
  { type: 'text', text: 'Akciós ár: 4 990 Ft', fontFamily: 'DejaVu Serif', fontSizePercent: 5, fontColor: '#ffffff', bold: true, italic: false,
    xPercent: 50, yPercent: 80, alignment: 'right', strokeEnabled: true, strokeColor: '#000000', strokeWidth: 2, bgEnabled: false, bgColor: '#000000',
    bgOpacity: 60, shadowEnabled: true, shadowColor: '#000000', shadowBlur: 3, timeStartPercent: 10, timeEndPercent: 60, animationIn: 'slideUp',
    animationOut: 'none', animationDuration: 0.5 },
  { type: 'image', imageId: 'img_1F0C9A3B', xPercent: 50, yPercent: 50, scalePercent: 30, opacity: 100, ...TIMES, animationIn: 'none', animationOut: 'none', animationDuration: 0.5 },
  // The picture holds the centre, so the new blur region is placed just above it.
  { type: 'blur', xPercent: 50, yPercent: 40, widthPercent: 20, heightPercent: 15, blurAmount: 25, ...TIMES },
  { type: 'progressbar', color: '#6c5ce7', bgColor: '#333333', bgOpacity: 30, heightPercent: 0.8, position: 'top' },
];

test('editing: the export gets the exact overlays; the dialog, dragging, undo and Delete work; controls fit', async () => {
  const page = await openEditor(browser, { viewport: { width: 960, height: 600 } });
  await buildSet(page);
  await page.click('#add-progress'); // only one progress bar
  assert.deepEqual((await posted(page)).map((m) => m.action), ['openVideo', 'pickImage']);
  await page.click('#btn-export');
  const { params } = await lastPosted(page, 'exportVideo');
  assert.deepEqual([params.cropPreset, params.cropPositionX, params.cropPositionY, params.outputSize, params.fillMode], ['9:16', 50, 50, 'crop', 'crop']);
  assert.equal(params.previewHeight, await page.evaluate(() => document.getElementById('stage').getBoundingClientRect().height));
  assert.deepEqual(withoutIds(params.textObjects), EXPECTED_SET);
  await nativeCall(page, 'onExportProgress(45)');
  assert.equal(await page.textContent('#export-percent'), '45%');
  assert.equal(await page.isDisabled('#btn-export'), true);
  await nativeCall(page, 'triggerExport()'); // a menu export while one runs posts nothing
  await nativeCall(page, 'onExportComplete()');
  assert.equal(await page.textContent('#export-message'), 'Az exportálás sikeresen befejeződött!');
  await page.click('#export-close');
  await nativeCall(page, 'triggerExport()');
  await nativeCall(page, "onExportError('Nincs videó betöltve!')");
  assert.match(await page.textContent('#toasts'), /Nincs videó betöltve!/);
  assert.equal((await posted(page)).filter((m) => m.action === 'exportVideo').length, 2);
  await page.click('#export-close');

  // Drag the text (shown from 2 s) up and right by a tenth of the frame; undo, redo, Delete and undo.
  await seek(page, 5);
  const [box, stage] = [await page.locator('.ov-text').boundingBox(), await page.locator('#stage').boundingBox()];
  const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
  await page.mouse.move(x, y).then(() => page.mouse.down());
  await page.mouse.move(x + stage.width * 0.1, y - stage.height * 0.1, { steps: 5 });
  await page.mouse.up();
  const place = async () => { const s = await editorState(page); return [s.overlays.length, s.overlays[0].xPercent, s.overlays[0].yPercent].map(Math.round); };
  assert.deepEqual(await place(), [4, 60, 70]);
  await page.click('.timeline-head');
  for (const [key, want] of [['Control+z', [4, 50, 80]], ['Control+Shift+Z', [4, 60, 70]], ['Delete', [3, 50, 50]], ['Control+z', [4, 60, 70]]]) {
    await page.keyboard.press(key);
    assert.deepEqual(await place(), want, key);
  }
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), 'no sideways scrolling');
  for (const b of await Promise.all(['#btn-save-project', '#btn-export', '#stage', '#btn-play', '#timeline'].map((s) => page.locator(s).boundingBox()))) assert.ok(b.width > 4 && b.x >= 0 && b.y >= 0 && b.x + b.width <= 960.5 && b.y + b.height <= 600.5, JSON.stringify(b));
  assert.deepEqual(page.errors, []);
});

test('project: save, load into a fresh page, save again gives the same project; damaged content is refused', async () => {
  const first = await openEditor(browser);
  await buildSet(first);
  await first.selectOption('#output-size', 'standard');
  await first.selectOption('#fill-mode', 'fit');
  await first.click('.tab[data-tab="narration"]');
  await first.fill('#tts-text', 'Csak ma: minden termék féláron!');
  await first.fill('#api-key-tts', 'sk-secret-key-123');
  await first.click('.tab[data-tab="subtitles"]');
  await first.click('#caption-presets [data-preset="punchy"]');
  await first.click('#btn-save-project');
  const saved = (await lastPosted(first, 'saveProject')).params;
  assert.deepEqual(withoutIds(saved.textObjects), EXPECTED_SET);
  assert.deepEqual([saved.version, saved.cropPreset, saved.outputSize, saved.fillMode, saved.narrationText, saved.captionStyle.fontFamily],
    [1, '9:16', 'standard', 'fit', 'Csak ma: minden termék féláron!', 'Bebas Neue']);
  assert.ok(!JSON.stringify(await posted(first)).includes('sk-secret-key-123'), 'the API key never leaves the page');

  // The native side adds videoPath, reopens the video, then hands the file back and the pictures when asked.
  const second = await openEditor(browser);
  await loadVideo(second);
  await nativeCall(second, `onProjectLoaded(${JSON.stringify({ ...saved, videoPath: '/tmp/clip one.mp4' })})`);
  assert.deepEqual(await posted(second), [{ action: 'reloadImage', params: { imageId: 'img_1F0C9A3B' } }]);
  assert.equal(await second.isDisabled('#btn-undo'), true, 'loading starts a new undo history');
  await seek(second, 10);
  await nativeCall(second, `onImageReloaded({imageId:'img_1F0C9A3B',dataURL:'${await pngDataUrl(second, 640, 480)}'})`);
  const img = await second.locator('.ov-image img').boundingBox();
  assert.ok(Math.abs(img.width / img.height - 4 / 3) < 0.02, 'size read from the reloaded picture');
  await second.click('#btn-save-project');
  assert.deepEqual((await lastPosted(second, 'saveProject')).params, saved);

  for (const bad of ['[1,2,3]', 'null']) await nativeCall(second, `onProjectLoaded(${bad})`);
  assert.match(await second.textContent('#toasts'), /projektfájl tartalma nem olvasható/);
  const odd = { textObjects: [{ type: 'text', fontSizePercent: '12' }, 7, null, { type: 'sparkles', futureKey: { a: 1 } }], cropPreset: 'weird', captionStyle: [3] };
  await nativeCall(second, `onProjectLoaded(${JSON.stringify(odd)})`);
  assert.deepEqual((await editorState(second)).overlays.map((o) => [o.type, o.fontSizePercent]), [['text', 5], ['sparkles', undefined]]);
  assert.equal((await editorState(second)).cropPreset, 'original');
  await second.click('#btn-export');
  assert.deepEqual((await lastPosted(second, 'exportVideo')).params.textObjects[1].futureKey, { a: 1 }, 'unknown entries travel on');
  assert.deepEqual([...first.errors, ...second.errors], []);
});

test('unsaved work: the marker, the offer after a reload, restore, and nothing offered once saved', async () => {
  const page = await openEditor(browser, { keepStorage: true });
  const reload = () => page.reload().then(() => page.waitForFunction(() => window.TamoEditor));
  await page.evaluate(() => localStorage.clear());
  await reload();
  await loadVideo(page, { url: 'file:///home/u/klip%20%C3%A9.mp4', width: 640, height: 360, duration: 4 });
  await page.click('#add-text');
  await page.click('.preset[data-preset="9:16"]');
  await waitMarker(page, true);
  const before = await editorState(page);
  await reload(); // as when the program is killed
  assert.equal((await editorState(page)).overlays.length, 0);
  assert.match(await page.textContent('#restore-text'), /nem mentett munka maradt \(1 elem/);
  await clearPosted(page);
  await page.click('#btn-restore');
  assert.deepEqual([(await editorState(page)).overlays, (await editorState(page)).cropPreset], [before.overlays, '9:16']);
  assert.deepEqual(await posted(page), [{ action: 'restoreVideo', params: { url: 'file:///home/u/klip%20%C3%A9.mp4' } }]);
  await waitMarker(page, true);
  await page.click('#btn-save-project');
  assert.equal(await page.locator('#unsaved-marker').isVisible(), true, 'not before the file is written');
  await nativeCall(page, "onProjectSaved('első <i>.tamovid')");
  assert.equal(await page.textContent('#project-name'), 'első <i>.tamovid');
  await waitMarker(page, false);
  await reload();
  assert.equal(await page.locator('#restore-bar').isVisible(), false);
  assert.deepEqual(page.errors, []);
});

test('services: subtitles, narration, product import and background clips post their requests and take the answers', async () => {
  const page = await openEditor(browser);
  await loadVideo(page); // 20 s
  await page.click('.tab[data-tab="subtitles"]');
  await page.click('#btn-whisper');
  assert.match(await page.textContent('#whisper-status'), /API kulcsot/);
  await page.fill('#api-key', 'sk-test-ABC');
  await page.click('#btn-whisper');
  await nativeCall(page, 'showWhisperStatus(\'<span class="ai-loading"></span> Hang kinyerése...\', false)');
  assert.equal(await page.locator('#whisper-status .ai-loading').count(), 1);
  await nativeCall(page, 'onWhisperResult([{"start":0,"end":2.5,"text":"Szia!"},{"text":"Második","end":10,"start":5}])');
  assert.deepEqual((await editorState(page)).overlays.map((o) => [o.text, o.timeStartPercent, o.timeEndPercent, o.subtitle]),
    [['Szia!', 0, 12.5, true], ['Második', 25, 50, true]]);
  await page.click('#btn-vtt');
  await page.click('.tab[data-tab="narration"]');
  await page.fill('#tts-text', 'Üdv!');
  await page.selectOption('#tts-voice', 'onyx');
  await page.click('#btn-tts');
  await nativeCall(page, 'onNarrationReady({duration:7.0})');
  assert.match(await page.textContent('#tts-status'), /^Narráció kész: 7\.0 mp/);

  await page.click('.tab[data-tab="product"]');
  await page.fill('#product-url', 'https://bolt.example/termek/42');
  await page.click('#btn-fetch-product');
  const html = `<title>Bolt – X2 | Olcsó</title><meta property="og:title" content="  Vezeték nélküli   fülhallgató X2  ">
    <meta property="og:description" content="Zajszűrés, 30 óra üzemidő, USB-C töltés."><meta property="og:image" content="/kepek/x2-fekete.jpg">
    <link rel="stylesheet" href="https://cdn.bolt.example/site.css"><script>window.__pwned = 'script ran';</script>
    <img src="https://cdn.bolt.example/banner.png" onerror="window.__pwned = 'onerror ran'"><iframe src="https://ads.bolt.example/"></iframe>`;
  await nativeCall(page, `onUrlFetched(${JSON.stringify({ html, url: 'https://bolt.example/termek/42' })})`);
  assert.equal(await page.textContent('#product-title'), 'Vezeték nélküli fülhallgató X2');
  assert.equal(await page.textContent('#product-desc'), 'Zajszűrés, 30 óra üzemidő, USB-C töltés.');
  await page.click('#btn-add-product-image');
  await nativeCall(page, `onProductImageReady({imageId:'product_0A1B2C3D',dataURL:'${await pngDataUrl(page, 300, 300)}',width:300,height:300})`);
  assert.equal((await editorState(page)).overlays[2].imageId, 'product_0A1B2C3D');
  assert.equal(await page.evaluate(() => window.__pwned), undefined, 'nothing of the fetched page ran');

  await page.click('.tab[data-tab="background"]');
  await page.selectOption('#bg-size', '1080x1080');
  await page.fill('#bg-duration', '8');
  await page.fill('#bg-image-url', 'https://kepek.example/hatter.jpg');
  await page.click('#btn-generate-bg');
  await nativeCall(page, 'onBackgroundReady({"url":"file:///tmp/bg_1.mp4","width":1080,"height":1080,"duration":8})');
  assert.equal(await page.textContent('#out-size'), 'Kimenet: 1080 × 1080');
  assert.deepEqual(await posted(page), [
    { action: 'whisperTranscribe', params: { apiKey: 'sk-test-ABC', language: 'hu' } },
    { action: 'saveSubtitles', params: { segments: [{ start: 0, end: 2.5, text: 'Szia!' }, { start: 5, end: 10, text: 'Második' }], format: 'vtt' } },
    { action: 'generateTTS', params: { text: 'Üdv!', voice: 'onyx', speed: 1, apiKey: 'sk-test-ABC' } },
    { action: 'fetchUrl', params: { url: 'https://bolt.example/termek/42' } },
    { action: 'downloadProductImage', params: { url: 'https://bolt.example/kepek/x2-fekete.jpg' } },
    { action: 'generateBackground', params: { width: 1080, height: 1080, duration: 8, color: '#1a1a2e', imageURL: 'https://kepek.example/hatter.jpg' } },
  ]);
  assert.deepEqual(page.errors, []);
});

test('hostile texts in file names, segments, projects and fetched pages are shown literally; malformed calls are refused', async () => {
  const HOSTILE = `<img src=x onerror="window.__pwned='img'"><script>window.__pwned='script'</script><b>vastag</b> O'Brien "q" 🙂`;
  const page = await openEditor(browser);
  await loadVideo(page, { url: `file:///tmp/${encodeURIComponent('<b>x</b>.mp4')}`, width: 1280, height: 720, duration: 10 });
  assert.equal(await page.textContent('#video-name'), '<b>x</b>.mp4');
  await nativeCall(page, `onUrlFetched(${JSON.stringify({ html: `<title>${HOSTILE.replace(/</g, '&lt;')}</title>`, url: 'https://x.example/' })})`);
  assert.equal(await page.textContent('#product-title'), HOSTILE);
  await nativeCall(page, `onWhisperResult(${JSON.stringify([{ start: 0, end: 10, text: HOSTILE }])})`);
  assert.equal(await page.textContent('.ov-text .ov-lines'), HOSTILE);
  await nativeCall(page, `onProjectLoaded(${JSON.stringify({ textObjects: [{ type: 'text', text: HOSTILE, fontFamily: '"><img src=x onerror=alert(1)>' }] })})`);
  assert.equal(await page.textContent('#layers .layer-label'), HOSTILE);
  for (const c of ['onVideoLoaded(null)', 'onVideoLoaded({"width":"wide"})', 'onImagePicked({imageId:5})', 'onWhisperResult({"a":1})',
    "onImagePicked({imageId:'img_1',dataURL:'javascript:alert(1)',width:1,height:1})", 'onUrlFetched(7)', 'onNarrationReady()',
    'onProductImageReady(null)', 'onExportProgress("abc")', 'onBackgroundReady([])']) await nativeCall(page, c);
  assert.equal((await editorState(page)).overlays.length, 1);
  assert.ok((await page.locator('.toast.error').count()) > 0, 'refused with a message');
  await page.waitForTimeout(100); // an onerror handler would have run by now
  assert.deepEqual(await page.evaluate(() => [window.__pwned, document.querySelectorAll('img[src="x"], b').length,
    [...document.scripts].filter((s) => !s.src).length]), [undefined, 0, 0]);
  assert.deepEqual(page.errors, []);
});
