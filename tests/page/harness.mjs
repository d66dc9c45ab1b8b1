// The editor page (resources/editor.html) in Debian's Chromium through playwright-core, with a
// stand-in for the native "swift" handler that records every message, and no network at all.
import { chromium } from 'playwright-core';

const editorUrl = new URL('../../resources/editor.html', import.meta.url).href;

export async function launch() {
  const chrome = await chromium.launch({ executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--allow-file-access-from-files'] });
  const context = await chrome.newContext({ viewport: { width: 1440, height: 900 } });
  const outbound = []; // every attempt to reach past local files, refused
  await context.route('**/*', (route) => {
    if (/^(file|data|blob):/.test(route.request().url())) return route.continue();
    outbound.push(route.request().url());
    return route.abort();
  });
  await context.addInitScript(() => {
    window.__posted = [];
    window.webkit = { messageHandlers: { swift: { postMessage(b) { window.__posted.push(JSON.parse(JSON.stringify(b))); } } } };
  });
  return { context, outbound, close: () => chrome.close() };
}

// A fresh editor page; script errors are collected in page.errors. Earlier pages are closed first (their
// autosave would otherwise write into the new page's storage), and their unsaved work is cleared unless
// keepStorage is set.
export async function openEditor(browser, { viewport, keepStorage = false } = {}) {
  for (const earlier of browser.context.pages()) await earlier.close();
  const page = await browser.context.newPage();
  if (viewport) await page.setViewportSize(viewport);
  if (!keepStorage) await page.addInitScript(() => { localStorage.removeItem('tamo.autosave.current'); localStorage.removeItem('tamo.autosave.offer'); });
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error' && !/Failed to load resource/.test(m.text())) page.errors.push(m.text()); });
  await page.goto(editorUrl);
  await page.waitForFunction(() => typeof window.onExportComplete === 'function' && window.TamoEditor);
  return page;
}

export const posted = (page) => page.evaluate(() => window.__posted);
export const clearPosted = (page) => page.evaluate(() => { window.__posted = []; });
export const lastPosted = async (page, action) => [...(await posted(page))].reverse().find((m) => m.action === action);
// Runs a script call exactly as the native side writes it, e.g. "onExportProgress(42)".
export const nativeCall = (page, text) => page.evaluate((t) => { (0, eval)(t); }, text);
export const editorState = (page) => page.evaluate(() => JSON.parse(JSON.stringify(window.TamoEditor.state)));
export const loadVideo = (p, v = { url: 'file:///tmp/clip%20one.mp4', width: 1920, height: 1080, duration: 20 }) =>
  nativeCall(p, `onVideoLoaded(${JSON.stringify(v)})`);
export const seek = (p, seconds) => p.evaluate((s) => {
  const r = document.getElementById('scrubber');
  r.value = String(Math.round(s * 100));
  r.dispatchEvent(new Event('input'));
}, seconds);

// Sets an inspector field as a person does: select, checkbox, button group or typed value.
export async function setField(p, key, value) {
  const loc = p.locator(`#f-${key}`);
  const kind = await loc.evaluate((e) => e.tagName + ':' + (e.type || ''));
  if (kind.startsWith('SELECT')) await loc.selectOption(String(value));
  else if (kind === 'INPUT:checkbox') await loc.setChecked(!!value);
  else if (kind === 'DIV:') await p.click(`#f-${key} button[data-value="${value}"]`);
  else await loc.fill(String(value)).then(() => loc.dispatchEvent('change'));
}

export const pngDataUrl = (p, w, h) => p.evaluate(([w, h]) => {
  const c = document.createElement('canvas');
  c.width = w; c.height = h;
  const g = c.getContext('2d');
  g.fillStyle = '#e84393'; g.fillRect(0, 0, w, h);
  return c.toDataURL('image/png');
}, [w, h]);
