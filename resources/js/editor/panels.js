// The side panels: the emoji picker, subtitles and their style, narration, product import and
// background clips.
import { Captions, Fonts } from './libs.js';
import { $, clamp, el, fmtTime } from './helpers.js';
import { state } from './state.js';
import { post, setStatus } from './messages.js';
import { renderPreview } from './preview.js';
import { addKind, commit, renderLayers } from './layers.js';
import { ANIM_IN_LABELS } from './inspector.js';
import { renderTimeline } from './timeline.js';

export const API_KEY_STORAGE = 'tamo.openaiApiKey';

export const EMOJIS = ['🔥', '😀', '😂', '😍', '🥳', '😎', '🤩', '😮', '😢', '😡', '👍', '👏', '🙌', '💪', '🙏', '👀',
  '❤️', '💯', '✨', '⭐', '🎉', '🎁', '💰', '🛒', '📣', '📌', '✅', '❌', '⚡', '🚀', '🌟', '🏆'];

let emojiTarget = null;
export function openEmojiPicker(targetId) {
  emojiTarget = targetId || null;
  $('emoji-picker').hidden = false;
}
export function pickEmoji(e) {
  $('emoji-picker').hidden = true;
  const target = emojiTarget && state.overlays.find((o) => o.id === emojiTarget);
  emojiTarget = null;
  if (target) {
    target.text = e;
    commit();
  } else {
    addKind('emoji', { text: e });
  }
}

function apiKey() {
  return $('api-key').value.trim();
}
export function storeApiKey(value) {
  for (const input of document.querySelectorAll('.api-key')) if (input.value !== value) input.value = value;
  try { localStorage.setItem(API_KEY_STORAGE, value); } catch (e) { /* storage may be off */ }
}

export function startWhisper() {
  const key = apiKey();
  if (!key) { setStatus('whisper-status', 'Add meg az OpenAI API kulcsot!', 'error'); return; }
  if (!state.video) { setStatus('whisper-status', 'Előbb nyiss meg egy videót!', 'error'); return; }
  setStatus('whisper-status', 'Kérés elküldve…');
  state.whisperBusy = true;
  $('btn-whisper').disabled = true;
  post('whisperTranscribe', { apiKey: key, language: $('whisper-language').value });
}

export function renderSegments() {
  const list = $('segments');
  list.textContent = '';
  $('segments-head').hidden = state.segments.length === 0;
  $('segments-count').textContent = `${state.segments.length} szakasz`;
  state.segments.forEach((s, i) => {
    const li = el('li');
    li.appendChild(el('span', 'seg-time', `${fmtTime(s.start)} – ${fmtTime(s.end)}`));
    // Edited in place: the segment (for the .srt) and its caption on the video change together.
    const input = el('textarea', 'seg-text');
    input.rows = 2;
    input.value = s.text;
    input.setAttribute('aria-label', `${i + 1}. felirat szövege`);
    input.addEventListener('input', () => setSubtitleText(i, input.value, false));
    input.addEventListener('change', () => setSubtitleText(i, input.value, true));
    li.appendChild(input);
    list.appendChild(li);
  });
}

function setSubtitleText(index, text, final) {
  if (state.segments[index]) state.segments[index].text = text;
  const o = state.overlays.find((x) => Captions.isSubtitle(x) && x.subtitleIndex === index);
  if (o) o.text = text;
  if (final) commit();
  else { renderPreview(); renderLayers(); renderTimeline(); }
}

// The caption style panel: presets and fields, each change applied to every subtitle at once.
export function renderCaptionStyle() {
  const st = state.captionStyle;
  for (const b of $('caption-presets').children) b.classList.toggle('on', b.dataset.preset === st.preset);
  $('cap-font').value = Fonts.isOffered(st.fontFamily) ? st.fontFamily : Fonts.FAMILIES[0];
  $('cap-size').value = st.fontSizePercent;
  $('cap-color').value = st.fontColor;
  $('cap-stroke').checked = !!st.strokeEnabled;
  $('cap-stroke-color').value = st.strokeColor;
  $('cap-box').checked = !!st.bgEnabled;
  $('cap-position').value = st.position;
  $('cap-anim').value = st.animationIn;
}

function setCaptionStyle(patch, preset) {
  state.captionStyle = { ...state.captionStyle, ...patch, preset: preset || null };
  const n = Captions.applyToAll(state.overlays, state.captionStyle);
  renderCaptionStyle();
  if (n > 0) commit();
  $('caption-count').textContent = n > 0 ? `${n} feliratra alkalmazva.` : 'Még nincs felirat; az újak ezt a stílust kapják.';
}

export function initCaptionStyle() {
  for (const [id, p] of Object.entries(Captions.PRESETS)) {
    const b = el('button', 'btn small', p.label);
    b.type = 'button';
    b.dataset.preset = id;
    b.addEventListener('click', () => setCaptionStyle({ ...p.style }, id));
    $('caption-presets').appendChild(b);
  }
  for (const f of Fonts.FAMILIES) {
    const op = el('option', '', f);
    op.value = f;
    $('cap-font').appendChild(op);
  }
  for (const [v, label] of Object.entries(ANIM_IN_LABELS)) {
    const op = el('option', '', label);
    op.value = v;
    $('cap-anim').appendChild(op);
  }
  const on = (id, ev, fn) => $(id).addEventListener(ev, fn);
  on('cap-font', 'change', () => setCaptionStyle({ fontFamily: $('cap-font').value }));
  on('cap-size', 'change', () => {
    const v = parseFloat(String($('cap-size').value).replace(',', '.'));
    if (Number.isFinite(v)) setCaptionStyle({ fontSizePercent: clamp(v, 0.5, 30) }); else renderCaptionStyle();
  });
  on('cap-color', 'change', () => setCaptionStyle({ fontColor: $('cap-color').value }));
  on('cap-stroke', 'change', () => setCaptionStyle({ strokeEnabled: $('cap-stroke').checked }));
  on('cap-stroke-color', 'change', () => setCaptionStyle({ strokeColor: $('cap-stroke-color').value }));
  on('cap-box', 'change', () => setCaptionStyle({ bgEnabled: $('cap-box').checked }));
  on('cap-position', 'change', () => setCaptionStyle({ position: $('cap-position').value }));
  on('cap-anim', 'change', () => {
    const a = $('cap-anim').value;
    setCaptionStyle({ animationIn: a, animationOut: a === 'none' ? 'none' : 'fadeOut' });
  });
  renderCaptionStyle();
}

// The native side asks where to save and writes the file (a browser-style download goes nowhere here).
export function saveSubtitles(format) {
  if (!state.segments.length) return;
  post('saveSubtitles', { segments: JSON.parse(JSON.stringify(state.segments)), format });
}

export function startTts() {
  const text = $('tts-text').value;
  if (!text.trim()) { setStatus('tts-status', 'Írd be a narráció szövegét!', 'error'); return; }
  const key = $('api-key-tts').value.trim();
  if (!key) { setStatus('tts-status', 'Add meg az OpenAI API kulcsot!', 'error'); return; }
  setStatus('tts-status', 'Narráció készül…');
  state.ttsBusy = true;
  $('btn-tts').disabled = true;
  post('generateTTS', { text, voice: $('tts-voice').value, speed: parseFloat($('tts-speed').value), apiKey: key });
}

export function fetchProduct() {
  const url = $('product-url').value.trim();
  if (!url) { setStatus('product-status', 'Add meg a termékoldal címét!', 'error'); return; }
  state.product = null;
  $('product-results').hidden = true;
  setStatus('product-status', 'Oldal letöltése…');
  post('fetchUrl', { url });
}

export function showProduct(info) {
  state.product = info;
  $('product-results').hidden = false;
  $('product-title-card').hidden = !info.title;
  $('product-desc-card').hidden = !info.description;
  $('product-image-card').hidden = !info.imageUrl;
  $('product-title').textContent = info.title;
  $('product-desc').textContent = info.description;
  $('product-image-url').textContent = info.imageUrl;
}

export function generateBackground() {
  const [w, h] = $('bg-size').value.split('x').map((n) => parseInt(n, 10));
  const dur = parseFloat($('bg-duration').value);
  if (!(dur >= 0.5 && dur <= 300)) { setStatus('bg-status', 'A hossz 0,5 és 300 másodperc között lehet.', 'error'); return; }
  const params = { width: w, height: h, duration: dur, color: $('bg-color').value };
  const imageURL = $('bg-image-url').value.trim();
  if (imageURL) params.imageURL = imageURL;
  setStatus('bg-status', 'Háttérvideó készül…');
  $('btn-generate-bg').disabled = true;
  post('generateBackground', params);
}
