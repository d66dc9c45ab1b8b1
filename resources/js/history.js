// Undo/redo of the overlay list: whole snapshots (the list is small), one per finished edit.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoHistory = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  class History {
    constructor(initial, limit = 200) {
      this.limit = limit;
      this.reset(initial);
    }
    reset(value) {
      this.current = JSON.stringify(value);
      this.past = [];
      this.future = [];
    }
    // Records value as the new state; returns false when nothing changed.
    commit(value) {
      const snap = JSON.stringify(value);
      if (snap === this.current) return false;
      this.past.push(this.current);
      if (this.past.length > this.limit) this.past.shift();
      this.current = snap;
      this.future = [];
      return true;
    }
    canUndo() { return this.past.length > 0; }
    canRedo() { return this.future.length > 0; }
    undo() {
      if (!this.past.length) return null;
      this.future.push(this.current);
      this.current = this.past.pop();
      return JSON.parse(this.current);
    }
    redo() {
      if (!this.future.length) return null;
      this.past.push(this.current);
      this.current = this.future.pop();
      return JSON.parse(this.current);
    }
  }

  return { History };
});
