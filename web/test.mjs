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
const options = (webgl) => ({
  browser: firefox ? 'firefox' : 'chrome',
  executablePath: `/usr/bin/${engine}`,
  headless: !firefox,
  args: firefox ? [] : chromium.concat(webgl ? [] : '--disable-webgl'),
  extraPrefsFirefox: { 'webgl.disabled': !webgl },
});

// The site as a static host serves it, WebAssembly as such, but
// for the paths taken off it here.
const missing = new Set();
const types = {
  '.html': 'text/html',
  '.js': 'text/javascript',
  '.css': 'text/css',
  '.wasm': 'application/wasm',
  '.bmp': 'image/bmp',
};
const server = createServer(async (request, response) => {
  const path = new URL(request.url, 'http://host').pathname.replace(/\/$/, '/index.html');
  try {
    if (missing.has(path)) throw new Error(`${path} taken off`);
    const body = await readFile(join(site, path));
    response.writeHead(200, { 'Content-Type': types[extname(path)] }).end(body);
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
  // The red, green and blue of the pixels asked, as the program
  // draws its next frame.
  window.nextFrame = async (pixels) => {
    await new Promise(requestAnimationFrame);
    // Copied while the frame is still there.
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
}

// The page in a fresh browser, with WebGL or without, and
// errors: what its console reports as an error or a warning, and
// Emscripten's notes of what its GL lacks.
const reported = (m) => /error|warn/.test(m.type()) || m.text().includes('TODO');
async function open(webgl) {
  const page = await (await puppeteer.launch(options(webgl))).newPage();
  after(() => page.browser().close());
  const errors = [];
  page.on('console', (m) => reported(m) && errors.push(m.text()));
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.evaluateOnNewDocument(pageHelpers);
  await page.goto(url);
  return { page, errors };
}
const { page, errors } = await open(true);

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
const choose = (file) => chooser.uploadFile(`${import.meta.dirname}/${file}`);

// The site's own picture, img/logo.bmp, has its sky top left,
// far bluer than red or green.
test("the site's picture upright", async () => {
  await page.waitForFunction(() => demo.state === 'running');
  const [[red, green, blue]] = await page.evaluate(() => nextFrame([0]));
  assert.ok(blue > Math.max(red, green) + 64, `top left ${red}, ${green}, ${blue}`);
});

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

test('Escape ends it; the page says so', async () => {
  await page.keyboard.press('Escape');
  await page.waitForSelector('#ended', { visible: true });
});

// quadrants.png: red left, green top and blue 192 all over, as in
// tests/scene_test.cpp. large.png, 4096 x 4096 pixels of yellow,
// takes about a second to decode: quadrants.png, chosen after
// it, goes on the cube, upright and in its colours, and large.png,
// decoded later, starts nothing. (Each start has a canvas of its
// own; the drift soon mixes the colours, so they are read first.)
test('the last picture chosen wins', async () => {
  await choose('large.png');
  await choose('quadrants.png');
  await assertUpright();
  // Held weakly, as a later test sees the canvas freed.
  await page.evaluate(() => (window.shown = new WeakRef(demo.canvas)));
  await page.waitForFunction(() => decoded.includes('large.png'));
  await page.evaluate(() => nextFrame([0]));
  assert.ok(await page.evaluate(() => demo.canvas === shown.deref() && demo.state === 'running'));
});

// The program keeps running with the picture it had.
test('a chosen file that is no picture: a word, and the same picture', async () => {
  await choose('package.json');
  await page.waitForFunction(() => message.innerText.includes('not a picture'));
  await assertUpright();
});

// Each start is a new instance of the program, with memory of its
// own (16 MiB and more) and a canvas: an ended one must be freed,
// or the page runs out of memory after about 120 restarts. Only
// Chromium's protocol can ask for a garbage collection.
test('an ended program freed', { skip: firefox }, async () => {
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
// so, and starts the demo again when WebGL is back. (The browser
// reports the loss on the console.)
test('WebGL taken away: a word, and the demo again when it is back', async () => {
  await page.evaluate(() => {
    window.loser = demo.canvas.getContext('webgl').getExtension('WEBGL_lose_context');
    loser.loseContext();
  });
  await page.waitForFunction(() => output.innerText.includes('WebGL away'));
  await page.evaluate(() => loser.restoreContext());
  await page.waitForFunction(() => demo.state === 'running');
});

// A host without the program's script: the page says so, and
// Enter tries again.
test('orvalis.js missing: a word, and Enter tries again', async () => {
  missing.add('/orvalis.js');
  const bare = (await open(true)).page;
  await bare.waitForFunction(() => output.innerText.includes('orvalis.js could not be loaded'));
  missing.clear();
  await bare.keyboard.press('Enter');
  await bare.waitForFunction(() => demo.state === 'running');
});

// A browser with WebGL turned off: Chromium with --disable-webgl,
// Firefox with webgl.disabled.
test('without WebGL: a sentence in place of the canvas, nothing on the console', async () => {
  const off = await open(false);
  await off.page.waitForSelector('#no-webgl', { visible: true });
  // What is missing, and what helps.
  assert.match(await off.page.$eval('#no-webgl', (p) => p.innerText), /WebGL.*acceleration/s);
  // The program not started.
  assert.equal(await off.page.evaluate(() => demo.state), 'no WebGL');
  assert.deepEqual(off.errors, []);
});
