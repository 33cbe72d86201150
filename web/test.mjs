// The page in Debian's headless Chromium, used as a person would: node web/test.mjs URL
import puppeteer from 'puppeteer-core';

// The site's picture, as served: quadrants as in tests/scene_test.cpp (red left, green top, blue 64).
const quadrants = Buffer.alloc(54 + 3 * 512 * 512).fill('BM', 0, 2);
[
  [10, 54],
  [14, 40],
  [18, 512],
  [22, 512],
  [26, 1],
  [28, 24],
].forEach(([at, v]) => quadrants.writeUInt32LE(v, at));
for (let k = 0; k < 512 * 512; k++)
  quadrants.set([64, k < 512 * 256 ? 0 : 255, k % 512 < 256 ? 255 : 0], 54 + 3 * k);
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  args: [
    '--no-sandbox',
    '--disable-component-update',
    '--disable-quic',
    '--use-angle=swiftshader',
    '--enable-unsafe-swiftshader',
  ],
});
const page = await browser.newPage(),
  errors = [],
  title = 'orvalis [ press enter to start trippin ]';
page
  .on('console', (m) => /error|warn/.test(m.type()) && errors.push(m.text()))
  .on('pageerror', (e) => errors.push(e));
await page.setRequestInterception(true);
page.on('request', (r) =>
  r.url().endsWith('/img/logo.bmp') ? r.respond({ body: quadrants }) : r.continue(),
);

const js = (f) => page.evaluate(f),
  key = (name) => page.keyboard.press(name);
const until = async (test, end = Date.now() + 30000) =>
  (await test()) || // whether test() holds within 30 s
  (Date.now() < end && (await new Promise((r) => setTimeout(r, 50)), until(test, end)));
const choose = async (file) =>
  (await page.$('#chooser')).uploadFile(new URL(file, import.meta.url).pathname);
// The canvas as the program draws its next frame: RGBA, 640 x 480, the top row first.
const frame = async () =>
  Buffer.from(
    await js(
      () =>
        new Promise((done) =>
          requestAnimationFrame(() => {
            const g = new OffscreenCanvas(640, 480).getContext('2d');
            done([...(g.drawImage(demo.canvas, 0, 0), g.getImageData(0, 0, 640, 480).data)]);
          }),
        ),
    ),
  );
// Once it runs, quadrants upright in colour order at x 11|333, y 120|360, where the drift takes 120 frames to reach.
const upright = async (blue, f) => (
  await until(() => js(() => demo.state === 'running')),
  (f = await frame()),
  [76811, 77133, 230411, 230733].every(
    (i, k) =>
      f[4 * i] > 127 === (k % 2 === 0) &&
      f[4 * i + 1] > 127 === k < 2 &&
      Math.abs(f[4 * i + 2] - blue) < 40,
  )
); // blue tells which picture it is
// The share of pixels lit where their mirror image across x = 320 is not: none about x, more about z.
const unmirrored = () =>
  frame().then(
    (f, lit = (i) => f[4 * i] + f[4 * i + 1] + f[4 * i + 2] > 0) =>
      Array.from({ length: 307200 }, (_, i) => lit(i) !== lit(i + 639 - 2 * (i % 640))).filter(
        Boolean,
      ).length / 307200,
  );

const checks = [
  ['the picture upright', async () => (await page.goto(process.argv[2]), upright(64))],
  [
    'the title, the heading, focus on the canvas',
    async () =>
      `${title},${title},canvas` ===
      (await js(() => [document.title, heading.innerText, document.activeElement.id])).join(),
  ],
  [
    'Enter sends the cube away',
    async () => (await key('Enter'), until(async () => (await frame())[2] === 0)),
  ],
  [
    'Up turns it about x',
    async () =>
      (await until(async () => (await unmirrored()) > 0.01)) &&
      (await key('ArrowUp'),
      [await unmirrored(), await unmirrored(), await unmirrored()].every((s) => s < 0.001)),
  ],
  [
    'Escape ends it; the page says so',
    async () => (await key('Escape'), until(() => js(() => !ended.hidden))),
  ],
  ['a chosen PNG upright', async () => (await choose('quadrants.png'), upright(192))],
  [
    'a chosen file that is no picture: a word, and the same picture',
    async () =>
      (await choose('package.json'),
      await until(() => js(() => message.innerText.includes('not a picture')))) && upright(192),
  ],
  ['nothing on the console', async () => errors.length === 0 || console.log(errors.join('\n'))],
];
let passed = 0;
for (const [name, run] of checks)
  console.log(`${(await run().catch(console.log)) ? ++passed && 'ok' : 'FAILED'}: ${name}`);
(await browser.close(),
  console.log(`browser: ${passed} passed, ${(process.exitCode = checks.length - passed)} failed`));
