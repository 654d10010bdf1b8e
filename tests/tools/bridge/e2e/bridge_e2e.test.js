// bridge_e2e.test.js - catches a page bridge that fails in a real browser: a signature that does not reach the page or does not verify over the text's Windows-1252 bytes, a control result altered on the way, a dialog without the asking site in its caption, a dialog for a refused site, a second request of a tab not refused, a missing host not reported as such; in Chromium and in Firefox.
//
// node bridge_e2e.test.js QUILLORA EXTENSION_DIR EXAMPLE_PAGE
// The control, its bridge and the browsers' host manifests are set up as a user does, with
// `quillora install`; the manifests are then pointed at a wrapper of the installed bridge that
// gives it the headless user's actions. Each browser in turn, headless, against the example page
// served on 127.0.0.1: Chromium with a fresh profile whose NativeMessagingHosts/ holds the
// manifest and the extension loaded unpacked; Firefox ESR through WebDriver BiDi, the extension
// installed as a temporary add-on and the manifest where it is placed for a user.
'use strict';

const { describe, test, before, after } = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');

const [quillora, extensionDir, examplePage] = process.argv.slice(2);
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const FIREFOX = process.env.FIREFOX || '/usr/bin/firefox-esr';

let puppeteer = null;
try {
  puppeteer = require('puppeteer-core');
} catch {
  // ctest counts the run as skipped by this line.
  console.log('bridge e2e: skipped: puppeteer-core is not installed (npm ci in tests/tools/bridge/e2e)');
}

// Real, as quillora install records the folder it installs into.
const work = fs.realpathSync(fs.mkdtempSync(path.join(os.tmpdir(), 'bridge-e2e-')));
const env = { ...process.env, HOME: work, XDG_CONFIG_HOME: path.join(work, 'config'),
  QUILLORA_DATA_HOME: path.join(work, 'data'), QUILLORA_UI: 'headless' };
const log = path.join(work, 'bridge.log');
const servers = [];
let localOrigin, foreignOrigin;

// The headless user's actions for the next request, read by the host's wrapper when the browser starts it.
const actions = (list) => fs.writeFileSync(path.join(work, 'actions'), list);
const logSize = () => (fs.existsSync(log) ? fs.statSync(log).size : 0);
const logSince = (offset) => (fs.existsSync(log) ? fs.readFileSync(log, 'utf8').slice(offset) : '');

function serve(address) {
  const server = http.createServer((request, response) => {
    response.setHeader('Content-Type', 'text/html; charset=utf-8');
    response.end(fs.readFileSync(examplePage));
  });
  servers.push(server);
  return new Promise((resolve) => server.listen(0, address, () => resolve(`http://${address}:${server.address().port}`)));
}

const skipOf = (executable) => (!puppeteer ? 'puppeteer-core is not installed (npm ci in this folder)'
  : !fs.existsSync(executable) ? `no browser at ${executable}` : false);

before(async () => {
  if (!puppeteer) return;
  const run = (program, args) => execFileSync(program, args, { env, encoding: 'utf8' });
  run(quillora, ['certs', 'new', '--subject', 'C=ES, CN=Joan Serra', '--key-usage', 'digitalSignature']);
  run(quillora, ['install', '--dir', path.join(work, 'installed')]);
  const installed = path.join(work, 'installed/quillora-bridge');
  const chromiumManifest = path.join(work, 'config/chromium/NativeMessagingHosts/com.kestravon.quillora.json');
  const placed = JSON.parse(fs.readFileSync(chromiumManifest));
  assert.strictEqual(placed.path, installed, 'quillora install names the installed bridge');
  // The browser starts the wrapper, which gives the installed host its actions and keeps its stderr.
  const wrapper = path.join(work, 'bridge-wrapper');
  fs.writeFileSync(wrapper,
    `#!/bin/sh\nQUILLORA_HEADLESS_ACTIONS=$(cat '${work}/actions') exec '${installed}' "$@" 2>>'${log}'\n`, { mode: 0o755 });
  run(installed, ['install-manifests', '--bridge', wrapper]);
  localOrigin = await serve('127.0.0.1');
  foreignOrigin = await serve('127.0.0.2');
});

after(() => {
  for (const server of servers) server.close();
  fs.rmSync(work, { recursive: true, force: true });
});

const browsers = [
  {
    name: 'chromium',
    executable: CHROMIUM,
    // The manifest the browser reads: a profile of its own looks in its NativeMessagingHosts/.
    manifest: path.join(work, 'profile/NativeMessagingHosts/com.kestravon.quillora.json'),
    launch: async () => {
      const manifest = path.join(work, 'profile/NativeMessagingHosts/com.kestravon.quillora.json');
      fs.mkdirSync(path.dirname(manifest), { recursive: true });
      fs.copyFileSync(path.join(work, 'config/chromium/NativeMessagingHosts/com.kestravon.quillora.json'), manifest);
      return puppeteer.launch({
        executablePath: CHROMIUM,
        headless: true,  // the new headless mode, which runs extensions
        pipe: true,
        env,
        ignoreDefaultArgs: ['--disable-extensions'],
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
          '--disable-component-update', '--disable-sync', `--user-data-dir=${path.join(work, 'profile')}`,
          `--load-extension=${extensionDir}`, `--disable-extensions-except=${extensionDir}`],
      });
    },
  },
  {
    name: 'firefox',
    executable: FIREFOX,
    manifest: path.join(work, '.mozilla/native-messaging-hosts/com.kestravon.quillora.json'),
    launch: async () => {
      const browser = await puppeteer.launch({ browser: 'firefox', executablePath: FIREFOX, headless: true, env });
      await browser.installExtension(extensionDir);
      return browser;
    },
  },
];

for (const b of browsers) {
  describe(b.name, { skip: skipOf(b.executable) }, () => {
    let browser, page;

    // Runs quillora.METHOD(...args) in the page: the resolved string, or the rejection's code.
    const ask = (method, ...args) => page.evaluate((method, args) => window.quillora[method](...args)
      .then((result) => ({ result }), (error) => ({ code: error.code, message: error.message })), method, args);

    before(async () => {
      browser = await b.launch();
      page = await browser.newPage();
      await page.goto(`${localOrigin}/`);
    });
    after(async () => {
      if (browser) await browser.close();
    });

    test('a signature reaches the page and verifies over the text\'s Windows-1252 bytes', async () => {
      actions('ok');
      const text = 'Autoritzo el pagament de 1.250,00 € a Kestravon S.L. — món';
      // Through the example page's own button, as a person would.
      await page.$eval('#text', (area, text) => { area.value = text; }, text);
      await page.$eval('#result', (pre) => { pre.textContent = ''; });
      const offset = logSize();
      await page.click('#sign');
      await page.waitForFunction(() => document.getElementById('result').textContent !== '');
      const signature = await page.$eval('#result', (pre) => pre.textContent);
      assert.match(signature, /^[A-Za-z0-9+/]+=*$/);
      const signatureFile = path.join(work, `${b.name}.p7s`), content = path.join(work, `${b.name}.1252`);
      fs.writeFileSync(signatureFile, Buffer.from(signature, 'base64'));
      fs.writeFileSync(content, execFileSync('iconv', ['-f', 'UTF-8', '-t', 'WINDOWS-1252'], { input: text }));
      execFileSync('openssl', ['smime', '-verify', '-binary', '-inform', 'DER', '-in', signatureFile, '-content', content,
        '-noverify', '-out', '/dev/null'], { stdio: 'pipe' });
      assert.match(logSince(offset), new RegExp(`dialog shown: Signatura Digital — ${localOrigin.replace(/\./g, '\\.')}\\n`));
    });

    test('the control\'s refusals come back as its own result strings', async () => {
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

    test('a page at a refused origin gets a bridge error and no dialog', async () => {
      actions('ok');
      const foreign = await browser.newPage();
      await foreign.goto(`${foreignOrigin}/`);
      const offset = logSize();
      const answer = await foreign.evaluate(() => window.quillora.signText('x')
        .then((result) => ({ result }), (error) => ({ code: error.code, name: error.name })));
      await foreign.close();
      assert.deepStrictEqual(answer, { code: 'origin-refused', name: 'QuilloraError' });
      assert.doesNotMatch(logSince(offset), /dialog shown|message box/);
    });

    test('the bridge refuses what it cannot do: a second request of a tab, a text too large, a missing host', async () => {
      actions('ok');
      const both = await page.evaluate(() => Promise.allSettled([window.quillora.signText('a'), window.quillora.signText('b')])
        .then((settled) => settled.map((s) => (s.status === 'fulfilled' ? 'signed' : s.reason.code))));
      assert.deepStrictEqual(both, ['signed', 'busy']);

      const large = await ask('signText', 'x'.repeat((1 << 20) + 1));
      assert.strictEqual(large.code, 'too-large', large.message);

      const saved = fs.readFileSync(b.manifest);
      fs.rmSync(b.manifest);
      try {
        const missing = await ask('signText', 'x');
        assert.strictEqual(missing.code, 'not-installed', missing.message);
      } finally {
        fs.writeFileSync(b.manifest, saved);
      }
    });
  });
}
