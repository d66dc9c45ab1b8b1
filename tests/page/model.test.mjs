// The page's shared scripts on their own, in Node: animation curves and crop geometry on the
// cases the exporter is known for, subtitle timing, overlay normalisation and undo history.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const Anim = require('../../resources/js/animation.js');
const Geo = require('../../resources/js/geometry.js');
const Ov = require('../../resources/js/overlays.js');
const Subs = require('../../resources/js/subtitles.js');
const { History } = require('../../resources/js/history.js');

const close = (a, b, msg) => assert.ok(Math.abs(a - b) < 1e-9, `${msg}: ${a} != ${b}`);

test('ease: both branches and the midpoint', () => {
  for (const [p, want] of [[0, 0], [0.25, 0.125], [0.5, 0.5], [0.75, 0.875], [1, 1]]) close(Anim.ease(p), want, `ease(${p})`);
});

test('animState: first and last frames, strict phase ends, combined phases', () => {
  const W = 1080, H = 1920; // dx 54, dy 96
  const st = (i, o, d, t, len = 0) => Anim.animState(i, o, d, t, 0, 10, len, W, H);
  const cases = [
    ['fadeIn at start', st('fadeIn', 'none', 2, 0), { opacity: 0 }],
    ['slideUp at start', st('slideUp', 'none', 2, 0), { ty: 96 }],
    ['slideRight at start', st('slideRight', 'none', 2, 0), { tx: -54 }],
    ['zoomIn at start', st('zoomIn', 'none', 2, 0), { scale: 0, opacity: 0 }],
    ['typewriter at start', st('typewriter', 'none', 2, 0, 7), { textLen: 0 }],
    ['typewriter half way', st('typewriter', 'none', 2, 1, 7), { textLen: 3 }],
    ['typewriter done', st('typewriter', 'none', 2, 2, 7), { textLen: -1 }],
    ['bounce first peak', st('bounce', 'none', 1, 0.2), { ty: -Math.abs(Math.sin(0.2 * Math.PI * 2.5)) * 0.8 * 96 * 0.75 }],
    ['entry over at exactly the phase length', st('fadeIn', 'none', 2, 2), { opacity: 1 }],
    ['fadeOut at end', st('none', 'fadeOut', 2, 10), { opacity: 0 }],
    ['slideUp exit at end', st('none', 'slideUp', 2, 10), { ty: -96 }],
    ['zoomOut at end', st('none', 'zoomOut', 2, 10), { scale: 0, opacity: 0 }],
    ['zero phase length is neutral', st('fadeIn', 'fadeOut', 0, 0), { opacity: 1, scale: 1 }],
    ['case matters', st('FadeIn', 'none', 2, 0), { opacity: 1 }],
    ['image typewriter shows at once', st('typewriter', 'none', 2, 0, 0), { textLen: 0, opacity: 1 }],
  ];
  for (const [name, got, want] of cases) for (const [k, v] of Object.entries(want)) close(got[k], v, `${name} ${k}`);
  // Window shorter than two phases: the exit replaces the entry's slide, opacities combine by min.
  const both = Anim.animState('slideUp', 'slideDown', 2, 1.5, 0, 3, 0, W, H);
  close(both.ty, (1 - Anim.ease(0.75)) * 96, 'exit ty wins');
  const zz = Anim.animState('zoomIn', 'zoomOut', 2, 0.5, 0, 2, 0, W, H);
  close(zz.scale, Anim.ease(0.75), 'zoomOut scale wins');
  close(zz.opacity, Math.min(Anim.ease(0.25), Anim.ease(0.75)), 'opacity min');
});

test('graphemes: emoji sequences and combining accents count as one character', () => {
  assert.deepEqual(Anim.graphemes('a👍🏽é'), ['a', '👍🏽', 'é']);
});

test('computeGeometry: presets on landscape, portrait and odd sources', () => {
  const cases = [
    [1920, 1080, 'original', [1920, 1080, 0, 0]],
    [1920, 1080, '9:16', [607, 1080, 656, 0]],
    [1920, 1080, '1:1', [1080, 1080, 420, 0]],
    [1920, 1080, '4:5', [864, 1080, 528, 0]],
    [1920, 1080, '4:3', [1440, 1080, 240, 0]],
    [1920, 1080, '16:9', [1920, 1080, 0, 0]],
    [1080, 1920, '16:9', [1080, 607, 0, 656]],
    [1080, 1920, '4:5', [1080, 1350, 0, 285]],
    [1080, 1920, '4:3', [1080, 810, 0, 555]],
    [1080, 1920, '9:16', [1080, 1920, 0, 0]],
    [1280, 720, '9:16', [405, 720, 437, 0]],
    [1920, 1080, '2:1', [1920, 1080, 0, 0]],
    [1920, 1080, '', [1920, 1080, 0, 0]],
  ];
  for (const [w, h, p, [W, H, x, y]] of cases) {
    assert.deepEqual(Geo.computeGeometry(w, h, p), { width: W, height: H, cropX: x, cropY: y }, `${w}x${h} ${p}`);
  }
});

test('previewLayout: the video element is offset by the crop origin in preview pixels', () => {
  const lay = Geo.previewLayout(1920, 1080, '9:16', 540);
  close(lay.scale, 0.5, 'scale');
  close(lay.previewWidth, 303.5, 'width');
  close(lay.videoLeft, -328, 'left');
  close(lay.videoWidth, 960, 'video width');
});

test('subtitles: segment windows become percentages of the duration; bad segments are dropped', () => {
  const segs = [
    { start: 5, end: 10, text: '  Szia!\t' },
    { start: '0.0', end: 2, text: 'string start' },
    { start: 18, end: 25, text: 'past the end' },
    { start: 3, end: 2, text: 'reversed' },
    { start: 1, end: 2, text: '   ' },
    null,
  ];
  const ovs = Subs.segmentsToOverlays(segs, 20);
  assert.deepEqual(ovs.map((o) => [o.text, o.timeStartPercent, o.timeEndPercent]),
    [['Szia!', 25, 50], ['past the end', 90, 100], ['reversed', 10, 15]]);
  assert.ok(ovs.every((o) => o.type === 'text' && o.strokeEnabled && o.bold));
  assert.deepEqual(Subs.segmentsToOverlays(segs, 0), []);
  assert.equal(Subs.toSrt([{ start: 0, end: 2.5, text: 'Szia!' }, { start: 3661.2, end: 3662.0005, text: 'Második' }]),
    '1\n00:00:00,000 --> 00:00:02,500\nSzia!\n\n2\n01:01:01,200 --> 01:01:02,001\nMásodik\n');
});

test('normalize: wrong kinds fall back to the defaults the exporter would use, unknown data is kept', () => {
  const o = Ov.normalize({ type: 'text', text: 'x', fontSizePercent: '9', bold: 1, xPercent: 12.5, custom: 'kept' });
  assert.equal(o.fontSizePercent, 5);
  assert.equal(o.bold, false);
  assert.equal(o.xPercent, 12.5);
  assert.equal(o.custom, 'kept');
  assert.equal(o.yPercent, 80);
  assert.equal(Ov.normalize({ text: 'no type' }).type, 'text');
  assert.deepEqual(Ov.normalize({ type: 'sparkles', a: 1 }).a, 1);
  assert.deepEqual(Ov.normalizeList([1, null, 'x', [], { type: 'blur' }]).map((e) => e.type), ['blur']);
  assert.deepEqual(Ov.normalizeList({ not: 'a list' }), []);
});

test('history: undo and redo walk the snapshots; a new edit clears redo', () => {
  const h = new History([]);
  assert.equal(h.commit([1]), true);
  assert.equal(h.commit([1]), false);
  h.commit([1, 2]);
  assert.deepEqual(h.undo(), [1]);
  assert.deepEqual(h.undo(), []);
  assert.equal(h.undo(), null);
  assert.deepEqual(h.redo(), [1]);
  h.commit([9]);
  assert.equal(h.canRedo(), false);
});
