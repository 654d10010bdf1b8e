// page_api.js - window.quillora in the page itself: the control's four signing methods, each a promise of the control's own result string.
(() => {
  'use strict';
  if ('quillora' in window) return;

  // The text and the filters of one request together, in UTF-16 units: the most the bridge takes.
  const MAX_UNITS = 1 << 20;
  // A person may take a while over the dialog; past this the request is given up and its dialog closed.
  const TIMEOUT_MS = 10 * 60 * 1000;

  class QuilloraError extends Error {
    constructor(code, message) {
      super(message);
      this.name = 'QuilloraError';
      // 'not-installed', 'busy', 'timeout', 'too-large', 'origin-refused', 'unavailable' or 'bridge-failure'.
      this.code = code;
    }
  }

  const pending = new Map();
  let lastId = 0;

  window.addEventListener('message', (event) => {
    // Only what the extension's relay posts to this very window; other frames cannot answer for it.
    if (event.source !== window || !event.data || event.data.type !== 'quillora-answer') return;
    const request = pending.get(event.data.id);
    if (!request) return;
    pending.delete(event.data.id);
    clearTimeout(request.timer);
    if (typeof event.data.result === 'string') request.resolve(event.data.result);
    else request.reject(new QuilloraError(String(event.data.code), String(event.data.message)));
  });

  function call(method, args) {
    // As a page's script passes strings to the control: null stays null, anything else becomes a string.
    const strings = args.map((arg) => (arg === null || arg === undefined ? null : String(arg)));
    const units = strings.reduce((sum, arg) => sum + (arg === null ? 0 : arg.length), 0);
    if (units > MAX_UNITS) {
      return Promise.reject(new QuilloraError('too-large', `the text is too large to sign (${units} characters; at most ${MAX_UNITS})`));
    }
    const id = ++lastId;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        pending.delete(id);
        window.postMessage({ type: 'quillora-cancel', id }, '*');
        reject(new QuilloraError('timeout', 'the signing request was not answered in time'));
      }, TIMEOUT_MS);
      pending.set(id, { resolve, reject, timer });
      window.postMessage({ type: 'quillora-request', id, method, args: strings }, '*');
    });
  }

  const api = Object.freeze({
    signText: (text) => call('signText', [text]),
    signHTML: (text) => call('signHTML', [text]),
    signTextWithFilter: (text, issuer, serial, keyUsage) => call('signTextWithFilter', [text, issuer, serial, keyUsage]),
    signHTMLWithFilter: (text, issuer, serial, keyUsage) => call('signHTMLWithFilter', [text, issuer, serial, keyUsage]),
    Error: QuilloraError,
  });
  Object.defineProperty(window, 'quillora', { value: api, enumerable: false, writable: false, configurable: false });
})();
