// Messages to the native side and to the user.
import { $, el } from './helpers.js';

export function post(action, params) {
  const message = params === undefined ? { action } : { action, params };
  try {
    window.webkit.messageHandlers.swift.postMessage(message);
    return true;
  } catch (e) {
    showToast('A program natív része nem érhető el, a művelet nem indult el.', 'error');
    return false;
  }
}

export function showToast(text, kind, ms) {
  const box = el('div', 'toast' + (kind ? ' ' + kind : ''));
  box.setAttribute('role', kind === 'error' ? 'alert' : 'status');
  box.appendChild(el('span', 'toast-text', String(text)));
  const close = el('button', '', '✕');
  close.type = 'button';
  close.setAttribute('aria-label', 'Bezárás');
  close.addEventListener('click', () => box.remove());
  box.appendChild(close);
  $('toasts').appendChild(box);
  while ($('toasts').children.length > 4) $('toasts').firstChild.remove();
  setTimeout(() => box.remove(), ms || (kind === 'error' ? 9000 : 4000));
}

export function setStatus(id, text, kind) {
  const s = $(id);
  s.textContent = text == null ? '' : String(text);
  s.className = 'status' + (kind ? ' ' + kind : '');
}
