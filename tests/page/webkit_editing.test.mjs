// Editing in WebKitGTK (the engine of the program's window), driven through its WebDriver with real
// pointer and keyboard input: handles, snapping, seconds, undo, captions, layers, export controls.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { Key, By } from 'selenium-webdriver';
import { available, launchWebKit, openEditor, js, posted, lastPosted, nativeCall, editorState } from './webkit_harness.mjs';

// Replaces a field's content the way a person does: click into it, select all, type (clearing
// through WebDriver would report a change of its own). `leave` presses Tab afterwards.
async function typeInto(element, text, leave = true) {
  await element.click();
  await d.actions({ async: true }).keyDown(Key.CONTROL).sendKeys('a').keyUp(Key.CONTROL).perform();
  const a = d.actions({ async: true }).sendKeys(text);
  if (leave) a.sendKeys(Key.TAB);
  await a.perform();
}

const VIDEO = { url: 'file:///tmp/no-such-clip.mp4', width: 1920, height: 1080, duration: 20 };
const opts = { skip: available ? false : 'WebKitWebDriver, MiniBrowser or a display is missing' };

let wk;
let d;
before(async () => { if (available) { wk = await launchWebKit(); d = wk.driver; } });
after(async () => { if (wk) await wk.close(); });

const rect = (sel) => js(d, 'const r = document.querySelector(arguments[0]).getBoundingClientRect(); return {left: r.left, top: r.top, width: r.width, height: r.height, right: r.right, bottom: r.bottom};', sel);
const selectedOverlay = async () => {
  const s = await editorState(d);
  return s.overlays.find((o) => o.id === s.selectedId);
};

// Presses at (x0, y0), moves to (x1, y1) in steps, runs `during` while still pressed, then releases.
async function drag(x0, y0, x1, y1, during) {
  const a = d.actions({ async: true });
  a.move({ x: Math.round(x0), y: Math.round(y0), origin: 'viewport' }).press();
  for (let i = 1; i <= 4; i++) {
    a.move({ x: Math.round(x0 + ((x1 - x0) * i) / 4), y: Math.round(y0 + ((y1 - y0) * i) / 4), origin: 'viewport' });
  }
  await a.perform();
  const seen = during ? await during() : undefined;
  await d.actions({ async: true }).release().perform();
  return seen;
}

async function freshEditorWithVideo(preset) {
  await openEditor(d);
  await nativeCall(d, `onVideoLoaded(${JSON.stringify(VIDEO)})`);
  if (preset) await d.findElement(By.css(`.preset[data-preset="${preset}"]`)).click();
}

test('dragging a text corner sets its font size, shows the value while dragging, and the export gets it', opts, async () => {
  await freshEditorWithVideo('9:16');
  await d.findElement(By.id('add-text')).click();
  const before = await selectedOverlay();
  const h = await rect('.rz-handle.se');
  const stage = await rect('#stage');
  const cx = stage.left + (before.xPercent / 100) * stage.width;
  const cy = stage.top + (before.yPercent / 100) * stage.height;
  // Twice as far from the anchor: twice the size.
  const tx = cx + (h.left + 6 - cx) * 2;
  const ty = cy + (h.top + 6 - cy) * 2;
  const shown = await drag(h.left + 6, h.top + 6, tx, ty, () => js(d, "const e = document.querySelector('.drag-value'); return e && e.textContent"));
  const after = await selectedOverlay();
  assert.ok(Math.abs(after.fontSizePercent - before.fontSizePercent * 2) < 0.3, `${before.fontSizePercent} → ${after.fontSizePercent}`);
  assert.equal(shown, `Betűméret: ${after.fontSizePercent.toFixed(1)}%`);
  assert.equal(await js(d, "return document.querySelectorAll('.drag-value').length"), 0);
  // One drag is one undo step.
  await d.findElement(By.id('btn-undo')).click();
  assert.equal((await selectedOverlay()).fontSizePercent, before.fontSizePercent);
  await d.findElement(By.id('btn-redo')).click();
  await d.findElement(By.id('btn-export')).click();
  const msg = await lastPosted(d, 'exportVideo');
  assert.equal(msg.params.textObjects[0].fontSizePercent, after.fontSizePercent);
});

test('a blur region corner sets width and height around its centre; a text is hit only on its own lines', opts, async () => {
  await freshEditorWithVideo('16:9');
  await d.findElement(By.id('add-blur')).click();
  const o = await selectedOverlay();
  const stage = await rect('#stage');
  const cx = stage.left + (o.xPercent / 100) * stage.width;
  const cy = stage.top + (o.yPercent / 100) * stage.height;
  const h = await rect('.rz-handle.se');
  await drag(h.left + 6, h.top + 6, cx + 0.25 * stage.width, cy + 0.1 * stage.height);
  const after = await selectedOverlay();
  assert.ok(Math.abs(after.widthPercent - 50) <= 0.5, String(after.widthPercent));
  assert.ok(Math.abs(after.heightPercent - 20) <= 0.5, String(after.heightPercent));
  assert.equal(after.xPercent, o.xPercent);

  // A short text: a click beside its letters, inside the old full-width strip, selects nothing.
  await d.findElement(By.id('add-text')).click();
  const t = await selectedOverlay();
  const hit = await rect('.ov-text .ov-hit');
  assert.ok(hit.width < stage.width * 0.5, `hit box ${hit.width} of ${stage.width}`);
  await d.actions({ async: true }).move({ x: Math.round(stage.left + stage.width * 0.07), y: Math.round(hit.top + hit.height / 2), origin: 'viewport' }).click().perform();
  assert.notEqual((await editorState(d)).selectedId, t.id);
  await d.actions({ async: true }).move({ x: Math.round(hit.left + hit.width / 2), y: Math.round(hit.top + hit.height / 2), origin: 'viewport' }).click().perform();
  assert.equal((await editorState(d)).selectedId, t.id);
});

test('moving near the centre line snaps to it with a visible guide; new items do not stack', opts, async () => {
  await freshEditorWithVideo('1:1');
  await d.findElement(By.id('add-blur')).click();
  const first = await selectedOverlay();
  await d.findElement(By.id('add-blur')).click();
  const second = await selectedOverlay();
  assert.ok(first.xPercent !== second.xPercent || first.yPercent !== second.yPercent, 'two new regions on one spot');

  const stage = await rect('#stage');
  const box = await rect(`.ov[data-id="${second.id}"]`);
  const sx = box.left + box.width / 2;
  const sy = box.top + box.height / 2;
  // To 3 preview pixels right of the centre line, and a quarter down: x snaps, y does not.
  const targetX = stage.left + stage.width / 2 + 3 + (sx - (stage.left + (second.xPercent / 100) * stage.width));
  const seen = await drag(sx, sy, targetX, sy + 0.13 * stage.height,
    () => js(d, "return { guides: [...document.querySelectorAll('.snap-guide')].map((g) => g.className + '@' + (g.style.left || g.style.top)), tip: (document.querySelector('.drag-value') || {}).textContent }"));
  const moved = await selectedOverlay();
  assert.equal(moved.xPercent, 50);
  assert.notEqual(moved.yPercent, 50);
  assert.deepEqual(seen.guides, ['snap-guide x@50%']);
  assert.equal(seen.tip, `X 50.0% · Y ${moved.yPercent.toFixed(1)}%`);
  assert.equal(await js(d, "return document.querySelectorAll('.snap-guide, .drag-value').length"), 0);

  // The safe zones of 9:16 show on request.
  await d.findElement(By.id('safe-zones')).click();
  assert.equal(await js(d, "return document.querySelectorAll('.safe-zone').length"), 3);
});

test('time windows are typed and shown in seconds and stored as percentages', opts, async () => {
  await freshEditorWithVideo();
  await d.findElement(By.id('add-text')).click();
  const field = await d.findElement(By.id('f-timeStartPercent'));
  assert.equal(await field.getAttribute('value'), '0.0');
  await typeInto(field, '2,5');
  assert.equal((await selectedOverlay()).timeStartPercent, 12.5);
  assert.equal(await d.findElement(By.id('f-timeStartPercent')).getAttribute('value'), '2.5');
  const end = await d.findElement(By.id('f-timeEndPercent'));
  await typeInto(end, '0:15');
  assert.equal((await selectedOverlay()).timeEndPercent, 75);
  // Not a time: the field shows the stored value again.
  const again = await d.findElement(By.id('f-timeEndPercent'));
  await typeInto(again, 'soon');
  assert.equal((await selectedOverlay()).timeEndPercent, 75);
  assert.equal(await d.findElement(By.id('f-timeEndPercent')).getAttribute('value'), '15.0');
});

test('typing into a text then clicking elsewhere is one undo step, and redo brings it back', opts, async () => {
  await freshEditorWithVideo();
  await d.findElement(By.id('add-text')).click();
  const id = (await selectedOverlay()).id;
  const area = await d.findElement(By.id('f-text'));
  await typeInto(area, 'Kedvezmény', false);
  // Clicking an empty part of the preview leaves the field without a "change" of its own.
  const stage = await rect('#stage');
  await d.actions({ async: true }).move({ x: Math.round(stage.left + 5), y: Math.round(stage.top + 5), origin: 'viewport' }).click().perform();
  await d.actions({ async: true }).keyDown(Key.CONTROL).sendKeys('z').keyUp(Key.CONTROL).perform();
  let s = await editorState(d);
  assert.equal(s.overlays.length, 1, 'undo went past the edit');
  assert.equal(s.overlays[0].id, id);
  assert.equal(s.overlays[0].text, 'Új szöveg');
  await d.actions({ async: true }).keyDown(Key.CONTROL).keyDown(Key.SHIFT).sendKeys('z').keyUp(Key.SHIFT).keyUp(Key.CONTROL).perform();
  s = await editorState(d);
  assert.equal(s.overlays[0].text, 'Kedvezmény');
});

test('one caption style goes to every subtitle at once; a subtitle is edited inline', opts, async () => {
  await freshEditorWithVideo();
  await d.findElement(By.id('add-text')).click();
  const own = (await selectedOverlay()).id;
  await nativeCall(d, `onWhisperResult(${JSON.stringify([
    { start: 0, end: 2, text: 'Első mondat' }, { start: 2, end: 5, text: 'Második mondat' }, { start: 5, end: 9, text: 'Harmadik' }])})`);
  await d.findElement(By.css('.tab[data-tab="subtitles"]')).click();
  await d.findElement(By.css('#caption-presets button[data-preset="punchy"]')).click();
  let s = await editorState(d);
  const subs = s.overlays.filter((o) => o.subtitle === true);
  assert.equal(subs.length, 3);
  for (const o of subs) {
    assert.equal(o.fontFamily, 'Bebas Neue');
    assert.equal(o.fontColor, '#ffd400');
    assert.equal(o.yPercent, 50);
    assert.equal(o.animationIn, 'zoomIn');
  }
  const mine = s.overlays.find((o) => o.id === own);
  assert.equal(mine.fontFamily, 'Liberation Sans');
  assert.equal(mine.yPercent, 80);

  // A single field changes all of them too.
  const size = await d.findElement(By.id('cap-size'));
  await typeInto(size, '5');
  s = await editorState(d);
  assert.deepEqual(s.overlays.filter((o) => o.subtitle).map((o) => o.fontSizePercent), [5, 5, 5]);

  const second = (await d.findElements(By.css('#segments .seg-text')))[1];
  await typeInto(second, 'Javított mondat');
  s = await editorState(d);
  assert.equal(s.overlays.filter((o) => o.subtitle)[1].text, 'Javított mondat');
  assert.equal(s.segments[1].text, 'Javított mondat');
  // On the timeline: a double click edits the clip's text where it is; Enter keeps it.
  const third = s.overlays.filter((o) => o.subtitle)[2];
  // A loaded machine can stretch the two clicks past the double-click interval: a few tries.
  for (let attempt = 0; attempt < 3; attempt++) {
    await d.actions({ async: true }).doubleClick(await d.findElement(By.css(`.clip[data-id="${third.id}"]`))).perform();
    if ((await d.findElements(By.css('.clip .clip-edit'))).length) break;
  }
  await d.findElement(By.css('.clip .clip-edit')); // the field opened in the clip
  await d.actions({ async: true }).keyDown(Key.CONTROL).sendKeys('a').keyUp(Key.CONTROL).sendKeys('Vége', Key.ENTER).perform();
  s = await editorState(d);
  assert.equal(s.overlays.find((o) => o.id === third.id).text, 'Vége');
  assert.equal(s.segments[2].text, 'Vége');
  assert.equal(await js(d, 'return document.querySelectorAll(".clip-edit").length'), 0);

  await d.findElement(By.id('btn-export')).click();
  const msg = await lastPosted(d, 'exportVideo');
  assert.ok(msg.params.textObjects.some((o) => o.text === 'Javított mondat' && o.fontSizePercent === 5));
  assert.ok(msg.params.textObjects.some((o) => o.text === 'Vége'));
});

test('a long subtitle wraps into lines that stay inside the frame', opts, async () => {
  await freshEditorWithVideo('9:16');
  const long = 'Ez egy nagyon hosszú felirat, amely több sorba tördelődik, mert egyetlen sorban nem férne el a függőleges képkockán.';
  await nativeCall(d, `onWhisperResult(${JSON.stringify([{ start: 0, end: 20, text: long }])})`);
  const stage = await rect('#stage');
  const box = await rect('.ov-text .ov-hit');
  const font = await js(d, "return parseFloat(getComputedStyle(document.querySelector('.ov-text .ov-lines')).fontSize)");
  assert.ok(box.height > 2.5 * font, `one line only: ${box.height} px for a ${font} px font`);
  assert.ok(box.left >= stage.left && box.right <= stage.right, `sides ${box.left}..${box.right} in ${stage.left}..${stage.right}`);
  assert.ok(box.top >= stage.top && box.bottom <= stage.bottom, `rows ${box.top}..${box.bottom} in ${stage.top}..${stage.bottom}`);
});

test('the layer list follows the drawing order and never offers a picture above a text', opts, async () => {
  await freshEditorWithVideo();
  await d.findElement(By.id('add-text')).click();
  await nativeCall(d, "onImagePicked({imageId:'img_1',dataURL:'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==',width:1,height:1})");
  await d.findElement(By.id('add-text')).click();
  const kinds = await js(d, "return [...document.querySelectorAll('#layers .layer')].map((l) => l.querySelector('.layer-kind').textContent)");
  assert.deepEqual(kinds, ['T', 'T', '🖼']);
  const pictureUp = await js(d, "return [...document.querySelectorAll('#layers .layer')][2].querySelector('button[title=Feljebb]').disabled");
  assert.equal(pictureUp, true);
  // The lower text can go up past the other text.
  const before = (await editorState(d)).overlays.map((o) => o.id);
  await d.findElement(By.css('#layers .layer:nth-child(2) button[title=Feljebb]')).click();
  const s = await editorState(d);
  // The two texts changed places in the list; the picture kept its own.
  assert.deepEqual(s.overlays.map((o) => o.id), [before[2], before[1], before[0]]);
});

test('a running export can be cancelled; after success the file and its folder can be opened', opts, async () => {
  await freshEditorWithVideo();
  await d.findElement(By.id('btn-export')).click();
  await nativeCall(d, 'onExportProgress(0)');
  await nativeCall(d, 'onExportProgress(30)');
  const cancel = await d.findElement(By.id('export-cancel'));
  assert.equal(await cancel.isDisplayed(), true);
  await cancel.click();
  assert.ok(await lastPosted(d, 'cancelExport'));
  await nativeCall(d, 'onExportProgress(31)'); // already on its way
  assert.equal(await d.findElement(By.id('export-message')).getText(), 'Megszakítás…');
  await nativeCall(d, 'onExportCancelled()');
  assert.equal(await d.findElement(By.id('export-message')).getText(), 'Az exportálás megszakítva. A korábbi fájl változatlan maradt.');
  assert.equal(await d.findElement(By.id('export-close')).isDisplayed(), true);
  assert.equal(await d.findElement(By.id('export-cancel')).isDisplayed(), false);
  await d.findElement(By.id('export-close')).click();

  await d.findElement(By.id('btn-export')).click();
  await nativeCall(d, 'onExportProgress(0)');
  await nativeCall(d, 'onExportComplete()');
  await d.findElement(By.id('export-open-video')).click();
  await d.findElement(By.id('export-open-folder')).click();
  const opens = (await posted(d)).filter((m) => m.action === 'openExportResult').map((m) => m.params.target);
  assert.deepEqual(opens, ['video', 'folder']);
});

test('dragging the picture moves the crop window; the export gets its position, output size and fill', opts, async () => {
  await freshEditorWithVideo('9:16');
  const stage = await rect('#stage');
  const video0 = await rect('#video');
  // 1920 × 1080 through a 9:16 window: 607 wide, 1313 source pixels of room across.
  const k = stage.height / 1080; // preview pixels per source pixel
  const y = stage.top + stage.height * 0.35;
  const x0 = stage.left + stage.width / 2;
  const tip = await drag(x0, y, x0 + 60, y, () => js(d, "const e = document.querySelector('.drag-value'); return e && e.textContent"));
  const video1 = await rect('#video');
  // The picture follows the pointer; the window moves the other way: towards the left edge.
  assert.ok(Math.abs(video1.left - video0.left - 60) < 1.5, `video moved ${video1.left - video0.left}`);
  const s = await editorState(d);
  const expected = 50 - (60 / k / 1313) * 100;
  assert.ok(Math.abs(s.cropPositionX - expected) < 0.3, `${s.cropPositionX} vs ${expected}`);
  assert.equal(s.cropPositionY, 50, 'a landscape source has no room to move down');
  assert.equal(tip, `Kivágás: ${s.cropPositionX.toFixed(1)}%`);
  assert.equal(s.selectedId, null);

  await d.findElement(By.css('#output-size option[value="standard"]')).click();
  await d.findElement(By.css('#fill-mode option[value="fit"]')).click();
  assert.equal(await d.findElement(By.id('out-size')).getText(), 'Kimenet: 1080 × 1920');
  assert.equal(await js(d, "return document.getElementById('fill-canvas').hidden"), false);
  await d.findElement(By.id('btn-export')).click();
  const msg = await lastPosted(d, 'exportVideo');
  assert.equal(msg.params.cropPositionX, s.cropPositionX);
  assert.equal(msg.params.cropPositionY, 50);
  assert.equal(msg.params.outputSize, 'standard');
  assert.equal(msg.params.fillMode, 'fit');

  // A drag far past the edge stops at it.
  await nativeCall(d, 'onExportError("x")');
  await d.findElement(By.id('export-close')).click();
  await d.findElement(By.css('#fill-mode option[value="crop"]')).click();
  const right = (await js(d, 'return window.innerWidth')) - 4;
  await drag(stage.left + 4, y, right, y);
  assert.equal((await editorState(d)).cropPositionX, 0);
});
