'use strict';
// The page around the program (orvalis.js, the C++ demo built by Emscripten).
// The page starts the program with img/logo.bmp in its file system, as a
// folder on the desktop would hold it: first the site's own picture, then any
// picture chosen or dropped here, turned into the bitmap the program reads.
// Escape ends the program as on the desktop; the page then says so, and
// Enter starts it again. The program itself reads only img/logo.bmp.

const demo = {
  canvas: document.getElementById('canvas'),
  state: 'loading', // 'loading', 'running', 'ended' or 'no WebGL'
  picture: null, // the bytes of img/logo.bmp for the next start
  restart: false, // to start again as soon as the program has ended
  frames: 0, // frames the browser showed, for measuring the frame rate
};
const ended = document.getElementById('ended');
const message = document.getElementById('message');
const output = document.getElementById('output');

// Each start gets a fresh canvas, so a new WebGL context.
function start() {
  const canvas = demo.canvas.cloneNode();
  demo.canvas.replaceWith(canvas);
  demo.canvas = canvas;
  demo.state = 'loading';
  ended.hidden = true;
  output.textContent = '';
  output.hidden = true;
  canvas.focus();
  Orvalis({
    canvas,
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
        if (demo.restart) press('Escape');
      },
    ],
    onExit: () => {
      demo.state = 'ended';
      if (demo.restart) {
        demo.restart = false;
        start();
      } else {
        ended.hidden = false;
        document.getElementById('again').focus();
      }
    },
  });
}

// A line the program printed, such as "Error loading texture!".
function show(line) {
  output.textContent += line + '\n';
  output.hidden = false;
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
// would do with it (Tab, F5). Keys the demo has no use for go to the browser.
const demoKeys = new Set([...Object.keys(keyCodes), 'd', 'e', 'f', 'g']);
window.addEventListener(
  'keydown',
  (event) => {
    if (!demoKeys.has(event.key)) event.stopImmediatePropagation();
  },
  true,
);
window.addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && demo.state === 'ended') {
    event.preventDefault();
    start();
  }
});

for (const button of document.querySelectorAll('#buttons button')) {
  button.addEventListener('click', () => {
    press(button.dataset.key);
    if (demo.state === 'running') demo.canvas.focus();
  });
}
document.getElementById('again').addEventListener('click', start);

// Any picture the browser can open, as a 24-bit bitmap, bottom row first,
// blue-green-red: a square whose side is the largest power of two up to 512
// that the picture's longer side reaches, so every OpenGL takes it.
async function toBitmap(file) {
  const image = await createImageBitmap(file);
  const longer = Math.min(512, Math.max(image.width, image.height));
  const side = 2 ** Math.floor(Math.log2(longer));
  const canvas = document.createElement('canvas');
  canvas.width = canvas.height = side;
  const context = canvas.getContext('2d');
  context.fillStyle = '#fff'; // what is transparent in the picture shows white
  context.fillRect(0, 0, side, side);
  context.drawImage(image, 0, 0, side, side);
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

async function choose(file) {
  if (!file || demo.state === 'no WebGL') return;
  let picture;
  try {
    picture = await toBitmap(file);
  } catch {
    message.textContent =
      `“${file.name}” is not a picture this browser can open; ` +
      'the demo goes on with the picture it had.';
    return;
  }
  const size = `${picture.side} × ${picture.side} pixels`;
  message.textContent = `The cube wears “${file.name}”, ${size}.`;
  demo.picture = picture.bitmap;
  if (demo.state === 'ended') {
    start();
  } else {
    demo.restart = true;
    if (demo.state === 'running') press('Escape');
  }
}

const chooser = document.getElementById('chooser');
chooser.addEventListener('change', () => {
  choose(chooser.files[0]);
  chooser.value = '';
});
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', (event) => {
  event.preventDefault();
  choose(event.dataTransfer.files[0]);
});

(function count() {
  demo.frames += 1;
  requestAnimationFrame(count);
})();

// Without WebGL the program cannot draw: Emscripten's GLUT would get no
// context and leave it stalled without a word. The page says so where the
// canvas would be, and starts nothing.
function withoutWebGL() {
  demo.state = 'no WebGL';
  demo.canvas.hidden = true;
  document.getElementById('no-webgl').hidden = false;
  for (const control of document.querySelectorAll('button, input')) control.disabled = true;
}

if (!document.createElement('canvas').getContext('webgl')) {
  withoutWebGL();
} else {
  // The site's own picture, if it has one; without, the program says so.
  fetch('img/logo.bmp')
    .then((response) => (response.ok ? response.arrayBuffer() : null))
    .then((bytes) => {
      demo.picture = bytes && new Uint8Array(bytes);
      start();
    }, start);
}
