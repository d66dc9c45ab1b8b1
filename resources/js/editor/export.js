// The export dialog and the export request.
import { $ } from './helpers.js';
import { state } from './state.js';
import { post } from './messages.js';
import { previewHeight } from './preview.js';

export function setExportPhase(phase) {
  state.exportPhase = phase;
  const busy = phase === 'waiting' || phase === 'running' || phase === 'cancelling';
  $('btn-export').disabled = busy;
  const dlg = $('export-dialog');
  const modal = dlg.querySelector('.modal');
  modal.classList.toggle('error', phase === 'error');
  modal.classList.toggle('done', phase === 'done');
  $('export-close').hidden = phase === 'running' || phase === 'cancelling';
  $('export-cancel').hidden = phase !== 'running';
  $('export-open-video').hidden = phase !== 'done';
  $('export-open-folder').hidden = phase !== 'done';
  modal.classList.toggle('cancelled', phase === 'cancelled');
  $('export-fill').style.width = state.exportPercent + '%';
  $('export-percent').textContent = Math.round(state.exportPercent) + '%';
  dlg.hidden = phase === 'idle';
}

// Picture overlays whose picture the native side could not find: the export would leave them out.
function missingPictureCount() {
  return state.overlays.filter((o) => o.type === 'image' && state.images[o.imageId] && state.images[o.imageId].missing).length;
}

export function exportVideo() {
  if (state.exportPhase === 'waiting' || state.exportPhase === 'running' || state.exportPhase === 'cancelling') return;
  const missing = missingPictureCount();
  if (missing > 0 && !window.confirm(`${missing} kép fájlja hiányzik, ezek kimaradnak a videóból. Exportálod így is?`)) return;
  state.exportPercent = 0;
  $('export-message').textContent = 'Válaszd ki, hová mentsük a videót. Az exportálás a mentés helye után indul.';
  setExportPhase('waiting');
  const ok = post('exportVideo', {
    textObjects: JSON.parse(JSON.stringify(state.overlays)),
    cropPreset: state.cropPreset,
    cropPositionX: state.cropPositionX,
    cropPositionY: state.cropPositionY,
    outputSize: state.outputSize,
    fillMode: state.fillMode,
    previewHeight: previewHeight(),
  });
  if (!ok) setExportPhase('idle');
}
