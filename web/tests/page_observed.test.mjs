// The page's observed data in headless Chromium: what it shows of the
// explorer's analysis (rows per unit or step, the rows of all units
// together or the bottom line, the one-person columns, Mantel-Haenszel
// across units and the explorer's warnings), checked against the native
// fourfifths-explore observed run on the same data; what it says where
// there is nothing to compare or nothing to judge; the new controls by
// keyboard; axe-core and screenshots of the section at a laptop's and a
// phone's width.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { axe_violations, laptop, phone, screenshots, start } from './browser.mjs';
import { explore, source } from './support.mjs';

let browser;
before(async () => { browser = await start(); });
after(async () => { await browser?.close(); });

const example = (name) => readFile(join(source, 'examples', name), 'utf8');

/** The native explorer's JSON document and warnings for the data. */
function native(data) {
  const run = explore(['observed', '-', '--format', 'json'], data);
  assert.equal(run.status, 0, run.stderr);
  const warnings = run.stderr.split('\n').filter((l) => l.includes(': warning: '))
    .map((l) => l.slice(l.indexOf(': warning: ') + ': warning: '.length));
  return { doc: JSON.parse(run.stdout), warnings };
}

/** Waits for the observed part to have analysed what `action` gave it. */
async function analysed(page, action) {
  await page.evaluate(() => { document.documentElement.dataset.observed = 'waiting'; });
  await action();
  await page.waitForFunction(() => document.documentElement.dataset.observed === 'settled');
}

const typed = (page, text) => analysed(page, () => page.locator('#observed-text').fill(text));

/** A table's rows: for each cell, by its column, its value (data-value) and its text. */
const table_rows = (page, testid) => page.locator(`[data-testid="${testid}"] tbody tr`).evaluateAll((trs) => trs.map((tr) => ({
  kind: tr.dataset.kind ?? '',
  cells: Object.fromEntries(Array.from(tr.querySelectorAll('td')).map((td) => [td.dataset.column,
    { value: td.dataset.value, text: td.textContent }])),
})));

/**
 * Every cell the page shows against the explorer's row: numbers within
 * 1e-12 (relative to max(1, |v|)), words and flags as they are, a missing
 * value as missing. Returns the largest error.
 */
function assert_row(got, want, what) {
  let worst = 0;
  for (const [column, { value }] of Object.entries(got.cells)) {
    assert.ok(column in want, `${what}: the explorer has a column ${column}`);
    const w = want[column];
    if (w === null) {
      assert.equal(value, undefined, `${what} ${column}: none`);
    } else if (typeof w === 'number') {
      const error = Math.abs(Number(value) - w) / Math.max(1, Math.abs(w));
      assert.ok(error <= 1e-12, `${what} ${column}: ${value}, the explorer ${w}`);
      worst = Math.max(worst, error);
    } else {
      assert.equal(value, String(w), `${what} ${column}`);
    }
  }
  return worst;
}

/** The page's rows and Mantel-Haenszel rows against the explorer's. */
async function assert_agrees(page, data, what) {
  const { doc, warnings } = native(data);
  const rows = await table_rows(page, 'observed-table');
  assert.equal(rows.length, doc.rows.length, `${what}: a row per row of the explorer`);
  let worst = 0;
  for (const [k, want] of doc.rows.entries()) worst = Math.max(worst, assert_row(rows[k], want, `${what} row ${k + 1}`));
  const across = doc.rows.filter((r) => r.mh_status !== null && r.mh_status !== undefined);
  const mh = await table_rows(page, 'observed-mh-table');
  assert.equal(mh.length, across.length, `${what}: a Mantel-Haenszel row per group compared across units`);
  for (const [k, want] of across.entries()) worst = Math.max(worst, assert_row(mh[k], want, `${what} across units ${k + 1}`));
  assert.equal(await page.locator('#observed-mh').isVisible(), across.length > 0, `${what}: Mantel-Haenszel shown where it applies`);
  const shown_warnings = await page.locator('[data-testid="observed-warning"]').allTextContents();
  assert.deepEqual(shown_warnings, warnings.map((w) => `Warning: ${w}.`), `${what}: the explorer's warnings`);
  return { doc, rows, mh, worst };
}

describe('observed data on the page', () => {
  test('the bundled units: each unit, all units together and Mantel-Haenszel, as the explorer has them', async () => {
    const { page, problems, close } = await browser.open();
    const csv = await example('observed_hiring.csv');
    await analysed(page, () => page.click('#observed-example'));
    const { rows, mh, worst } = await assert_agrees(page, csv, 'the bundled units');
    console.log(`# observed: largest error against the explorer ${worst.toExponential(2)}`);
    // The rows of all units together are marked and labelled as such.
    const pooled = rows.filter((r) => r.kind === 'pooled');
    assert.equal(pooled.length, 2);
    for (const r of pooled) assert.equal(r.cells.unit.text, '(all units together)');
    // Women against men across the three jobs: 0.777 (0.682 to 0.886), p 0.00016.
    assert.equal(mh.length, 1);
    const women = mh[0].cells;
    assert.deepEqual([women.group.text, women.reference.text, women.mh_units.text], ['women', 'men', '3']);
    assert.deepEqual([women.mh_odds_ratio.text, women.mh_ci_low.text, women.mh_ci_high.text, women.p_mh.text],
      ['0.777', '0.682', '0.886', '0.00016']);
    assert.equal(women.mh_status.text, 'tested');
    // Managers: 2 of 8 against 4 of 10 fails, and by the Guidelines'
    // one-person rule (3 of 8 against 3 of 10) is not shown.
    const manager = rows.find((r) => r.cells.unit.text === 'manager' && r.cells.group.text === 'women').cells;
    assert.equal(manager.passes_four_fifths.text, 'adverse impact');
    assert.equal(manager.one_person_reversal.text, 'yes');
    const note = await page.locator('#observed-note').textContent();
    assert.match(note, /Below four fifths of the reference's rate: women \(manager\)\./);
    assert.match(note, /one-person rule adverse impact is not shown for women \(manager\)/);
    // The reference's own rows say so, not that the rule holds.
    const reference = rows.find((r) => r.cells.status.value === 'reference').cells;
    assert.equal(reference.passes_four_fifths.text, 'the reference');
    // No pooling reverses these units: no warning.
    assert.equal(await page.locator('[data-testid="observed-warning"]').count(), 0);
    assert.deepEqual(problems, []);
    await close();
  });

  test('the steps of a process, each step and the bottom line, the example reached by keyboard alone', async () => {
    const { page, problems, close } = await browser.open();
    const csv = await example('observed_steps.csv');
    await page.locator('#observed-example').focus();
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'observed-example-steps');
    await analysed(page, () => page.keyboard.press('Enter'));
    const { doc, rows } = await assert_agrees(page, csv, 'the bundled steps');
    assert.deepEqual(doc.steps, ['screen', 'test', 'interview']);
    const headings = await page.locator('[data-testid="observed-table"] thead th').allTextContents();
    assert.ok(headings.includes('Step') && !headings.includes('Unit'), headings.join(' | '));
    assert.deepEqual(rows.map((r) => r.cells.step.text),
      ['screen', 'screen', 'test', 'test', 'interview', 'interview', '(bottom line)', '(bottom line)']);
    assert.deepEqual(rows.map((r) => r.kind), ['', '', '', '', '', '', 'pooled', 'pooled']);
    // Women fail the test (28 of 56 against 48 of 60); the bottom line passes.
    const note = await page.locator('#observed-note').textContent();
    assert.match(note, /^Steps: screen, test, interview; each among those who reached it, then the bottom line/);
    assert.match(note, /Below four fifths of the reference's rate: women \(test\), men \(interview\)\./);
    // Steps are not units: nothing is pooled by Mantel-Haenszel.
    assert.equal(await page.locator('#observed-mh').isVisible(), false);
    // Space works on the button as well as Enter.
    await typed(page, '');
    await page.locator('#observed-example-steps').focus();
    await analysed(page, () => page.keyboard.press('Space'));
    assert.equal((await table_rows(page, 'observed-table')).length, 8);
    assert.deepEqual(problems, []);
    await close();
  });

  test('one group only: nothing to compare, not "every group passes"', async () => {
    const { page, close } = await browser.open();
    for (const data of ['group,applicants,selected\nmen,10,4\n',
      'unit,group,applicants,selected\nclerk,men,10,4\nmanager,men,6,1\n']) {
      await typed(page, data);
      const note = await page.locator('#observed-note').textContent();
      assert.doesNotMatch(note, /Every group/, data);
      assert.match(note, /^There is nothing to compare: the data have one group only/, data);
      const cells = await page.locator('[data-testid="observed-table"] tbody td[data-column="passes_four_fifths"]').allTextContents();
      assert.ok(cells.every((t) => t === 'the reference'), `${data}: ${cells}`);
      await assert_agrees(page, data, data);
    }
    await close();
  });

  test('nobody selected anywhere: the rule is not judged, nowhere "holds"', async () => {
    const { page, close } = await browser.open();
    for (const data of ['group,applicants,selected\nmen,10,0\nwomen,8,0\n',
      'unit,group,applicants,selected\na,men,10,0\na,women,8,0\nb,men,5,0\nb,women,6,0\n']) {
      await typed(page, data);
      const verdicts = await page.locator('[data-testid="observed-table"] tbody td[data-column="passes_four_fifths"]').allTextContents();
      assert.ok(verdicts.length > 0 && !verdicts.includes('holds'), `${data}: ${verdicts}`);
      const { doc, rows } = await assert_agrees(page, data, data);
      // The explorer judges nothing: no verdict, the status no_selections.
      for (const r of doc.rows.filter((x) => x.status !== 'reference')) {
        assert.equal(r.status, 'no_selections', data);
        assert.equal(r.passes_four_fifths, null, data);
      }
      for (const r of rows.filter((x) => x.cells.status.value === 'no_selections')) {
        assert.equal(r.cells.passes_four_fifths.text, 'not judged');
        assert.equal(r.cells.status.text, 'neither selected anyone: no ratio, nothing to judge');
      }
      const note = await page.locator('#observed-note').textContent();
      assert.doesNotMatch(note, /Every group|holds/, data);
      assert.match(note, /Not judged by the rule: women.*neither the group nor its reference selected anyone/, data);
    }
    await close();
  });

  test('a one-person answer that is missing says why, in the column it concerns', async () => {
    const { page, close } = await browser.open();
    // Equal rates: one selection moved from women to men (4 of 10 against
    // 6 of 10) fails the rule, so the verdict turns on one person; women's
    // rate is not below, so there is nothing for the Guidelines' rule to
    // reverse. 8 of 8 against 10 of 10: the reference has no one left to
    // select, so no selection can move (the note is the flip's). No one
    // selected: neither has a selection to move.
    for (const [data, flip, reversal] of [
      ['group,applicants,selected\nmen,10,5\nwomen,10,5\n', 'yes', 'rate not lower: nothing to reverse'],
      ['group,applicants,selected\nmen,10,10\nwomen,8,8\n', 'no move: the reference selected everyone', '—'],
      ['group,applicants,selected\nmen,10,0\nwomen,8,0\n', 'no move: the group selected no one', '—'],
    ]) {
      await typed(page, data);
      const { doc, rows } = await assert_agrees(page, data, data);
      const women = rows[1].cells;
      assert.deepEqual([women.one_person_flip.text, women.one_person_reversal.text], [flip, reversal], data);
      assert.equal(women.one_person_flip.value, doc.rows[1].one_person_flip === null ? undefined : String(doc.rows[1].one_person_flip));
    }
    await close();
  });

  // B's rate is above A's in both units, 18 of 20 (0.9) against 80 of 100
  // (0.8) and 12 of 100 (0.12) against 2 of 20 (0.1); pooled, B has 30 of
  // 120 (0.25) against A's 82 of 120 (0.683), a ratio of 0.366: pooling
  // reverses both units. Within units the odds ratio of B's selection over
  // A's is (18 * 20 / 120 + 12 * 18 / 120) / (2 * 80 / 120 + 88 * 2 / 120)
  // = (3 + 1.8) / (4 / 3 + 22 / 15) = 4.8 / 2.8 = 12 / 7.
  const simpson = 'unit,group,applicants,selected\nu1,A,100,80\nu1,B,20,18\nu2,A,20,2\nu2,B,100,12\n';

  test('pooling that reverses the units is warned of, and Mantel-Haenszel says otherwise', async () => {
    const { page, problems, close } = await browser.open();
    await typed(page, simpson);
    const { rows, mh } = await assert_agrees(page, simpson, "Simpson's paradox");
    const warnings = await page.locator('[data-testid="observed-warning"]').allTextContents();
    assert.equal(warnings.length, 1);
    assert.match(warnings[0], /^Warning: group "B": all units together put its rate below "A"'s, though in none of the 2 units/);
    assert.match(warnings[0], /Simpson's paradox/);
    const pooled_b = rows.find((r) => r.kind === 'pooled' && r.cells.group.text === 'B').cells;
    assert.equal(pooled_b.passes_four_fifths.text, 'adverse impact');
    assert.ok(Math.abs(Number(pooled_b.impact_ratio.value) - (30 / 120) / (82 / 120)) <= 1e-12);
    assert.equal(mh.length, 1);
    assert.ok(Math.abs(Number(mh[0].cells.mh_odds_ratio.value) - 12 / 7) <= 1e-12, mh[0].cells.mh_odds_ratio.value);
    assert.equal(mh[0].cells.mh_units.text, '2');
    // The warning goes with the data: corrected, it is gone.
    await typed(page, 'unit,group,applicants,selected\nu1,A,100,80\nu1,B,20,18\n');
    assert.equal(await page.locator('[data-testid="observed-warning"]').count(), 0);
    assert.equal(await page.locator('#observed-mh').isVisible(), false);
    // An error leaves no warning and no numbers behind.
    await typed(page, simpson);
    await typed(page, `${simpson}u3,A,5,6\n`);
    assert.equal(await page.locator('[data-testid="observed-warning"]').count(), 0);
    assert.equal(await page.locator('[data-testid="observed-table"] tbody tr').count(), 0);
    assert.equal(await page.locator('[data-testid="observed-mh-table"] tbody tr').count(), 0);
    assert.deepEqual(problems, []);
    await close();
  });

  test('axe-core finds no violation with the section filled, on a laptop and a phone; screenshots', async () => {
    for (const viewport of [laptop, phone]) {
      const { page, close } = await browser.open('', viewport);
      await typed(page, `${simpson}`);
      await page.locator('#observed').scrollIntoViewIfNeeded();
      assert.deepEqual(await axe_violations(page), [], `${viewport.width} pixels, with a warning and Mantel-Haenszel`);
      await analysed(page, () => page.click('#observed-example'));
      await page.locator('#observed').scrollIntoViewIfNeeded();
      assert.deepEqual(await axe_violations(page), [], `${viewport.width} pixels, the bundled units`);
      await page.locator('#observed').screenshot({ path: join(screenshots, `page-observed-units-${viewport.width}.png`) });
      await analysed(page, () => page.click('#observed-example-steps'));
      assert.deepEqual(await axe_violations(page), [], `${viewport.width} pixels, the bundled steps`);
      await page.locator('#observed').screenshot({ path: join(screenshots, `page-observed-steps-${viewport.width}.png`) });
      await typed(page, simpson);
      await page.locator('#observed').screenshot({ path: join(screenshots, `page-observed-simpson-${viewport.width}.png`) });
      await close();
    }
  });
});
