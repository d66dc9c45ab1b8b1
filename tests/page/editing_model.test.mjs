// The editing helpers on their own, in Node: seconds and percentages, snapping, placement of new
// overlays, resize arithmetic, the caption style and which font the preview draws with.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const T = require('../../resources/js/timefmt.js');
const H = require('../../resources/js/handles.js');
const C = require('../../resources/js/captions.js');
const F = require('../../resources/js/fonts.js');

test('seconds and percentages: typed forms, rounding, unknown length, out of range', () => {
  for (const [text, want] of [['2.5', 2.5], ['2,5', 2.5], ['1:05.5', 65.5], [' 3 mp', 3], ['7s', 7], ['.5', 0.5]]) {
    assert.equal(T.parseSeconds(text), want, text);
  }
  for (const bad of ['', 'soon', '-1', '1:75', '1.2.3', null]) assert.equal(T.parseSeconds(bad), null, String(bad));
  assert.equal(T.secondsToPercent(2.5, 20), 12.5);
  assert.equal(T.secondsToPercent(30, 20), 100);
  assert.equal(T.secondsToPercent(-1, 20), 0);
  assert.equal(T.secondsToPercent(1, 0), null);
  assert.equal(T.formatSeconds(T.percentToSeconds(33.3, 7)), '2.3');
  assert.equal(T.formatSeconds(NaN), '0.0');
});

test('snapping: centre line or edge, whichever is nearest within the tolerance', () => {
  assert.deepEqual(H.snapPosition(50.8, 30, 10, 5, 1, 1), { x: 50, y: 30, guides: [{ axis: 'x', at: 50 }] });
  // A box 20 % wide whose left edge comes near the frame's left edge.
  assert.deepEqual(H.snapAxis(10.6, 10, 1), { value: 10, guide: 0 });
  assert.deepEqual(H.snapAxis(89.5, 10, 1), { value: 90, guide: 100 });
  assert.deepEqual(H.snapAxis(47, 10, 1), { value: 47, guide: null });
  // Both candidates in reach: the nearer wins.
  assert.deepEqual(H.snapAxis(49.4, 49, 1), { value: 49, guide: 0 });
  assert.deepEqual(H.snapAxis(49.6, 49, 1), { value: 50, guide: 50 });
});

test('resizing: sizes follow the pointer distance and stay in range; blur keeps its centre', () => {
  assert.equal(H.scaledValue('text', 5, 100, 200), 10);
  assert.equal(H.scaledValue('text', 5, 100, 10000), 30);
  assert.equal(H.scaledValue('image', 20, 100, 1), 1);
  assert.equal(H.scaledValue('text', 5, 0, 50), 5);
  assert.deepEqual(H.blurSize(100, 100, 150, 80, 400, 200), { widthPercent: 25, heightPercent: 20 });
  assert.equal(H.valueLabel('blur', { widthPercent: 25, heightPercent: 20 }), '25.0% × 20.0%');
});

test('new overlays go to their usual place first, then step away instead of stacking', () => {
  const list = [];
  for (let i = 0; i < 6; i++) {
    const p = H.placeNew('text', list, { xPercent: 50, yPercent: 80 });
    assert.ok(!list.some((o) => o.xPercent === p.xPercent && o.yPercent === p.yPercent), `item ${i} stacked`);
    assert.ok(p.yPercent >= 8 && p.yPercent <= 92);
    list.push({ type: 'text', ...p });
  }
  assert.deepEqual(list[0], { type: 'text', xPercent: 50, yPercent: 80 });
  // The progress bar has no position and never blocks a spot.
  assert.deepEqual(H.placeNew('blur', [{ type: 'progressbar' }], { xPercent: 50, yPercent: 50 }), { xPercent: 50, yPercent: 50 });
});

test('caption style: presets reach every subtitle and nothing else; bad values fall back', () => {
  const list = [
    { type: 'text', subtitle: true, text: 'a', fontFamily: 'x' },
    { type: 'text', text: 'mine', fontFamily: 'Lato', yPercent: 10 },
    { type: 'image', subtitle: true },
    { type: 'text', subtitle: true, text: 'b' },
  ];
  assert.equal(C.applyToAll(list, C.PRESETS.punchy.style), 2);
  for (const o of [list[0], list[3]]) {
    assert.equal(o.fontFamily, 'Bebas Neue');
    assert.equal(o.yPercent, C.POSITIONS.middle);
    assert.equal(o.animationIn, 'zoomIn');
  }
  assert.deepEqual(list[1], { type: 'text', text: 'mine', fontFamily: 'Lato', yPercent: 10 });
  assert.equal(list[2].fontFamily, undefined);
  const k = C.overlayKeys({ fontSizePercent: 'big', fontColor: 'red', position: 'nowhere', strokeWidth: 99 });
  assert.equal(k.fontSizePercent, C.DEFAULT_STYLE.fontSizePercent);
  assert.equal(k.fontColor, C.DEFAULT_STYLE.fontColor);
  assert.equal(k.yPercent, C.POSITIONS.bottom);
  assert.equal(k.strokeWidth, 12);
});

test('fonts: offered families are drawn as named, old names as the export stands in for them', () => {
  for (const f of F.FAMILIES) assert.equal(F.drawnFamily(f), f);
  assert.equal(F.drawnFamily('Helvetica'), 'Liberation Sans');
  assert.equal(F.drawnFamily('Times New Roman'), 'Liberation Serif');
  assert.equal(F.drawnFamily('Georgia'), F.MISSING_FALLBACK);
  assert.equal(F.drawnFamily('Impact'), F.MISSING_FALLBACK);
  assert.ok(!F.FAMILIES.some((f) => ['Georgia', 'Impact', 'Verdana', 'Noto Sans'].includes(f)));
  assert.equal(F.cssStack('"><x'), `"${F.MISSING_FALLBACK}", "Noto Color Emoji", "${F.MISSING_FALLBACK}"`);
  assert.equal(F.options('Georgia').Georgia, `Georgia (helyette: ${F.MISSING_FALLBACK})`);
});

// Every family the page offers is installed (the font configuration knows it by that name).
const { spawnSync } = require('node:child_process');
const hasFcList = spawnSync('fc-list', ['--version']).status === 0;
test('fonts: every offered family is installed on this machine', { skip: !hasFcList && 'fc-list missing' }, () => {
  for (const f of F.FAMILIES) {
    const r = spawnSync('fc-list', [f, 'family'], { encoding: 'utf8' });
    assert.ok(r.stdout.split('\n').some((l) => l.split(',').includes(f)), `${f} is not installed`);
  }
});
