// Editing flows clicked through in the page: the messages it posts (exact parameters for a
// realistic overlay set), the export dialog driven by the native callbacks, the live preview,
// dragging on the preview and the timeline, undo/redo and Delete.
import { test, before, after, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openEditor, posted, clearPosted, lastPosted, nativeCall, editorState } from './harness.mjs';
import { loadVideo, setField, pngDataUrl, buildRealisticSet, EXPECTED_SET } from './fixtures.mjs';

let browser;
let page;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });
beforeEach(async () => {
  if (page) await page.close();
  page = await openEditor(browser);
});

const withoutIds = (list) => list.map(({ id, ...rest }) => rest);

test('export posts the exact overlay list, the crop preset and the real preview height', async () => {
  await buildRealisticSet(page);
  const before = await posted(page);
  assert.deepEqual(before.filter((m) => !('params' in m)).map((m) => m.action), ['openVideo', 'pickImage']);
  await clearPosted(page);
  await page.click('#btn-export');
  const all = await posted(page);
  assert.equal(all.length, 1);
  const { action, params } = all[0];
  assert.equal(action, 'exportVideo');
  assert.deepEqual(Object.keys(params).sort(), ['cropPositionX', 'cropPositionY', 'cropPreset', 'fillMode', 'outputSize',
    'previewHeight', 'textObjects']);
  assert.equal(params.cropPreset, '9:16');
  // Reframing untouched: the centred cut-out at its own size, as before these keys existed.
  assert.deepEqual([params.cropPositionX, params.cropPositionY, params.outputSize, params.fillMode], [50, 50, 'crop', 'crop']);
  const stageHeight = await page.evaluate(() => document.getElementById('stage').getBoundingClientRect().height);
  assert.ok(stageHeight > 200);
  assert.equal(params.previewHeight, stageHeight);
  assert.deepEqual(withoutIds(params.textObjects), EXPECTED_SET);
  assert.equal(new Set(params.textObjects.map((o) => o.id)).size, 5);
  assert.deepEqual(page.errors.filter((e) => !e.startsWith('Failed to load resource')), []);
});

test('export dialog follows progress, success and error; the button is off while it runs', async () => {
  await loadVideo(page);
  await page.click('#add-text');
  await page.click('#btn-export');
  assert.equal(await page.isVisible('#export-dialog'), true);
  assert.equal(await page.isDisabled('#btn-export'), true);
  await nativeCall(page, 'onExportProgress(0)');
  await nativeCall(page, 'onExportProgress(45)');
  assert.equal(await page.textContent('#export-percent'), '45%');
  assert.equal(await page.isVisible('#export-close'), false);
  // A menu export while one runs posts nothing new.
  await clearPosted(page);
  await nativeCall(page, 'triggerExport()');
  assert.deepEqual(await posted(page), []);
  await nativeCall(page, 'onExportProgress(95)');
  await nativeCall(page, 'onExportComplete()');
  assert.equal(await page.textContent('#export-message'), 'Az exportálás sikeresen befejeződött!');
  assert.equal(await page.textContent('#export-percent'), '100%');
  assert.equal(await page.isDisabled('#btn-export'), false);
  await page.click('#export-close');
  assert.equal(await page.isVisible('#export-dialog'), false);

  await page.click('#btn-export');
  await nativeCall(page, "onExportError('Nincs videó betöltve!')");
  assert.match(await page.textContent('#export-message'), /Nincs videó betöltve!/);
  assert.equal(await page.isDisabled('#btn-export'), false);
  assert.match(await page.textContent('#toasts'), /Nincs videó betöltve!/);
});

test('a cancelled save chooser leaves no stuck export: closing the dialog frees the button', async () => {
  await page.click('#btn-export');
  assert.equal(await page.isDisabled('#btn-export'), true);
  await page.click('#export-close');
  assert.equal(await page.isDisabled('#btn-export'), false);
});

test('triggerExport and triggerSaveProject post what the buttons post', async () => {
  await buildRealisticSet(page);
  await clearPosted(page);
  await page.click('#btn-export');
  await page.click('#export-close');
  await nativeCall(page, 'triggerExport()');
  await page.click('#export-close');
  await page.click('#btn-save-project');
  await nativeCall(page, 'triggerSaveProject()');
  const msgs = await posted(page);
  assert.deepEqual(msgs.map((m) => m.action), ['exportVideo', 'exportVideo', 'saveProject', 'saveProject']);
  assert.deepEqual(msgs[1], msgs[0]);
  assert.deepEqual(msgs[3], msgs[2]);
});

test('the preview draws overlays where and how the export will at the current time', async () => {
  await loadVideo(page, { url: '', width: 1080, height: 1920, duration: 10 });
  await page.click('#add-text');
  await setField(page, 'animationIn', 'fadeIn');
  await setField(page, 'animationDuration', 2);
  const seek = (sec) => page.evaluate((s) => {
    const r = document.getElementById('scrubber');
    r.value = String(Math.round(s * 100));
    r.dispatchEvent(new Event('input'));
  }, sec);
  await seek(0.5);
  const m = await page.evaluate(() => {
    const stage = document.getElementById('stage').getBoundingClientRect();
    const n = document.querySelector('.ov-text');
    const lines = n.querySelector('.ov-lines');
    const r = lines.getBoundingClientRect();
    return { sw: stage.width, sh: stage.height, cx: r.left + r.width / 2 - stage.left, cy: r.top + r.height / 2 - stage.top,
      opacity: Number(n.style.opacity), font: parseFloat(getComputedStyle(lines).fontSize), boxW: r.width };
  });
  assert.ok(Math.abs(m.opacity - 0.125) < 1e-9, `opacity ${m.opacity}`); // ease(0.25)
  assert.ok(Math.abs(m.cx - 0.5 * m.sw) < 1, `centre x ${m.cx}`);
  assert.ok(Math.abs(m.cy - 0.8 * m.sh) < 1, `centre y ${m.cy}`);
  assert.ok(Math.abs(m.font - 0.05 * m.sh) < 0.05, `font ${m.font}`);
  assert.ok(Math.abs(m.boxW - 0.9 * m.sw) < 1, `layout width ${m.boxW}`);

  // Outside its time window the overlay is not drawn.
  await setField(page, 'timeEndPercent', 3); // seconds of the 10 s clip
  await seek(5);
  assert.equal(await page.locator('.ov-text').count(), 0);

  // A picture: height is its share of the frame height, width follows its aspect ratio.
  const dataURL = await pngDataUrl(page, 640, 480);
  await nativeCall(page, `onImagePicked({imageId:'img_AAAA0001',dataURL:'${dataURL}',width:640,height:480})`);
  await setField(page, 'scalePercent', 25);
  await setField(page, 'xPercent', 30);
  const im = await page.evaluate(() => {
    const stage = document.getElementById('stage').getBoundingClientRect();
    const r = document.querySelector('.ov-image').getBoundingClientRect();
    return { sw: stage.width, sh: stage.height, w: r.width, h: r.height, cx: r.left + r.width / 2 - stage.left };
  });
  assert.ok(Math.abs(im.h - 0.25 * im.sh) < 0.5, `image h ${im.h}`);
  assert.ok(Math.abs(im.w - im.h * 4 / 3) < 0.5, `image w ${im.w}`);
  assert.ok(Math.abs(im.cx - 0.3 * im.sw) < 0.5, `image x ${im.cx}`);
});

test('dragging on the preview moves the overlay; undo and redo restore it', async () => {
  await loadVideo(page);
  await page.click('#add-text');
  const box = await page.locator('.ov-text').boundingBox();
  const stage = await page.locator('#stage').boundingBox();
  const x = box.x + box.width / 2, y = box.y + box.height / 2;
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + stage.width * 0.05, y - stage.height * 0.05, { steps: 3 });
  await page.mouse.move(x + stage.width * 0.1, y - stage.height * 0.1, { steps: 3 });
  await page.mouse.up();
  let o = (await editorState(page)).overlays[0];
  assert.ok(Math.abs(o.xPercent - 60) < 0.3, `x ${o.xPercent}`);
  assert.ok(Math.abs(o.yPercent - 70) < 0.3, `y ${o.yPercent}`);
  await page.click('.timeline-head');
  await page.keyboard.press('Control+z');
  o = (await editorState(page)).overlays[0];
  assert.deepEqual([o.xPercent, o.yPercent], [50, 80]);
  await page.keyboard.press('Control+Shift+Z');
  o = (await editorState(page)).overlays[0];
  assert.ok(Math.abs(o.xPercent - 60) < 0.3);
});

test('dragging a time window on the timeline moves and resizes it', async () => {
  await loadVideo(page);
  await page.click('#add-text');
  await setField(page, 'timeEndPercent', 10); // seconds: half of the 20 s clip
  const lane = await page.locator('.track.selected .lane').boundingBox();
  const clip = await page.locator('.track.selected .clip').boundingBox();
  // Move the whole window by a fifth of the timeline.
  await page.mouse.move(clip.x + clip.width / 2, clip.y + clip.height / 2);
  await page.mouse.down();
  await page.mouse.move(clip.x + clip.width / 2 + lane.width * 0.2, clip.y + clip.height / 2, { steps: 4 });
  await page.mouse.up();
  let o = (await editorState(page)).overlays[0];
  assert.ok(Math.abs(o.timeStartPercent - 20) < 0.3 && Math.abs(o.timeEndPercent - 70) < 0.3, JSON.stringify(o));
  // Pull the right edge past the end: it stops at 100.
  const c2 = await page.locator('.track.selected .clip').boundingBox();
  await page.mouse.move(c2.x + c2.width - 3, c2.y + c2.height / 2);
  await page.mouse.down();
  await page.mouse.move(c2.x + c2.width + lane.width * 0.5, c2.y + c2.height / 2, { steps: 4 });
  await page.mouse.up();
  o = (await editorState(page)).overlays[0];
  assert.equal(o.timeEndPercent, 100);
  assert.ok(Math.abs(o.timeStartPercent - 20) < 0.3);
});

test('Delete removes the selected overlay, Ctrl+Z brings it back; reorder and duplicate change the list', async () => {
  await page.click('#add-text');
  await page.click('#add-blur');
  await page.click('.timeline-head');
  await page.keyboard.press('Delete');
  assert.deepEqual((await editorState(page)).overlays.map((o) => o.type), ['text']);
  await page.keyboard.press('Control+z');
  assert.deepEqual((await editorState(page)).overlays.map((o) => o.type), ['text', 'blur']);
  // Delete inside a text field edits the text, not the overlay list.
  await page.click('#layers li:first-child');
  await page.focus('#f-text');
  await page.keyboard.press('Delete');
  assert.equal((await editorState(page)).overlays.length, 2);

  // Texts are drawn over blur regions: the list shows the text on top and offers no way below.
  assert.equal(await page.locator('#layers li:first-child button[title="Lejjebb"]').isDisabled(), true);
  await page.click('#layers li:first-child button[title="Másolat"]');
  const list = (await editorState(page)).overlays;
  assert.deepEqual(list.map((o) => o.type), ['text', 'text', 'blur']);
  assert.notEqual(list[0].id, list[1].id);
  assert.deepEqual(withoutIds([list[0]]), withoutIds([list[1]]));
  // Two texts change places: the copy (listed first, drawn last) goes below the original.
  await page.click('#layers li:first-child button[title="Lejjebb"]');
  assert.deepEqual((await editorState(page)).overlays.map((o) => o.id), [list[1].id, list[0].id, list[2].id]);
  // Only one progress bar: a second one is refused with a message.
  await page.click('#add-progress');
  await page.click('#add-progress');
  assert.equal((await editorState(page)).overlays.filter((o) => o.type === 'progressbar').length, 1);
});

test('open video, pick image and load project buttons post their bare actions', async () => {
  await page.click('#btn-open-video');
  await page.click('#add-image');
  await page.click('#btn-load-project');
  assert.deepEqual(await posted(page), [{ action: 'openVideo' }, { action: 'pickImage' }, { action: 'loadProject' }]);
  await loadVideo(page);
  assert.equal(await page.textContent('#time-label'), '00:00.0 / 00:20.0');
  assert.equal(await page.textContent('#video-name'), 'clip one.mp4');
  assert.equal(await page.isVisible('#empty-hint'), false);
  assert.equal((await lastPosted(page, 'openVideo')).action, 'openVideo');
});
