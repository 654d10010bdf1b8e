// background.js - the extension's background: stamps the asking page's origin from what the browser says, starts the native host, one request at a time per tab.
'use strict';

const HOST = 'com.kestravon.quillora';
const ARGUMENT_COUNTS = { signText: 1, signHTML: 1, signTextWithFilter: 4, signHTMLWithFilter: 4 };
// What the page learns of a bridge error: the host's codes folded into the page API's.
const PAGE_CODES = {
  busy: 'busy',
  'origin-refused': 'origin-refused',
  'frame-too-large': 'too-large',
  'control-unavailable': 'unavailable',
};
const busyTabs = new Set();

// The origin of the frame that asked, as the browser knows it; never what the page says.
function originOf(sender) {
  if (typeof sender.origin === 'string') return sender.origin;
  try {
    return new URL(sender.url).origin;
  } catch {
    return 'null';
  }
}

function isRequest(request) {
  return request && ARGUMENT_COUNTS[request.method] === (Array.isArray(request.args) ? request.args.length : -1) &&
    request.args.every((arg) => arg === null || typeof arg === 'string');
}

chrome.runtime.onConnect.addListener((page) => {
  if (page.name !== 'quillora') return;
  const tab = page.sender.tab?.id;
  let native = null;
  let done = false;
  const finish = (answer) => {
    if (done) return;
    done = true;
    if (native) {
      busyTabs.delete(tab);
      native.disconnect();
    }
    if (answer) {
      try {
        page.postMessage(answer);
      } catch {
        // The frame went away meanwhile.
      }
    }
    page.disconnect();
  };
  const fail = (code, message) => finish({ code, message });

  page.onMessage.addListener((request) => {
    if (native || done) return;
    if (tab === undefined) return fail('bridge-failure', 'only a page in a tab may ask for a signature');
    if (!isRequest(request)) return fail('bridge-failure', 'the request is not one of the four signing methods');
    if (busyTabs.has(tab)) return fail('busy', 'a signing request of this tab is already open');
    busyTabs.add(tab);
    native = chrome.runtime.connectNative(HOST);
    native.onMessage.addListener((message) => {
      if (typeof message.result === 'string') return finish({ result: message.result });
      const error = message.error || {};
      fail(PAGE_CODES[error.code] || 'bridge-failure', `the signing bridge refused the request: ${error.message}`);
    });
    native.onDisconnect.addListener((port) => {
      // Chromium says why in runtime.lastError, Firefox in the port's error.
      const reason = chrome.runtime.lastError?.message || port.error?.message ||
        'the signing bridge ended without an answer';
      // Chromium: "Specified native messaging host not found." (or "...is forbidden.");
      // Firefox: "No such native application com.kestravon.quillora".
      const missing = /not found|forbidden|no such native application/i.test(reason);
      fail(missing ? 'not-installed' : 'bridge-failure',
        missing ? `the signing bridge is not installed (${reason})` : reason);
    });
    native.postMessage({ id: 1, method: request.method, args: request.args, origin: originOf(page.sender) });
  });
  // The page left, timed out or was closed: the host goes, and its dialog with it.
  page.onDisconnect.addListener(() => finish(null));
});
