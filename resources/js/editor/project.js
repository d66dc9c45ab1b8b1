// The project file's state, saving and loading it, and the pictures the overlays show.
import { Captions, Geo, Ov } from './libs.js';
import { $, clamp, num } from './helpers.js';
import { autosave, history, noteChange, PROJECT_VERSION, state } from './state.js';
import { post, showToast } from './messages.js';
import { layoutStage, previewHeight, renderPreview } from './preview.js';
import { refreshAll } from './layers.js';
import { pause } from './playback.js';
import { renderCaptionStyle } from './panels.js';

export function projectState() {
  return {
    version: PROJECT_VERSION,
    textObjects: JSON.parse(JSON.stringify(state.overlays)),
    cropPreset: state.cropPreset,
    cropPositionX: state.cropPositionX,
    cropPositionY: state.cropPositionY,
    outputSize: state.outputSize,
    fillMode: state.fillMode,
    captionStyle: { ...state.captionStyle },
    previewHeight: previewHeight(),
    narrationText: $('tts-text').value,
    narrationVoice: $('tts-voice').value,
    narrationSpeed: parseFloat($('tts-speed').value),
    subtitleLanguage: $('whisper-language').value,
  };
}

export function saveProject() {
  if (post('saveProject', projectState())) {
    if (autosave) autosave.saving();
    showToast('Válaszd ki a projektfájl helyét.', '');
  }
}

// The reframing settings, each checked: a missing or unusable value is its default.
export function setReframe(r) {
  const pos = (v) => (typeof v === 'number' && Number.isFinite(v) ? clamp(v, 0, 100) : 50);
  state.cropPositionX = pos(r.cropPositionX);
  state.cropPositionY = pos(r.cropPositionY);
  state.outputSize = r.outputSize === 'standard' ? 'standard' : 'crop';
  state.fillMode = r.fillMode === 'fit' ? 'fit' : 'crop';
  $('output-size').value = state.outputSize;
  $('fill-mode').value = state.fillMode;
  layoutStage();
  noteChange();
}

export function setPreset(id) {
  state.cropPreset = Geo.PRESETS.some((p) => p.id === id) ? id : 'original';
  for (const b of $('preset-bar').children) {
    const on = b.dataset.preset === state.cropPreset;
    b.classList.toggle('active', on);
    b.setAttribute('aria-checked', on ? 'true' : 'false');
  }
  layoutStage();
  noteChange();
}

function setSelectValue(sel, value) {
  if ([...sel.options].some((o) => o.value === value)) sel.value = value;
}

export function loadProjectState(p, okMessage) {
  if (!Ov.isPlainObject(p)) {
    showToast('A projektfájl tartalma nem olvasható.', 'error');
    return;
  }
  if (typeof p.version === 'number' && p.version > PROJECT_VERSION) {
    showToast('A projektet a program újabb változata mentette; ami ismeretlen, kimaradhat.', '');
  }
  pause();
  state.overlays = Ov.normalizeList(p.textObjects);
  state.selectedId = null;
  history.reset(state.overlays);
  setPreset(typeof p.cropPreset === 'string' ? p.cropPreset : 'original');
  setReframe(p);
  // Projects saved before the caption style was kept load with the default style.
  state.captionStyle = Captions.normalizeStyle(p.captionStyle);
  renderCaptionStyle();
  if (typeof p.narrationText === 'string') $('tts-text').value = p.narrationText;
  if (typeof p.narrationVoice === 'string') setSelectValue($('tts-voice'), p.narrationVoice);
  if (typeof p.narrationSpeed === 'number' && Number.isFinite(p.narrationSpeed)) {
    $('tts-speed').value = clamp(p.narrationSpeed, 0.25, 4);
    $('tts-speed-out').textContent = Number($('tts-speed').value).toFixed(2).replace(/0$/, '') + '×';
  }
  if (typeof p.subtitleLanguage === 'string') setSelectValue($('whisper-language'), p.subtitleLanguage);
  const ids = new Set(state.overlays.filter((o) => o.type === 'image' && o.imageId).map((o) => o.imageId));
  for (const imageId of ids) post('reloadImage', { imageId });
  refreshAll();
  showToast(okMessage || 'Projekt betöltve.', 'ok');
}

export function validPicture(p, needSize) {
  if (!Ov.isPlainObject(p) || typeof p.imageId !== 'string' || !p.imageId) return false;
  if (typeof p.dataURL !== 'string' || !p.dataURL.startsWith('data:image/')) return false;
  if (needSize && !(num(p.width, 0) > 0 && num(p.height, 0) > 0)) return false;
  return true;
}

export function rememberPicture(p) {
  const entry = { dataURL: p.dataURL, width: num(p.width, 0), height: num(p.height, 0) };
  state.images[p.imageId] = entry;
  if (!(entry.width > 0 && entry.height > 0)) {
    // A reloaded picture comes without its size: read it from the picture itself.
    const img = new Image();
    img.onload = () => {
      entry.width = img.naturalWidth;
      entry.height = img.naturalHeight;
      renderPreview();
    };
    img.src = p.dataURL;
  }
}
