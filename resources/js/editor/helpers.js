// Small helpers every part of the page uses: element lookup and building, numbers, colours, times.
import { Ov } from './libs.js';

export const $ = (id) => document.getElementById(id);
export const el = (tag, cls, text) => {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
};
export const clamp = Ov.clamp;
export const num = (v, d) => (typeof v === 'number' && Number.isFinite(v) ? v : d);

export function textOf(v) {
  if (typeof v === 'string') return v;
  if (v === undefined || v === null) return 'Ismeretlen hiba';
  try { return JSON.stringify(v); } catch (e) { return String(v); }
}

export function hexColor(v, fallback) {
  return typeof v === 'string' && /^#[0-9a-fA-F]{6}$/.test(v.trim()) ? v.trim() : fallback;
}
export function rgba(hex, alpha) {
  const h = hexColor(hex, '#000000');
  const n = parseInt(h.slice(1), 16);
  return `rgba(${(n >> 16) & 255},${(n >> 8) & 255},${n & 255},${clamp(alpha, 0, 1)})`;
}

export function fmtTime(sec) {
  if (!Number.isFinite(sec) || sec < 0) sec = 0;
  const m = Math.floor(sec / 60);
  const s = sec - m * 60;
  return `${String(m).padStart(2, '0')}:${s.toFixed(1).padStart(4, '0')}`;
}
