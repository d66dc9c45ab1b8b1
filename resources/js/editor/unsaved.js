// Unsaved work kept in the page's storage and offered back after a crash or a project switch.
import { AutosaveLib } from './libs.js';
import { $ } from './helpers.js';
import { autosave, noteChange, setAutosave, state } from './state.js';
import { post, showToast } from './messages.js';
import { loadProjectState, projectState } from './project.js';

function autosaveState() {
  const p = projectState();
  delete p.previewHeight; // follows the window, not the work
  p.videoURL = state.video ? state.video.url : '';
  return p;
}

export function setupAutosave() {
  let storage = null;
  try { storage = window.localStorage; } catch (e) { storage = null; }
  if (!storage || !AutosaveLib) return;
  setAutosave(new AutosaveLib.Autosave({
    storage,
    capture: autosaveState,
    onDirtyChange: (dirty) => { $('unsaved-marker').hidden = !dirty; },
    onWriteFailed: () => showToast('A munka nem menthető a szerkesztő tárolójába; mentsd a projektet!', 'error'),
  }));
  // Text fields and selects of the state change without a commit.
  document.addEventListener('input', noteChange);
  document.addEventListener('change', noteChange);
  window.addEventListener('pagehide', () => autosave.flush());
  $('btn-restore').addEventListener('click', restoreOffer);
  $('btn-restore-dismiss').addEventListener('click', () => {
    autosave.settleOffer();
    $('restore-bar').hidden = true;
  });
  showRestoreOffer(autosave.start(), 'start');
}

export function showRestoreOffer(offer, when) {
  if (!offer) return;
  let at = '';
  try { at = new Date(offer.savedAt).toLocaleString('hu-HU'); } catch (e) { at = ''; }
  const count = Array.isArray(offer.state.textObjects) ? offer.state.textObjects.length : 0;
  const what = `${count} elem${at ? ', ' + at : ''}`;
  $('restore-text').textContent = when === 'start'
    ? `Az előző futásból nem mentett munka maradt (${what}). Visszaállítod?`
    : `A projekt megnyitása előtti, nem mentett munka megmaradt (${what}). Visszaállítod?`;
  $('restore-bar').hidden = false;
}

function restoreOffer() {
  $('restore-bar').hidden = true;
  const offer = autosave && autosave.offer();
  if (!offer) return;
  autosave.settleOffer();
  loadProjectState(offer.state, 'A nem mentett munka visszaállítva.');
  const url = offer.state.videoURL;
  if (typeof url === 'string' && /^file:\/\//i.test(url) && (!state.video || state.video.url !== url)) {
    post('restoreVideo', { url });
  }
}
