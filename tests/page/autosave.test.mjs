// Unsaved work: the autosave logic on its own in Node (storage that fails, debouncing, what is
// offered back), then the editor page in Chromium: marker, restore after a reload, work kept when
// another project is opened over it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { launch, openEditor, posted, clearPosted, nativeCall, editorState } from './harness.mjs';

const require = createRequire(import.meta.url);
const { Autosave, CURRENT_KEY, OFFER_KEY } = require('../../resources/js/autosave.js');

class MemoryStorage {
  constructor() { this.items = new Map(); this.failWrites = false; this.writes = 0; }
  getItem(k) { return this.items.has(k) ? this.items.get(k) : null; }
  setItem(k, v) {
    if (this.failWrites) throw new Error('QuotaExceededError');
    this.writes += 1;
    this.items.set(k, String(v));
  }
  removeItem(k) { this.items.delete(k); }
}

// Timers the test runs by hand.
class ManualTimers {
  constructor() { this.next = 1; this.pending = new Map(); }
  setTimeout(fn, ms) { const id = this.next++; this.pending.set(id, { fn, ms }); return id; }
  clearTimeout(id) { this.pending.delete(id); }
  runAll() { const all = [...this.pending.values()]; this.pending.clear(); for (const t of all) t.fn(); }
}

function makeSession(storage, doc) {
  const timers = new ManualTimers();
  const dirtyChanges = [];
  let failures = 0;
  const autosave = new Autosave({
    storage,
    capture: () => JSON.parse(JSON.stringify(doc)),
    timers,
    now: () => 1700000000000,
    onDirtyChange: (d) => dirtyChanges.push(d),
    onWriteFailed: () => { failures += 1; },
  });
  return { autosave, timers, dirtyChanges, failures: () => failures };
}

test('changes are written once after a quiet moment, with whether they differ from the baseline', () => {
  const storage = new MemoryStorage();
  const doc = { textObjects: [] };
  const s = makeSession(storage, doc);
  assert.equal(s.autosave.start(), null, 'an empty storage offers nothing');
  doc.textObjects.push({ id: 'a', text: 'Első' });
  s.autosave.changed();
  s.autosave.changed();
  s.autosave.changed();
  assert.equal(storage.writes, 0, 'nothing is written before the quiet moment');
  assert.equal(s.timers.pending.size, 1, 'one pending write, however many changes');
  s.timers.runAll();
  assert.equal(storage.writes, 1);
  const record = JSON.parse(storage.getItem(CURRENT_KEY));
  assert.equal(record.dirty, true);
  assert.deepEqual(record.state, { textObjects: [{ id: 'a', text: 'Első' }] });
  assert.deepEqual(s.dirtyChanges, [true]);

  // Back to the baseline by hand: clean again, and the record says so.
  doc.textObjects.pop();
  s.autosave.flush();
  assert.equal(JSON.parse(storage.getItem(CURRENT_KEY)).dirty, false);
  assert.deepEqual(s.dirtyChanges, [true, false]);
});

test('a save counts only once it is confirmed, and edits after the request stay unsaved', () => {
  const storage = new MemoryStorage();
  const doc = { textObjects: [{ id: 'a' }] };
  const s = makeSession(storage, { textObjects: [] });
  // A fresh session over an empty editor, then work arrives.
  const s2 = makeSession(storage, doc);
  s2.autosave.baseline = JSON.stringify({ textObjects: [] });
  s2.autosave.flush();
  assert.equal(s2.autosave.isDirty(), true);
  s2.autosave.saving();
  s2.autosave.flush();
  assert.equal(s2.autosave.isDirty(), true, 'a save that was only asked for (chooser still open) changes nothing');
  doc.textObjects.push({ id: 'b' });
  s2.autosave.saved();
  assert.equal(s2.autosave.isDirty(), true, 'the edit made while the chooser was open is not in the file');
  doc.textObjects.pop();
  assert.equal(s2.autosave.isDirty(), false);
  // A confirmation without a request (a stray call) moves nothing.
  doc.textObjects.push({ id: 'c' });
  s2.autosave.saved();
  assert.equal(s2.autosave.isDirty(), true);
  assert.equal(s.autosave.isDirty(), false);
});

test('only unsaved work is offered back, and it waits until it is answered', () => {
  const storage = new MemoryStorage();
  const work = { textObjects: [{ id: 'a', text: 'Munka' }] };
  const first = makeSession(storage, work);
  first.autosave.baseline = JSON.stringify({ textObjects: [] });
  first.autosave.flush(); // the run ends here (killed)

  const fresh = { textObjects: [] };
  const second = makeSession(storage, fresh);
  const offer = second.autosave.start();
  assert.ok(offer, 'unsaved work is offered');
  assert.deepEqual(offer.state, work);
  assert.equal(offer.savedAt, 1700000000000);
  assert.equal(storage.getItem(CURRENT_KEY), null, 'the new run starts its own record');
  // New edits of this run do not overwrite what is on offer.
  fresh.textObjects.push({ id: 'z' });
  second.autosave.flush();
  fresh.textObjects.pop();
  second.autosave.flush();
  assert.deepEqual(second.autosave.offer().state, work);

  // Not answered, program restarted with a clean run in between: still offered.
  const third = makeSession(storage, { textObjects: [] });
  assert.deepEqual(third.autosave.start().state, work);
  third.autosave.settleOffer();
  const fourth = makeSession(storage, { textObjects: [] });
  assert.equal(fourth.autosave.start(), null, 'answered offers are gone');

  // Saved work is not offered.
  const saved = { textObjects: [{ id: 's' }] };
  const fifth = makeSession(storage, saved);
  fifth.autosave.opened();
  assert.equal(makeSession(storage, { textObjects: [] }).autosave.start(), null);
});

test('opening another project over unsaved work keeps that work as the offer', () => {
  const storage = new MemoryStorage();
  const doc = { textObjects: [] };
  const s = makeSession(storage, doc);
  s.autosave.start();
  assert.equal(s.autosave.replacing(), false, 'a clean editor keeps nothing');
  doc.textObjects.push({ id: 'a', text: 'félkész' });
  assert.equal(s.autosave.replacing(), true);
  assert.deepEqual(s.autosave.offer().state, { textObjects: [{ id: 'a', text: 'félkész' }] });
  // The opened project becomes the baseline.
  doc.textObjects = [{ id: 'p' }];
  s.autosave.opened();
  assert.equal(s.autosave.isDirty(), false);
  assert.ok(s.autosave.offer(), 'the kept work is still there');
});

test('broken or full storage never breaks the editor', () => {
  const storage = new MemoryStorage();
  for (const junk of ['{', 'null', '[]', '{"format":1}', '{"format":1,"state":[1]}', '{"format":99,"state":{}}']) {
    storage.items.set(CURRENT_KEY, junk);
    storage.items.set(OFFER_KEY, junk);
    assert.equal(makeSession(storage, { a: 1 }).autosave.start(), null, junk);
  }
  storage.failWrites = true;
  const doc = { a: 1 };
  const s = makeSession(storage, doc);
  doc.a = 2;
  assert.equal(s.autosave.flush(), false);
  assert.equal(s.autosave.flush(), false);
  assert.equal(s.failures(), 1, 'the user is told once, not on every change');
  storage.failWrites = false;
  assert.equal(s.autosave.flush(), true);
  storage.failWrites = true;
  s.autosave.flush();
  assert.equal(s.failures(), 2, 'told again after it had worked in between');

  const throwing = { getItem() { throw new Error('SecurityError'); }, setItem() { throw new Error('x'); }, removeItem() { throw new Error('x'); } };
  const t = makeSession(throwing, { a: 1 });
  assert.equal(t.autosave.start(), null);
  t.autosave.settleOffer();
  assert.equal(t.autosave.replacing(), false);
});

// ---------------------------------------------------------------- the page

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const marker = (page) => page.locator('#unsaved-marker').isVisible();

test('the page: marker, offer after a reload, restore, and nothing offered once saved', async () => {
  const page = await openEditor(browser, undefined, { keepStorage: true });
  await page.evaluate(() => localStorage.clear());
  await page.reload();
  await page.waitForFunction(() => window.TamoEditor);
  assert.equal(await marker(page), false, 'a fresh editor has nothing unsaved');
  assert.equal(await page.locator('#restore-bar').isVisible(), false);

  await nativeCall(page, 'onVideoLoaded({"url":"file:///home/u/.rejtett/klip%20%C3%A9.mp4","width":640,"height":360,"duration":4})');
  await page.click('#add-text');
  await page.click('.preset[data-preset="9:16"]');
  await page.waitForFunction(() => !document.getElementById('unsaved-marker').hidden);
  const before = await editorState(page);

  // The page goes away without saving (as when the program is killed) and comes back.
  await page.reload();
  await page.waitForFunction(() => window.TamoEditor);
  assert.equal((await editorState(page)).overlays.length, 0);
  assert.equal(await page.locator('#restore-bar').isVisible(), true);
  assert.match(await page.textContent('#restore-text'), /nem mentett munka maradt \(1 elem/);
  await clearPosted(page);
  await page.click('#btn-restore');
  const after = await editorState(page);
  assert.deepEqual(after.overlays, before.overlays);
  assert.equal(after.cropPreset, '9:16');
  assert.deepEqual(await posted(page), [{ action: 'restoreVideo', params: { url: 'file:///home/u/.rejtett/klip%20%C3%A9.mp4' } }]);
  assert.equal(await page.locator('#restore-bar').isVisible(), false);
  await page.waitForFunction(() => !document.getElementById('unsaved-marker').hidden);

  // Saved: the marker goes once the native side confirms, and the next start offers nothing.
  await page.click('#btn-save-project');
  assert.equal(await marker(page), true, 'not before the file is written');
  await nativeCall(page, "onProjectSaved('első <i>.tamovid')");
  assert.equal(await page.textContent('#project-name'), 'első <i>.tamovid');
  await page.waitForFunction(() => document.getElementById('unsaved-marker').hidden);
  await page.reload();
  await page.waitForFunction(() => window.TamoEditor);
  assert.equal(await page.locator('#restore-bar').isVisible(), false);
  // The clip itself is not there: the only complaint allowed.
  assert.deepEqual(page.errors.filter((e) => !/ERR_FILE_NOT_FOUND/.test(e)), []);
  await page.close();
});

test('the page: a project opened over unsaved work leaves it restorable, without a question first', async () => {
  const page = await openEditor(browser);
  await page.click('#add-text');
  await page.waitForFunction(() => !document.getElementById('unsaved-marker').hidden);
  const unsaved = (await editorState(page)).overlays;
  await clearPosted(page);

  await nativeCall(page, "onProjectOpened('másik.tamovid')");
  await nativeCall(page, 'onProjectLoaded({"version":1,"textObjects":[],"cropPreset":"1:1"})');
  assert.equal((await editorState(page)).overlays.length, 0, 'the project loads at once');
  assert.equal(await page.textContent('#project-name'), 'másik.tamovid');
  await page.waitForFunction(() => document.getElementById('unsaved-marker').hidden);
  assert.equal(await page.locator('#restore-bar').isVisible(), true);
  assert.match(await page.textContent('#restore-text'), /megnyitása előtti/);

  await page.click('#btn-restore');
  assert.deepEqual((await editorState(page)).overlays, unsaved);
  assert.equal((await editorState(page)).cropPreset, 'original');
  assert.deepEqual(await posted(page), [], 'no video to bring back');
  await page.waitForFunction(() => !document.getElementById('unsaved-marker').hidden);

  // Dismissing an offer removes it for good.
  await nativeCall(page, "onProjectOpened('harmadik.tamovid')");
  await nativeCall(page, 'onProjectLoaded({"version":1,"textObjects":[]})');
  await page.click('#btn-restore-dismiss');
  assert.equal(await page.evaluate((k) => localStorage.getItem(k), OFFER_KEY), null);
  assert.deepEqual(page.errors, []);
  await page.close();
});
