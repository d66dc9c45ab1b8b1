// The functions the native side calls by name (window.onVideoLoaded(...) and the rest). Each is
// global, and an error inside one is shown to the user instead of being lost.
import { Captions, Ov, Product, Subs } from './libs.js';
import { $, clamp, el, num, textOf } from './helpers.js';
import { autosave, duration, state } from './state.js';
import { setStatus, showToast } from './messages.js';
import { renderPreview } from './preview.js';
import { addKind, commit } from './layers.js';
import { renderInspector } from './inspector.js';
import { loadVideo } from './playback.js';
import { exportVideo, setExportPhase } from './export.js';
import { loadProjectState, rememberPicture, saveProject, validPicture } from './project.js';
import { renderSegments, showProduct } from './panels.js';
import { showRestoreOffer } from './unsaved.js';

const api = {
  onVideoLoaded(p) { loadVideo(p, 'Videó betöltve.'); },

  // The file could not be opened; the clip on screen stays the current one.
  onVideoError(text) { showToast(textOf(text), 'error'); },

  onImagePicked(p) {
    if (!validPicture(p, true)) { showToast('A kép nem olvasható.', 'error'); return; }
    rememberPicture(p);
    addKind('image', { imageId: p.imageId });
  },

  onImageReloaded(p) {
    if (!validPicture(p, false)) return;
    rememberPicture(p);
    renderPreview();
    renderInspector();
  },

  // The picture's file is gone: shown as missing (with a way to choose it again) instead of loading for ever.
  onImageMissing(imageId) {
    if (typeof imageId !== 'string' || !imageId) return;
    state.images[imageId] = { missing: true, width: 0, height: 0 };
    renderPreview();
    renderInspector();
    showToast('Egy kép fájlja nem található. Jelöld ki a képet, és válaszd ki újra.', 'error');
  },

  // The native side sends one of two fixed lines: a spinner element, then a text. Only that
  // shape is built as an element; anything else is shown as plain text.
  showWhisperStatus(html, done) {
    const s = $('whisper-status');
    s.className = 'status';
    s.textContent = '';
    const m = /^<span class="ai-loading"><\/span>\s?([^<>]*)$/.exec(typeof html === 'string' ? html : '');
    if (m) {
      s.appendChild(el('span', 'ai-loading'));
      s.appendChild(document.createTextNode(' ' + m[1]));
    } else {
      s.textContent = textOf(html);
    }
    if (done === true) { state.whisperBusy = false; $('btn-whisper').disabled = false; }
  },

  onWhisperError(text) {
    state.whisperBusy = false;
    $('btn-whisper').disabled = false;
    setStatus('whisper-status', textOf(text), 'error');
    showToast('Felirat hiba: ' + textOf(text), 'error');
  },

  onWhisperResult(segments) {
    state.whisperBusy = false;
    $('btn-whisper').disabled = false;
    if (!Array.isArray(segments)) { api.onWhisperError('Érvénytelen feliratadatok érkeztek.'); return; }
    state.segments = Subs.cleanSegments(segments);
    renderSegments();
    const overlays = Subs.segmentsToOverlays(state.segments, duration());
    if (!state.segments.length) {
      setStatus('whisper-status', 'Nem található beszéd a videóban.', '');
      return;
    }
    if (!overlays.length) {
      setStatus('whisper-status', 'A videó hossza ismeretlen, a feliratok nem helyezhetők el.', 'error');
      return;
    }
    overlays.forEach((o, i) => { o.subtitle = true; o.subtitleIndex = i; });
    Captions.applyToAll(overlays, state.captionStyle);
    state.overlays.push(...overlays);
    state.selectedId = overlays[0].id;
    commit();
    setStatus('whisper-status', `${overlays.length} felirat hozzáadva.`, 'ok');
  },

  onUrlFetched(p) {
    if (!Ov.isPlainObject(p)) { setStatus('product-status', 'Érvénytelen válasz érkezett.', 'error'); return; }
    if (p.error !== undefined) {
      setStatus('product-status', textOf(p.error), 'error');
      showToast('Termék import hiba: ' + textOf(p.error), 'error');
      return;
    }
    if (typeof p.html !== 'string') { setStatus('product-status', 'Érvénytelen válasz érkezett.', 'error'); return; }
    const info = Product.extractProductInfo(p.html, typeof p.url === 'string' ? p.url : '');
    showProduct(info);
    if (!info.title && !info.description && !info.imageUrl) {
      setStatus('product-status', 'Az oldalon nem található cím, leírás vagy kép.', 'error');
    } else {
      setStatus('product-status', 'Válaszd ki, mit teszünk a videóra.', 'ok');
    }
  },

  onNarrationReady(p) {
    state.ttsBusy = false;
    $('btn-tts').disabled = false;
    const d = Ov.isPlainObject(p) ? num(p.duration, NaN) : NaN;
    const text = Number.isFinite(d)
      ? `Narráció kész: ${d.toFixed(1)} mp. Exportáláskor a videó hangja alatt szól.`
      : 'Narráció kész.';
    setStatus('tts-status', text, 'ok');
  },

  onNarrationError(text) {
    state.ttsBusy = false;
    $('btn-tts').disabled = false;
    setStatus('tts-status', textOf(text), 'error');
    showToast('Narráció hiba: ' + textOf(text), 'error');
  },

  onProductImageReady(p) {
    if (!validPicture(p, true)) { api.onProductImageError('A kép nem olvasható.'); return; }
    rememberPicture(p);
    addKind('image', { imageId: p.imageId });
    setStatus('product-status', 'A termékkép a videóra került.', 'ok');
  },

  onProductImageError(text) {
    setStatus('product-status', textOf(text), 'error');
    showToast('Termékkép hiba: ' + textOf(text), 'error');
  },

  onBackgroundReady(p) {
    $('btn-generate-bg').disabled = false;
    setStatus('bg-status', 'A háttérvideó elkészült.', 'ok');
    loadVideo(p, 'Háttérvideó betöltve.');
  },

  onBackgroundError(text) {
    $('btn-generate-bg').disabled = false;
    setStatus('bg-status', textOf(text), 'error');
    showToast('Háttér hiba: ' + textOf(text), 'error');
  },

  onExportProgress(percent) {
    // Progress already on its way when the cancel was asked for does not undo the request.
    if (state.exportPhase === 'cancelling') return;
    const v = Number(percent);
    state.exportPercent = clamp(Number.isFinite(v) ? v : 0, 0, 100);
    $('export-message').textContent = 'Exportálás folyamatban…';
    setExportPhase('running');
  },

  onExportComplete() {
    state.exportPercent = 100;
    $('export-message').textContent = 'Az exportálás sikeresen befejeződött!';
    setExportPhase('done');
    showToast('Az exportálás sikeresen befejeződött!', 'ok');
  },

  // The running export was stopped: the earlier file at the chosen place is unchanged.
  onExportCancelled() {
    $('export-message').textContent = 'Az exportálás megszakítva. A korábbi fájl változatlan maradt.';
    setExportPhase('cancelled');
    showToast('Az exportálás megszakítva.', '');
  },

  onExportError(text) {
    $('export-message').textContent = 'Exportálási hiba: ' + textOf(text);
    setExportPhase('error');
    showToast('Exportálási hiba: ' + textOf(text), 'error');
  },

  onProjectLoaded(p) {
    loadProjectState(p);
    if (autosave) autosave.opened();
  },

  // Sent before the opened project's video and state: unsaved work is kept to be offered back.
  onProjectOpened(name) {
    $('project-name').textContent = textOf(name);
    if (autosave && autosave.replacing()) showRestoreOffer(autosave.offer(), 'replaced');
  },

  onProjectSaved(name) {
    $('project-name').textContent = textOf(name);
    if (autosave) autosave.saved();
    showToast('Projekt mentve: ' + textOf(name), 'ok');
  },

  onSubtitlesSaved(name) { showToast('Feliratok mentve: ' + textOf(name), 'ok'); },

  onSubtitlesError(text) { showToast('Felirat mentési hiba: ' + textOf(text), 'error'); },

  triggerExport() { exportVideo(); },

  triggerSaveProject() { saveProject(); },
};
for (const [name, fn] of Object.entries(api)) {
  window[name] = function () {
    try {
      return fn.apply(null, arguments);
    } catch (e) {
      console.error(e);
      showToast('Váratlan hiba a szerkesztőben: ' + (e && e.message ? e.message : String(e)), 'error');
      return undefined;
    }
  };
}
