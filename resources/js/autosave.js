// Unsaved work survives a quit, a crash or a project opened over it: the editing state is written
// to the page's own storage shortly after every change, together with whether it differs from the
// last saved or opened project. Work that was not saved is offered back at the next start (or
// right after another project replaced it) until the user restores or dismisses it.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoAutosave = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const CURRENT_KEY = 'tamo.autosave.current'; // this run's state, rewritten after each change
  const OFFER_KEY = 'tamo.autosave.offer'; // unsaved work of an earlier run waiting for a decision
  const FORMAT = 1;
  const DEFAULT_DELAY_MS = 400;

  function readRecord(storage, key) {
    let text = null;
    try { text = storage.getItem(key); } catch (e) { return null; }
    if (typeof text !== 'string') return null;
    let record = null;
    try { record = JSON.parse(text); } catch (e) { return null; }
    if (!record || typeof record !== 'object' || record.format !== FORMAT) return null;
    if (!record.state || typeof record.state !== 'object' || Array.isArray(record.state)) return null;
    return record;
  }

  function writeRecord(storage, key, record) {
    try {
      storage.setItem(key, JSON.stringify(record));
      return true;
    } catch (e) {
      return false; // storage full or switched off: the editor goes on, only this safety net is missing
    }
  }

  function removeRecord(storage, key) {
    try { storage.removeItem(key); } catch (e) { /* nothing to keep safe then */ }
  }

  // options: storage (getItem/setItem/removeItem), capture() → the state now (plain JSON data),
  // delayMs, timers {setTimeout, clearTimeout}, now() → ms, onDirtyChange(dirty),
  // onWriteFailed() once per run of failures.
  class Autosave {
    constructor(options) {
      this.storage = options.storage;
      this.capture = options.capture;
      this.delayMs = options.delayMs === undefined ? DEFAULT_DELAY_MS : options.delayMs;
      this.timers = options.timers || { setTimeout: (f, ms) => setTimeout(f, ms), clearTimeout: (t) => clearTimeout(t) };
      this.now = options.now || (() => Date.now());
      this.onDirtyChange = options.onDirtyChange || (() => {});
      this.onWriteFailed = options.onWriteFailed || (() => {});
      this.timer = null;
      this.baseline = JSON.stringify(this.capture());
      this.pendingSave = null;
      this.dirty = false;
      this.writeFailing = false;
    }

    // At start-up: the unsaved work of the last run becomes the offer (an older offer that was
    // never answered gives way to newer unsaved work). Returns the offer or null.
    start() {
      const last = readRecord(this.storage, CURRENT_KEY);
      if (last && last.dirty && JSON.stringify(last.state) !== this.baseline) {
        if (writeRecord(this.storage, OFFER_KEY, last)) removeRecord(this.storage, CURRENT_KEY);
      }
      return this.offer();
    }

    offer() {
      return readRecord(this.storage, OFFER_KEY);
    }

    // The offer is answered either way: restored (the caller applies offer.state) or dismissed.
    settleOffer() {
      removeRecord(this.storage, OFFER_KEY);
    }

    isDirty() {
      return JSON.stringify(this.capture()) !== this.baseline;
    }

    // Something may have changed: written after a quiet moment, so a drag costs one write.
    changed() {
      if (this.timer !== null) this.timers.clearTimeout(this.timer);
      this.timer = this.timers.setTimeout(() => {
        this.timer = null;
        this.flush();
      }, this.delayMs);
    }

    flush() {
      if (this.timer !== null) {
        this.timers.clearTimeout(this.timer);
        this.timer = null;
      }
      const state = this.capture();
      const text = JSON.stringify(state);
      const dirty = text !== this.baseline;
      const ok = writeRecord(this.storage, CURRENT_KEY, { format: FORMAT, savedAt: this.now(), dirty, state });
      if (!ok && !this.writeFailing) this.onWriteFailed();
      this.writeFailing = !ok;
      this.setDirty(dirty);
      return ok;
    }

    // A save was asked for with this state; it counts once the native side confirms it.
    saving(state) {
      this.pendingSave = JSON.stringify(state === undefined ? this.capture() : state);
    }

    saved() {
      if (this.pendingSave === null) return;
      this.baseline = this.pendingSave;
      this.pendingSave = null;
      this.flush();
    }

    // Another project is about to replace the state: unsaved work is kept as the offer first.
    // Returns true when something was kept.
    replacing() {
      const state = this.capture();
      const dirty = JSON.stringify(state) !== this.baseline;
      if (!dirty) return false;
      return writeRecord(this.storage, OFFER_KEY, { format: FORMAT, savedAt: this.now(), dirty: true, state });
    }

    // The state now matches a project file (just opened).
    opened() {
      this.baseline = JSON.stringify(this.capture());
      this.pendingSave = null;
      this.flush();
    }

    setDirty(dirty) {
      if (dirty === this.dirty) return;
      this.dirty = dirty;
      this.onDirtyChange(dirty);
    }
  }

  return { Autosave, CURRENT_KEY, OFFER_KEY, FORMAT };
});
