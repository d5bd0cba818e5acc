// The built page in headless Chromium for the page's test files: the site
// served from its files on loopback under a nested folder (so that its
// addresses must be relative), Debian's Chromium driven by playwright-core,
// and the waits and checks every page test uses.
import assert from 'node:assert/strict';
import { mkdir, readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { extname, join, normalize, sep } from 'node:path';

// playwright-core and axe-core live in the build tree's node_modules, named by NODE_PATH.
const require = createRequire(import.meta.url);
const { chromium } = require('playwright-core');
const axe_source = require.resolve('axe-core/axe.min.js');

export const site = process.env.FOURFIFTHS_WEB_SITE;
export const screenshots = process.env.FOURFIFTHS_WEB_SCREENSHOTS;
assert.ok(site && screenshots, 'FOURFIFTHS_WEB_SITE and FOURFIFTHS_WEB_SCREENSHOTS are set (run through ctest)');

export const laptop = { width: 1366, height: 900 };
export const phone = { width: 390, height: 844 };

const prefix = '/some/folder/';
const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
};

function serve(root) {
  // Addresses of megabytes reach the page (Node.js refuses headers beyond
  // 16 kB by default, as many servers refuse long addresses).
  const server = createServer({ maxHeaderSize: 8 * 1024 * 1024 }, async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const relative = path.startsWith(prefix) ? normalize(path.slice(prefix.length) || 'index.html') : null;
    if (relative === null || relative.startsWith('..') || relative.includes(`${sep}..`)) {
      response.writeHead(404).end();
      return;
    }
    try {
      const body = await readFile(join(root, relative));
      response.writeHead(200, { 'content-type': types[extname(relative)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

/** The site served and a browser started; `close` ends both. */
export async function start() {
  await mkdir(screenshots, { recursive: true });
  const server = await serve(site);
  const base = `http://127.0.0.1:${server.address().port}${prefix}`;
  // Without the networking flags Chromium keeps calling out to hosts that
  // this machine's closed network refuses.
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });

  /**
   * A page opened at `query` and settled (unless `wait` is false), its
   * problems (errors, failed requests) collected.
   */
  async function open(query = '', viewport = laptop, wait = true) {
    const context = await browser.newContext({ viewport, acceptDownloads: true });
    const page = await context.newPage();
    const problems = [];
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    page.on('console', (message) => {
      if (message.type() === 'error' || message.type() === 'warning') problems.push(`console: ${message.text()}`);
    });
    page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
    await page.goto(`${base}${query}`);
    if (wait) {
      await page.waitForFunction(() => performance.getEntriesByName('fourfifths:first-result').length > 0);
      await settled(page);
    }
    return { page, problems, close: () => context.close() };
  }

  return {
    base,
    open,
    close: async () => {
      await browser.close();
      server.close();
    },
  };
}

/** Waits until the page has drawn its answers and written its address. */
export const settled = (page) => page.waitForFunction(() => document.documentElement.dataset.state === 'settled');

/** Does `action`, then waits for the page to have recomputed and settled. */
export async function recomputed(page, action) {
  const count = () => page.evaluate(() => performance.getEntriesByName('fourfifths:compute').length);
  const before = await count();
  await action();
  await page.waitForFunction((n) => performance.getEntriesByName('fourfifths:compute').length > n, before);
  await settled(page);
}

/** axe-core's violations on the page as it is now, as "rule: target" lines. */
export async function axe_violations(page) {
  await page.addScriptTag({ path: axe_source });
  const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
  return result.violations.flatMap((v) => v.nodes.map((n) => `${v.id}: ${n.target.join(' ')}`));
}

export const field = (page, path) => page.locator(`[data-path="${path}"]`);

/** The scenario the page keeps in its address. */
export function scenario_in_address(page) {
  const text = new URL(page.url()).searchParams.get('scenario');
  assert.ok(text, `the address has a scenario: ${page.url()}`);
  return JSON.parse(text);
}

/** Every error message shown, as text. */
export const errors_shown = (page) => page.locator('[data-testid="field-error"]').allTextContents();

/** The fields marked invalid, and what describes each. */
export const invalid_fields = (page) => page.evaluate(() => Array.from(document.querySelectorAll('#scenario [aria-invalid="true"]'))
  .map((e) => ({ path: e.dataset.path, described: (e.getAttribute('aria-describedby') ?? '').split(' ')
    .map((id) => document.getElementById(id)?.textContent.trim() ?? '').join(' ') })));

/** A screenshot of the whole page into the screenshots' folder. */
export async function screenshot(page, name) {
  const path = join(screenshots, name);
  await page.screenshot({ path, fullPage: true });
  return path;
}

/** Pastes a text into a cell of the matrix, as a spreadsheet's copy arrives. */
export function paste_into(page, path, text) {
  return page.evaluate(([at, pasted]) => {
    const cell = document.querySelector(`[data-path="${at}"]`);
    const data = new DataTransfer();
    data.setData('text/plain', pasted);
    cell.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true, cancelable: true }));
  }, [path, text]);
}
