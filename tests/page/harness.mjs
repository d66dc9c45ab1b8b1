// Shared set-up of the page tests: Debian's Chromium driven by playwright-core, the editor page
// loaded from resources/, and a stand-in for the native message handler that records every message.
import { chromium } from 'playwright-core';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceDir = path.resolve(here, '..', '..');
export const editorUrl = pathToFileURL(path.join(sourceDir, 'resources', 'editor.html')).href;
export const artifactsDir = process.env.TAMO_ARTIFACTS_DIR || path.join(sourceDir, 'test-artifacts', 'page');

// Replaces window.webkit.messageHandlers before any page script runs, as the program's web view does.
const fakeNative = () => {
  window.__posted = [];
  const record = (name) => ({
    postMessage(body) { window.__posted.push(JSON.parse(JSON.stringify(name === 'swift' ? body : { handler: name, body }))); },
  });
  window.webkit = { messageHandlers: { swift: record('swift') } };
};

export async function launch() {
  const userDataDir = mkdtempSync(path.join(tmpdir(), 'tamovid-page-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.TAMO_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run', '--allow-file-access-from-files'],
    viewport: { width: 1440, height: 900 },
    acceptDownloads: true,
  });
  // Nothing the page does may reach a network; record every attempt so tests can assert on it.
  const outbound = [];
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:') || url.startsWith('data:') || url.startsWith('blob:')) return route.continue();
    outbound.push(url);
    return route.abort();
  });
  await context.addInitScript(fakeNative);
  return {
    context,
    outbound,
    async close() {
      await context.close();
      rmSync(userDataDir, { recursive: true, force: true });
    },
  };
}

// A fresh editor page; page errors are collected so a test can require there were none. Work
// another page of the same browser left unsaved is not offered back unless keepStorage is set.
export async function openEditor(browser, viewport, { keepStorage = false } = {}) {
  const page = await browser.context.newPage();
  if (viewport) await page.setViewportSize(viewport);
  if (!keepStorage) {
    await page.addInitScript(() => {
      try {
        localStorage.removeItem('tamo.autosave.current');
        localStorage.removeItem('tamo.autosave.offer');
      } catch (e) { /* no storage: nothing to clear */ }
    });
  }
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  await page.goto(editorUrl);
  await page.waitForFunction(() => typeof window.onExportComplete === 'function' && window.TamoEditor);
  page.errors = errors;
  return page;
}

export const posted = (page) => page.evaluate(() => window.__posted);
export const clearPosted = (page) => page.evaluate(() => { window.__posted = []; });
export const lastPosted = async (page, action) => {
  const all = await posted(page);
  return [...all].reverse().find((m) => m.action === action);
};

// Runs a script call exactly as the native side would write it, e.g. "onExportProgress(42)".
export const nativeCall = (page, text) => page.evaluate((t) => { (0, eval)(t); }, text);

export async function screenshot(page, name) {
  mkdirSync(artifactsDir, { recursive: true });
  const file = path.join(artifactsDir, name);
  await page.screenshot({ path: file });
  return file;
}

export const editorState = (page) => page.evaluate(() => JSON.parse(JSON.stringify(window.TamoEditor.state)));
