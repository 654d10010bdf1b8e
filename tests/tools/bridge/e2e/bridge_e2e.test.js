// bridge_e2e.test.js - catches a page bridge that fails in a real browser: a signature that does not reach the page or does not verify over the text's Windows-1252 bytes, a control result altered on the way, a dialog without the asking site in its caption, a dialog for a refused site, a second request of a tab not refused, a missing host not reported as such.
//
// node bridge_e2e.test.js QUILLORA BRIDGE EXTENSION_DIR EXAMPLE_PAGE
// One headless Chromium with a fresh profile whose NativeMessagingHosts/ holds the manifest that
// quillora-bridge itself writes, the extension loaded unpacked, and the example page served on
// 127.0.0.1; the headless user answers each dialog as the test says.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');

const [quillora, bridge, extensionDir, examplePage] = process.argv.slice(2);
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

let puppeteer;
try {
  puppeteer = require('puppeteer-core');
} catch {
  puppeteer = null;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'bridge-e2e-'));
const env = { ...process.env, HOME: work, XDG_CONFIG_HOME: path.join(work, 'config'),
  QUILLORA_DATA_HOME: path.join(work, 'data'), QUILLORA_UI: 'headless' };
const log = path.join(work, 'bridge.log');
let browser, servers = [], page, localOrigin, foreignOrigin;

// The headless user's actions for the next request, read by the host's wrapper when the browser starts it.
const actions = (list) => fs.writeFileSync(path.join(work, 'actions'), list);
const logSince = (offset) => fs.readFileSync(log, 'utf8').slice(offset);
const logSize = () => (fs.existsSync(log) ? fs.statSync(log).size : 0);

function serve(address) {
  const server = http.createServer((request, response) => {
    response.setHeader('Content-Type', 'text/html; charset=utf-8');
    response.end(fs.readFileSync(examplePage));
  });
  servers.push(server);
  return new Promise((resolve) => server.listen(0, address, () => resolve(`http://${address}:${server.address().port}`)));
}

before(async () => {
  if (!puppeteer || !fs.existsSync(CHROMIUM)) return;
  const run = (program, args) => execFileSync(program, args, { env, encoding: 'utf8' });
  run(quillora, ['certs', 'new', '--subject', 'C=ES, CN=Joan Serra', '--key-usage', 'digitalSignature']);
  run(quillora, ['register']);
  // The browser starts the wrapper, which gives the real host its actions and keeps its stderr.
  const wrapper = path.join(work, 'bridge-wrapper');
  fs.writeFileSync(wrapper, `#!/bin/sh\nQUILLORA_HEADLESS_ACTIONS=$(cat '${work}/actions') exec '${bridge}' "$@" 2>>'${log}'\n`,
    { mode: 0o755 });
  run(bridge, ['install-manifests', '--bridge', wrapper]);
  const profile = path.join(work, 'profile');
  fs.mkdirSync(path.join(profile, 'NativeMessagingHosts'), { recursive: true });
  fs.copyFileSync(path.join(work, 'config/chromium/NativeMessagingHosts/com.kestravon.quillora.json'),
    path.join(profile, 'NativeMessagingHosts/com.kestravon.quillora.json'));

  localOrigin = await serve('127.0.0.1');
  foreignOrigin = await serve('127.0.0.2');
  browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,  // the new headless mode, which runs extensions
    pipe: true,
    env,
    ignoreDefaultArgs: ['--disable-extensions'],
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', `--user-data-dir=${profile}`,
      `--load-extension=${extensionDir}`, `--disable-extensions-except=${extensionDir}`],
  });
  page = await browser.newPage();
  await page.goto(`${localOrigin}/`);
});

after(async () => {
  if (browser) await browser.close();
  for (const server of servers) server.close();
  fs.rmSync(work, { recursive: true, force: true });
});

const skip = () => (!puppeteer ? 'puppeteer-core is not installed (npm ci in this folder)'
  : !fs.existsSync(CHROMIUM) ? `no browser at ${CHROMIUM}` : false);

// Runs quillora.METHOD(...args) in the page: the resolved string, or the rejection's code and message.
function ask(method, ...args) {
  return page.evaluate(async (method, args) => {
    try {
      return { result: await window.quillora[method](...args) };
    } catch (error) {
      return { code: error.code, message: error.message, name: error.name };
    }
  }, method, args);
}

test('a signature reaches the page and verifies over the text\'s Windows-1252 bytes', { skip: skip() }, async () => {
  actions('ok');
  const text = 'Autoritzo el pagament de 1.250,00 € a Kestravon S.L. — món';
  // Through the example page's own button, as a person would.
  await page.$eval('#text', (area, text) => { area.value = text; }, text);
  const offset = logSize();
  await page.click('#sign');
  await page.waitForFunction(() => document.getElementById('result').textContent !== '');
  const signature = await page.$eval('#result', (pre) => pre.textContent);
  assert.match(signature, /^[A-Za-z0-9+/]+=*$/);
  fs.writeFileSync(path.join(work, 'signature.p7s'), Buffer.from(signature, 'base64'));
  fs.writeFileSync(path.join(work, 'text.1252'), execFileSync('iconv', ['-f', 'UTF-8', '-t', 'WINDOWS-1252'], { input: text }));
  execFileSync('openssl', ['smime', '-verify', '-binary', '-inform', 'DER', '-in', path.join(work, 'signature.p7s'),
    '-content', path.join(work, 'text.1252'), '-noverify', '-out', '/dev/null'], { stdio: 'pipe' });
  assert.match(logSince(offset), new RegExp(`dialog shown: Signatura Digital — ${localOrigin.replace(/\./g, '\\.')}\\n`));
});

test('the control\'s refusals come back as its own result strings', { skip: skip() }, async () => {
  const cases = [
    { name: 'cancel', actions: 'cancel', call: ['signText', 'x'], result: 'error:userCancel' },
    { name: 'no matching certificate', actions: '', call: ['signTextWithFilter', 'x', '', 'FFFF', ''],
      result: 'error:noMatchingCert' },
    { name: 'a refused HTML text', actions: '', call: ['signHTML', '<p>ok</p><img src=x>'], result: 'error:internalError' },
  ];
  for (const c of cases) {
    actions(c.actions);
    assert.deepStrictEqual(await ask(...c.call), { result: c.result }, c.name);
  }
});

test('a page at a refused origin gets a bridge error and no dialog', { skip: skip() }, async () => {
  actions('ok');
  const foreign = await browser.newPage();
  await foreign.goto(`${foreignOrigin}/`);
  const offset = logSize();
  const answer = await foreign.evaluate(() => window.quillora.signText('x').then((result) => ({ result }),
    (error) => ({ code: error.code, name: error.name })));
  await foreign.close();
  assert.deepStrictEqual(answer, { code: 'origin-refused', name: 'QuilloraError' });
  assert.doesNotMatch(logSince(offset), /dialog shown|message box/);
});

test('the bridge refuses what it cannot do: a second request of a tab, a text too large, a missing host', { skip: skip() }, async () => {
  actions('ok');
  const both = await page.evaluate(() => Promise.allSettled([window.quillora.signText('a'), window.quillora.signText('b')])
    .then((settled) => settled.map((s) => (s.status === 'fulfilled' ? 'signed' : s.reason.code))));
  assert.deepStrictEqual(both, ['signed', 'busy']);

  const large = await page.evaluate(() => window.quillora.signText('x'.repeat((1 << 20) + 1)).catch((error) => error.code));
  assert.strictEqual(large, 'too-large');

  fs.rmSync(path.join(work, 'profile/NativeMessagingHosts/com.kestravon.quillora.json'));
  const missing = await ask('signText', 'x');
  assert.strictEqual(missing.code, 'not-installed', JSON.stringify(missing));
});
