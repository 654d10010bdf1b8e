// relay.js - the content script: carries a request from its own frame to the extension and the answer back to that frame alone.
(() => {
  'use strict';
  const ports = new Map();  // request id -> the port of that request to the background

  // Messages posted to this window by itself, not by another frame. The answer goes to this same
  // window, whose listeners are the page's own: '*' only spares an opaque origin's exception.
  const answer = (id, fields) => window.postMessage({ type: 'quillora-answer', id, ...fields }, '*');

  window.addEventListener('message', (event) => {
    const data = event.data;
    if (event.source !== window || !data || typeof data.id !== 'number') return;
    if (data.type === 'quillora-cancel') {
      ports.get(data.id)?.disconnect();
      ports.delete(data.id);
      return;
    }
    if (data.type !== 'quillora-request' || typeof data.method !== 'string' || !Array.isArray(data.args)) return;
    const id = data.id;
    let port;
    try {
      port = chrome.runtime.connect({ name: 'quillora' });
    } catch (error) {
      answer(id, { code: 'bridge-failure', message: 'the extension was updated or removed; reload the page' });
      return;
    }
    ports.set(id, port);
    port.onMessage.addListener((message) => {
      ports.delete(id);
      port.disconnect();
      answer(id, message);
    });
    port.onDisconnect.addListener(() => {
      if (ports.delete(id)) answer(id, { code: 'bridge-failure', message: 'the extension ended the request' });
    });
    port.postMessage({ method: data.method, args: data.args });
  });
})();
