// The report to hand on, printed by headless Chromium (Debian's, driven by
// playwright-core) from the built page served on loopback: at most two
// pages on A4 and on Letter for every bundled example, with the day it was
// made, the engine's version, what the numbers mean, the caveats and, when
// one is pinned, the baseline; its one-sentence verdict against the native
// explorer's table of the same scenario; the saved file free of script.
// The printed pages are rendered to PNG in FOURFIFTHS_WEB_SCREENSHOTS
// (report-*.png) to be looked at.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { readFile, readdir, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { recomputed as settled_after, screenshots, start } from './browser.mjs';
import { example_scenarios, explore } from './support.mjs';

/** Runs a poppler tool; they come with Debian's poppler-utils (.ci/install-deps --web). */
function poppler(tool, args) {
  const run = spawnSync(tool, args, { encoding: 'utf8' });
  assert.equal(run.error, undefined, `${tool} runs (install poppler-utils): ${run.error}`);
  assert.equal(run.status, 0, `${tool} ${args.join(' ')}: ${run.stderr}`);
  return run.stdout;
}

let site;
before(async () => {
  site = await start();
});
after(async () => {
  await site?.close();
});

/** The page opened on a scenario (the published example without one), its answers drawn and its report made. */
async function open(scenario = null) {
  const opened = await site.open(scenario ? `index.html?scenario=${encodeURIComponent(JSON.stringify(scenario))}` : '');
  await report_ready(opened.page);
  return opened;
}

const report_ready = (page) => page.waitForFunction(() => document.querySelector('[data-testid="report"]').dataset.ready === 'true');

/** Does `action`, then waits for the page to have recomputed and the report to be made again. */
async function recomputed(page, action) {
  await settled_after(page, action);
  await report_ready(page);
}

/**
 * The report as printed: the page in print media, the report made afresh
 * (as the browser's print does), on A4 and on Letter. Each PDF's page count
 * (pdfinfo), its pages as PNG (pdftoppm, 60 dots per inch) and the report's
 * text as printed.
 */
async function printed(page, stem) {
  await page.emulateMedia({ media: 'print' });
  await page.evaluate(() => window.dispatchEvent(new Event('beforeprint')));
  const text = await page.locator('[data-testid="report"]').innerText();
  const pages = {};
  for (const format of ['A4', 'Letter']) {
    const pdf = join(tmpdir(), `fourfifths-report-${process.pid}-${stem}-${format}.pdf`);
    await writeFile(pdf, await page.pdf({ format }));
    pages[format] = Number(/^Pages:\s+(\d+)$/m.exec(poppler('pdfinfo', [pdf]))?.[1]);
    // The pictures of an earlier run's pages go first: a third page once
    // printed must not stay to be looked at.
    const png = `report-${stem}-${format.toLowerCase()}`;
    for (const old of (await readdir(screenshots)).filter((f) => f.startsWith(`${png}-`))) await rm(join(screenshots, old));
    poppler('pdftoppm', ['-r', '60', '-png', pdf, join(screenshots, png)]);
    await rm(pdf);
  }
  await page.emulateMedia({ media: 'screen' });
  return { text, pages };
}

/**
 * The report's charts as printed: their text at the size it is drawn (11
 * pixels, the page's own minimum on screen, give or take the scale of a
 * page narrower than the chart) and none of it outside its picture.
 */
async function assert_charts_whole(page, what) {
  const charts = await page.evaluate(() => Array.from(document.querySelectorAll('[data-testid="report"] figure svg')).map((svg) => {
    const frame = svg.getBoundingClientRect();
    const scale = frame.width / svg.viewBox.baseVal.width;
    const texts = Array.from(svg.querySelectorAll('text'));
    return {
      label: svg.getAttribute('aria-label'),
      smallest: Math.min(...texts.map((t) => Number.parseFloat(getComputedStyle(t).fontSize) * scale)),
      outside: texts.filter((t) => {
        const b = t.getBoundingClientRect();
        return b.top < frame.top - 0.5 || b.bottom > frame.bottom + 0.5 || b.left < frame.left - 0.5 || b.right > frame.right + 0.5;
      }).map((t) => t.textContent),
    };
  }));
  assert.ok(charts.length >= 1, `${what}: a chart`);
  for (const c of charts) {
    assert.ok(c.smallest >= 10.5, `${what}: ${c.label}: text of ${c.smallest} pixels`);
    assert.deepEqual(c.outside, [], `${what}: ${c.label}: text cut off`);
  }
}

/** Today's date as the page writes it, in local time (ISO 8601). */
function today() {
  const d = new Date();
  return `${d.getFullYear()}-${String(d.getMonth() + 1).padStart(2, '0')}-${String(d.getDate()).padStart(2, '0')}`;
}

/** The version number fourfifths-explore gives ("fourfifths-explore 1.2.3"). */
function explorer_version() {
  const run = explore(['--version']);
  assert.equal(run.status, 0, run.stderr);
  const version = /^fourfifths-explore (\d+\.\d+\.\d+)\s*$/.exec(run.stdout)?.[1];
  assert.ok(version, `a version in ${JSON.stringify(run.stdout)}`);
  return version;
}

/** A ratio as the verdict writes it: three decimals, a true minus sign. */
const three = (x) => x.toFixed(3).replace('-', '\u2212');

/** The ratio the page shows a scenario at: its first requested ratio, else 0.1. */
const ratio_of = (scenario) => scenario.requested_ratios?.[0] ?? 0.1;

/**
 * The one-sentence verdict against the native explorer's table of the same
 * scenario at the same ratio: whether the rule is met (the lower rate at
 * least four fifths of the higher, whichever group that is), who is below
 * four fifths, the four-fifths minimum to three decimals.
 */
function assert_verdict_agrees(verdict, scenario, what) {
  const ratio = ratio_of(scenario);
  const run = explore(['table', '-', '--ratios', String(ratio), '--format', 'json'], JSON.stringify(scenario));
  assert.equal(run.status, 0, run.stderr);
  const table = JSON.parse(run.stdout);
  const rows = table.rows.filter((r) => r.kind === 'requested');
  assert.ok(rows.length > 0, `${what}: the explorer's rows at ${ratio}`);
  const m = table.four_fifths_minimum;
  if (scenario.groups) {
    // The explorer's verdict is the ratio's, the same in every group's row:
    // every group at four fifths of the highest rate or more.
    const meets = rows[0].passes_four_fifths;
    assert.equal(meets, rows.every((r) => r.ratio_to_highest >= 0.8), what);
    assert.match(verdict, meets ? /\bmeets the four-fifths rule/ : /does not meet the four-fifths rule/, `${what}: ${verdict}`);
    for (const r of rows) {
      const named = verdict.includes(`${r.group} (${three(r.ratio_to_highest)})`);
      assert.equal(named, r.ratio_to_highest < 0.8, `${what}: ${r.group} named as below four fifths: ${verdict}`);
    }
    if (m) assert.ok(verdict.includes(`from a selection ratio of ${three(m.sr)}`), `${what}: minimum ${m.sr}: ${verdict}`);
    else assert.match(verdict, /no selection ratio|every selection ratio/, `${what}: ${verdict}`);
    return;
  }
  const [row] = rows;
  const ai = row.ai_ratio;
  // The explorer's verdict reads both directions: the lower rate over the higher.
  const meets = row.passes_four_fifths;
  assert.match(verdict, meets ? /\bmeets the four-fifths rule/ : /does not meet the four-fifths rule/, `${what}: ${verdict}`);
  if (ai < 1) {
    assert.ok(verdict.includes(`the minority is selected at ${three(ai)} times the majority's rate`), `${what}: ${verdict}`);
  } else if (ai > 1) {
    assert.ok(verdict.includes(`the majority's rate is ${meets ? '' : 'only '}${three(row.ratio_to_highest)} of the minority's`), `${what}: ${verdict}`);
  }
  assert.equal(/adverse impact against the majority/.test(verdict), !meets && ai > 1, `${what}: ${verdict}`);
  assert.equal(/adverse impact against the minority/.test(verdict), !meets && ai < 1, `${what}: ${verdict}`);
  if (m) {
    assert.ok(verdict.includes(`the four-fifths minimum, is ${three(m.target)}`), `${what}: minimum ${m.target}: ${verdict}`);
    const lower = m.sr_minority <= m.sr_majority ? 'minority' : 'majority';
    assert.ok(verdict.includes(`the ${lower}'s rate reaches four fifths`), `${what}: at the minimum the ${lower} is lower: ${verdict}`);
  } else assert.match(verdict, /no four-fifths minimum|every selection ratio|no selection ratio/, `${what}: ${verdict}`);
}

/** What every report says besides its numbers: when, which version, what they mean, the caveats. */
function assert_hand_on(text, version, what) {
  assert.ok(text.includes(`Made on ${today()} at `), `${what}: the date: ${text.slice(0, 300)}`);
  assert.equal(/ by fourfifths (\d+\.\d+\.\d+)\b/.exec(text)?.[1], version, `${what}: the version`);
  assert.match(text, /What the numbers mean/, what);
  for (const term of ['Impact ratio', 'Four-fifths minimum', 'Mean quality', 'Direction of impact']) {
    assert.ok(text.includes(term), `${what}: explains ${term}`);
  }
  assert.match(text, /Caveats/, what);
  for (const caveat of [/normally distributed/, /same correlations and standard deviations in every group/, /population values/,
    /not a test of significance/, /not the counts of a real one/]) assert.match(text, caveat, what);
}

/** The bundled example scenarios, the published one first. */
const examples = (await example_scenarios()).sort((a, b) =>
  Number(b.name.startsWith('published')) - Number(a.name.startsWith('published')) || a.name.localeCompare(b.name));

describe('the report to hand on', () => {
  const version = explorer_version();

  for (const example of examples) {
    test(`${example.name}: two pages at most on A4 and Letter, dated, versioned, explained, its verdict the explorer's`, async () => {
      const scenario = JSON.parse(example.text);
      const { page, problems, close } = await open(scenario);
      const stem = example.name.replace(/\.json$/, '');
      const { text, pages } = await printed(page, stem);
      console.log(`report ${stem}: ${pages.A4} pages on A4, ${pages.Letter} on Letter`);
      for (const format of ['A4', 'Letter']) {
        assert.ok(pages[format] >= 1 && pages[format] <= 2, `${stem}: ${pages[format]} pages on ${format}`);
      }
      assert_hand_on(text, version, stem);
      assert.doesNotMatch(text, /Against the baseline/, `${stem}: no baseline pinned`);
      const verdict = await page.locator('[data-testid="report-verdict"]').innerText();
      // One sentence, before the inputs.
      assert.equal(verdict.match(/[.!?](\s|$)/g)?.length, 1, `${stem}: ${verdict}`);
      assert.ok(text.indexOf(verdict) < text.indexOf('Inputs'), stem);
      assert_verdict_agrees(verdict, scenario, stem);
      // Printed, the report alone, its charts' text as large as the page's on screen.
      await page.emulateMedia({ media: 'print' });
      await assert_charts_whole(page, stem);
      assert.equal(await page.locator('#scenario').isVisible(), false);
      assert.equal(await page.locator('[data-testid="report"]').isVisible(), true);
      assert.deepEqual(problems, [], stem);
      await close();
    });
  }

  test('with a baseline pinned: its comparison in the report, still two pages', async () => {
    const { page, close } = await open();
    await recomputed(page, () => page.click('#pin-baseline'));
    await recomputed(page, () => page.locator('[data-path="predictors[0].d"]').fill('-0.5'));
    const { text, pages } = await printed(page, 'published-baseline');
    console.log(`report with a baseline: ${pages.A4} pages on A4, ${pages.Letter} on Letter`);
    for (const format of ['A4', 'Letter']) assert.ok(pages[format] <= 2, `${pages[format]} pages on ${format}`);
    assert.match(text, /Against the baseline/);
    // The page's comparison, every figure of it, in the report.
    const compared = (selector) => page.locator(`${selector} tbody tr`).evaluateAll((trs) =>
      trs.map((tr) => Array.from(tr.cells).map((c) => c.textContent.trim())));
    const on_page = await compared('[data-testid="baseline-table"]');
    const in_report = await compared('[data-testid="report-baseline"] table');
    assert.ok(on_page.length >= 5, `${on_page.length} rows compared`);
    assert.deepEqual(in_report, on_page);
    // The baseline's minimum is the published example's, and now is another.
    const published = JSON.parse(examples[0].text);
    const native = JSON.parse(explore(['table', '-', '--format', 'json'], JSON.stringify(published)).stdout);
    assert.equal(in_report[0][1], native.four_fifths_minimum.target.toFixed(4));
    assert.notEqual(in_report[0][2], in_report[0][1]);
    // The chart draws the baseline's curves.
    const legend = await page.locator('[data-testid="report"] figure svg text').allTextContents();
    assert.ok(legend.includes('baseline: Impact ratio'), legend.join(' | '));
    assert_hand_on(text, version, 'with a baseline');
    await page.emulateMedia({ media: 'print' });
    await assert_charts_whole(page, 'with a baseline');
    await close();
  });

  test('the saved file runs no script, whatever the title says', async () => {
    const scenario = JSON.parse(examples[0].text);
    const hostile = '<script>window.ran = 1</script><img src=x onerror="window.ran = 2"> & =HYPERLINK("x")';
    scenario.title = hostile;
    const { page, close } = await open(scenario);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save-report')]);
    assert.match(download.suggestedFilename(), /-report\.html$/);
    const path = join(tmpdir(), `fourfifths-report-${process.pid}.html`);
    await download.saveAs(path);
    const saved = await readFile(path, 'utf8');
    assert.doesNotMatch(saved, /<script|<img|<input|<button|<link|<iframe|<object/i);
    assert.match(saved, /<svg/);
    assert.ok(saved.includes('cognitive ability'), 'the inputs');
    assert.ok(saved.includes(`<title>Report: ${hostile.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')}</title>`));
    // Opened, it shows the title as text and runs nothing.
    const viewer = await page.context().newPage();
    await viewer.goto(`file://${path}`);
    assert.equal(await viewer.evaluate(() => document.querySelectorAll('script, img').length), 0);
    assert.deepEqual(await viewer.evaluate(() => Array.from(document.querySelectorAll('*'))
      .flatMap((e) => e.getAttributeNames().filter((a) => a.startsWith('on')))), []);
    assert.equal(await viewer.evaluate(() => window.ran), undefined);
    assert.equal(await viewer.locator('h1').innerText(), `Report: ${hostile}`);
    assert.equal(await viewer.title(), `Report: ${hostile}`);
    assert.ok((await viewer.locator('body').innerText()).includes(`Made on ${today()}`));
    await viewer.screenshot({ path: join(screenshots, 'report-saved.png'), fullPage: true });
    await viewer.close();
    await rm(path);
    // Nor does the page that printed it.
    assert.equal(await page.evaluate(() => window.ran), undefined);
    await close();
  });

  test('a minority that scores higher: the majority is the group adversely impacted', async () => {
    const scenario = JSON.parse(examples[0].text);
    for (const v of [...scenario.predictors, ...scenario.criteria]) v.d = -v.d;
    scenario.title = 'The published example, the minority scoring higher';
    const { page, close } = await open(scenario);
    const { text, pages } = await printed(page, 'minority-higher');
    assert.ok(pages.A4 <= 2 && pages.Letter <= 2, `${pages.A4} and ${pages.Letter} pages`);
    const verdict = await page.locator('[data-testid="report-verdict"]').innerText();
    // The explorer's impact ratio is above 1.25 there: the majority's rate is below four fifths of the minority's.
    const run = explore(['table', '-', '--ratios', String(ratio_of(scenario)), '--format', 'json'], JSON.stringify(scenario));
    const ai = JSON.parse(run.stdout).rows.find((r) => r.kind === 'requested').ai_ratio;
    assert.ok(ai > 1.25, `the explorer's impact ratio ${ai}`);
    assert.match(verdict, /adverse impact against the majority/);
    assert_verdict_agrees(verdict, scenario, 'minority higher');
    const meaning = await page.locator('[data-testid="report-meaning"]').innerText();
    assert.match(meaning, /the majority is the group adversely impacted/);
    assert.doesNotMatch(meaning, /minority is adversely impacted\./);
    await close();
  });
});
