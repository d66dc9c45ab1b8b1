// Reads a product page's title, description and picture address from its HTML. The HTML is parsed
// into a detached document (scripts do not run, nothing is loaded) and never put into the page.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory();
  else root.TamoProduct = factory();
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const MAX_TEXT = 500;

  function clean(text) {
    if (typeof text !== 'string') return '';
    const s = text.replace(/\s+/g, ' ').trim();
    return s.length > MAX_TEXT ? s.slice(0, MAX_TEXT - 1) + '…' : s;
  }

  function meta(doc, names) {
    for (const name of names) {
      for (const el of doc.querySelectorAll('meta[property], meta[name]')) {
        const key = (el.getAttribute('property') || el.getAttribute('name') || '').toLowerCase();
        if (key === name) {
          const v = clean(el.getAttribute('content'));
          if (v) return v;
        }
      }
    }
    return '';
  }

  // {title, description, imageUrl}; any of them may be empty. imageUrl is absolute http(s) or empty.
  function extractProductInfo(html, pageUrl, DOMParserImpl) {
    const Parser = DOMParserImpl || (typeof DOMParser !== 'undefined' ? DOMParser : null);
    if (!Parser || typeof html !== 'string') return { title: '', description: '', imageUrl: '' };
    const doc = new Parser().parseFromString(html, 'text/html');
    const titleEl = doc.querySelector('title');
    const title = meta(doc, ['og:title', 'twitter:title']) || clean(titleEl ? titleEl.textContent : '');
    const description = meta(doc, ['og:description', 'description', 'twitter:description']);
    let imageUrl = '';
    const raw = meta(doc, ['og:image', 'og:image:secure_url', 'og:image:url', 'twitter:image']);
    if (raw) {
      try {
        const u = new URL(raw, typeof pageUrl === 'string' && pageUrl ? pageUrl : undefined);
        if (u.protocol === 'http:' || u.protocol === 'https:') imageUrl = u.href;
      } catch (e) {
        imageUrl = '';
      }
    }
    return { title, description, imageUrl };
  }

  return { extractProductInfo, clean };
});
