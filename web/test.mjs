// The page used as a person would, in Debian's Chromium or in
// Firefox ESR:
// node --test-reporter=spec web/test.mjs URL chromium|firefox-esr
import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import puppeteer from 'puppeteer-core';

const [url, engine] = process.argv.slice(2);
const title = 'orvalis [ press enter to start trippin ]';

// The site's picture, as served: quadrants as in
// tests/scene_test.cpp (red left, green top, blue 64).
const quadrants = Buffer.alloc(54 + 3 * 512 * 512).fill('BM', 0, 2);
for (const [at, value] of Object.entries({ 10: 54, 14: 40, 18: 512, 22: 512, 26: 1, 28: 24 }))
  quadrants.writeUInt32LE(value, Number(at));
for (let k = 0; k < 512 * 512; k++)
  quadrants.set([64, k < 512 * 256 ? 0 : 255, k % 512 < 256 ? 255 : 0], 54 + 3 * k);

// How the engine starts, with WebGL or without it. Firefox has
// no software WebGL when headless.
const firefox = engine === 'firefox-esr';
const chromium = ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'];
const options = (webgl) => ({
  browser: firefox ? 'firefox' : 'chrome',
  executablePath: `/usr/bin/${engine}`,
  headless: !firefox,
  args: firefox ? [] : chromium.concat(webgl ? [] : '--disable-webgl'),
  extraPrefsFirefox: { 'webgl.disabled': !webgl },
});

// Runs in the page before its own scripts. Pixels are numbered
// from the top left, row after row.
function pageHelpers() {
  // The red, green and blue of the pixels asked, as the program
  // draws its next frame.
  window.nextFrame = async (pixels) => {
    await new Promise(requestAnimationFrame);
    const context = new OffscreenCanvas(640, 480).getContext('2d');
    context.drawImage(demo.canvas, 0, 0);
    const rgba = context.getImageData(0, 0, 640, 480).data;
    return pixels.map((i) => [...rgba.subarray(4 * i, 4 * i + 3)]);
  };
  // The share of pixels lit where their mirror image across
  // x = 320 is not.
  window.unmirrored = async () => {
    const pixels = [...Array(640 * 480).keys()];
    const lit = (await nextFrame(pixels)).map((rgb) => rgb.some((value) => value > 0));
    return pixels.filter((i) => lit[i] !== lit[i + 639 - 2 * (i % 640)]).length / pixels.length;
  };
  // The names of the files the page has had decoded, in turn.
  window.decoded = [];
  const decode = createImageBitmap;
  window.createImageBitmap = (file) => decode(file).finally(() => decoded.push(file.name));
}

// A fresh browser on the page, serving the quadrants as the
// site's picture. errors: what its console reports as an error
// or a warning, and Emscripten's notes of what its GL lacks.
const reported = (m) => /error|warn/.test(m.type()) || m.text().includes('TODO');
async function open(webgl) {
  const page = await (await puppeteer.launch(options(webgl))).newPage();
  const errors = [];
  page.on('console', (m) => reported(m) && errors.push(m.text()));
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.setRequestInterception(true);
  page.on('request', (r) =>
    r.url().endsWith('/img/logo.bmp') ? r.respond({ body: quadrants }) : r.continue(),
  );
  await page.evaluateOnNewDocument(pageHelpers);
  await page.goto(url);
  return { page, errors };
}
const { page, errors } = await open(true);
after(() => page.browser().close());

// Red left and green top at x 11|333, y 120|360, where the drift
// takes 120 frames to reach, and the picture's blue, which tells
// which picture it is.
const corners = [76811, 77133, 230411, 230733];
async function assertUpright(blue) {
  await page.waitForFunction(() => demo.state === 'running');
  const colours = await page.evaluate((pixels) => nextFrame(pixels), corners);
  const seen = colours.map(([red, green, b]) => [red > 127, green > 127, Math.abs(b - blue) < 40]);
  const expected = corners.map((i) => [i % 640 < 320, i < 640 * 240, true]);
  assert.deepEqual(seen, expected);
}

const choose = async (file) =>
  (await page.$('#chooser')).uploadFile(new URL(file, import.meta.url).pathname);

test('the picture upright', () => assertUpright(64));

// The page is named as the window is, and keys go to the demo
// from the start.
test('the title, the heading, focus on the canvas', async () => {
  assert.equal(await page.title(), title);
  assert.equal(await page.$eval('#heading', (heading) => heading.innerText), title);
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
  await page.waitForFunction(async () => (await unmirrored()) > 0.01);
  await page.keyboard.press('ArrowUp');
  for (const frame of [1, 2, 3])
    assert.ok((await page.evaluate(() => unmirrored())) < 0.001, `frame ${frame}`);
});

test('Escape ends it; the page says so', async () => {
  await page.keyboard.press('Escape');
  await page.waitForSelector('#ended', { visible: true });
});

test('a chosen PNG upright', async () => {
  await choose('quadrants.png');
  await assertUpright(192);
});

// The program keeps running with the picture it had.
test('a chosen file that is no picture: a word, and the same picture', async () => {
  await choose('package.json');
  await page.waitForFunction(() => message.innerText.includes('not a picture'));
  await assertUpright(192);
});

// large.png, 4096 x 4096 pixels of yellow, takes about a second to decode:
// quadrants.png, chosen after it, is ready first, and stays on the cube.
test('the last picture chosen wins', async () => {
  await choose('large.png');
  await choose('quadrants.png');
  await page.waitForFunction(() => decoded.includes('large.png'));
  await assertUpright(192);
});

// Each start is a new instance of the program with memory of its own: an ended
// one must be freed, or the page runs out of memory after about 120 restarts.
test('the same memory after 20 restarts', { skip: firefox && 'Chromium’s protocol' }, async () => {
  const session = await page.createCDPSession();
  const memory = async () => {
    await session.send('HeapProfiler.collectGarbage');
    return (await session.send('Runtime.getHeapUsage')).backingStorageSize;
  };
  const before = await memory();
  for (let restart = 0; restart < 20; restart++) {
    await page.keyboard.press('Escape');
    await page.waitForSelector('#ended', { visible: true });
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => demo.state === 'running');
  }
  assert.ok((await memory()) - before < 2 ** 20, 'within 1 MiB');
});

// No error, warning or GL note on the console in all the above,
// nor Emscripten's exit.
test('nothing on the console', () => assert.deepEqual(errors, []));

test('without WebGL: a sentence in place of the canvas, nothing on the console', async (t) => {
  const { page, errors } = await open(false);
  t.after(() => page.browser().close());
  const sentence = await page.waitForSelector('#no-webgl', { visible: true });
  const words = await sentence.evaluate((p) => p.innerText);
  assert.match(words, /no WebGL.*hardware acceleration.*another browser/s);
  assert.equal(await page.evaluate(() => demo.state), 'no WebGL'); // the program not started
  assert.deepEqual(errors, []);
});
