// The page used as a person would, in Debian's Chromium or in
// Firefox ESR, with the site in SITE served on 127.0.0.1:
// node web/test.mjs SITE chromium|firefox-esr
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join } from 'node:path';
import { after, test } from 'node:test';
import puppeteer from 'puppeteer-core';

// Firefox has no software WebGL when headless.
const [site, engine] = process.argv.slice(2);
const firefox = engine === 'firefox-esr';
const chromium = ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'];
// A browser with WebGL or without, and one that asks pages for
// less motion.
const options = ({ webgl = true, calm = false }) => ({
  browser: firefox ? 'firefox' : 'chrome',
  executablePath: `/usr/bin/${engine}`,
  headless: !firefox,
  args: firefox
    ? []
    : [
        ...chromium,
        ...(webgl ? [] : ['--disable-webgl']),
        ...(calm ? ['--force-prefers-reduced-motion'] : []),
      ],
  extraPrefsFirefox: { 'webgl.disabled': !webgl, 'ui.prefersReducedMotion': calm ? 1 : 0 },
});

// The site as a static host serves it, but for the paths taken
// off it here; offline, it drops every connection. Its next
// release differs in its version alone.
const host = { missing: new Set(), offline: false, release: 'built' };
const types = {
  '.html': 'text/html',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.bmp': 'image/bmp',
  '.webmanifest': 'application/manifest+json',
  '.png': 'image/png',
  '.ico': 'image/vnd.microsoft.icon',
};
const builtIndex = await readFile(join(site, 'index.html'), 'utf8');
const version = /orvalis ([^<]+)<\/p>/.exec(builtIndex)[1];
const nextVersion = `${version}-next`;
async function body(path) {
  const bytes = await readFile(join(site, path));
  const text = ['/index.html', '/sw.js'].includes(path);
  if (host.release === 'built' || !text) return bytes;
  return bytes.toString().replaceAll(version, nextVersion);
}
const server = createServer(async (request, response) => {
  if (host.offline) return request.socket.destroy();
  const path = new URL(request.url, 'http://host').pathname.replace(/\/$/, '/index.html');
  try {
    if (host.missing.has(path)) throw new Error(`${path} taken off`);
    const bytes = await body(path);
    response.writeHead(200, { 'Content-Type': types[extname(path)] }).end(bytes);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
after(() => server.close());
const url = `http://127.0.0.1:${server.address().port}/`;

// Runs in the page before its own scripts. Pixels are numbered
// from the top left, row after row.
function pageHelpers() {
  // The program's canvas keeps its frame until the next one is
  // drawn, so that a frame can be read whenever a test asks. A
  // WebGL canvas is otherwise blank again once its frame is shown,
  // and a read that came, within a frame, before the program drew,
  // saw only black.
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    const keep = type === 'webgl' ? { preserveDrawingBuffer: true } : {};
    return getContext.call(this, type, { ...attributes, ...keep });
  };
  // The red, green and blue of the pixels asked, in a frame that the
  // program drew after they were asked: in the next frame, this read
  // may come before the program draws.
  window.nextFrame = async (pixels) => {
    for (const frame of [1, 2]) await new Promise(requestAnimationFrame);
    const context = new OffscreenCanvas(640, 480).getContext('2d');
    context.drawImage(demo.canvas, 0, 0);
    const rgba = context.getImageData(0, 0, 640, 480).data;
    return pixels.map((i) => [...rgba.subarray(4 * i, 4 * i + 3)]);
  };
  // How many pixels are lit where their mirror image across
  // x = 320 is not.
  window.unmirrored = async () => {
    const pixels = [...Array(640 * 480).keys()];
    const lit = (await nextFrame(pixels)).map((rgb) => Math.max(...rgb) > 0);
    return pixels.filter((i) => lit[i] !== lit[i + 639 - 2 * (i % 640)]).length;
  };
  // The names of the files the page has had decoded, in turn.
  window.decoded = [];
  const decode = createImageBitmap;
  window.createImageBitmap = (file) => decode(file).finally(() => decoded.push(file.name));
  // Whether a text is in a live region that was on the page, and
  // so in its accessibility tree, before the page said anything:
  // a region that appears with its text is often not read out.
  window.heard = (text) => regions.some((r) => r.checkVisibility() && r.innerText.includes(text));
  let regions = [];
  document.addEventListener('DOMContentLoaded', () => {
    const live = '[aria-live], [role=status], [role=log], [role=alert]';
    regions = [...document.querySelectorAll(live)].filter((r) => r.checkVisibility());
  });
}

// The page in a fresh browser, with WebGL or without, and
// errors: what its console reports as an error or a warning, and
// Emscripten's notes of what its GL lacks.
const reported = (m) => /error|warn/.test(m.type()) || m.text().includes('TODO');
// A test that opens a browser closes it when done, so that its demo
// takes no time from the tests after it.
const browsers = [];
after(() => Promise.all(browsers.filter((b) => b.connected).map((b) => b.close())));
async function open(browserOptions = {}) {
  const browser = await puppeteer.launch(options(browserOptions));
  browsers.push(browser);
  const page = await browser.newPage();
  const errors = [];
  page.on('console', (m) => reported(m) && errors.push(m.text()));
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.evaluateOnNewDocument(pageHelpers);
  await page.goto(url);
  return { page, errors };
}
const { page, errors } = await open();

// Red left and green top at x 11|333, y 120|360, where the drift
// takes 120 frames to reach, and blue everywhere.
const corners = [76811, 77133, 230411, 230733];
async function assertUpright() {
  await page.waitForFunction(() => demo.state === 'running');
  const colours = await page.evaluate((pixels) => nextFrame(pixels), corners);
  const seen = colours.map((rgb) => rgb.map((value) => value > 127));
  const expected = corners.map((i) => [i % 640 < 320, i < 640 * 240, true]);
  assert.deepEqual(seen, expected);
}

const chooser = await page.$('#chooser');
// Chooses a file, as far as the page's taking it: Firefox may
// otherwise hand two files chosen one after the other to the page
// in the other order.
async function choose(file) {
  const before = await page.evaluate(() => demo.chosen);
  await chooser.uploadFile(`${import.meta.dirname}/${file}`);
  await page.waitForFunction((count) => demo.chosen > count, {}, before);
}

// The site's own picture, img/logo.bmp, has its sky top left,
// far bluer than red or green.
async function assertSky(tab) {
  await tab.waitForFunction(() => demo.state === 'running');
  const [[red, green, blue]] = await tab.evaluate(() => nextFrame([0]));
  assert.ok(blue > Math.max(red, green) + 64, `top left ${red}, ${green}, ${blue}`);
}
test("the site's picture upright", () => assertSky(page));

// The page is named as the window is, and keys go to the demo
// from the start.
test('the title, the heading, focus on the canvas', async () => {
  assert.equal(await page.title(), 'orvalis [ press enter to start trippin ]');
  assert.equal(await page.$eval('#heading', (h1) => h1.innerText), await page.title());
  assert.equal(await page.evaluate(() => document.activeElement.id), 'canvas');
});

// The top left corner turns black as the cube flies off it.
test('Enter sends the cube away', async () => {
  await page.keyboard.press('Enter');
  await page.waitForFunction(async () => (await nextFrame([0]))[0][2] === 0);
});

// Spinning about z (the start), the cube is not the same
// mirrored left to right; spinning about x it is, in every
// frame.
test('Up turns it about x', async () => {
  await page.waitForFunction(async () => (await unmirrored()) > 3000);
  await page.keyboard.press('ArrowUp');
  // Three frames in a row.
  for (const frame of [1, 2, 3]) assert.ok((await page.evaluate('unmirrored()')) < 300);
});

// Focus stays on the canvas, from which Enter starts it again.
test('Escape ends it; the page says so', async () => {
  await page.keyboard.press('Escape');
  await page.waitForSelector('#ended', { visible: true });
  assert.ok(await page.evaluate(() => heard('The demo has ended.')));
  assert.equal(await page.evaluate(() => document.activeElement.id), 'canvas');
});

// quadrants.png: red left, green top and blue 192 all over, as in
// tests/scene_test.cpp. large.png, 4096 x 4096 pixels of yellow,
// takes about a second to decode: quadrants.png, chosen after
// it, goes on the cube, upright and in its colours, and large.png,
// decoded later, starts nothing. (Each start has a canvas of its
// own; the drift soon mixes the colours, so they are read first.)
test('the last picture chosen wins', async () => {
  await chooser.focus();
  await choose('large.png');
  await choose('quadrants.png');
  await assertUpright();
  assert.ok(await page.evaluate(() => heard('The cube wears “quadrants.png”, 512 × 512 pixels.')));
  // The program started again, and focus stayed where it was.
  assert.equal(await page.evaluate(() => document.activeElement.id), 'chooser');
  // Held weakly, as a later test sees the canvas freed.
  await page.evaluate(() => (window.shown = new WeakRef(demo.canvas)));
  await page.waitForFunction(() => decoded.includes('large.png'));
  await page.evaluate(() => nextFrame([0]));
  assert.ok(await page.evaluate(() => demo.canvas === shown.deref() && demo.state === 'running'));
});

// The program keeps running with the picture it had.
test('a chosen file that is no picture: a word, and the same picture', async () => {
  await choose('package.json');
  await page.waitForFunction(() => heard('“package.json” is not a picture this browser can open'));
  await assertUpright();
});

// Each start is a new instance of the program, with memory of its
// own (16 MiB and more) and a canvas: an ended one must be freed,
// or the page runs out of memory after about 120 restarts. Only
// Chromium's protocol can ask for a garbage collection.
test('an ended program freed', { skip: firefox }, async () => {
  // Enter on the file chooser, which has the focus, would open it.
  await page.focus('#canvas');
  await page.evaluate(() => (window.oldCanvas = new WeakRef(demo.canvas)));
  // The one running ends; a new one starts.
  await page.keyboard.press('Escape');
  await page.keyboard.press('Enter');
  await (await page.createCDPSession()).send('HeapProfiler.collectGarbage');
  assert.equal(await page.evaluate(() => oldCanvas.deref()), undefined);
});

// No error, warning or GL note on the console in all the above,
// nor Emscripten's exit.
test('nothing on the console', () => assert.deepEqual(errors, []));

// The browser takes WebGL away, as on a GPU reset: the page says
// so, focus stays, and the demo starts again when WebGL is back.
// (The browser reports the loss on the console.)
test('WebGL taken away: a word, and the demo again when it is back', async () => {
  await page.focus('#canvas');
  await page.evaluate(() => {
    window.lostCanvas = demo.canvas;
    window.loser = lostCanvas.getContext('webgl').getExtension('WEBGL_lose_context');
    loser.loseContext();
  });
  await page.waitForFunction(() => heard("The browser took the demo's WebGL away"));
  assert.ok(await page.evaluate(() => document.activeElement === lostCanvas));
  await page.evaluate(() => loser.restoreContext());
  await page.waitForFunction(() => demo.state === 'running');
  assert.ok(await page.evaluate(() => document.activeElement === demo.canvas));
  // Ended, so that it takes no time from the browsers that the tests
  // below open.
  await page.keyboard.press('Escape');
});

// A host without the program's script: the page says so, and
// Enter tries again.
test('orvalis.js missing: a word, and Enter tries again', async () => {
  host.missing.add('/orvalis.js');
  const bare = (await open()).page;
  await bare.waitForFunction(() => heard('orvalis.js could not be loaded'));
  host.missing.clear();
  await bare.keyboard.press('Enter');
  await bare.waitForFunction(() => demo.state === 'running');
  await bare.browser().close();
});

// A browser with WebGL turned off: Chromium with --disable-webgl,
// Firefox with webgl.disabled.
test('without WebGL: a sentence in place of the canvas, nothing on the console', async () => {
  const off = await open({ webgl: false });
  // What is missing, and what helps.
  await off.page.waitForFunction(() => heard('This browser gives the page no WebGL'));
  assert.match(await off.page.$eval('#no-webgl', (p) => p.innerText), /WebGL.*acceleration/s);
  // The program not started.
  assert.equal(await off.page.evaluate(() => demo.state), 'no WebGL');
  assert.deepEqual(off.errors, []);
  await off.page.browser().close();
});

// Everything on the page is in a landmark: the heading in the
// banner, the demo in the one main, the version in the foot.
test('landmarks hold the whole page', async () => {
  const outside = await page.$$eval('body > *', (children) =>
    children.filter((c) => !['HEADER', 'MAIN', 'FOOTER', 'SCRIPT'].includes(c.tagName)),
  );
  assert.deepEqual(outside, []);
  assert.equal((await page.$$('main')).length, 1);
});

// What an installed app is made of: its manifest, and the icons
// it names, each at the size it says; the page's own icons too.
test('the manifest and its icons load', async () => {
  const found = await page.evaluate(async () => {
    const size = async (url) => {
      const bitmap = await createImageBitmap(await (await fetch(url)).blob());
      return `${bitmap.width}x${bitmap.height}`;
    };
    const link = (rel) => document.querySelector(`link[rel="${rel}"]`).href;
    const manifest = await (await fetch(link('manifest'))).json();
    const icons = [];
    for (const icon of manifest.icons) {
      icons.push([icon.sizes, await size(new URL(icon.src, link('manifest')))]);
    }
    const start = new URL(manifest.start_url, link('manifest')).href;
    return {
      manifest: { ...manifest, icons: manifest.icons.map((icon) => icon.purpose ?? 'any') },
      icons,
      start,
      touch: await size(link('apple-touch-icon')),
      favicon: await size(link('icon')),
    };
  });
  assert.equal(found.manifest.name, 'orvalis');
  assert.equal(found.manifest.display, 'standalone');
  assert.equal(found.start, url);
  for (const [declared, actual] of found.icons) assert.equal(actual, declared);
  assert.deepEqual(
    found.icons.map(([size]) => size),
    ['192x192', '512x512', '512x512'],
  );
  assert.deepEqual(found.manifest.icons, ['any', 'any', 'maskable']);
  assert.equal(found.touch, '180x180');
  assert.match(found.favicon, /^(16|32)x\1$/);
});

// Asked for less motion, the page shows the picture still until
// the person starts the demo: two looks at the screen a second
// apart are the same, and after the start they differ.
test('less motion: still until started', async () => {
  const calm = (await open({ calm: true })).page;
  await calm.waitForSelector('#still', { visible: true });
  const look = async () => {
    await new Promise((later) => setTimeout(later, 1000));
    return (await calm.$('#screen')).screenshot();
  };
  assert.ok((await look()).equals(await look()), 'the screen moved before the start');
  // A picture chosen meanwhile is shown, still.
  await (await calm.$('#chooser')).uploadFile(`${import.meta.dirname}/quadrants.png`);
  await calm.waitForFunction(() => heard('The cube wears “quadrants.png”'));
  assert.equal(await calm.evaluate(() => demo.state), 'still');
  await calm.click('#start');
  await calm.waitForFunction(() => demo.state === 'running');
  assert.ok(!(await look()).equals(await look()), 'the screen stood still after the start');
  await calm.browser().close();
});

// The service worker keeps the site: with the host gone, a second
// visit still shows the demo, with the site's own picture. Each
// visit is a tab of its own, as a person comes back to the site, at
// its address or at the page's name.
let visitor = null;
async function visit(offline, path = '') {
  host.offline = offline;
  const tab = await visitor.newPage();
  if (!firefox) await tab.setOfflineMode(offline);
  await tab.evaluateOnNewDocument(pageHelpers);
  await tab.goto(url + path);
  return tab;
}
test('offline, a second visit starts the demo', async () => {
  const first = (await open()).page;
  visitor = first.browser();
  await first.evaluate(() => navigator.serviceWorker.ready);
  await assertSky(await visit(true));
  await assertSky(await visit(true, 'index.html'));
});

// A new release on the host replaces the kept site at the next
// visit, and the old release's files go.
test('a new release replaces the kept site', async () => {
  host.release = 'next';
  const next = await visit(false);
  // The cache's name ends with the version and a digest.
  const kept = async (version) => {
    const names = await caches.keys();
    return names.length === 1 && names[0].includes(` ${version}-`);
  };
  await next.waitForFunction(kept, {}, nextVersion);
  const offline = await visit(true);
  assert.equal(await offline.$eval('footer', (foot) => foot.innerText), `orvalis ${nextVersion}`);
  host.offline = false;
  host.release = 'built';
});
