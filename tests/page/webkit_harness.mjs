// Page tests in WebKitGTK, the engine of the program's window: WebKitWebDriver (Debian's
// webkit2gtk-driver) on a loopback port this harness starts, driving WebKitGTK's MiniBrowser under
// the Xvfb display the test runs on, through the selenium-webdriver client.
import { Builder } from 'selenium-webdriver';
import { spawn, spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceDir = path.resolve(here, '..', '..');
export const editorUrl = pathToFileURL(path.join(sourceDir, 'resources', 'editor.html')).href;
export const MINIBROWSER = process.env.TAMO_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
export const DRIVER = process.env.TAMO_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
export const available = existsSync(MINIBROWSER) && existsSync(DRIVER) && !!process.env.DISPLAY;

function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.once('error', reject);
    srv.listen(0, '127.0.0.1', () => {
      const { port } = srv.address();
      srv.close(() => resolve(port));
    });
  });
}

function waitForPort(port, child) {
  return new Promise((resolve, reject) => {
    let tries = 0;
    const attempt = () => {
      if (child.exitCode !== null) { reject(new Error('WebKitWebDriver exited with ' + child.exitCode)); return; }
      const sock = net.connect(port, '127.0.0.1');
      sock.once('connect', () => { sock.destroy(); resolve(); });
      sock.once('error', () => {
        sock.destroy();
        if (++tries > 200) reject(new Error('WebKitWebDriver did not listen'));
        else setTimeout(attempt, 50);
      });
    };
    attempt();
  });
}

// Stands in for the program's "swift" message handler: every posted message is kept in order.
const INSTALL_FAKE_NATIVE = `
  window.__posted = [];
  window.webkit = { messageHandlers: { swift: { postMessage(body) { window.__posted.push(JSON.parse(JSON.stringify(body))); } } } };
`;

export async function launchWebKit() {
  const port = await freePort();
  const child = spawn(DRIVER, ['--host=127.0.0.1', '--port=' + port], { stdio: ['ignore', 'ignore', 'inherit'] });
  await waitForPort(port, child);
  // The page's scripts are ES modules beside it on disk: like the program's window, the browser
  // lets a file: page load other files.
  const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
    browserName: 'MiniBrowser',
    'webkitgtk:browserOptions': { binary: MINIBROWSER, args: ['--automation', '--allow-file-access-from-file-urls=true'] },
  }).build();
  await driver.manage().window().setRect({ x: 0, y: 0, width: 1280, height: 800 });
  return {
    driver,
    async close() {
      try { await driver.quit(); } finally { child.kill(); }
    },
  };
}

// A fresh editor page with the stand-in handler installed. Unsaved work an earlier test left in the
// page's storage would be offered back over the stage, so it is cleared and the page loaded again.
export async function openEditor(driver) {
  const ready = () => driver.wait(async () => driver.executeScript('return !!(window.TamoEditor && window.onExportComplete)'), 10000);
  await driver.get(editorUrl);
  await ready();
  await driver.executeScript("localStorage.removeItem('tamo.autosave.current'); localStorage.removeItem('tamo.autosave.offer');");
  await driver.get(editorUrl);
  await ready();
  await driver.executeScript("const b = document.getElementById('restore-bar'); if (b && !b.hidden) document.getElementById('btn-restore-dismiss').click();");
  await driver.executeScript(INSTALL_FAKE_NATIVE);
}

export const js = (driver, body, ...args) => driver.executeScript(body, ...args);
export const posted = (driver) => js(driver, 'return window.__posted');
export const lastPosted = async (driver, action) => [...(await posted(driver))].reverse().find((m) => m.action === action);
export const nativeCall = (driver, text) => js(driver, '(0, eval)(arguments[0]);', text);
export const editorState = (driver) => js(driver, 'return JSON.parse(JSON.stringify(window.TamoEditor.state))');

// The X server's screen as the person sees it (the real window's pixels): packed RGB rows.
export function grabScreen() {
  const display = process.env.DISPLAY;
  const r = spawnSync('ffmpeg', ['-nostdin', '-v', 'error', '-f', 'x11grab', '-i', display, '-frames:v', '1',
    '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'], { maxBuffer: 64 * 1024 * 1024 });
  if (r.status !== 0) throw new Error('screen grab failed: ' + String(r.stderr));
  const probe = spawnSync('xdpyinfo', [], { encoding: 'utf8' });
  const m = /dimensions:\s+(\d+)x(\d+)/.exec(probe.stdout || '');
  const width = m ? Number(m[1]) : 1280;
  const height = r.stdout.length / 3 / width;
  return { width, height, data: r.stdout, at(x, y) { const i = (y * width + x) * 3; return [this.data[i], this.data[i + 1], this.data[i + 2]]; } };
}

// Where the page's viewport starts on the screen: the window's place plus its toolbar.
export async function viewportOnScreen(driver) {
  return driver.executeScript('return { x: window.screenX + (window.outerWidth - window.innerWidth), y: window.screenY + (window.outerHeight - window.innerHeight) }');
}
