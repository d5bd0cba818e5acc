// The WebAssembly engine under Node.js against the conformance suite: its
// classic reports are the program's byte for byte, and its precise tables
// agree with the 50-digit outcomes within the precise method's tolerance.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { describe, test } from 'node:test';

import { all_decks, load_engine, source } from './support.mjs';

const engine = await load_engine();
const decks = await all_decks();

// The source line in the subscript report is the program's own business.
const mask_line_numbers = (text) => text.replace(/(Subscript out of range on file line )[0-9]+/g, '$1N');

describe('classic method', () => {
  test(`the report, diagnostics and status of ${decks.length} decks are the program's`, async () => {
    assert.ok(decks.length > 500, `${decks.length} decks found`);
    const differing = [];
    for (const deck of decks) {
      const base = deck.path.slice(0, -5);
      // The deck as bytes: embind hands a Uint8Array to the engine unchanged.
      const run = JSON.parse(engine.classic_run(new Uint8Array(await readFile(deck.path))));
      const want = {
        report: await readFile(`${base}.out`, 'latin1'),
        diagnostics: await readFile(`${base}.err`, 'latin1'),
        status: Number(await readFile(`${base}.status`, 'utf8')),
      };
      if (run.report !== want.report
        || mask_line_numbers(run.diagnostics) !== mask_line_numbers(want.diagnostics)
        || run.status !== want.status) {
        differing.push(`${deck.folder}/${deck.name}`);
      }
    }
    assert.deepEqual(differing, []);
  });
});

// tests/golden/precise/valid.csv: the outcomes in 50-digit arithmetic. Its
// README sets the tolerance: 1e-12, relative for the ratios, relative to
// max(1, |value|) for the rest.
async function precise_expectations() {
  const [header, ...lines] = (await readFile(join(source, 'tests/golden/precise/valid.csv'), 'utf8'))
    .trim().split(/\r?\n/);
  const columns = header.split(',');
  const by_deck = new Map();
  for (const line of lines) {
    const row = Object.fromEntries(line.split(',').map((v, i) => [columns[i], v]));
    if (!by_deck.has(row.deck)) by_deck.set(row.deck, []);
    by_deck.get(row.deck).push(row);
  }
  return by_deck;
}

const relative = new Set(['target', 'sr', 'sr_majority', 'sr_minority', 'ai_ratio']);
const precise_columns = ['target', 'cut_score', 'sr', 'sr_majority', 'sr_minority', 'ai_ratio', 'mean',
  'mean_majority', 'mean_minority', 'mean_difference', 'std_mean', 'std_mean_majority',
  'std_mean_minority', 'std_mean_difference'];

// The rows of a table by the report's entry numbers: 1-21 built in, 22 the
// minimum, 23 on the requested ratios.
function by_index(rows) {
  const indexed = new Map();
  let index = 0;
  for (const row of rows) {
    if (row.kind === 'builtin') indexed.set(++index, row);
    else if (row.kind === 'minimum') indexed.set(22, row);
    else indexed.set(index = Math.max(index, 22) + 1, row);
  }
  return indexed;
}

describe('precise method', () => {
  test('every value of the valid decks within 1e-12 of the 50-digit outcomes', async () => {
    const expected = await precise_expectations();
    const problems = [];
    let compared = 0;
    let worst = 0;
    let impossible = 0;
    for (const deck of decks.filter((d) => d.folder === 'valid' && expected.has(d.name))) {
      const table = JSON.parse(engine.table(new Uint8Array(await readFile(deck.path)), '{"method": "precise"}'));
      assert.equal(table.method, 'precise', deck.name);
      if (table.rows.every((row) => row.status === 'not_positive_definite')) {
        // Correlations of no population: a status and no numbers.
        assert.ok(table.rows.every((row) => row.ai_ratio === null && row.cut_score === null), deck.name);
        impossible += 1;
        continue;
      }
      const rows = by_index(table.rows);
      for (const want of expected.get(deck.name)) {
        const got = rows.get(Number(want.index));
        if (!got) {
          problems.push(`${deck.name}: no entry ${want.index}`);
          continue;
        }
        for (const column of precise_columns) {
          if (want[column] === '') continue;
          const w = Number(want[column]);
          const g = got[column];
          const error = Math.abs(g - w) / (relative.has(column) ? Math.abs(w) : Math.max(1, Math.abs(w)));
          worst = Math.max(worst, error);
          if (!(error <= 1e-12)) problems.push(`${deck.name} entry ${want.index} ${column}: ${g}, want ${w}`);
          compared += 1;
        }
      }
    }
    console.log(`precise: ${compared} values of ${expected.size} decks, largest error ${worst.toExponential(2)}`);
    assert.ok(compared > 70000, `${compared} values compared`);
    assert.ok(impossible > 0 && impossible < 20, `${impossible} decks without numbers`);
    assert.deepEqual(problems.slice(0, 20), []);
  });
});
