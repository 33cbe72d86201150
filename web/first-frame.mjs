// How long after navigation the demo draws its first frame, in Debian's
// headless Chromium, each run in a fresh browser (a first visit):
// node web/first-frame.mjs URL [RUNS] [slow-4g]
// slow-4g throttles the page's network to 1.6 Mbit/s down, 750 kbit/s up,
// and 150 ms of latency; the page then gets no service worker, whose own
// requests that throttling does not reach. Prints each run's time and the
// median, in ms.
import puppeteer from 'puppeteer-core';

const [url, runs = 5, network] = process.argv.slice(2);
const slow4g = {
  offline: false,
  latency: 150,
  downloadThroughput: 200_000,
  uploadThroughput: 93_750,
};

// Notes the time of the page's first WebGL draw call.
function timeFirstDraw() {
  const prototype = WebGLRenderingContext.prototype;
  for (const name of ['drawArrays', 'drawElements']) {
    const draw = prototype[name];
    prototype[name] = function (...args) {
      window.firstDraw ??= performance.now();
      return draw.apply(this, args);
    };
  }
}

async function firstFrame() {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
  try {
    const page = await browser.newPage();
    if (network === 'slow-4g') {
      const session = await page.createCDPSession();
      await session.send('Network.emulateNetworkConditions', slow4g);
      await page.evaluateOnNewDocument(() => delete Navigator.prototype.serviceWorker);
    }
    await page.evaluateOnNewDocument(timeFirstDraw);
    await page.goto(url);
    return await (
      await page.waitForFunction(() => window.firstDraw, { timeout: 60_000 })
    ).jsonValue();
  } finally {
    await browser.close();
  }
}

const times = [];
for (let run = 0; run < runs; ++run) times.push(Math.round(await firstFrame()));
const sorted = times.toSorted((a, b) => a - b);
console.log(`${times.join(' ')} ms; median ${sorted[Math.floor(sorted.length / 2)]} ms`);
