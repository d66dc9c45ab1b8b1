// The editor's state: the overlay list with its undo history, the open video and what the
// panels are doing; the kinds of overlay and the order the export draws them in.
import { Captions, Geo, HistoryLib } from './libs.js';

export const PROJECT_VERSION = 1;
const PLACEHOLDER_SIZE = { width: 1080, height: 1920 };

export const KIND_LABELS = { text: 'Szöveg', emoji: 'Emoji', image: 'Kép', blur: 'Elmosás', progressbar: 'Folyamatjelző' };
export const KIND_ICONS = { text: 'T', emoji: '😀', image: '🖼', blur: '◌', progressbar: '▬' };

// Drawing order of the exporter: blur regions, progress bar, pictures, texts; list order within a kind.
export const KIND_LAYER = { blur: 0, progressbar: 1, image: 2, text: 3, emoji: 3 };

export const state = {
  overlays: [],
  selectedId: null,
  cropPreset: 'original',
  // Reframing: the crop window's place in its room to move (percent, 50 centred), the output size
  // ('crop': the window's own, 'standard': the preset's) and the fill ('crop' or 'fit').
  cropPositionX: 50,
  cropPositionY: 50,
  outputSize: 'crop',
  fillMode: 'crop',
  video: null, // {url, width, height, duration}
  time: 0,
  playing: false,
  clockPlayback: false,
  images: {}, // imageId → {dataURL, width, height}
  segments: [],
  product: null,
  exportPhase: 'idle', // idle | waiting | running | cancelling | cancelled | done | error
  captionStyle: Captions.normalizeStyle(Captions.DEFAULT_STYLE), // as a project keeps it (preset: null)
  exportPercent: 0,
  whisperBusy: false,
  ttsBusy: false,
};
export const history = new HistoryLib.History([]);
export let autosave = null; // set by setupAutosave() at the end of start-up; absent when the page has no storage

export function setAutosave(a) {
  autosave = a;
}

export function noteChange() {
  if (autosave) autosave.changed();
}

export function sourceSize() {
  return state.video ? { width: state.video.width, height: state.video.height } : PLACEHOLDER_SIZE;
}
export function reframeOptions() {
  return { positionX: state.cropPositionX, positionY: state.cropPositionY, outputSize: state.outputSize, fillMode: state.fillMode };
}
// The crop window: the frame the overlays are placed in (the output has its aspect).
export function outputGeometry() {
  const s = sourceSize();
  return Geo.computeGeometry(s.width, s.height, state.cropPreset, state.cropPositionX, state.cropPositionY);
}
// The whole output frame as the export writes it.
export function outputPlan() {
  const s = sourceSize();
  return Geo.framePlan(s.width, s.height, state.cropPreset, reframeOptions());
}
export function duration() {
  return state.video ? state.video.duration : 0;
}

export function selected() {
  return state.overlays.find((o) => o.id === state.selectedId) || null;
}

export function overlayLabel(o) {
  if (o.type === 'text' || o.type === 'emoji') return o.text ? String(o.text).replace(/\s+/g, ' ') : '(üres szöveg)';
  if (o.type === 'image') return 'Kép ' + (o.imageId || '');
  if (o.type in KIND_LABELS) return KIND_LABELS[o.type];
  return 'Ismeretlen elem: ' + String(o.type);
}
