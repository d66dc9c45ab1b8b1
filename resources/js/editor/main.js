// The editor page's entry point: wires the controls to their handlers and starts the editor.
// Everything the native side sends is shown as text (textContent), never as HTML.
import { Geo } from './libs.js';
import { $, el } from './helpers.js';
import { history, state } from './state.js';
import { post, setStatus } from './messages.js';
import { layoutStage, previewHeight, renderPreview, setupHandles, startPreviewDrag } from './preview.js';
import { addKind, deleteSelected, flushPendingEdit, redo, refreshAll, undo } from './layers.js';
import { pause, play, previewThroughScheme, seekToFraction, setTime, videoUnplayable } from './playback.js';
import { exportVideo, setExportPhase } from './export.js';
import { projectState, saveProject, setPreset, setReframe } from './project.js';
import { API_KEY_STORAGE, EMOJIS, fetchProduct, generateBackground, initCaptionStyle, openEmojiPicker, pickEmoji, saveSubtitles, startTts, startWhisper, storeApiKey } from './panels.js';
import { setupAutosave } from './unsaved.js';
// Installs the global functions the native side calls, before the editor starts.
import './native_calls.js';

function isTyping(target) {
  return target && (target.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(target.tagName));
}

function onKey(e) {
  if (isTyping(e.target)) return;
  const mod = e.ctrlKey || e.metaKey;
  const key = e.key.toLowerCase();
  if (mod && key === 'z') { e.preventDefault(); if (e.shiftKey) redo(); else undo(); return; }
  if (mod && key === 'y') { e.preventDefault(); redo(); return; }
  if (e.key === 'Delete' && !mod) { e.preventDefault(); deleteSelected(); return; }
  if (e.key === ' ' && !mod) { e.preventDefault(); if (state.playing) pause(); else play(); return; }
  if (e.key === 'Escape') { $('emoji-picker').hidden = true; }
}

function init() {
  for (const p of Geo.PRESETS) {
    const b = el('button', 'preset', p.label);
    b.type = 'button';
    b.dataset.preset = p.id;
    b.setAttribute('role', 'radio');
    b.addEventListener('click', () => setPreset(p.id));
    $('preset-bar').appendChild(b);
  }
  for (const e of EMOJIS) {
    const b = el('button', '', e);
    b.type = 'button';
    b.setAttribute('aria-label', e);
    b.addEventListener('click', () => pickEmoji(e));
    $('emoji-grid').appendChild(b);
  }
  for (const tab of document.querySelectorAll('.tab')) {
    tab.addEventListener('click', () => {
      for (const t of document.querySelectorAll('.tab')) t.classList.toggle('active', t === tab);
      for (const p of document.querySelectorAll('.panel')) p.classList.toggle('active', p.dataset.panel === tab.dataset.tab);
    });
  }

  $('btn-open-video').addEventListener('click', () => post('openVideo'));
  $('btn-open-video-2').addEventListener('click', () => post('openVideo'));
  $('btn-load-project').addEventListener('click', () => post('loadProject'));
  $('btn-save-project').addEventListener('click', saveProject);
  $('btn-export').addEventListener('click', exportVideo);
  $('btn-undo').addEventListener('click', undo);
  $('btn-redo').addEventListener('click', redo);
  $('export-close').addEventListener('click', () => setExportPhase('idle'));
  $('export-cancel').addEventListener('click', () => {
    if (state.exportPhase !== 'running') return;
    if (!post('cancelExport')) return;
    $('export-message').textContent = 'Megszakítás…';
    setExportPhase('cancelling');
  });
  $('export-open-video').addEventListener('click', () => post('openExportResult', { target: 'video' }));
  $('export-open-folder').addEventListener('click', () => post('openExportResult', { target: 'folder' }));
  initCaptionStyle();
  const reframeFrom = () => setReframe({
    cropPositionX: state.cropPositionX,
    cropPositionY: state.cropPositionY,
    outputSize: $('output-size').value,
    fillMode: $('fill-mode').value,
  });
  $('output-size').addEventListener('change', reframeFrom);
  $('fill-mode').addEventListener('change', reframeFrom);

  $('add-text').addEventListener('click', () => addKind('text'));
  $('add-emoji').addEventListener('click', () => openEmojiPicker(null));
  $('emoji-close').addEventListener('click', () => { $('emoji-picker').hidden = true; });
  $('add-image').addEventListener('click', () => post('pickImage'));
  $('add-blur').addEventListener('click', () => addKind('blur'));
  $('add-progress').addEventListener('click', () => addKind('progressbar'));

  $('btn-generate-bg').addEventListener('click', generateBackground);
  $('btn-whisper').addEventListener('click', startWhisper);
  $('btn-srt').addEventListener('click', () => saveSubtitles('srt'));
  $('btn-vtt').addEventListener('click', () => saveSubtitles('vtt'));
  $('btn-tts').addEventListener('click', startTts);
  $('tts-speed').addEventListener('input', () => {
    $('tts-speed-out').textContent = Number($('tts-speed').value).toFixed(2).replace(/0$/, '') + '×';
  });
  $('btn-fetch-product').addEventListener('click', fetchProduct);
  $('product-url').addEventListener('keydown', (e) => { if (e.key === 'Enter') fetchProduct(); });
  $('btn-add-product-title').addEventListener('click', () => {
    if (state.product && state.product.title) addKind('text', { text: state.product.title, yPercent: 15, bold: true, fontSizePercent: 5 });
  });
  $('btn-add-product-desc').addEventListener('click', () => {
    if (state.product && state.product.description) addKind('text', { text: state.product.description, yPercent: 30, fontSizePercent: 3 });
  });
  $('btn-add-product-image').addEventListener('click', () => {
    if (state.product && state.product.imageUrl) {
      setStatus('product-status', 'Kép letöltése…');
      post('downloadProductImage', { url: state.product.imageUrl });
    }
  });

  let stored = '';
  try { stored = localStorage.getItem(API_KEY_STORAGE) || ''; } catch (e) { stored = ''; }
  storeApiKey(stored);
  for (const input of document.querySelectorAll('.api-key')) {
    input.addEventListener('input', () => storeApiKey(input.value.trim()));
  }

  $('btn-play').addEventListener('click', () => (state.playing ? pause() : play()));
  $('scrubber').addEventListener('input', () => seekToFraction($('scrubber').value / 1000));
  $('ruler').addEventListener('pointerdown', (e) => {
    const r = $('ruler').getBoundingClientRect();
    seekToFraction((e.clientX - r.left) / r.width);
  });
  const v = $('video');
  v.addEventListener('ended', pause);
  v.addEventListener('error', () => {
    // An aborted earlier clip reports its error after the next one has started: only the current counts.
    if (!state.video || !v.error) return;
    if (!v.currentSrc.startsWith('blob:') && previewThroughScheme(v, state.video.url)) return;
    videoUnplayable();
  });
  v.addEventListener('loadedmetadata', () => { if (Math.abs(v.currentTime - state.time) > 0.01) v.currentTime = state.time; });
  // Blur regions are drawn from the current picture: redraw once a picture is there.
  v.addEventListener('loadeddata', () => renderPreview());
  v.addEventListener('seeked', () => { if (!state.playing) renderPreview(); });

  setupHandles();
  $('inspector').addEventListener('focusout', () => flushPendingEdit());
  $('stage').addEventListener('pointerdown', startPreviewDrag);
  document.addEventListener('keydown', onKey);
  if (typeof ResizeObserver === 'function') new ResizeObserver(() => layoutStage()).observe($('stage-wrap'));
  window.addEventListener('resize', layoutStage);

  setPreset('original');
  setExportPhase('idle');
  setTime(0);
  refreshAll();
  setupAutosave();
}

if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', init);
else init();

// Read-only view for tests and debugging.
window.TamoEditor = {
  get state() { return state; },
  get canUndo() { return history.canUndo(); },
  get canRedo() { return history.canRedo(); },
  projectState,
  previewHeight,
};
