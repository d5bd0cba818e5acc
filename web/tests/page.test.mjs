// The built page in headless Chromium (Debian's), driven by playwright-core,
// served from the built files on loopback under a nested folder. What it
// shows is checked against the native explorer (fourfifths-explore of the
// release build) run on the same scenario here. The test prints the
// time to the first result (web/bench/page_bench.mjs measures the sizes and
// times and holds them to their budgets), and
// leaves screenshots in FOURFIFTHS_WEB_SCREENSHOTS.
import assert from 'node:assert/strict';
import { mkdir, readFile, readdir, stat, writeFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { extname, join, normalize, sep } from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  assert_csv_close, explore, explorer_lines, precise_error, precise_tolerance, source,
} from './support.mjs';

// playwright-core lives in the build tree's node_modules, named by NODE_PATH.
const { chromium } = createRequire(import.meta.url)('playwright-core');

const site = process.env.FOURFIFTHS_WEB_SITE;
const screenshots = process.env.FOURFIFTHS_WEB_SCREENSHOTS;
assert.ok(site && screenshots, 'FOURFIFTHS_WEB_SITE and FOURFIFTHS_WEB_SCREENSHOTS are set (run through ctest)');

const published_path = join(source, 'examples/published_four_predictors.json');
const published = JSON.parse(await readFile(published_path, 'utf8'));

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

async function site_files(folder) {
  const files = [];
  for (const entry of await readdir(folder, { withFileTypes: true, recursive: true })) {
    if (entry.isFile()) {
      const path = join(entry.parentPath ?? entry.path, entry.name);
      files.push({ path, size: (await stat(path)).size });
    }
  }
  return files;
}

let server;
let browser;
let base;
before(async () => {
  await mkdir(screenshots, { recursive: true });
  server = await serve(site);
  base = `http://127.0.0.1:${server.address().port}${prefix}`;
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

const laptop = { width: 1366, height: 900 };
const phone = { width: 390, height: 844 };

/** A page opened at `query`, its problems (errors, failed requests) collected. */
async function open(query = '', viewport = laptop) {
  const context = await browser.newContext({ viewport, acceptDownloads: true });
  const page = await context.newPage();
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
  await page.goto(`${base}${query}`);
  await page.waitForFunction(() => performance.getEntriesByName('fourfifths:first-result').length > 0);
  await settled(page);
  return { page, problems, bodies, close: () => context.close() };
}

const computations = (page) => page.evaluate(() => performance.getEntriesByName('fourfifths:compute').length);

/** Waits until the page has drawn its answers and written its address. */
const settled = (page) => page.waitForFunction(() => document.documentElement.dataset.state === 'settled');

/** Does `action`, then waits for the page to have recomputed and settled. */
async function recomputed(page, action) {
  const before_count = await computations(page);
  await action();
  await page.waitForFunction((n) => performance.getEntriesByName('fourfifths:compute').length > n, before_count);
  await settled(page);
}

const field = (page, path) => page.locator(`[data-path="${path}"]`);

/** The form's values by path (radios: the checked one's value). */
function form_values(page) {
  return page.evaluate(() => {
    const values = {};
    for (const element of document.querySelectorAll('#scenario [data-path]')) {
      if (element.type === 'radio') {
        if (element.checked) values[element.dataset.path] = element.value;
      } else values[element.dataset.path] = element.value;
    }
    return values;
  });
}

/** The scenario the page keeps in its address. */
function scenario_in_address(page) {
  const text = new URL(page.url()).searchParams.get('scenario');
  assert.ok(text, `the address has a scenario: ${page.url()}`);
  return JSON.parse(text);
}

/** The minimum, the table's values and the front's points as shown. */
function shown(page) {
  return page.evaluate(() => {
    const cells = (selector) => Array.from(document.querySelectorAll(selector)).map((td) => ({
      column: td.dataset.column, value: td.dataset.value ?? null, text: td.textContent.trim(),
    }));
    return {
      minimum: document.querySelector('[data-testid="four-fifths-minimum"]').textContent.trim(),
      minimum_value: document.querySelector('[data-testid="four-fifths-minimum"]').dataset.value ?? null,
      table: cells('[data-testid="outcomes-table"] td[data-column]'),
      front: Array.from(document.querySelectorAll('[data-testid="front-table"] tbody tr')).map((tr) =>
        Array.from(tr.querySelectorAll('td[data-column]')).map((td) => Number(td.dataset.value))),
      answer: document.querySelector('[data-testid="min-ai-answer"]').textContent.trim(),
      ai_chart: document.querySelector('[data-testid="ai-chart"]').innerHTML,
      front_chart: document.querySelector('[data-testid="front-chart"]').innerHTML,
      errors: Array.from(document.querySelectorAll('[data-testid="field-error"]')).map((e) => e.textContent.trim()),
      warnings: Array.from(document.querySelectorAll('[data-testid="warning"]')).map((e) => e.textContent.trim()),
    };
  });
}

/**
 * What the page shows agrees with the native explorer on `scenario`: the
 * minimum to three decimals, every table value within the precise method's
 * tolerance (and shown as it rounds), the front's points and the answer for
 * the minimum impact ratio (0.8 unless the page was set to another).
 */
function assert_agrees_with_explorer(view, scenario, what, min_ai = 0.8) {
  const text = JSON.stringify(scenario);
  const ratio = scenario.requested_ratios[0];
  const table = JSON.parse(explore(['table', '-', '--format', 'json'], text).stdout);
  const minimum = table.four_fifths_minimum;
  assert.equal(view.minimum, minimum ? minimum.target.toFixed(3) : 'none', `${what}: the minimum`);
  if (minimum) {
    assert.ok(precise_error('sr', Number(view.minimum_value), minimum.target) <= precise_tolerance, what);
  }

  const native = explore(['table', '-', '--ratios', String(ratio)], text);
  assert.equal(native.status, 0, native.stderr);
  const [header, row] = native.stdout.trim().split('\n').map((line) => line.split(','));
  const want = Object.fromEntries(header.map((column, i) => [column, row[i]]));
  assert.ok(view.table.length >= 12, `${what}: the table has its cells`);
  for (const cell of view.table) {
    if (want[cell.column] === '') {
      assert.equal(cell.value, null, `${what}: ${cell.column} is empty`);
      assert.equal(cell.text.split(' ')[0], '—');
      continue;
    }
    const value = Number(cell.value);
    assert.ok(precise_error(cell.column, value, Number(want[cell.column])) <= precise_tolerance,
      `${what}: ${cell.column} ${cell.value}, the explorer ${want[cell.column]}`);
    assert.equal(cell.text.split(' ')[0], value.toFixed(4).replace('-', '\u2212'), `${what}: ${cell.column} as shown`);
  }

  if (scenario.criteria.length === 0) return;
  const pareto = ['pareto', '-', '--ratio', String(ratio), ...(scenario.mode === 'majority' ? ['--majority'] : [])];
  const front = JSON.parse(explore([...pareto, '--format', 'json'], text).stdout);
  const quality = front.objective === 'mean' ? 'mean' : 'validity';
  assert.equal(view.front.length, front.points.length, `${what}: the front's points`);
  for (const [k, point] of front.points.entries()) {
    const [ai, q, ...weights] = view.front[k];
    assert.ok(precise_error('ai_ratio', ai, point.ai_ratio) <= 1e-9, `${what}: point ${k + 1} impact ratio`);
    assert.ok(Math.abs(q - point[quality]) <= 1e-9, `${what}: point ${k + 1} ${quality}`);
    weights.forEach((w, j) => assert.ok(Math.abs(w - point.weight_list[j]) <= 1e-9, `${what}: point ${k + 1} w${j + 1}`));
  }
  const best = explore([...pareto, '--min-ai', String(min_ai), '--format', 'json'], text);
  const answer = JSON.parse(best.stdout);
  assert.match(view.answer, answer.reached ? /^The best weighting/ : /^No weighting reaches/, what);
  for (const [j, w] of answer.weighting.weight_list.entries()) {
    const name = front.predictors[j];
    assert.ok(view.answer.includes(`${name} ${w.toFixed(3).replace('-', '\u2212')}`),
      `${what}: the answer names ${name} ${w.toFixed(3)}: ${view.answer}`);
  }
}

async function screenshot(page, name) {
  const path = join(screenshots, name);
  await page.screenshot({ path, fullPage: true });
  return path;
}

/** A download the page offers on clicking `selector`, as text. */
async function downloaded(page, selector) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
  const path = join(tmpdir(), `fourfifths-page-${process.pid}-${download.suggestedFilename()}`);
  await download.saveAs(path);
  return { name: download.suggestedFilename(), text: await readFile(path, 'utf8') };
}

describe('the page', () => {
  test('loads from the built files with the published example, without errors', async () => {
    const { page, problems, bodies, close } = await open();
    const [ready_ms, first_ms] = await page.evaluate(() => ['fourfifths:engine-ready', 'fourfifths:first-result']
      .map((name) => performance.getEntriesByName(name)[0].startTime));
    const view = await shown(page);
    assert.deepEqual(view.errors, []);
    assert_agrees_with_explorer(view, published, 'published example');
    assert.deepEqual(await page.evaluate(() => document.documentElement.lang), 'en');
    await screenshot(page, 'page-laptop.png');
    assert.deepEqual(problems, []);

    const files = await site_files(site);
    const transferred = (await Promise.all(bodies)).reduce((sum, body) => sum + body.length, 0);
    const by_kind = files.map((f) => `${f.path.slice(site.length + 1)} ${f.size}`).join(', ');
    console.log(`site: ${files.reduce((s, f) => s + f.size, 0)} bytes in ${files.length} files (${by_kind}); ${transferred} bytes transferred`);
    console.log(`first result ${first_ms.toFixed(0)} ms after navigation started (the engine ready at ${ready_ms.toFixed(0)} ms)`);
    await close();
  });

  test('each preset fills the form and agrees with the explorer', async () => {
    const { page, problems, close } = await open();
    const presets = await page.locator('[data-preset]').evaluateAll((buttons) => buttons.map((b) => b.dataset.preset));
    const examples = (await readdir(join(source, 'examples'))).filter((f) => f.endsWith('.json')).sort();
    assert.deepEqual([...presets].sort(), examples);
    assert.equal(presets[0], 'published_four_predictors.json', 'the published example comes first');
    for (const name of presets) {
      const file = JSON.parse(await readFile(join(source, 'examples', name), 'utf8'));
      await recomputed(page, () => page.click(`[data-preset="${name}"]`));
      const values = await form_values(page);
      assert.equal(values.title, file.title, name);
      assert.equal(values.mode, file.mode, name);
      assert.equal(values.weights, file.weights === 'regression' ? 'regression' : 'given', name);
      file.predictors.forEach((p, i) => {
        assert.equal(values[`predictors[${i}].name`], p.name, name);
        // With several groups the groups give the effect sizes.
        if (!file.groups) assert.equal(Number(values[`predictors[${i}].d`]), p.d, name);
      });
      file.correlations.forEach((row, i) => row.forEach((r, j) => {
        assert.equal(Number(values[`correlations[${i}][${j}]`]), r, `${name} [${i}][${j}]`);
      }));
      // The page's scenario is the file's, with its selection ratio (the
      // first requested ratio, 0.1 when the file gives none).
      const scenario = scenario_in_address(page);
      const expected = { ...file, requested_ratios: file.requested_ratios ?? [0.1] };
      assert.equal(explore(['convert', '-', '--to', 'json'], JSON.stringify(scenario)).stdout,
        explore(['convert', '-', '--to', 'json'], JSON.stringify(expected)).stdout, name);
      // Several groups' numbers are checked against the explorer's group
      // table in the tests of several groups.
      if (!file.groups) assert_agrees_with_explorer(await shown(page), scenario, name);
    }
    assert.deepEqual(problems, []);
    await close();
  });

  test('editing a correlation sets its mirror and redraws the charts', async () => {
    const { page, problems, close } = await open();
    const before_view = await shown(page);
    await recomputed(page, () => field(page, 'correlations[0][4]').fill('0.5'));
    assert.equal(await field(page, 'correlations[4][0]').inputValue(), '0.5');
    const scenario = scenario_in_address(page);
    assert.equal(scenario.correlations[0][4], 0.5);
    assert.equal(scenario.correlations[4][0], 0.5);
    const after_view = await shown(page);
    assert.notEqual(after_view.ai_chart, before_view.ai_chart, 'the plot is redrawn');
    assert.notEqual(after_view.front_chart, before_view.front_chart, 'the front is redrawn');
    assert_agrees_with_explorer(after_view, scenario, 'after the edit');

    // Typed key by key, as a person would, in the lower triangle.
    await field(page, 'correlations[3][2]').fill('');
    await field(page, 'correlations[3][2]').pressSequentially('0.45', { delay: 20 });
    await page.waitForFunction(() => new URL(location.href).searchParams.get('scenario').includes('0.45'));
    await settled(page);
    assert.equal(await field(page, 'correlations[2][3]').inputValue(), '0.45');
    assert_agrees_with_explorer(await shown(page), scenario_in_address(page), 'after typing');
    assert.deepEqual(problems, []);
    await close();
  });

  test('a bad value shows the explorer\'s message beside it and no numbers', async () => {
    const { page, close } = await open();
    await recomputed(page, () => field(page, 'predictors[1].d').fill('abc'));
    const scenario = scenario_in_address(page);
    assert.equal(scenario.predictors[1].d, 'abc');
    const native = explore(['table', '-'], JSON.stringify(scenario));
    assert.deepEqual(explorer_lines(native.stderr), ['predictors[1].d: must be a finite number']);
    // Beside the field: in its own table cell, the field marked.
    const message = page.locator('td:has([data-path="predictors[1].d"]) [data-testid="field-error"]');
    assert.equal(await message.textContent(), 'must be a finite number');
    assert.equal(await field(page, 'predictors[1].d').getAttribute('aria-invalid'), 'true');
    let view = await shown(page);
    assert.deepEqual(view.errors, ['must be a finite number']);
    assert.equal(view.minimum, '—');
    assert.deepEqual(view.table, []);
    assert.equal(view.ai_chart, '');
    assert.equal(view.front_chart, '');
    assert.deepEqual(view.front, []);
    assert.ok(await page.locator('[data-download]').evaluateAll((b) => b.every((x) => x.disabled)));
    await screenshot(page, 'page-bad-value.png');

    // A correlation outside [-1, 1] and a mix outside its range: each
    // message by its field, as the explorer words it.
    await recomputed(page, () => field(page, 'predictors[1].d').fill('-0.23'));
    await recomputed(page, () => field(page, 'correlations[1][2]').fill('1.5'));
    await page.selectOption('[data-path="mix_kind"]', 'minority_share');
    await recomputed(page, () => field(page, 'mix').fill('1.25'));
    view = await shown(page);
    const lines = explorer_lines(explore(['table', '-'], JSON.stringify(scenario_in_address(page))).stderr);
    assert.deepEqual(lines.sort(), [
      'correlations[1][2]: must lie in [-1, 1]',
      'correlations[2][1]: must lie in [-1, 1]',
      'minority_share: must lie strictly between 0 and 1',
    ]);
    assert.equal(view.errors.length, 3);
    assert.ok(view.errors.includes('must lie strictly between 0 and 1'));
    assert.ok(view.errors.includes('The correlation of structured interview with conscientiousness: must lie in [-1, 1]'),
      view.errors.join(' | '));
    assert.equal(await field(page, 'correlations[2][1]').getAttribute('aria-invalid'), 'true');
    assert.equal(view.minimum, '—');

    // Mended, the numbers come back.
    await recomputed(page, () => field(page, 'correlations[1][2]').fill('0.12'));
    await recomputed(page, () => field(page, 'mix').fill('0.25'));
    view = await shown(page);
    assert.deepEqual(view.errors, []);
    assert_agrees_with_explorer(view, scenario_in_address(page), 'mended');
    await close();
  });

  test('a matrix that is not positive definite shows a warning', async () => {
    const { page, close } = await open();
    // Three predictors correlating 0.9, 0.9 and -0.9: x'Rx < 0 for x = (1, -1, 1).
    await recomputed(page, () => field(page, 'correlations[0][1]').fill('0.9'));
    await recomputed(page, () => field(page, 'correlations[1][2]').fill('0.9'));
    await recomputed(page, () => field(page, 'correlations[0][2]').fill('-0.9'));
    const view = await shown(page);
    const native = explore(['table', '-'], JSON.stringify(scenario_in_address(page)));
    const warnings = explorer_lines(native.stderr, 'warning');
    assert.equal(warnings.length, 1);
    assert.deepEqual(view.warnings, [`Warning: ${warnings[0].replace(/^correlations: /, '')}`]);
    // The outcomes are computed; the front is not, and says why, as the
    // explorer does.
    const minimum = JSON.parse(explore(['table', '-', '--format', 'json'], JSON.stringify(scenario_in_address(page))).stdout).four_fifths_minimum;
    assert.equal(view.minimum, minimum ? minimum.target.toFixed(3) : 'none');
    assert.ok(view.table.length > 0, 'the outcomes are shown');
    const pareto = explore(['pareto', '-', '--ratio', '0.1'], JSON.stringify(scenario_in_address(page)));
    assert.equal(pareto.status, 2);
    const refusal = pareto.stderr.trim().split('\n').at(-1);
    assert.match(refusal, /not positive definite/);
    // Said in plain words, not the library's.
    assert.equal(view.errors.length, 1);
    assert.match(view.errors[0], /^No front: the correlations among the predictors are not positive definite/);
    assert.doesNotMatch(view.errors[0], /pareto:|\br is\b/);
    assert.equal(view.front_chart, '');
    // Regression weights from such a block give no composite: the note
    // says so (not the cut score), and no empty chart is drawn.
    const rows = JSON.parse(explore(['table', '-', '--format', 'json'], JSON.stringify(scenario_in_address(page))).stdout).rows;
    if (rows.every((r) => r.status !== 'solved')) {
      const note = await page.locator('#outcomes-note').textContent();
      assert.match(note, /no proper variance/);
      assert.doesNotMatch(note, /cut score gives/i);
      assert.equal(await page.locator('[data-testid="ai-chart"] svg').count(), 0);
    }
    await screenshot(page, 'page-warning.png');
    await close();
  });

  test('a deck file opens, by the file picker and by dropping it', async () => {
    const { page, problems, close } = await open();
    const deck = join(source, 'examples/regression_weights.deck');
    await recomputed(page, () => page.setInputFiles('#file', deck));
    const values = await form_values(page);
    assert.equal(values['predictors[0].name'], 'P1');
    assert.equal(values['criteria[0].name'], 'C1');
    assert.match(await page.locator('#load-status').textContent(), /regression_weights\.deck \(a deck\)/);
    const scenario = scenario_in_address(page);
    // The explorer's JSON form of the deck, with the page's ratio (the
    // deck's first requested ratio).
    const converted = JSON.parse(explore(['convert', deck, '--to', 'json']).stdout);
    assert.deepEqual({ ...scenario, requested_ratios: converted.requested_ratios }, converted);
    assert_agrees_with_explorer(await shown(page), scenario, 'the deck');
    await screenshot(page, 'page-deck.png');

    // A JSON scenario dropped on the page.
    const text = await readFile(join(source, 'examples/majority_criterion.json'), 'utf8');
    await recomputed(page, () => page.evaluate((content) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([content], 'dropped.json', { type: 'application/json' }));
      for (const type of ['dragover', 'drop']) {
        document.body.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
      }
    }, text));
    assert.equal((await form_values(page)).mode, 'majority');
    assert.match(await page.locator('#load-status').textContent(), /dropped\.json/);

    // A deck the program refuses: its own lines, and the scenario stays.
    const refused = join(source, 'tests/golden/conformance/invalid', (await readdir(join(source, 'tests/golden/conformance/invalid'))).find((f) => f.endsWith('.deck')));
    await page.setInputFiles('#file', refused);
    await page.waitForFunction(() => document.querySelector('#load-status').textContent.includes('could not be read'));
    await settled(page);
    const native = explorer_lines(explore(['convert', '-', '--to', 'json'], await readFile(refused)).stderr);
    const shown_errors = await page.locator('#load-status [data-testid="field-error"]').allTextContents();
    assert.deepEqual(shown_errors, native);
    assert.equal((await form_values(page)).mode, 'majority');
    assert.deepEqual(problems, []);
    await close();
  });

  test('the address reproduces the scenario', async () => {
    // A link made by hand: index.html?scenario=<URL-encoded JSON>.
    const text = await readFile(published_path, 'utf8');
    let opened = await open(`index.html?scenario=${encodeURIComponent(text)}`);
    assert.deepEqual(scenario_in_address(opened.page), published);
    const first = await shown(opened.page);
    // Edited, then the address opened afresh.
    await recomputed(opened.page, () => field(opened.page, 'predictors[0].name').fill('general mental ability'));
    await recomputed(opened.page, () => field(opened.page, 'correlations[1][3]').fill('0.2'));
    await recomputed(opened.page, () => opened.page.check('[data-path="weights"][value="given"]'));
    await recomputed(opened.page, () => field(opened.page, 'requested_ratios[0]').fill('0.25'));
    await recomputed(opened.page, () => opened.page.locator('#min-ai').fill('0.6'));
    assert.match(opened.page.url(), /min_ai=0\.6/);
    const link = opened.page.url();
    const values = await form_values(opened.page);
    const view = await shown(opened.page);
    assert.notDeepEqual(view.table, first.table);
    await opened.close();

    opened = await open(link.slice(base.length));
    assert.deepEqual(await form_values(opened.page), values);
    const again = await shown(opened.page);
    assert.deepEqual({ ...again, ai_chart: '', front_chart: '' }, { ...view, ai_chart: '', front_chart: '' });
    assert.equal(await opened.page.locator('#min-ai').inputValue(), '0.6');
    assert_agrees_with_explorer(again, scenario_in_address(opened.page), 'reopened', 0.6);
    assert.deepEqual(opened.problems, []);
    await opened.close();

    // An address whose scenario is not JSON: the explorer's message, and
    // the published example instead.
    opened = await open('index.html?scenario=%7B%22mode%22%3A');
    const status = await opened.page.locator('#load-status [data-testid="field-error"]').allTextContents();
    assert.deepEqual(status, explorer_lines(explore(['table', '-'], '{"mode":').stderr));
    assert.deepEqual(scenario_in_address(opened.page), published);
    await opened.close();

    // A key the schema lacks is refused as the explorer refuses it: never
    // dropped with the scenario computed without it.
    const misspelt = structuredClone(published);
    misspelt.predictors[0].wieght = 1;
    const misspelt_text = JSON.stringify(misspelt);
    opened = await open(`index.html?scenario=${encodeURIComponent(misspelt_text)}`);
    const refused = await opened.page.locator('#load-status [data-testid="field-error"]').allTextContents();
    assert.deepEqual(refused, explorer_lines(explore(['table', '-'], misspelt_text).stderr));
    assert.deepEqual(scenario_in_address(opened.page), published);
    await opened.close();
  });

  test('an effect size at the end of the model leaves nothing of the scenario before it', async () => {
    const { page, close } = await open();
    const before = await shown(page);
    assert.ok(before.front.length > 0);
    await recomputed(page, () => field(page, 'predictors[0].d').fill('1e300'));
    const view = await shown(page);
    // Whatever the engine says of such a scenario, the front and the
    // outcomes of the published example are gone.
    assert.notDeepEqual(view.front, before.front);
    assert.notDeepEqual(view.table, before.table);
    assert.equal(await page.evaluate(() => document.documentElement.dataset.state), 'settled');
    await recomputed(page, () => field(page, 'predictors[0].d').fill('-1'));
    assert.ok((await shown(page)).front.length > 0);
    await close();
  });

  test('downloads: the table as the explorer\'s CSV, the charts as its SVG, the scenario as its JSON', async () => {
    const { page, close } = await open();
    const text = JSON.stringify(published);
    const csv = await downloaded(page, '[data-download="csv"]');
    assert.match(csv.name, /\.csv$/);
    assert_csv_close(csv.text, explore(['table', '-', '--ratios', '0.1'], text).stdout, 'the CSV');
    const plot = await downloaded(page, '[data-download="ai-svg"]');
    assert.equal(plot.text, explore(['plot', '-', '-o', '-'], text).stdout);
    const front_svg = join(tmpdir(), `fourfifths-page-${process.pid}-front.svg`);
    explore(['pareto', '-', '--ratio', '0.1', '--min-ai', '0.8', '--plot', front_svg], text);
    assert.equal((await downloaded(page, '[data-download="front-svg"]')).text, await readFile(front_svg, 'utf8'));
    const front_csv = await downloaded(page, '[data-download="front-csv"]');
    assert_csv_close(front_csv.text, explore(['pareto', '-', '--ratio', '0.1'], text).stdout, 'the front');
    const saved = await downloaded(page, '#save');
    assert.equal(saved.text, explore(['convert', '-', '--to', 'json'], text).stdout);
    await close();
  });

  test('every control is labelled, and the keyboard reaches and works them', async () => {
    const { page, close } = await open();
    const unlabelled = await page.evaluate(() => Array.from(document.querySelectorAll('input, select, button'))
      .filter((e) => {
        const label = e.labels?.length ? Array.from(e.labels).map((l) => l.textContent).join('') : '';
        const named = e.getAttribute('aria-label') || label.trim() || (e.tagName === 'BUTTON' && e.textContent.trim());
        return !named && e.type !== 'radio';
      })
      .map((e) => e.outerHTML.slice(0, 80)));
    assert.deepEqual(unlabelled, []);
    const radios_outside_fieldsets = await page.locator('input[type="radio"]').evaluateAll(
      (radios) => radios.filter((r) => !r.closest('fieldset')?.querySelector('legend') || !r.closest('label')).length);
    assert.equal(radios_outside_fieldsets, 0);

    // Tab goes through the form in reading order.
    await field(page, 'title').focus();
    const tab_order = [];
    for (let i = 0; i < 4; i += 1) {
      await page.keyboard.press('Tab');
      tab_order.push(await page.evaluate(() => document.activeElement.dataset.path ?? document.activeElement.id));
    }
    assert.deepEqual(tab_order, ['requested_ratios[0]', 'ratio-slider', 'mode', 'mix_kind']);
    // A preset by the keyboard.
    await page.locator('[data-preset="majority_criterion.json"]').focus();
    await recomputed(page, () => page.keyboard.press('Enter'));
    assert.equal((await form_values(page)).mode, 'majority');
    await recomputed(page, () => page.locator('[data-preset="published_four_predictors.json"]').press('Space'));
    assert.equal((await form_values(page)).mode, 'overall');

    // "Add a predictor" and Enter: a fifth predictor, focus kept.
    const add = page.locator('button[data-add="predictors"]');
    await add.focus();
    await recomputed(page, () => page.keyboard.press('Enter'));
    assert.equal(await page.locator('[data-path^="predictors["][data-path$="].d"]').count(), 5);
    assert.equal(await page.evaluate(() => document.activeElement.dataset.add), 'predictors');
    // Into the new row's effect size (the weights are regression weights here).
    await field(page, 'predictors[4].d').focus();
    await page.keyboard.press('Control+A');
    await recomputed(page, () => page.keyboard.type('-0.5'));
    assert.equal(scenario_in_address(page).predictors[4].d, -0.5);
    assert.equal(scenario_in_address(page).correlations.length, 6);
    // The selection ratio's slider moves with the arrow keys.
    await page.locator('#ratio-slider').focus();
    await recomputed(page, () => page.keyboard.press('ArrowRight'));
    assert.equal(await field(page, 'requested_ratios[0]').inputValue(), '0.11');
    await close();
  });

  test('fits a phone\'s width', async () => {
    const { page, problems, close } = await open('', phone);
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    assert.ok(overflow <= 0, `the page is ${overflow} pixels wider than the phone`);
    // The charts are drawn for the narrow screen: panels one above another.
    const view_box = await page.locator('[data-testid="ai-chart"] svg').getAttribute('viewBox');
    const [, , width, height] = view_box.split(' ').map(Number);
    assert.ok(height > width, `the plot's panels are stacked (${view_box})`);
    await screenshot(page, 'page-phone.png');
    assert.deepEqual(problems, []);
    await close();
  });
});

// axe-core, from the front end's packages, run in the page.
const axe_source = createRequire(import.meta.url).resolve('axe-core/axe.min.js');

/** axe-core's violations on the page as it is now, as "rule: target" lines. */
async function axe_violations(page) {
  await page.addScriptTag({ path: axe_source });
  const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
  return result.violations.flatMap((v) => v.nodes.map((n) => `${v.id}: ${n.target.join(' ')}`));
}

/** The fields marked invalid, and what describes each. */
const invalid_fields = (page) => page.evaluate(() => Array.from(document.querySelectorAll('#scenario [aria-invalid="true"]'))
  .map((e) => ({ path: e.dataset.path, described: (e.getAttribute('aria-describedby') ?? '').split(' ')
    .map((id) => document.getElementById(id)?.textContent.trim() ?? '').join(' ') })));

/** Three minority groups on the published example's four predictors and criterion. */
function three_groups() {
  const s = structuredClone(published);
  delete s.majority_per_minority;
  const d = [...s.predictors, ...s.criteria].map((v) => v.d);
  for (const v of [...s.predictors, ...s.criteria]) delete v.d;
  s.title = 'Three minority groups';
  s.groups = [
    { name: 'G1', share: 0.15, d },
    { name: 'G2', share: 0.1, d: d.map((x) => x / 2) },
    { name: 'G3', share: 0.05, d: d.map((x) => -x / 4) },
  ];
  s.requested_ratios = [0.3, 0.5];
  return s;
}

describe('the page for practitioners', () => {
  test('every fault shows at once, each field marked and described', async () => {
    const { page, close } = await open();
    await recomputed(page, () => field(page, 'predictors[1].d').fill('abc'));
    await recomputed(page, () => field(page, 'correlations[0][1]').fill('2'));
    await recomputed(page, () => field(page, 'mix').fill('-1'));
    const scenario = scenario_in_address(page);
    // The explorer names the first; with it mended, the others.
    const mended = structuredClone(scenario);
    mended.predictors[1].d = 0;
    const rest = explorer_lines(explore(['table', '-'], JSON.stringify(mended)).stderr);
    assert.ok(rest.length >= 3, rest.join('\n'));
    const view = await shown(page);
    assert.ok(view.errors.includes('must be a finite number'), view.errors.join('\n'));
    for (const line of rest) {
      const [path, message] = [line.slice(0, line.indexOf(': ')), line.slice(line.indexOf(': ') + 2)];
      // In the reader's words: the field's label (or the field itself), never the path.
      assert.ok(view.errors.some((e) => e.endsWith(message) && !/\w\[\d+\]/.test(e)),
        `${line} is shown (${path}): ${view.errors.join(' | ')}`);
    }
    const marked = await invalid_fields(page);
    const by_path = Object.fromEntries(marked.map((m) => [m.path, m.described]));
    assert.match(by_path['predictors[1].d'], /finite number/);
    assert.match(by_path.mix, /positive finite number/);
    assert.ok('correlations[0][1]' in by_path && 'correlations[1][0]' in by_path);
    await screenshot(page, 'page-all-errors.png');

    // All weights zero, and a further requested ratio that is no number.
    await recomputed(page, () => page.click('[data-preset="overall_given_weights.json"]'));
    const weights = await page.locator('[data-path$="].weight"][data-path^="predictors"]').count();
    for (let i = 0; i < weights; i += 1) await recomputed(page, () => field(page, `predictors[${i}].weight`).fill('0'));
    await recomputed(page, () => field(page, 'requested_ratios').fill('0.2, x'));
    const marks = Object.fromEntries((await invalid_fields(page)).map((m) => [m.path, m.described]));
    for (let i = 0; i < weights; i += 1) assert.match(marks[`predictors[${i}].weight`], /must not all be zero/);
    assert.match(marks.requested_ratios, /The 2nd further requested ratio: must be a finite number/);
    await close();
  });

  test('a selection ratio that is no share is refused at its field', async () => {
    const { page, close } = await open();
    for (const ratio of ['1.5', '-0.2', '0', '1']) {
      await recomputed(page, () => field(page, 'requested_ratios[0]').fill(ratio));
      const marked = Object.fromEntries((await invalid_fields(page)).map((m) => [m.path, m.described]));
      assert.match(marked['requested_ratios[0]'] ?? '', /strictly between 0 and 1/, ratio);
      assert.doesNotMatch(await page.locator('#outcomes-note').textContent(), /cut score/, ratio);
    }
    await close();
  });

  test('slips in numbers are named, and signed fields keep a minus key', async () => {
    const { page, close } = await open();
    await recomputed(page, () => field(page, 'predictors[0].d').fill('-0,5'));
    let errors = (await shown(page)).errors;
    assert.ok(errors.some((e) => /decimal point, not a comma \(-0\.5\)/.test(e)), errors.join(' | '));
    await recomputed(page, () => field(page, 'predictors[0].d').fill('-1'));
    await recomputed(page, () => field(page, 'requested_ratios[0]').fill('10%'));
    errors = (await shown(page)).errors;
    assert.ok(errors.some((e) => /a share, not a percentage \(0\.1 for 10%\)/.test(e)), errors.join(' | '));
    // Effect sizes, weights and correlations may be negative: no decimal keypad.
    const keypads = await page.evaluate(() => Array.from(document.querySelectorAll(
      '[data-path$=".d"], [data-path$=".weight"], [data-path^="correlations"], [data-path^="groups"]'))
      .filter((e) => e.getAttribute('inputmode') === 'decimal').length);
    assert.equal(keypads, 0);
    await close();
  });

  test('every effect size 0: the rule holds everywhere, said so', async () => {
    const s = structuredClone(published);
    for (const v of [...s.predictors, ...s.criteria]) v.d = 0;
    const { page, close } = await open(`index.html?scenario=${encodeURIComponent(JSON.stringify(s))}`);
    const table = JSON.parse(explore(['table', '-', '--format', 'json'], JSON.stringify(s)).stdout);
    assert.equal(table.four_fifths_minimum, null);
    assert.ok(table.rows.every((r) => r.passes_four_fifths));
    const note = await page.locator('#minimum-note').textContent();
    assert.match(note, /holds everywhere/);
    assert.doesNotMatch(note, /or nowhere/);
    await close();
  });

  test('a minority scoring higher: the majority is the group protected', async () => {
    const s = structuredClone(published);
    for (const v of [...s.predictors, ...s.criteria]) v.d = -v.d;
    const { page, close } = await open(`index.html?scenario=${encodeURIComponent(JSON.stringify(s))}`);
    const [header, row] = explore(['table', '-', '--ratios', '0.1'], JSON.stringify(s)).stdout.trim().split('\n').map((l) => l.split(','));
    const ai = Number(row[header.indexOf('ai_ratio')]);
    assert.ok(ai > 1.25, `the impact ratio ${ai}`);
    const direction = await page.locator('[data-testid="direction"]').textContent();
    assert.match(direction, /protects the majority/);
    assert.ok(direction.includes((1 / ai).toFixed(3)), direction);
    assert.match(direction, /adverse impact against the majority/);
    const cell = await page.locator('[data-testid="outcomes-table"] td[data-column="ai_ratio"]').textContent();
    assert.doesNotMatch(cell, /meets/);
    assert.match(await page.locator('[data-testid="verdict"]').textContent(), /adverse impact against the majority/);
    await screenshot(page, 'page-minority-higher.png');
    await close();
  });

  test('adding and removing variables stays within what the engine takes', async () => {
    const s = structuredClone(published);
    const { page, close } = await open(`index.html?scenario=${encodeURIComponent(JSON.stringify(s))}`);
    const add = page.locator('button[data-add="predictors"]');
    while (await add.isEnabled()) await recomputed(page, () => add.click());
    const doc = scenario_in_address(page);
    assert.equal(doc.predictors.length + doc.criteria.length, 30);
    assert.deepEqual((await shown(page)).errors, []);
    assert.ok(await page.locator('button[data-add="criteria"]').isDisabled());
    // Down to one predictor: its Remove is disabled.
    await recomputed(page, () => page.click('[data-preset="published_four_predictors.json"]'));
    for (let k = 0; k < 3; k += 1) await recomputed(page, () => page.click('button[data-remove="predictors"][data-index="0"]'));
    assert.ok(await page.locator('button[data-remove="predictors"]').isDisabled());
    assert.deepEqual((await shown(page)).errors, []);
    await close();
  });

  test('files that are no scenario are said to be so in plain words', async () => {
    const { page, close } = await open();
    const png = Buffer.from('89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c4890000000d4944415478da63f8ffff3f0005fe02fea7d6a4b80000000049454e44ae426082', 'hex');
    await page.setInputFiles('#file', { name: 'chart.png', mimeType: 'image/png', buffer: png });
    await page.waitForFunction(() => document.querySelector('#load-status').textContent.includes('could not be read'));
    let text = await page.locator('#load-status [data-testid="field-error"]').allTextContents();
    assert.match(text.join(' '), /not a text file but a PNG image/);
    // Text that is neither JSON nor a deck.
    await page.setInputFiles('#file', { name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('hello\nthese are my notes\n') });
    await page.waitForFunction(() => document.querySelector('#load-status').textContent.includes('notes.txt'));
    text = await page.locator('#load-status [data-testid="field-error"]').allTextContents();
    const native = explore(['convert', '-', '--to', 'json'], 'hello\nthese are my notes\n');
    assert.equal(native.status, 2);
    assert.equal(text.length, 1);
    assert.match(text[0], /not a JSON scenario .* could not be read as a deck/);
    // The reader's own lines stay out of sight, behind a summary.
    assert.ok(await page.locator('#load-status details').count() === 1);
    assert.equal(await page.locator('#load-status details').getAttribute('open'), null);
    await close();
  });

  test('without criteria there is no front and nothing to download of it', async () => {
    const s = structuredClone(published);
    s.criteria = [];
    s.quality = 'predictor';
    s.weights = 'given';
    s.predictors.forEach((p) => { p.weight = 1; });
    s.correlations = s.correlations.slice(0, 4).map((row) => row.slice(0, 4));
    const { page, close } = await open(`index.html?scenario=${encodeURIComponent(JSON.stringify(s))}`);
    assert.ok(await page.locator('[data-download="front-svg"]').isDisabled());
    assert.ok(await page.locator('[data-download="front-csv"]').isDisabled());
    assert.match((await shown(page)).errors.join(' '), /needs at least one criterion/);
    await close();
  });

  test('the front chart\'s labels do not overlap', async () => {
    const { page, close } = await open();
    // Given weights close to the regression weights: their markers nearly meet.
    await recomputed(page, () => page.check('[data-path="weights"][value="given"]'));
    for (const [i, w] of ['0.22', '0.21', '0.07', '0.17'].entries()) {
      await recomputed(page, () => field(page, `predictors[${i}].weight`).fill(w));
    }
    await page.locator('[data-testid="front-chart"]').scrollIntoViewIfNeeded();
    const overlaps = await page.evaluate(() => {
      // Turned text (an axis title) has a box far larger than its letters.
      const boxes = Array.from(document.querySelectorAll('[data-testid="front-chart"] svg text:not([transform])'))
        .map((t) => ({ text: t.textContent, box: t.getBoundingClientRect() })).filter((b) => b.box.width > 0);
      const out = [];
      for (let i = 0; i < boxes.length; i += 1) {
        for (let j = 0; j < i; j += 1) {
          const [a, b] = [boxes[i].box, boxes[j].box];
          if (a.left < b.right - 0.5 && b.left < a.right - 0.5 && a.top < b.bottom - 0.5 && b.top < a.bottom - 0.5) {
            out.push(`${boxes[i].text} / ${boxes[j].text}`);
          }
        }
      }
      return out;
    });
    assert.deepEqual(overlaps, []);
    await close();
  });

  test('chart text is at least 11 pixels on a laptop and a phone', async () => {
    for (const viewport of [laptop, phone]) {
      const { page, close } = await open('', viewport);
      const smallest = await page.evaluate(() => Math.min(...Array.from(document.querySelectorAll('.chart svg')).flatMap((svg) => {
        const scale = svg.getBoundingClientRect().width / Number(svg.getAttribute('viewBox').split(' ')[2]);
        return Array.from(svg.querySelectorAll('text')).map((t) => Number(t.getAttribute('font-size')) * scale);
      })));
      assert.ok(smallest >= 11 - 1e-9, `${viewport.width}: the smallest chart text is ${smallest} pixels`);
      await close();
    }
  });

  test('the table across ratios: built-in ratios, the minimum and the requested ones', async () => {
    const s = structuredClone(published);
    s.requested_ratios = [0.1, 0.35, 0.6];
    const text = JSON.stringify(s);
    const { page, close } = await open(`index.html?scenario=${encodeURIComponent(text)}`);
    await open_across(page);
    const native = JSON.parse(explore(['table', '-', '--format', 'json'], text).stdout).rows;
    const rows = await page.locator('[data-testid="across-ratios-table"] tbody tr').evaluateAll((trs) => trs.map((tr) => ({
      kind: tr.dataset.kind,
      cells: Object.fromEntries(Array.from(tr.querySelectorAll('td[data-value]')).map((td) => [td.dataset.column, Number(td.dataset.value)])),
    })));
    assert.equal(rows.length, native.length);
    assert.deepEqual(rows.map((r) => r.kind), native.map((r) => r.kind));
    assert.deepEqual(rows.filter((r) => r.kind === 'requested').map((r) => r.cells.target), [0.1, 0.35, 0.6]);
    for (const [k, row] of rows.entries()) {
      for (const [column, value] of Object.entries(row.cells)) {
        assert.ok(precise_error(column, value, native[k][column]) <= precise_tolerance, `row ${k} ${column}`);
      }
    }
    const csv = await downloaded(page, '[data-download="across-csv"]');
    assert_csv_close(csv.text, explore(['table', '-'], text).stdout, 'the CSV across ratios');
    await screenshot(page, 'page-across-ratios.png');
    await close();
  });

  test('several minority groups: added in the form, agreeing with the explorer', async () => {
    const { page, problems, close } = await open();
    await recomputed(page, () => page.click('button[data-add="groups"]'));
    await recomputed(page, () => page.click('button[data-add="groups"]'));
    await recomputed(page, () => field(page, 'groups[1].name').fill('Hispanic'));
    await recomputed(page, () => field(page, 'groups[1].d[0]').fill('-0.6'));
    await recomputed(page, () => field(page, 'groups[2].d[0]').fill('0.2'));
    await recomputed(page, () => field(page, 'groups[2].share').fill('0.05'));
    let scenario = scenario_in_address(page);
    assert.equal(scenario.groups.length, 3);
    assert.equal(scenario.groups[0].share, 0.25, 'the first group takes the mix: 1 in 4');
    assert.equal(scenario.majority_per_minority, undefined);
    assert.deepEqual(await page.locator('#scenario [data-testid="field-error"]').allTextContents(), []);
    await assert_groups_agree(page, scenario);
    // The front of several groups: quality against the lowest ratio to the
    // highest rate, the explorer's.
    assert.equal(await page.locator('#front-errors [data-testid="field-error"]').count(), 0);
    const points = await page.locator('[data-testid="front-table"] tbody tr').count();
    assert.ok(points > 1, `${points} points of the front`);
    await screenshot(page, 'page-groups.png');

    // From the address, a scenario with groups opens as it is.
    const three = three_groups();
    await page.goto(`${base}index.html?scenario=${encodeURIComponent(JSON.stringify(three))}`);
    await page.waitForFunction(() => performance.getEntriesByName('fourfifths:first-result').length > 0);
    await settled(page);
    scenario = scenario_in_address(page);
    assert.equal(explore(['convert', '-', '--to', 'json'], JSON.stringify(scenario)).stdout,
      explore(['convert', '-', '--to', 'json'], JSON.stringify(three)).stdout);
    await assert_groups_agree(page, scenario);
    await open_across(page);
    const across = await page.locator('[data-testid="across-ratios-table"] tbody tr').count();
    const native = explore(['table', '-'], JSON.stringify(three)).stdout.trim().split('\n').length - 1;
    assert.equal(across, native, 'a row per ratio and group');
    // Removing groups down to one gives the one-group form back.
    await recomputed(page, () => page.click('button[data-remove="groups"][data-index="2"]'));
    await recomputed(page, () => page.click('button[data-remove="groups"][data-index="1"]'));
    scenario = scenario_in_address(page);
    assert.equal(scenario.groups, undefined);
    assert.equal(scenario.minority_share, 0.15);
    assert_agrees_with_explorer(await shown(page), scenario, 'back to one group');
    assert.deepEqual(problems, []);
    await close();
  });

  test('observed counts: typed or pasted, agreeing with the explorer', async () => {
    const { page, problems, close } = await open();
    const csv = await readFile(join(source, 'examples/observed_hiring.csv'), 'utf8');
    // Pasted from a spreadsheet: tabs between the cells.
    await page.locator('#observed-text').fill(csv.replaceAll(',', '\t'));
    await page.waitForFunction(() => document.documentElement.dataset.observed === 'settled'
      && document.querySelectorAll('[data-testid="observed-table"] tbody tr').length > 0);
    const native = JSON.parse(explore(['observed', '-', '--format', 'json'], csv).stdout).rows;
    const rows = await page.locator('[data-testid="observed-table"] tbody tr').evaluateAll((trs) => trs.map((tr) =>
      Object.fromEntries(Array.from(tr.querySelectorAll('td')).map((td) => [td.dataset.column, td.dataset.value ?? td.textContent]))));
    assert.equal(rows.length, native.length);
    for (const [k, want] of native.entries()) {
      for (const column of ['rate', 'impact_ratio', 'z', 'p_z', 'p_fisher', 'ci_low', 'ci_high']) {
        if (want[column] === null) assert.equal(rows[k][column], '—', `${k} ${column}`);
        else assert.ok(Math.abs(Number(rows[k][column]) - want[column]) <= 1e-15 * Math.max(1, Math.abs(want[column])), `${k} ${column}`);
      }
      for (const column of ['passes_four_fifths', 'one_person_flip']) {
        assert.equal(rows[k][column], want[column] === null ? '—' : String(want[column]), `${k} ${column}`);
      }
      assert.equal(Number(rows[k].applicants), want.applicants);
    }
    assert.equal(await page.locator('[data-testid="observed-chart"] svg').count(), 1);
    await page.locator('#observed-text').scrollIntoViewIfNeeded();
    await screenshot(page, 'page-observed.png');
    // A fault: its line and column.
    await page.locator('#observed-text').fill('group,applicants,selected\nA,10,12\n');
    await page.waitForFunction(() => document.querySelector('#observed-errors').textContent.length > 0);
    const message = await page.locator('#observed-errors').textContent();
    const native_errors = explore(['observed', '-'], 'group,applicants,selected\nA,10,12\n').stderr;
    assert.ok(native_errors.includes(message.split(': ').slice(-1)[0].trim()), `${message} / ${native_errors}`);
    assert.deepEqual(problems, []);
    await close();
  });

  test('a matrix pasted from a spreadsheet, and the matrix as one tab stop', async () => {
    const { page, close } = await open();
    const names = ['a', 'b', 'c', 'd', 'e'];
    // The lower triangle with headings, as a spreadsheet copies it.
    const lower = [['', ...names], ['a', '1'], ['b', '0.3', '1'], ['c', '0.1', '0.2', '1'],
      ['d', '0.2', '0.4', '0.5', '1'], ['e', '0.35', '0.25', '0.15', '0.3', '1']].map((r) => r.join('\t')).join('\n');
    await recomputed(page, () => page.evaluate((text) => {
      const cell = document.querySelector('[data-path="correlations[2][2]"]');
      const data = new DataTransfer();
      data.setData('text/plain', text);
      cell.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true, cancelable: true }));
    }, lower));
    const doc = scenario_in_address(page);
    assert.deepEqual(doc.correlations, [[1, 0.3, 0.1, 0.2, 0.35], [0.3, 1, 0.2, 0.4, 0.25], [0.1, 0.2, 1, 0.5, 0.15],
      [0.2, 0.4, 0.5, 1, 0.3], [0.35, 0.25, 0.15, 0.3, 1]]);
    assert.match(await page.locator('#paste-status').textContent(), /5 × 5 lower triangle/);
    assert_agrees_with_explorer(await shown(page), doc, 'the pasted matrix');
    // A whole matrix, comma-separated, by the text box.
    await page.click('.paste-box summary');
    await page.fill('#paste-text', doc.correlations.map((r) => r.map((x) => (x === 0.3 ? 0.31 : x)).join(',')).join('\n'));
    await recomputed(page, () => page.click('#paste-apply'));
    assert.equal(scenario_in_address(page).correlations[0][1], 0.31);

    // One Tab stop: the arrows move inside.
    const cells = await page.evaluate(() => Array.from(document.querySelectorAll('input.cell')).filter((c) => c.tabIndex >= 0).length);
    assert.equal(cells, 1);
    await field(page, 'correlations[0][0]').focus();
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowRight');
    assert.equal(await page.evaluate(() => document.activeElement.dataset.path), 'correlations[1][1]');
    await page.keyboard.press('Tab');
    const after = await page.evaluate(() => document.activeElement.dataset.path ?? document.activeElement.id);
    assert.ok(!String(after).startsWith('correlations'), `Tab leaves the matrix (to ${after})`);
    await page.keyboard.press('Shift+Tab');
    assert.equal(await page.evaluate(() => document.activeElement.dataset.path), 'correlations[1][1]', 'and comes back to the cell left');
    await close();
  });

  test('the verdict stays in view while the matrix is edited', async () => {
    for (const viewport of [laptop, phone]) {
      const { page, close } = await open('', viewport);
      await field(page, 'correlations[3][2]').scrollIntoViewIfNeeded();
      await recomputed(page, () => field(page, 'correlations[3][2]').fill('0.4'));
      const box = await page.locator('[data-testid="verdict"]').boundingBox();
      assert.ok(box.y >= 0 && box.y + box.height <= viewport.height, `${viewport.width}: the verdict at ${box.y}`);
      assert.match(await page.locator('[data-testid="verdict"]').textContent(), /Four-fifths minimum 0\.\d{3} · At 0\.1: impact ratio/);
      await page.screenshot({ path: join(screenshots, `page-sticky-${viewport.width}.png`) });
      await close();
    }
  });

  test('axe-core finds no violation on a laptop and a phone', async () => {
    for (const viewport of [laptop, phone]) {
      const { page, close } = await open('', viewport);
      await open_across(page);
      await page.click('details:has(#front-points) summary');
      await page.click('#observed-example');
      await page.waitForFunction(() => document.querySelectorAll('[data-testid="observed-table"] tbody tr').length > 0);
      assert.deepEqual(await axe_violations(page), [], `${viewport.width} pixels`);
      await close();
    }
    // With several groups and with errors too.
    const { page, close } = await open(`index.html?scenario=${encodeURIComponent(JSON.stringify(three_groups()))}`, phone);
    await recomputed(page, () => field(page, 'groups[0].d[1]').fill('x'));
    assert.deepEqual(await axe_violations(page), [], 'groups with an error');
    await close();
  });

  test('a baseline to compare with, and a preset that can be undone', async () => {
    const { page, close } = await open();
    const before = await shown(page);
    await recomputed(page, () => page.click('#pin-baseline'));
    await recomputed(page, () => field(page, 'predictors[0].d').fill('-0.5'));
    const diff = await page.locator('[data-testid="baseline-table"] tbody tr').evaluateAll((trs) => trs.map((tr) =>
      Object.fromEntries(Array.from(tr.querySelectorAll('td')).map((td) => [td.dataset.column, Number(td.dataset.value)]))));
    const after = await shown(page);
    assert.equal(diff[0].baseline, Number(before.minimum_value));
    assert.equal(diff[0].now, Number(after.minimum_value));
    assert.ok(Math.abs(diff[0].difference - (diff[0].now - diff[0].baseline)) < 1e-15);
    // Both curves in the chart: the current ones and the baseline's.
    const legend = await page.locator('[data-testid="ai-chart"] svg text').allTextContents();
    assert.ok(legend.includes('Impact ratio') && legend.includes('baseline: Impact ratio'), legend.join(' | '));
    await page.locator('#baseline').scrollIntoViewIfNeeded();
    await screenshot(page, 'page-baseline.png');
    // A preset replaces the edits; Undo brings them back.
    await recomputed(page, () => page.click('[data-preset="majority_criterion.json"]'));
    assert.equal((await form_values(page)).mode, 'majority');
    await recomputed(page, () => page.click('#undo-replace'));
    assert.equal((await form_values(page))['predictors[0].d'], '-0.5');
    await close();
  });

  test('opened from a file: the single-file page works, index.html says what to do', async () => {
    const context = await browser.newContext({ viewport: laptop });
    const page = await context.newPage();
    const problems = [];
    page.on('pageerror', (error) => problems.push(error.message));
    await page.goto(`file://${join(site, 'fourfifths.html')}`);
    await page.waitForFunction(() => performance.getEntriesByName('fourfifths:first-result').length > 0);
    await settled(page);
    assert_agrees_with_explorer(await shown(page), published, 'the single file');
    assert.deepEqual(problems, []);
    await page.goto(`file://${join(site, 'index.html')}`);
    await page.waitForFunction(() => /fourfifths\.html/.test(document.querySelector('#minimum-note').textContent));
    // Styled: the style sheet beside it loads.
    assert.equal(await page.evaluate(() => getComputedStyle(document.querySelector('.verdict-bar')).position), 'sticky');
    await screenshot(page, 'page-from-file.png');
    await context.close();
  });
});

/** Opens the table across ratios, which is filled when it opens. */
async function open_across(page) {
  await page.click('#across summary');
  await page.waitForFunction(() => document.querySelectorAll('[data-testid="across-ratios-table"] tbody tr').length > 0);
}

/** The groups' numbers on the page against the explorer's table of the scenario. */
async function assert_groups_agree(page, scenario) {
  const text = JSON.stringify(scenario);
  const ratio = scenario.requested_ratios[0];
  const native = JSON.parse(explore(['table', '-', '--ratios', String(ratio), '--format', 'json'], text).stdout);
  const minimum = native.four_fifths_minimum;
  const view = await shown(page);
  assert.equal(view.minimum, minimum ? minimum.sr.toFixed(3) : 'none');
  if (minimum) assert.ok(precise_error('sr', Number(view.minimum_value), minimum.sr) <= 1e-15);
  const rows = await page.locator('[data-testid="group-table"] tbody tr').evaluateAll((trs) => trs.map((tr) => ({
    group: tr.querySelector('th').textContent,
    ...Object.fromEntries(Array.from(tr.querySelectorAll('td[data-value]')).map((td) => [td.dataset.column, Number(td.dataset.value)])),
  })));
  const want = native.rows.filter((r) => r.kind === 'requested');
  assert.deepEqual(rows.map((r) => r.group), want.map((r) => r.group));
  for (const [k, row] of want.entries()) {
    for (const column of ['sr_group', 'ai_vs_majority', 'ratio_to_highest', 'mean_group']) {
      assert.ok(Math.abs(rows[k][column] - row[column]) <= 1e-15 * Math.max(1, Math.abs(row[column])), `${row.group} ${column}`);
    }
  }
}
