// The built page in headless Chromium (Debian's), driven by playwright-core:
// served on loopback from a nested folder, it must answer the first value,
// follow what is typed, and load without errors. It prints the download size
// and the time to the first answer, and leaves a screenshot.
import assert from 'node:assert/strict';
import { mkdir, readFile, readdir, stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { extname, join, normalize, sep } from 'node:path';
import { after, before, test } from 'node:test';

// playwright-core lives in the build tree's node_modules, named by NODE_PATH.
const { chromium } = createRequire(import.meta.url)('playwright-core');

const site = process.env.FOURFIFTHS_WEB_SITE;
const screenshots = process.env.FOURFIFTHS_WEB_SCREENSHOTS;
assert.ok(site && screenshots, 'FOURFIFTHS_WEB_SITE and FOURFIFTHS_WEB_SCREENSHOTS are set (run through ctest)');

// Q(z) from Python's mpmath at 40 digits, to six significant digits:
//   mpmath.nstr(mpmath.ncdf(-mpmath.mpf(z)), 6)
const first_answer = { z: '1.96', shown: '0.0249979' };
const typed_answer = { z: '2.5', shown: '0.00620967' };
const below_mean = { z: '-0.5', shown: '0.691462' };

// Served from a folder below the root, so that the page's addresses must be
// relative to work.
const prefix = '/some/folder/';
const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
};

async function serve(root) {
  const server = createServer(async (request, response) => {
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
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return server;
}

async function site_bytes(folder) {
  let total = 0;
  for (const entry of await readdir(folder, { withFileTypes: true, recursive: true })) {
    if (entry.isFile()) total += (await stat(join(entry.parentPath ?? entry.path, entry.name))).size;
  }
  return total;
}

let server;
let browser;
before(async () => {
  server = await serve(site);
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    // Without the networking flags Chromium keeps calling out to hosts that
    // this machine's closed network refuses. Playwright gives it a fresh
    // empty profile (--user-data-dir) of its own.
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
});
after(async () => {
  await browser?.close();
  server?.close();
});

test('the page answers, follows typing, and loads without errors', async () => {
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warning') problems.push(`console: ${message.text()}`);
  });
  page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
  const bodies = [];
  page.on('response', (response) => {
    if (response.status() !== 200) problems.push(`HTTP ${response.status()}: ${response.url()}`);
    else bodies.push(response.body());
  });

  const { port } = server.address();
  await page.goto(`http://127.0.0.1:${port}${prefix}`);
  const input = page.getByTestId('z-input');
  const result = page.getByTestId('result');

  await page.waitForFunction(() => performance.getEntriesByName('fourfifths:first-result').length > 0);
  assert.equal(await input.inputValue(), first_answer.z);
  assert.equal(await result.textContent(), first_answer.shown);
  const first_ms = await page.evaluate(() => performance.getEntriesByName('fourfifths:first-result')[0].startTime);

  // Typed key by key, as a person would: every keystroke recomputes.
  await input.fill('');
  await input.pressSequentially(typed_answer.z);
  await page.waitForFunction((shown) => document.querySelector('[data-testid="result"]').textContent === shown, typed_answer.shown);

  await input.fill('');
  await input.pressSequentially('-');
  await page.waitForFunction(() => document.querySelector('[data-testid="result"]').dataset.state === 'error');
  await input.pressSequentially(below_mean.z.slice(1));
  await page.waitForFunction((shown) => document.querySelector('[data-testid="result"]').textContent === shown, below_mean.shown);

  await input.fill('');
  await input.pressSequentially(typed_answer.z);
  await page.waitForFunction((shown) => document.querySelector('[data-testid="result"]').textContent === shown, typed_answer.shown);
  await mkdir(screenshots, { recursive: true });
  await page.screenshot({ path: join(screenshots, 'page.png') });

  assert.deepEqual(problems, []);
  const transferred = (await Promise.all(bodies)).reduce((sum, body) => sum + body.length, 0);
  console.log(`site: ${await site_bytes(site)} bytes in files, ${transferred} bytes transferred`);
  console.log(`first answer ${first_ms.toFixed(1)} ms after navigation started`);
  await page.close();
});
