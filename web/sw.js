'use strict';
// The service worker: it keeps the site's files, so that the next visit starts
// the demo without the network. The build names this release by its version
// and a digest of the files; a changed name is a new sw.js, which the browser
// finds at the next visit: it keeps the new files whole, then drops the old
// ones. Every path is relative, so a site in a sub-folder keeps its own.

const release = '@SITE_RELEASE@';
const files = [
  './',
  'page.js',
  'orvalis.js',
  'orvalis.wasm',
  'img/logo.bmp',
  'manifest.webmanifest',
  'favicon.ico',
];
// The caches of this site's releases, apart from other sites on the same host.
const ours = `orvalis ${registration.scope} `;
const cacheName = ours + release;
// The page asked for by its name, which is kept as the site's address.
const page = new URL('index.html', registration.scope).href;

// The new release's files, each checked with the host: one the browser has
// just fetched for the page is not fetched again, and a changed one is. If one
// fails, the release before stays.
self.addEventListener('install', (event) => {
  const requests = files.map((file) => new Request(file, { cache: 'no-cache' }));
  event.waitUntil(
    caches
      .open(cacheName)
      .then((cache) => cache.addAll(requests))
      .then(() => self.skipWaiting()),
  );
});

self.addEventListener('activate', (event) => {
  const old = (name) => name.startsWith(ours) && name !== cacheName;
  event.waitUntil(
    caches
      .keys()
      .then((names) => Promise.all(names.filter(old).map((name) => caches.delete(name)))),
  );
});

// A kept file comes from the cache, whatever its query; the page itself also
// as index.html. Anything else goes to the network.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  const key = request.url.split('?')[0] === page ? registration.scope : request;
  event.respondWith(
    caches
      .open(cacheName)
      .then((cache) => cache.match(key, { ignoreSearch: true }))
      .then((kept) => kept ?? fetch(request)),
  );
});
