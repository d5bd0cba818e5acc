import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

// Vite's settings for the page. The build (web/CMakeLists.txt) passes every
// path in the build tree through the environment, so that nothing is written
// into the source tree; the file imports nothing but Node.js's own modules, as
// the packages live in the build tree, not beside it.
const env = (name) => {
  const value = process.env[name];
  if (!value) {
    throw new Error(`${name} is not set: build the page with cmake --build --preset web`);
  }
  return value;
};

// A browser refuses a page opened from a file (file://) its module script
// and engine beside it. The build writes, besides index.html, the whole page
// as one file, fourfifths.html: its style, its script and the engine's
// bytes (base64) inline, which works when opened from a file. index.html
// loses its crossorigin attributes, so that opened from a file it is at
// least styled and says what to do (its inline script).
function single_file() {
  let out_dir = '';
  return {
    name: 'fourfifths-single-file',
    apply: 'build',
    configResolved(config) { out_dir = config.build.outDir; },
    closeBundle() {
      const index = join(out_dir, 'index.html');
      const html = readFileSync(index, 'utf8').replace(/ crossorigin(="[^"]*")?/g, '');
      writeFileSync(index, html);
      const assets = join(out_dir, 'assets');
      const wasm = readdirSync(assets).find((f) => f.endsWith('.wasm'));
      const inline_asset = (path) => readFileSync(join(out_dir, path), 'utf8');
      let single = html.replace(/<link rel="stylesheet" href="\.\/([^"]+)">/, (_, path) =>
        `<style>${inline_asset(path)}</style>`);
      single = single.replace(/<script type="module" src="\.\/([^"]+)"><\/script>/, (_, path) => {
        const code = inline_asset(path).replace(/<\/(script)/gi, '<\\/$1');
        const bytes = readFileSync(join(assets, wasm)).toString('base64');
        return `<script>window.fourfifths_single_file = true; window.fourfifths_wasm = "${bytes}";</script>\n` +
          `<script type="module">${code}</script>`;
      });
      if (single.includes('src="./assets/') || single.includes('href="./assets/')) {
        throw new Error('fourfifths.html still refers to a file beside it');
      }
      writeFileSync(join(out_dir, 'fourfifths.html'), single);
    },
  };
}

export default {
  plugins: [single_file()],
  root: new URL('.', import.meta.url).pathname,
  // Relative addresses, so the site can be served from any folder.
  base: './',
  cacheDir: env('FOURFIFTHS_WEB_CACHE'),
  publicDir: false,
  resolve: {
    alias: {
      '@engine': env('FOURFIFTHS_WEB_ENGINE'),
      // The bundled scenarios, offered as presets.
      '@examples': env('FOURFIFTHS_WEB_EXAMPLES'),
    },
  },
  build: {
    outDir: env('FOURFIFTHS_WEB_SITE'),
    emptyOutDir: true,
    // Top-level await loads the engine before the page answers.
    target: 'es2022',
    reportCompressedSize: false,
  },
};
