// The page's part for a real sample and a real pool, in headless Chromium:
// the front's points in new applicants from calibration samples and the
// chances of a finite pool, each against the native explorer's
// (pareto --calibration-n, table --applicants) on the same scenario, with
// the same replications and seed; bad sizes refused at the field; nothing
// computed for an earlier scenario left beside the current one; by
// keyboard; axe-core at a laptop's and a phone's width.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { axe_violations, laptop, phone, recomputed, screenshots, start } from './browser.mjs';
import { explore, source } from './support.mjs';

const published = JSON.parse(await readFile(join(source, 'examples/published_four_predictors.json'), 'utf8'));
const three_groups = JSON.parse(await readFile(join(source, 'examples/three_groups.json'), 'utf8'));
const address = (scenario) => `?scenario=${encodeURIComponent(JSON.stringify(scenario))}`;

let site;
before(async () => { site = await start(); });
after(async () => { await site?.close(); });

/** The explorer's CSV as rows of objects, numbers as numbers. */
function csv_rows(text) {
  const [header, ...lines] = text.trim().split('\n').map((line) => line.split(','));
  return lines.map((fields) => Object.fromEntries(header.map((h, i) => [h, fields[i] === '' ? null : Number(fields[i])])));
}

/** The cells of a table shown by the page: per row, column name to value. */
const table_cells = (page, id) => page.evaluate((testid) => Array.from(document.querySelectorAll(`[data-testid="${testid}"] tbody tr`))
  .map((tr) => Object.fromEntries(Array.from(tr.querySelectorAll('td[data-column]'))
    .map((td) => [td.dataset.column, td.dataset.value === undefined ? null : Number(td.dataset.value)]))), id);

const errors_shown = (page) => page.evaluate(() => Array.from(document.querySelectorAll('#sample-errors p')).map((p) => p.textContent.trim()));

async function simulate(page, n, replications) {
  await page.fill('#calibration-n', String(n));
  await page.selectOption('#calibration-replications', String(replications));
  await page.click('#simulate');
  await page.waitForFunction(() => document.documentElement.dataset.sample === 'settled');
}

function assert_close(mine, want, what) {
  if (want === null) {
    assert.equal(mine, null, `${what}: empty in the explorer`);
    return;
  }
  assert.ok(mine !== null && Math.abs(mine - want) <= 1e-12 * Math.max(1, Math.abs(want)), `${what}: ${mine}, the explorer ${want}`);
}

describe('the front in new applicants', () => {
  for (const [name, scenario, n] of [['published example', published, 100], ['three groups', three_groups, 150]]) {
    test(`${name}: the page's calibration is the explorer's`, async () => {
      const { page, problems, close } = await site.open(address(scenario));
      try {
        await simulate(page, n, 200);
        const shown = await table_cells(page, 'calibration-table');
        const native = explore(['pareto', '-', '--ratio', String(scenario.requested_ratios[0]), '--calibration-n', String(n),
          '--replications', '200', '--seed', '1', '--threads', '1', '--format', 'csv'], JSON.stringify(scenario));
        assert.equal(native.status, 0, native.stderr);
        const want = csv_rows(native.stdout);
        assert.equal(shown.length, want.length, 'a row a point');
        shown.forEach((row, i) => {
          for (const [column, value] of Object.entries(row)) assert_close(value, want[i][column], `point ${i + 1} ${column}`);
        });
        // The chart draws the band and the means beside the front.
        const svg = await page.locator('[data-testid="calibration-chart"] svg').innerHTML();
        assert.match(svg, /5 % to 95 % of calibration samples of/);
        assert.match(svg, /in new applicants, weights from calibration samples of/);
        const status = await page.locator('#sample-status').textContent();
        assert.match(status, new RegExp(`200 calibration samples of ${n} applicants`));
        assert.deepEqual(problems, []);
      } finally {
        await close();
      }
    });
  }

  test('an edit of the scenario takes the calibration away; Enter in the field brings it back', async () => {
    const { page, close } = await site.open(address(published));
    try {
      await simulate(page, 80, 200);
      const drawn = await table_cells(page, 'calibration-table');
      assert.ok(drawn.length > 0);
      // The minimum acceptable ratio redraws the page but is no part of the
      // calibration, which stays.
      await recomputed(page, () => page.locator('#min-ai').fill('0.6'));
      assert.deepEqual(await table_cells(page, 'calibration-table'), drawn, 'the calibration stays for another minimum ratio');
      await recomputed(page, () => page.fill('[data-path="predictors[0].d"]', '0.5'));
      assert.equal((await table_cells(page, 'calibration-table')).length, 0, 'nothing computed for the old scenario stays');
      assert.equal(await page.locator('[data-testid="calibration-chart"] svg').count(), 0);
      assert.match(await page.locator('#sample-status').textContent(), /changed: press “Simulate” again/);
      // By keyboard alone: the field, then Enter.
      await page.focus('#calibration-n');
      await page.keyboard.press('Enter');
      await page.waitForFunction(() => document.querySelectorAll('[data-testid="calibration-table"] tbody tr').length > 0);
    } finally {
      await close();
    }
  });

  test('a size that is not a number of applicants is refused at the field', async () => {
    const { page, close } = await site.open(address(published));
    try {
      for (const [text, pattern] of [['abc', /whole number of applicants, not "abc"/], ['1', /between 2 and/],
        ['2.5', /whole number/], ['-3', /whole number/], ['99999999', /between 2 and 10,000,000/]]) {
        await page.fill('#calibration-n', text);
        await page.click('#simulate');
        const errors = await errors_shown(page);
        assert.equal(errors.length, 1, text);
        assert.match(errors[0], pattern, text);
        assert.equal(await page.locator('#calibration-n').getAttribute('aria-invalid'), 'true', text);
        assert.equal((await table_cells(page, 'calibration-table')).length, 0, text);
      }
      // Too few applicants for the groups: the library's words.
      await simulate(page, 3, 200);
      const errors = await errors_shown(page);
      assert.equal(errors.length, 1);
      assert.match(errors[0], /^Applicants in the calibration sample: .*fewer than 2 applicants/);
    } finally {
      await close();
    }
  });
});

describe('a real pool', () => {
  for (const [name, scenario, m] of [['published example, exact', published, 60], ['three groups, simulated', three_groups, 200]]) {
    test(`${name}: the chances are the explorer's`, async () => {
      const { page, problems, close } = await site.open(address(scenario));
      try {
        await page.fill('#pool-applicants', String(m));
        await page.waitForFunction(() => !document.querySelector('[data-testid="pool-table"]').hidden);
        const shown = Object.assign({}, ...(await table_cells(page, 'pool-table')));
        const replications = Math.max(200, Math.min(10000, Math.floor(2e7 / m)));
        const native = explore(['table', '-', '--ratios', String(scenario.requested_ratios[0]), '--applicants', String(m),
          '--replications', String(replications), '--seed', '1', '--format', 'csv'], JSON.stringify(scenario));
        assert.equal(native.status, 0, native.stderr);
        const want = csv_rows(native.stdout)[0];
        for (const column of ['pool_selected', 'p_fail_four_fifths', 'p_fisher', 'p_z', 'p_group_absent',
          'p_fail_four_fifths_se', 'p_fisher_se', 'p_z_se', 'p_group_absent_se']) {
          assert_close(shown[column] ?? null, want[column], column);
        }
        assert.match(await page.locator('#pool-method').textContent(), name.endsWith('exact') ? /^Exact/ : /^Simulated/);
        assert.deepEqual(problems, []);
      } finally {
        await close();
      }
    });
  }

  test('a pool size that is not one is refused, and an edit recomputes the chances', async () => {
    const { page, close } = await site.open(address(published));
    try {
      for (const [text, pattern] of [['0', /between 1 and/], ['x', /whole number/], ['1000001', /between 1 and 100,000/]]) {
        await page.fill('#pool-applicants', '');
        await page.waitForFunction(() => document.querySelectorAll('#sample-errors p').length === 0);
        await page.fill('#pool-applicants', text);
        await page.waitForFunction(() => document.querySelectorAll('#sample-errors p').length > 0);
        assert.match((await errors_shown(page))[0], pattern, text);
        assert.ok(await page.locator('[data-testid="pool-table"]').isHidden(), text);
      }
      await page.fill('#pool-applicants', '40');
      await page.waitForFunction(() => !document.querySelector('[data-testid="pool-table"]').hidden);
      const before_edit = Object.assign({}, ...(await table_cells(page, 'pool-table')));
      await recomputed(page, () => page.fill('[data-path="requested_ratios[0]"]', '0.3'));
      await page.waitForFunction(() => !document.querySelector('[data-testid="pool-table"]').hidden);
      const after_edit = Object.assign({}, ...(await table_cells(page, 'pool-table')));
      assert.notEqual(after_edit.pool_selected, before_edit.pool_selected, 'the pool follows the selection ratio');
      assert.equal(after_edit.pool_selected, Math.round(0.3 * 40));
    } finally {
      await close();
    }
  });
});

test('axe-core finds no violation with the sample and the pool shown, on a laptop and a phone', async () => {
  for (const viewport of [laptop, phone]) {
    const { page, close } = await site.open(address(published), viewport);
    try {
      await page.fill('#pool-applicants', '60');
      await page.waitForFunction(() => !document.querySelector('[data-testid="pool-table"]').hidden);
      await simulate(page, 100, 200);
      // The table's height may bring a scroll bar and a new width: that
      // redraws the page but keeps the calibration, which is still the scenario's.
      await page.waitForTimeout(500);
      assert.ok((await table_cells(page, 'calibration-table')).length > 0, 'the calibration stays');
      assert.deepEqual(await axe_violations(page), [], `${viewport.width} pixels`);
      await page.locator('#sample').screenshot({ path: join(screenshots, `sample-${viewport.width}.png`) });
    } finally {
      await close();
    }
  }
});

describe('the verdict both ways with one minority group', () => {
  test('a minority that scores higher: the minimum and the verdict protect the majority, as the explorer says', async () => {
    const flipped = structuredClone(published);
    for (const v of [...flipped.predictors, ...flipped.criteria]) v.d = -v.d;
    const native = JSON.parse(explore(['table', '-', '--format', 'json'], JSON.stringify(flipped)).stdout);
    const minimum = native.four_fifths_minimum;
    assert.ok(minimum && minimum.sr_majority < minimum.sr_minority, 'the explorer\'s minimum is the majority\'s');
    const at = native.rows.find((r) => r.kind === 'requested');
    assert.equal(at.passes_four_fifths, false);
    const { page, close } = await site.open(address(flipped));
    try {
      const text = (id) => page.locator(`#${id}`).textContent();
      assert.equal(await text('minimum'), minimum.target.toFixed(3));
      const note = await text('minimum-note');
      assert.match(note, /the majority's selection rate is four fifths of the minority's/);
      assert.match(note, new RegExp(`\\(${minimum.sr_majority.toFixed(3)} against ${minimum.sr_minority.toFixed(3)}\\)`));
      assert.match(note, /adverse impact against the majority/);
      assert.match(await text('direction'), /adverse impact against the majority/);
      assert.match(await text('verdict-text'), /adverse impact against the majority/);
    } finally {
      await close();
    }
  });
});
