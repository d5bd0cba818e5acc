// Vite's settings for the page. The build (web/CMakeLists.txt) passes every
// path in the build tree through the environment, so that nothing is written
// into the source tree; the file imports nothing, as the packages live in the
// build tree, not beside it.
const env = (name) => {
  const value = process.env[name];
  if (!value) {
    throw new Error(`${name} is not set: build the page with cmake --build --preset web`);
  }
  return value;
};

export default {
  root: new URL('.', import.meta.url).pathname,
  // Relative addresses, so the site can be served from any folder.
  base: './',
  cacheDir: env('FOURFIFTHS_WEB_CACHE'),
  publicDir: false,
  resolve: {
    alias: { '@engine': env('FOURFIFTHS_WEB_ENGINE') },
  },
  build: {
    outDir: env('FOURFIFTHS_WEB_SITE'),
    emptyOutDir: true,
    // Top-level await loads the engine before the page answers.
    target: 'es2022',
    reportCompressedSize: false,
  },
};
