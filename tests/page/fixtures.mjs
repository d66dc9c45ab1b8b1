// Building blocks shared by the page tests: a video, field edits through the inspector, and a
// realistic overlay set built by clicking through the page, with the list the export must receive.
import { nativeCall } from './harness.mjs';

export const VIDEO = { url: 'file:///tmp/clip%20one.mp4', width: 1920, height: 1080, duration: 20 };
export const loadVideo = (p, v = VIDEO) => nativeCall(p, `onVideoLoaded(${JSON.stringify(v)})`);

export async function setField(p, key, value) {
  const loc = p.locator(`#f-${key}`);
  const tag = await loc.evaluate((e) => e.tagName + ':' + (e.type || ''));
  if (tag.startsWith('SELECT')) await loc.selectOption(String(value));
  else if (tag === 'INPUT:checkbox') await loc.setChecked(!!value);
  else if (tag === 'DIV:') await p.click(`#f-${key} button[data-value="${value}"]`);
  else {
    await loc.fill(String(value));
    await loc.dispatchEvent('change');
  }
}

export async function pngDataUrl(p, w, h) {
  return p.evaluate(([w, h]) => {
    const c = document.createElement('canvas');
    c.width = w; c.height = h;
    const g = c.getContext('2d');
    g.fillStyle = '#e84393'; g.fillRect(0, 0, w, h);
    return c.toDataURL('image/png');
  }, [w, h]);
}

export const TEXT_DEFAULTS = {
  fontFamily: 'Helvetica', fontSizePercent: 5, fontColor: '#ffffff', bold: false, italic: false,
  xPercent: 50, yPercent: 80, alignment: 'center', strokeEnabled: false, strokeColor: '#000000', strokeWidth: 2,
  bgEnabled: false, bgColor: '#000000', bgOpacity: 60, shadowEnabled: true, shadowColor: '#000000', shadowBlur: 3,
  timeStartPercent: 0, timeEndPercent: 100, animationIn: 'none', animationOut: 'none', animationDuration: 0.5,
};

// Builds text, emoji, picture, blur and progress bar overlays through the user interface.
export async function buildRealisticSet(p) {
  await p.click('#btn-open-video');
  await loadVideo(p);
  await p.click('.preset[data-preset="9:16"]');

  await p.click('#add-text');
  await setField(p, 'text', 'Akciós ár: 4 990 Ft');
  await setField(p, 'fontFamily', 'DejaVu Serif');
  await setField(p, 'fontColor', '#ffcc00');
  await setField(p, 'bold', true);
  await setField(p, 'alignment', 'right');
  await setField(p, 'strokeEnabled', true);
  await setField(p, 'strokeWidth', 3);
  await setField(p, 'bgEnabled', true);
  await setField(p, 'bgOpacity', 45);
  // Time windows are typed in seconds: 2 s and 12 s of the 20 s clip.
  await setField(p, 'timeStartPercent', 2);
  await setField(p, 'timeEndPercent', 12);
  await setField(p, 'animationIn', 'slideUp');
  await setField(p, 'animationOut', 'fadeOut');
  await setField(p, 'animationDuration', 0.8);

  await p.click('#add-emoji');
  await p.click('#emoji-grid button[aria-label="🎉"]');
  await setField(p, 'yPercent', 30);

  await p.click('#add-image');
  const dataURL = await pngDataUrl(p, 640, 480);
  await nativeCall(p, `onImagePicked({imageId:'img_1F0C9A3B',dataURL:'${dataURL}',width:640,height:480})`);
  await setField(p, 'scalePercent', 30);
  await setField(p, 'opacity', 80);
  await setField(p, 'animationIn', 'zoomIn');

  await p.click('#add-blur');
  await setField(p, 'blurAmount', 25);
  await setField(p, 'widthPercent', 40);

  await p.click('#add-progress');
  await setField(p, 'position', 'top');
  await setField(p, 'color', '#00ff88');
}

export const EXPECTED_SET = [
  { type: 'text', ...TEXT_DEFAULTS, text: 'Akciós ár: 4 990 Ft', fontFamily: 'DejaVu Serif', fontColor: '#ffcc00', bold: true,
    alignment: 'right', strokeEnabled: true, strokeWidth: 3, bgEnabled: true, bgOpacity: 45, timeStartPercent: 10,
    timeEndPercent: 60, animationIn: 'slideUp', animationOut: 'fadeOut', animationDuration: 0.8 },
  // New texts start in an installed family; an emoji starts large enough to see.
  { type: 'emoji', ...TEXT_DEFAULTS, text: '🎉', fontFamily: 'Liberation Sans', fontSizePercent: 10, yPercent: 30 },
  { type: 'image', imageId: 'img_1F0C9A3B', xPercent: 50, yPercent: 50, scalePercent: 30, opacity: 80,
    timeStartPercent: 0, timeEndPercent: 100, animationIn: 'zoomIn', animationOut: 'none', animationDuration: 0.5 },
  // The picture holds the centre, so the new blur region is placed just above it.
  { type: 'blur', xPercent: 50, yPercent: 40, widthPercent: 40, heightPercent: 15, blurAmount: 25,
    timeStartPercent: 0, timeEndPercent: 100 },
  { type: 'progressbar', color: '#00ff88', bgColor: '#333333', bgOpacity: 30, heightPercent: 0.8, position: 'top' },
];
