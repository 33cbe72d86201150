'use strict';
// The page around the program (orvalis.js, the C++ demo built by Emscripten).
// The page starts the program with img/logo.bmp in its file system, as a
// folder on the desktop would hold it: first the site's own picture, then any
// picture chosen or dropped here, turned into the bitmap the program reads.
// Escape ends the program as on the desktop; the page then says so, and
// Enter starts it again. The program itself reads only img/logo.bmp.
// One program runs at a time: each start is a new instance of it, and the
// page takes off what an ended one left behind, so that it can be freed.
// For a person who asks for less motion, the page shows the picture still
// until they start the demo.

const demo = {
  canvas: document.getElementById('canvas'),
  // 'waiting' (for the site's picture and the program), 'still' (for the person
  // to start it), 'loading', 'running', 'ended' or 'no WebGL'
  state: 'waiting',
  picture: null, // the bytes of img/logo.bmp for the next start
  restart: false, // to start again as soon as the program has ended
  lost: false, // the browser took the program's WebGL context away
  keys: [], // keys pressed on the on-screen buttons before the program ran
  chosen: 0, // pictures chosen so far, so that only the last one is used
  listeners: [], // what the program added to window and document
  frames: 0, // frames the browser showed, for measuring the frame rate
};
const notes = document.getElementById('notes');
const ended = document.getElementById('ended');
const still = document.getElementById('still');
const message = document.getElementById('message');
const output = document.getElementById('output');

// The program's script, loaded by the page so that a host without it is said
// so, and tried again at the next start.
function loadProgram() {
  return new Promise((loaded, failed) => {
    const script = document.createElement('script');
    script.src = 'orvalis.js';
    script.onload = loaded;
    script.onerror = () => {
      script.remove();
      failed(new Error('orvalis.js could not be loaded from the site'));
    };
    document.body.append(script);
  });
}

// Each start gets a fresh canvas, so a new WebGL context. The new canvas
// takes the focus from the old one and from what the start hides; focus
// elsewhere, on the file chooser say, stays there.
function start() {
  if (typeof Orvalis !== 'function') {
    demo.state = 'loading';
    loadProgram().then(start, failed);
    return;
  }
  const focused = document.activeElement;
  const canvas = demo.canvas.cloneNode();
  demo.canvas.replaceWith(canvas);
  if ([demo.canvas, document.body, null].includes(focused) || notes.contains(focused)) {
    canvas.focus();
  }
  demo.canvas = canvas;
  // The program's WebGL context is made here, as its GLUT display mode asks
  // (RGBA, double-buffered, a depth buffer, no alpha in the canvas), so that
  // a browser that gives none is told before the program starts: Emscripten's
  // GLUT would go on without one and fail.
  const context = canvas.getContext('webgl', { alpha: false, antialias: false, depth: true });
  if (!context) return withoutWebGL();
  demo.state = 'loading';
  ended.hidden = true;
  still.hidden = true;
  output.textContent = '';
  // A browser takes WebGL away on a GPU reset, a driver update, too many
  // contexts, or a phone's tab in the background: the program ends, the page
  // says so, and the demo starts again when WebGL is back, or on Enter.
  canvas.addEventListener('webglcontextlost', (event) => {
    event.preventDefault(); // asks the browser to give it back, and to say so
    demo.lost = true;
    if (demo.state === 'running') press('Escape');
  });
  canvas.addEventListener('webglcontextrestored', () => {
    if (canvas === demo.canvas && demo.state === 'ended') start();
  });
  Orvalis({
    canvas,
    preinitializedWebGLContext: context,
    instantiateWasm: instantiate,
    print: show,
    printErr: (line) => console.log(line),
    preRun: [
      (program) => {
        program.FS.mkdir('/img');
        if (demo.picture) program.FS.writeFile('/img/logo.bmp', demo.picture);
      },
    ],
    postRun: [
      () => {
        demo.state = 'running';
        // A picture chosen, or WebGL taken away, while it started: it ends at once.
        if (demo.restart || demo.lost) press('Escape');
        else demo.keys.splice(0).forEach(press);
      },
    ],
    onExit: stopped,
    onAbort: failed,
  }).catch(() => {}); // failed() has said why
}

// The program's code, compiled once for all its starts: compiled anew each
// time, it left about 200 KiB of the page's memory behind a start.
let compiled = null;
function compile() {
  compiled = fetch('orvalis.wasm')
    .then((response) => {
      if (!response.ok) throw new Error(`orvalis.wasm: ${response.status} ${response.statusText}`);
      return response.arrayBuffer();
    })
    .then((bytes) => WebAssembly.compile(bytes));
  compiled.catch(() => {}); // a start says why it failed
}
function instantiate(imports, receive) {
  if (!compiled) compile();
  compiled
    .then((module) => WebAssembly.instantiate(module, imports))
    .then(receive, (error) => {
      compiled = null; // to fetch it again at the next start
      failed(error);
    });
  return {}; // the program's exports come later, through receive
}

// The program could not start or go on, for instance out of memory: the page
// says why, and Enter tries again.
function failed(reason) {
  show(`The demo stopped: ${reason}`);
  stopped();
}

// The program has ended: it is released, then started again or the page says
// so. Focus stays where it was: on the canvas, Enter starts it again.
function stopped() {
  release();
  demo.state = 'ended';
  if (demo.lost) {
    demo.lost = false;
    show(
      "The browser took the demo's WebGL away; it starts again when WebGL is back, or on Enter.",
    );
  }
  if (demo.restart) {
    demo.restart = false;
    start();
  } else {
    ended.hidden = false;
  }
}

// Each instance of the program holds its memory (16 MiB and more) and a WebGL
// context. Emscripten's GLUT takes its own listeners off window when the
// program exits, but its browser layer leaves four "pointerlockchange"
// listeners on document that hold the whole instance, so no ended program was
// ever freed and the page ran out of memory after about 120 starts. Whatever
// the program added to window and document is taken off here.
function release() {
  for (const [target, args] of demo.listeners.splice(0)) target.removeEventListener(...args);
}

// What the program adds to window and document, to be taken off when it ends.
// The page adds none while a program starts or runs.
for (const target of [window, document]) {
  const add = target.addEventListener.bind(target);
  target.addEventListener = (...args) => {
    if (['loading', 'running'].includes(demo.state)) demo.listeners.push([target, args]);
    add(...args);
  };
}

// A line the program printed, such as "Error loading texture!".
function show(line) {
  output.textContent += line + '\n';
}

// When Escape ends the program, Emscripten throws ExitStatus out of the key
// handler that called exit(). That is no error, so the page does not report it.
window.addEventListener('error', (event) => {
  if (event.error && event.error.name === 'ExitStatus') event.preventDefault();
});

// The keys as the program's GLUT reads them.
const keyCodes = {
  Enter: 13,
  Escape: 27,
  ArrowLeft: 37,
  ArrowUp: 38,
  ArrowRight: 39,
  ArrowDown: 40,
};

// Presses a key as the keyboard would: the on-screen buttons, and to restart.
function press(key) {
  const init = {
    key,
    keyCode: keyCodes[key],
    which: keyCodes[key],
    bubbles: true,
    cancelable: true,
  };
  demo.canvas.dispatchEvent(new KeyboardEvent('keydown', init));
  demo.canvas.dispatchEvent(new KeyboardEvent('keyup', init));
}

// GLUT takes every key it knows from the page and stops what the browser
// would do with it (Tab, F5). Keys the demo has no use for go to the browser,
// and so do Enter and Space on a button, the file chooser or a link, which
// press or open it there as on any page.
const demoKeys = new Set([...Object.keys(keyCodes), 'd', 'e', 'f', 'g']);
const controls = 'button, input, select, textarea, a[href], summary';
window.addEventListener(
  'keydown',
  (event) => {
    const onControl = ['Enter', ' '].includes(event.key) && event.target.closest?.(controls);
    if (!demoKeys.has(event.key) || onControl) event.stopImmediatePropagation();
  },
  true,
);
window.addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && ['ended', 'still'].includes(demo.state)) {
    event.preventDefault();
    start();
  }
});

// The on-screen keys. Pressed before the program runs, they wait for its
// start, as a key typed ahead would; Enter starts a still or ended demo.
for (const button of document.querySelectorAll('#buttons button')) {
  button.addEventListener('click', () => {
    const key = button.dataset.key;
    if (demo.state === 'running') {
      press(key);
      demo.canvas.focus();
    } else if (['ended', 'still'].includes(demo.state) && key === 'Enter') {
      start();
    } else {
      demo.keys.push(key);
    }
  });
}
document.getElementById('again').addEventListener('click', start);
document.getElementById('start').addEventListener('click', start);

// A picture the browser can draw. createImageBitmap decodes most kinds off
// the page's thread; what it refuses, such as SVG, an <img> may still draw.
async function decode(file) {
  try {
    return await createImageBitmap(file);
  } catch {
    const image = new Image();
    image.src = URL.createObjectURL(file);
    try {
      await image.decode();
    } finally {
      URL.revokeObjectURL(image.src);
    }
    return image;
  }
}

// Any picture the browser can draw, as a 24-bit bitmap, bottom row first,
// blue-green-red: a square whose side is the largest power of two up to 512
// that the picture's longer side reaches, so every OpenGL takes it. A
// picture with no size at all (an SVG without one, in some browsers) is
// drawn at 512.
async function toBitmap(file) {
  const image = await decode(file);
  const longer = Math.min(512, Math.max(image.width, image.height) || 512);
  const side = 2 ** Math.floor(Math.log2(longer));
  const canvas = document.createElement('canvas');
  canvas.width = canvas.height = side;
  const context = canvas.getContext('2d');
  context.fillStyle = '#fff'; // what is transparent in the picture shows white
  context.fillRect(0, 0, side, side);
  context.drawImage(image, 0, 0, side, side);
  // A decoded picture's memory (64 MiB at 4096²) goes now, not at some later
  // garbage collection.
  image.close?.();
  const rgba = context.getImageData(0, 0, side, side).data;
  const rowBytes = (3 * side + 3) & ~3; // rows are padded to whole words
  const bitmap = new Uint8Array(54 + rowBytes * side);
  const header = new DataView(bitmap.buffer);
  bitmap.set([0x42, 0x4d]); // "BM"
  for (const [offset, value] of [
    [2, bitmap.length],
    [10, 54],
    [14, 40],
    [18, side],
    [22, side],
    [34, rowBytes * side],
  ])
    header.setUint32(offset, value, true);
  header.setUint16(26, 1, true); // one plane
  header.setUint16(28, 24, true); // bits per pixel
  for (let y = 0; y < side; ++y) {
    for (let x = 0; x < side; ++x) {
      const from = 4 * ((side - 1 - y) * side + x);
      const to = 54 + y * rowBytes + 3 * x;
      bitmap[to] = rgba[from + 2];
      bitmap[to + 1] = rgba[from + 1];
      bitmap[to + 2] = rgba[from];
    }
  }
  return { bitmap, side };
}

// The width and height a picture's header gives, for the kinds a browser may
// refuse for their size alone: PNG, GIF, BMP, JPEG and WebP; else nothing.
async function headerSize(file) {
  const bytes = new Uint8Array(await file.slice(0, 1 << 18).arrayBuffer());
  const view = new DataView(bytes.buffer);
  const text = (at, count) => String.fromCharCode(...bytes.subarray(at, at + count));
  if (text(1, 3) === 'PNG') return [view.getUint32(16), view.getUint32(20)];
  if (text(0, 3) === 'GIF') return [view.getUint16(6, true), view.getUint16(8, true)];
  if (text(0, 2) === 'BM') return [view.getInt32(18, true), Math.abs(view.getInt32(22, true))];
  if (text(0, 4) === 'RIFF' && text(12, 4) === 'VP8X') {
    const side = (at) => (view.getUint32(at, true) & 0xffffff) + 1;
    return [side(24), side(27)];
  }
  // A JPEG's size is in its first frame header, one of the markers C0 to
  // CF but C4, C8 and CC, which follow one another from byte 2, each with
  // its length.
  for (let at = 2; at + 9 < bytes.length && view.getUint8(at) === 0xff;) {
    const marker = view.getUint8(at + 1);
    if (marker >= 0xc0 && marker <= 0xcf && ![0xc4, 0xc8, 0xcc].includes(marker))
      return [view.getUint16(at + 7), view.getUint16(at + 5)];
    at += 2 + view.getUint16(at + 2);
  }
  return null;
}

// Why a file is no picture on the cube: one too large for the browser to
// decode (over 16384² pixels) is said so, with its size.
async function refusal(file) {
  const size = await headerSize(file).catch(() => null);
  if (size && size[0] * size[1] > 16384 * 16384) {
    const pixels = `${size[0]} × ${size[1]} pixels`;
    return `“${file.name}” is ${pixels}, too large for this browser to open`;
  }
  return `“${file.name}” is not a picture this browser can open`;
}

async function choose(files) {
  if (files.length === 0 || demo.state === 'no WebGL') return;
  const choice = ++demo.chosen;
  for (const file of files) {
    const picture = await toBitmap(file).catch(() => null);
    if (choice !== demo.chosen) return;
    if (picture) return wear(file.name, picture);
  }
  const what =
    files.length === 1
      ? await refusal(files[0])
      : 'None of these files is a picture this browser can open';
  if (choice !== demo.chosen) return;
  message.textContent = `${what}; the demo goes on with the picture it had.`;
}

// The picture goes on the cube: the program starts again with it, or first
// starts with it if the site's own picture has not arrived yet. A still demo
// shows it, still.
function wear(name, picture) {
  const size = `${picture.side} × ${picture.side} pixels`;
  message.textContent = `The cube wears “${name}”, ${size}.`;
  demo.picture = picture.bitmap;
  if (demo.state === 'ended') {
    start();
  } else if (demo.state === 'still') {
    showStill();
  } else if (demo.state !== 'waiting') {
    demo.restart = true;
    if (demo.state === 'running') press('Escape');
  }
}

const chooser = document.getElementById('chooser');
chooser.addEventListener('change', () => {
  choose([...chooser.files]);
  chooser.value = '';
});
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', (event) => {
  event.preventDefault();
  choose([...event.dataTransfer.files]);
});

(function count() {
  demo.frames += 1;
  requestAnimationFrame(count);
})();

// Without WebGL the program cannot draw. The page says so where the canvas
// would be, and starts nothing.
function withoutWebGL() {
  demo.state = 'no WebGL';
  demo.canvas.hidden = true;
  document.getElementById('no-webgl').hidden = false;
  for (const control of document.querySelectorAll('button, input')) control.disabled = true;
}

// Whether the browser gives the page WebGL. A page's first WebGL context
// blocks its thread while the browser readies its GPU side, for up to a
// second on a phone or a software renderer, so a worker asks first, and the
// program's own context then comes quickly. A browser without WebGL in
// workers is asked on the page. Either context is let go at once. The worker
// is kept, idle: ending it cost Chromium's page thread 140 ms. (Chromium's
// --disable-webgl leaves workers theirs: the program's context, made by
// start(), has the last word.)
let prober = null;
function hasWebGL() {
  const ask = (canvas) => {
    const context = canvas.getContext('webgl');
    context?.getExtension('WEBGL_lose_context')?.loseContext();
    return context !== null;
  };
  const onPage = () => ask(document.createElement('canvas'));
  if (typeof OffscreenCanvas !== 'function') return Promise.resolve(onPage());
  const code = `postMessage((${ask})(new OffscreenCanvas(1, 1)))`;
  const source = URL.createObjectURL(new Blob([code], { type: 'text/javascript' }));
  prober = new Worker(source);
  URL.revokeObjectURL(source);
  return new Promise((answer) => {
    prober.onmessage = (event) => answer(event.data || onPage());
    prober.onerror = () => answer(onPage());
  });
}

// Before the person starts it: the picture still, a sentence and a button.
function showStill() {
  demo.state = 'still';
  const picture = document.getElementById('still-picture');
  URL.revokeObjectURL(picture.src);
  picture.hidden = !demo.picture;
  if (demo.picture) picture.src = URL.createObjectURL(new Blob([demo.picture]));
  still.hidden = false;
}

// What the first start needs, asked for side by side once the page is on
// the screen, so that they take nothing from its first paint, not even the
// GPU's time: the site's own picture (unless one is chosen while it comes;
// without, the program says so), the program and its code, and whether
// there is WebGL. A page opened in the background, which paints nothing,
// loads after two seconds.
let loading = false;
function load() {
  if (loading) return;
  loading = true;
  const sitePicture = fetch('img/logo.bmp')
    .then((response) => (response.ok ? response.arrayBuffer() : null))
    .catch(() => null);
  const program = loadProgram().catch(() => {}); // a start says why, and tries again
  compile();
  hasWebGL().then(async (webgl) => {
    if (!webgl) return withoutWebGL();
    const bytes = await sitePicture;
    if (bytes) demo.picture ??= new Uint8Array(bytes);
    await program;
    if (matchMedia('(prefers-reduced-motion: reduce)').matches) showStill();
    else start();
  });
}
if (PerformanceObserver.supportedEntryTypes?.includes('paint')) {
  new PerformanceObserver(load).observe({ type: 'paint', buffered: true });
} else {
  requestAnimationFrame(() => setTimeout(load));
}
setTimeout(load, 2000);

// The site kept for the next visit, offline too (sw.js), registered once the
// page has loaded, as is usual, so that it takes nothing from the page's own
// requests; its own requests ask the host whether what the browser has just
// fetched is current.
window.addEventListener('load', () => {
  navigator.serviceWorker?.register('sw.js').catch(() => {}); // the next visit uses the network
});
