// The page's requests to the WebAssembly engine, against the native
// explorer (fourfifths-explore of the release build) on the same input:
// its tables and CSV, its plot, its Pareto fronts, its messages for bad
// input, its conversion of decks.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { readFile, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { describe, test } from 'node:test';

import {
  all_decks, assert_csv_close, example_scenarios, explore, explorer_lines, fault_line, load_engine,
  precise_error, precise_tolerance, source,
} from './support.mjs';

const engine = await load_engine();
// The examples of one minority group; the example with several groups is
// checked with the other scenarios of several groups, below.
const all_examples = await example_scenarios();
const examples = all_examples.filter((e) => !('groups' in JSON.parse(e.text)));
const published = examples.find((e) => e.name === 'published_four_predictors.json');
assert.ok(published, 'examples/published_four_predictors.json is there');

const evaluate = (scenario, ratio) => JSON.parse(engine.evaluate(JSON.stringify({ scenario, ratio })));
const computed = ['json', 'weights', 'composites', 'four_fifths_minimum', 'rows', 'csv'];

// A copy of the published example with one change.
function published_with(change) {
  const scenario = JSON.parse(published.text);
  change(scenario);
  return scenario;
}

describe('evaluate', () => {
  test('the CSV at a ratio is the explorer\'s for every bundled example', () => {
    let worst = 0;
    for (const example of examples) {
      for (const ratio of [0.05, 0.1, 0.37, 0.9]) {
        const answer = evaluate(JSON.parse(example.text), ratio);
        assert.deepEqual(answer.errors, [], example.name);
        const native = explore(['table', example.path, '--ratios', String(ratio)]);
        assert.equal(native.status, 0, native.stderr);
        worst = Math.max(worst, assert_csv_close(answer.csv, native.stdout, `${example.name} at ${ratio}`));
        // The rows hold the CSV's numbers.
        const [header, row] = answer.csv.trim().split('\n').map((line) => line.split(','));
        assert.equal(answer.rows.length, 1);
        for (const [i, column] of header.entries()) {
          const got = answer.rows[0][column];
          if (row[i] === '') assert.equal(got, null, column);
          else if (column === 'kind' || column === 'status' || column === 'passes_four_fifths') {
            assert.equal(String(got), row[i], column);
          } else assert.equal(got, Number(row[i]), `${example.name} ${column}`);
        }
      }
    }
    console.log(`examples: largest difference from the native explorer ${worst.toExponential(2)}`);
  });

  test('the four-fifths minimum is the explorer\'s', () => {
    for (const example of examples) {
      const mine = evaluate(JSON.parse(example.text), 0.1).four_fifths_minimum;
      const native = JSON.parse(explore(['table', example.path, '--format', 'json']).stdout).four_fifths_minimum;
      assert.equal(mine === null, native === null, example.name);
      if (native === null) continue;
      assert.deepEqual(Object.keys(mine).sort(), Object.keys(native).sort());
      for (const key of Object.keys(native)) {
        // The overall ratio is null without the applicant mix, on both sides.
        if (native[key] === null) {
          assert.equal(mine[key], null, `${example.name} ${key}`);
          continue;
        }
        const column = key === 'target' ? 'sr' : key;
        assert.ok(precise_error(column, mine[key], native[key]) <= precise_tolerance,
          `${example.name} ${key}: ${mine[key]}, the explorer ${native[key]}`);
      }
      assert.equal(mine.target.toFixed(3), native.target.toFixed(3), example.name);
    }
  });

  test('precise tables of the conformance decks agree with the explorer\'s', async () => {
    let worst = 0;
    let compared = 0;
    for (const deck of (await all_decks()).filter((d) => d.folder === 'valid' || d.folder === 'edge')) {
      const native = explore(['table', deck.path]);
      if (native.status !== 0) continue;
      const mine = engine.table(new Uint8Array(await readFile(deck.path)), '{"format": "csv"}');
      worst = Math.max(worst, assert_csv_close(mine, native.stdout, deck.name));
      compared += 1;
    }
    console.log(`${compared} conformance decks: largest difference from the native explorer ${worst.toExponential(2)}`);
    assert.ok(compared > 300);
  });

  test('the scenario comes back in the explorer\'s JSON form', () => {
    for (const example of examples) {
      const native = explore(['convert', example.path, '--to', 'json']);
      assert.equal(evaluate(JSON.parse(example.text), 0.1).json, native.stdout, example.name);
    }
  });

  test('without a ratio: the minimum, no rows', () => {
    const answer = evaluate(JSON.parse(published.text), null);
    assert.deepEqual(answer.rows, []);
    assert.ok(answer.four_fifths_minimum.target > 0);
  });

  // Each bad value gives the explorer's own lines, each split into the
  // path of the field and the message, and nothing is computed.
  const bad = {
    'an effect size that is not a number': (s) => { s.predictors[1].d = 'abc'; },
    'an empty effect size': (s) => { s.predictors[0].d = ''; },
    'a correlation outside [-1, 1]': (s) => { s.correlations[2][0] = 1.5; s.correlations[0][2] = 1.5; },
    'a correlation matrix that is not symmetric': (s) => { s.correlations[1][3] = 0.5; },
    'a diagonal other than 1': (s) => { s.correlations[2][2] = 0.9; },
    'a minority share outside (0, 1)': (s) => { delete s.majority_per_minority; s.minority_share = 1.5; },
    'both forms of the applicant mix': (s) => { s.minority_share = 0.25; },
    'no applicant mix in overall mode': (s) => { delete s.majority_per_minority; },
    'a misspelt key': (s) => { s.predictors[0].wieght = 1; },
    'a weight with regression weights': (s) => { s.predictors[0].weight = 1; },
    'a criterion weight that is text': (s) => { s.criteria[0].weight = 'one'; },
    'a requested ratio that is not a number': (s) => { s.requested_ratios = ['x']; },
    'a row too short': (s) => { s.correlations[4].pop(); },
    'no predictors': (s) => { s.predictors = []; },
    'an unknown mode': (s) => { s.mode = 'minority'; },
  };
  for (const [what, change] of Object.entries(bad)) {
    test(`bad input, ${what}: the explorer's messages by field, no numbers`, () => {
      const scenario = published_with(change);
      const answer = evaluate(scenario, 0.1);
      const native = explore(['table', '-'], JSON.stringify(scenario));
      assert.equal(native.status, 2);
      const want = explorer_lines(native.stderr);
      assert.ok(want.length > 0, native.stderr);
      assert.deepEqual(answer.errors.map(fault_line), want);
      for (const error of answer.errors) assert.match(error.path, /^[a-z_]+(\[\d+\])*(\.[a-z_]+)?(\[\d+\])*$/);
      for (const key of computed) assert.ok(!(key in answer), `${what}: no ${key}`);
    });
  }

  test('a predictor block that is not positive definite: the explorer\'s warning, and numbers', () => {
    // Three predictors correlating 0.9, 0.9 and -0.9: x'Rx < 0 for x = (1, -1, 1).
    const scenario = published_with((s) => {
      s.predictors.pop();
      s.correlations = [[1, 0.9, -0.9, 0.3], [0.9, 1, 0.9, 0.3], [-0.9, 0.9, 1, 0.2], [0.3, 0.3, 0.2, 1]];
    });
    const answer = evaluate(scenario, 0.1);
    const native = explore(['table', '-', '--ratios', '0.1'], JSON.stringify(scenario));
    assert.deepEqual(answer.warnings.map(fault_line), explorer_lines(native.stderr, 'warning'));
    assert.equal(answer.warnings.length, 1);
    assert_csv_close(answer.csv, native.stdout, 'not positive definite');
  });

  test('a whole matrix that is not positive definite, its predictor block positive: a warning', () => {
    // Two uncorrelated predictors each correlating 0.8 with the criterion:
    // the determinant is 1 - 2 (0.8)^2 = -0.28.
    const scenario = {
      predictors: [{ d: -1, weight: 1 }, { d: 0, weight: 1 }],
      criteria: [{ d: 0, weight: 1 }],
      correlations: [[1, 0, 0.8], [0, 1, 0.8], [0.8, 0.8, 1]],
      majority_per_minority: 3,
    };
    const answer = evaluate(scenario, 0.1);
    assert.deepEqual(answer.warnings.map((w) => w.path), ['correlations']);
    assert.match(answer.warnings[0].message, /not positive definite/);
    assert.ok(answer.rows.length === 1, 'still computed');
    // With 0.7 the determinant is 1 - 2 (0.7)^2 = 0.02: no warning.
    scenario.correlations = [[1, 0, 0.7], [0, 1, 0.7], [0.7, 0.7, 1]];
    assert.deepEqual(evaluate(scenario, 0.1).warnings, []);
  });

  test('a request that is not an object with a scenario is refused', () => {
    for (const request of ['', '[]', '{}', '{"scenario"']) {
      const answer = JSON.parse(engine.evaluate(request));
      assert.equal(answer.errors.length, 1, request);
      assert.equal(answer.errors[0].path, '');
    }
  });
});

describe('front', () => {
  const front = (request) => JSON.parse(engine.front(JSON.stringify(request)));
  const pareto_args = (scenario, ratio) =>
    ['pareto', '-', '--ratio', String(ratio), ...(scenario.mode === 'majority' ? ['--majority'] : [])];

  // Every number of two documents of the explorer within the tolerance.
  function assert_json_close(got, want, what) {
    if (typeof want === 'number') {
      assert.equal(typeof got, 'number', what);
      assert.ok(Math.abs(got - want) <= precise_tolerance * Math.max(1, Math.abs(want)), `${what}: ${got}, the explorer ${want}`);
    } else if (want !== null && typeof want === 'object') {
      assert.deepEqual(Object.keys(got).sort(), Object.keys(want).sort(), what);
      for (const key of Object.keys(want)) assert_json_close(got[key], want[key], `${what}.${key}`);
    } else assert.equal(got, want, what);
  }

  test('the front, its CSV and chart are the explorer\'s for the examples with a criterion', () => {
    for (const example of examples) {
      const scenario = JSON.parse(example.text);
      if (scenario.criteria.length === 0) continue;
      for (const options of [{}, { objective: 'mean' }, { signs: 'any' }]) {
        const args = [...pareto_args(scenario, 0.2),
          ...(options.objective ? ['--objective', 'mean'] : []), ...(options.signs ? ['--weights', 'any'] : [])];
        const answer = front({ scenario, ratio: 0.2, ...options });
        const native = explore([...args, '--format', 'json'], example.text);
        if (native.status !== 0) {
          // The mean needs the applicant mix: both refuse, in the same words.
          assert.deepEqual(answer.front_errors.map((e) => e.message),
            [native.stderr.trim().split('\n').at(-1).replace(/^fourfifths-explore: /, '')], example.name);
          continue;
        }
        assert.deepEqual(answer.front_errors, [], example.name);
        assert_json_close(answer.front, JSON.parse(native.stdout), `${example.name} ${JSON.stringify(options)}`);
        assert_csv_close(answer.csv, explore(args, example.text).stdout, example.name);
      }
    }
  });

  test('the best weighting for a minimum impact ratio, reached or not, is the explorer\'s', async () => {
    const scenario = JSON.parse(published.text);
    for (const min_ai of [0.5, 0.8, 0.99]) {
      const answer = front({ scenario, ratio: 0.1, min_ai });
      const native = explore([...pareto_args(scenario, 0.1), '--min-ai', String(min_ai), '--format', 'json'], published.text);
      assert_json_close(answer.min_ai, JSON.parse(native.stdout), `min_ai ${min_ai}`);
      assert.equal(answer.min_ai.reached, native.status === 0, `min_ai ${min_ai}: exit status ${native.status}`);
    }
    // The chart marks the answer, as the explorer's --plot does.
    const chart = join(tmpdir(), `fourfifths-requests-${process.pid}.svg`);
    explore([...pareto_args(scenario, 0.1), '--min-ai', '0.8', '--plot', chart], published.text);
    assert.equal(front({ scenario, ratio: 0.1, min_ai: 0.8 }).front_chart, await readFile(chart, 'utf8'));
    await rm(chart);
  });

  test('no criterion, or a ratio outside (0, 1): the explorer\'s reason, no front', () => {
    const no_criterion = JSON.parse(examples.find((e) => e.name === 'overall_given_weights.json').text);
    for (const [scenario, ratio] of [[no_criterion, 0.2], [JSON.parse(published.text), 1.5]]) {
      const answer = front({ scenario, ratio });
      assert.equal(answer.front, undefined);
      assert.equal(answer.front_errors.length, 1);
      assert.equal(answer.front_errors[0].path, 'front');
      if (ratio < 1) {
        const native = explore(pareto_args(scenario, ratio), JSON.stringify(scenario));
        assert.equal(native.status, 2);
        assert.equal(answer.front_errors[0].message, native.stderr.trim().replace(/^fourfifths-explore: /, ''));
      } else assert.match(answer.front_errors[0].message, /strictly between 0 and 1/);
    }
  });

  test('the plot is the explorer\'s SVG', () => {
    for (const example of examples) {
      const answer = evaluate(JSON.parse(example.text), 0.1);
      assert.equal(answer.ai_chart, explore(['plot', example.path, '-o', '-']).stdout, example.name);
    }
  });
});

describe('load', () => {
  test('a deck becomes the scenario the explorer converts it to', async () => {
    const decks = (await all_decks()).filter((d) => d.folder === 'examples' || d.name.startsWith('v00'));
    assert.ok(decks.length > 10);
    for (const deck of decks) {
      const loaded = JSON.parse(engine.load(new Uint8Array(await readFile(deck.path))));
      assert.equal(loaded.form, 'deck');
      assert.deepEqual(loaded.errors, [], deck.name);
      const native = explore(['convert', deck.path, '--to', 'json']);
      if (native.status === 0) assert.deepEqual(loaded.scenario, JSON.parse(native.stdout), deck.name);
    }
  });

  test('a deck the program refuses: the program\'s own lines', async () => {
    const refused = (await all_decks()).filter((d) => d.folder === 'invalid').slice(0, 40);
    for (const deck of refused) {
      const loaded = JSON.parse(engine.load(new Uint8Array(await readFile(deck.path))));
      assert.equal(loaded.scenario, null, deck.name);
      const native = explore(['convert', '-', '--to', 'json'], await readFile(deck.path));
      assert.deepEqual(loaded.errors.map(fault_line), explorer_lines(native.stderr), deck.name);
    }
  });

  test('a JSON scenario comes back as its document, unchecked', () => {
    const scenario = published_with((s) => { s.predictors[1].d = 'abc'; });
    const loaded = JSON.parse(engine.load(JSON.stringify(scenario)));
    assert.deepEqual(loaded, { form: 'json', scenario, errors: [] });
  });

  test('a JSON scenario with a key the schema lacks is refused, with the explorer\'s words', () => {
    // The form would drop the key and compute without it; the explorer
    // refuses it, and so does the page.
    const twice = (text) => text.replace('"mode":', '"mode": "overall", "mode":');
    for (const [change, edit] of [[(s) => { s.predictors[0].wieght = 1; }, (t) => t],
      [(s) => { s.titel = 'x'; }, (t) => t], [() => {}, twice]]) {
      const scenario = published_with(change);
      const text = edit(JSON.stringify(scenario));
      const loaded = JSON.parse(engine.load(text));
      assert.equal(loaded.scenario, null);
      const native = explore(['table', '-'], text);
      assert.equal(native.status, 2);
      assert.deepEqual(loaded.errors.map(fault_line), explorer_lines(native.stderr));
    }
  });

  test('JSON with a syntax error: the explorer\'s line and column', () => {
    for (const text of ['{"predictors": [', '{\n  "mode": "overall",\n  "predictors": [1,]\n}', '{"a": 1e999}',
]) {
      const loaded = JSON.parse(engine.load(text));
      assert.equal(loaded.scenario, null);
      const native = explore(['table', '-'], text);
      assert.deepEqual(loaded.errors.map(fault_line), explorer_lines(native.stderr), text);
    }
  });
});

/** A case of tests/analysis/data/groups (a neutral form) as a scenario with groups. */
function group_scenario(c) {
  const weights = c.predictor_weights === 'regression' ? null : c.predictor_weights;
  return {
    mode: c.mode,
    quality: c.quality,
    ...(weights ? {} : { weights: 'regression' }),
    predictors: Array.from({ length: c.predictors }, (_, i) => (weights ? { weight: weights[i] } : {})),
    criteria: (c.criterion_weights ?? []).map((w) => ({ weight: w })),
    correlations: c.correlations,
    groups: c.groups,
  };
}

describe('several groups and the table across ratios', () => {
  test('the rows across ratios are the explorer\'s table without --ratios', () => {
    for (const example of examples) {
      const answer = evaluate(JSON.parse(example.text), 0.1);
      assert_csv_close(answer.across_csv, explore(['table', example.path]).stdout, example.name);
      assert.equal(answer.across.length, answer.across_csv.trim().split('\n').length - 1);
    }
  });

  test('groups: every rate, ratio and mean within 1e-12 of the 40-digit outcomes', async () => {
    const dir = join(source, 'tests/analysis/data/groups');
    const cases = (await readFile(join(dir, 'cases.jsonl'), 'utf8')).trim().split('\n').map((l) => JSON.parse(l));
    const [header, ...lines] = (await readFile(join(dir, 'truth.csv'), 'utf8')).trim().split(/\r?\n/).map((l) => l.split(','));
    const truth = lines.map((l) => Object.fromEntries(header.map((h, i) => [h, l[i]])));
    let worst = 0;
    let compared = 0;
    for (const c of cases) {
      for (const ratio of [0.1, 0.5]) {
        const answer = evaluate(group_scenario(c), ratio);
        assert.deepEqual(answer.errors, [], c.id);
        assert.equal(answer.several_groups, true);
        const rows = answer.rows.filter((r) => r.kind === 'requested');
        const want = truth.filter((t) => t.case === c.id && t.ratio === String(ratio));
        assert.deepEqual(rows.map((r) => r.group), want.map((t) => t.group), c.id);
        for (const [k, t] of want.entries()) {
          for (const [mine, theirs, relative] of [['sr_group', 'sr', true], ['ai_vs_majority', 'ai_vs_majority', true],
            ['ratio_to_highest', 'ratio_to_highest', true], ['mean_group', 'mean', false], ['cut_score', 'cut_score', false]]) {
            const expected = Number(t[theirs]);
            if (relative && Math.abs(expected) < 1e-300) continue;
            const error = Math.abs(rows[k][mine] - expected) / (relative ? Math.abs(expected) : Math.max(1, Math.abs(expected)));
            assert.ok(error <= precise_tolerance, `${c.id} at ${ratio} ${t.group} ${mine}: ${rows[k][mine]}, ${t[theirs]}`);
            worst = Math.max(worst, error);
            compared += 1;
          }
          assert.equal(String(rows[k].passes_four_fifths), t.passes_four_fifths, `${c.id} ${t.group}`);
        }
        const minimum = truth.find((t) => t.case === c.id && t.ratio.startsWith('minimum:'));
        // A minimum far below the doubles (1e-784) is none to the engine.
        if (minimum && Number(minimum.ratio.slice('minimum:'.length)) > 0) {
          const expected = Number(minimum.ratio.slice('minimum:'.length));
          assert.ok(Math.abs(answer.four_fifths_minimum.sr - expected) <= precise_tolerance * expected, c.id);
        } else assert.equal(answer.four_fifths_minimum, null, c.id);
      }
    }
    console.log(`groups: ${compared} values, largest difference from the 40-digit outcomes ${worst.toExponential(2)}`);
  });

  test('groups: the bundled example\'s tables are the explorer\'s', () => {
    const grouped = all_examples.filter((e) => 'groups' in JSON.parse(e.text));
    assert.ok(grouped.length > 0, 'an example with several groups is bundled');
    for (const example of grouped) {
      const answer = evaluate(JSON.parse(example.text), 0.1);
      assert.deepEqual(answer.errors, [], example.name);
      assert.equal(answer.several_groups, true, example.name);
      assert_csv_close(answer.across_csv, explore(['table', example.path]).stdout, `${example.name} across ratios`);
      assert_csv_close(answer.csv, explore(['table', example.path, '--ratios', '0.1']).stdout, `${example.name} at 0.1`);
    }
  });

  test('a baseline\'s front is drawn, dotted, into the front on screen only', () => {
    const scenario = JSON.parse(published.text);
    const baseline = published_with((s) => { s.predictors[0].d = -0.5; });
    const front = JSON.parse(engine.front(JSON.stringify({ scenario, ratio: 0.1, width: 600, baseline })));
    assert.deepEqual(front.front_errors, []);
    assert.match(front.front_chart_screen, /baseline: Pareto front/);
    assert.doesNotMatch(front.front_chart, /baseline/);
  });

  test('groups: the table across ratios and the front are the explorer\'s', () => {
    const c = JSON.parse(readFileSync(join(source, 'tests/analysis/data/groups/cases.jsonl'), 'utf8').split('\n')[1]);
    const scenario = { ...group_scenario(c), requested_ratios: [0.25, 0.6] };
    const answer = evaluate(scenario, 0.25);
    assert_csv_close(answer.across_csv, explore(['table', '-'], JSON.stringify(scenario)).stdout, 'groups across ratios');
    assert_csv_close(answer.csv, explore(['table', '-', '--ratios', '0.25'], JSON.stringify(scenario)).stdout, 'groups at 0.25');
    // The explorer's plot of several groups: three panels.
    assert.equal(answer.ai_chart, explore(['plot', '-', '-o', '-'], JSON.stringify(scenario)).stdout);
    // On a narrow screen its three panels stand one above another.
    const narrow = JSON.parse(engine.evaluate(JSON.stringify({ scenario, ratio: 0.25, width: 440 })));
    const [, , width, height] = narrow.ai_chart_screen.match(/viewBox="([^"]*)"/)[1].split(' ').map(Number);
    assert.equal(width, 440);
    assert.ok(height > 2 * width, `three panels stacked (${width} by ${height})`);
    for (const title of ['Four-fifths rule', 'Selection rates', 'Quality of those selected']) {
      assert.match(narrow.ai_chart_screen, new RegExp(`>${title}<`));
    }
    const front = JSON.parse(engine.front(JSON.stringify({ scenario, ratio: 0.25, min_ai: 0.8 })));
    assert.deepEqual(front.errors, []);
    assert.deepEqual(front.front_errors, []);
    assert.equal(front.several_groups, true);
    const native = explore(['pareto', '-', '--ratio', '0.25', '--format', 'csv'], JSON.stringify(scenario));
    assert.equal(native.status, 0, native.stderr);
    // The search takes its exp, log and erfc from the program's own code on
    // either build (group_front.test.mjs checks many more fronts).
    assert_csv_close(front.csv, native.stdout, 'the front of several groups');
    // Each point's impact ratio, as the page shows it, is its lowest ratio
    // to the highest rate.
    for (const point of front.front.points) assert.equal(point.ai_ratio, point.lowest_ratio_to_highest);
    const best = explore(['pareto', '-', '--ratio', '0.25', '--min-ai', '0.8', '--format', 'json'], JSON.stringify(scenario));
    const expected = JSON.parse(best.stdout);
    assert.equal(front.min_ai.reached, best.status === 0);
    assert.ok(Math.abs(front.min_ai.weighting.validity - expected.weighting.validity) <= 1e-12,
      'the best weighting for a minimum ratio is the explorer\'s');
  });

  test('observed counts: the explorer\'s analysis, CSV and chart', async () => {
    const path = join(source, 'examples/observed_hiring.csv');
    const data = await readFile(path, 'utf8');
    const answer = JSON.parse(engine.observed(JSON.stringify({ data })));
    assert.deepEqual(answer.errors, []);
    assert.deepEqual(answer.analysis, JSON.parse(explore(['observed', path, '--format', 'json']).stdout));
    assert.equal(answer.csv, explore(['observed', path]).stdout);
    const svg = join(tmpdir(), `fourfifths-observed-${process.pid}.svg`);
    explore(['observed', path, '--plot', svg]);
    assert.equal(answer.chart, await readFile(svg, 'utf8'));
    await rm(svg);
    // A reference and a level of the request's own.
    const other = JSON.parse(engine.observed(JSON.stringify({ data, reference: 'women', alpha: 0.01 })));
    assert.deepEqual(other.analysis,
      JSON.parse(explore(['observed', path, '--reference', 'women', '--alpha', '0.01', '--format', 'json']).stdout));
    // A fault: the explorer's words and place.
    const bad = 'group,applicants,selected\nA,10,12\nB,5,1\n';
    const refused = JSON.parse(engine.observed(JSON.stringify({ data: bad })));
    assert.deepEqual(refused.errors.map(fault_line), explorer_lines(explore(['observed', '-'], bad).stderr));
  });

  test('a baseline is drawn into the chart on screen, never into the download', () => {
    const scenario = JSON.parse(published.text);
    const baseline = published_with((s) => { s.predictors[0].d = -0.5; });
    const plain = JSON.parse(engine.evaluate(JSON.stringify({ scenario, ratio: 0.1, width: 700 })));
    const compared = JSON.parse(engine.evaluate(JSON.stringify({ scenario, ratio: 0.1, width: 700, baseline })));
    assert.equal(compared.ai_chart, plain.ai_chart);
    assert.equal(compared.ai_chart, explore(['plot', '-', '-o', '-'], published.text).stdout);
    assert.doesNotMatch(plain.ai_chart_screen, /baseline:/);
    assert.match(compared.ai_chart_screen, />baseline: Impact ratio</);
    // A baseline with faults draws nothing more.
    const broken = JSON.parse(engine.evaluate(JSON.stringify({ scenario, ratio: 0.1, width: 700, baseline: { mode: 2 } })));
    assert.equal(broken.ai_chart_screen, plain.ai_chart_screen);
  });

  test('a deck the reader cannot read is told from one the program refuses', async () => {
    const garbage = JSON.parse(engine.load('hello\nthese are my notes\n'));
    assert.equal(garbage.scenario, null);
    assert.equal(garbage.unreadable, true);
    const refused = (await all_decks()).filter((d) => d.folder === 'invalid');
    const statuses = refused.slice(0, 40).map((d) => JSON.parse(engine.load(new Uint8Array(readFileSync(d.path)))).unreadable);
    assert.ok(statuses.includes(false), 'some decks are refused by the program, not the reader');
  });
});

/** The published example with its minority written as the one group of "groups". */
function published_as_one_group() {
  const s = JSON.parse(published.text);
  const d = [...s.predictors, ...s.criteria].map((v) => v.d);
  for (const v of [...s.predictors, ...s.criteria]) delete v.d;
  // Three majority applicants to each minority one: a share of one in four.
  delete s.majority_per_minority;
  s.groups = [{ name: 'minority', share: 0.25, d }];
  return s;
}

describe('one minority group, written either way', () => {
  const plain = JSON.parse(published.text);
  const grouped = published_as_one_group();

  test('evaluate: the same verdict, impact ratio and four-fifths minimum', () => {
    for (const ratio of [0.05, 0.1, 0.37, 0.9]) {
      const one = evaluate(plain, ratio);
      const groups = evaluate(grouped, ratio);
      assert.deepEqual(groups.errors, []);
      assert.equal(one.several_groups, false);
      assert.equal(groups.several_groups, true);
      const row = one.rows[0];
      const minority = groups.rows.find((r) => r.kind === 'requested' && r.group === 'minority');
      assert.ok(minority, `the group's row at ${ratio}`);
      assert.equal(minority.passes_four_fifths, row.passes_four_fifths, `verdict at ${ratio}`);
      assert.ok(Math.abs(minority.ratio_to_highest - row.ai_ratio) <= precise_tolerance, `impact ratio at ${ratio}`);
      const minimum = one.four_fifths_minimum.target;
      assert.ok(Math.abs(groups.four_fifths_minimum.sr - minimum) <= precise_tolerance * minimum, 'the minimum');
      // The typed columns hold the CSV's rows.
      for (const answer of [one, groups]) {
        assert.equal(answer.columns.names.join(','), answer.csv.split('\n')[0]);
        for (const column of answer.columns.columns) assert.equal(column.length, answer.rows.length);
        assert.equal(answer.across_columns.columns[0].length, answer.across.length);
      }
    }
  });

  test('front: the same points and the same best weighting', () => {
    const request = (scenario) => JSON.parse(engine.front(JSON.stringify({ scenario, ratio: 0.1, min_ai: 0.8 })));
    const one = request(plain);
    const groups = request(grouped);
    assert.deepEqual(one.front_errors, []);
    assert.deepEqual(groups.front_errors, []);
    const close = (a, b, what) => assert.ok(Math.abs(a - b) <= 1e-6, `${what}: ${a}, ${b}`);
    assert.equal(groups.front.points.length, one.front.points.length);
    for (const [k, point] of one.front.points.entries()) {
      close(groups.front.points[k].ai_ratio, point.ai_ratio, `point ${k + 1}'s impact ratio`);
      close(groups.front.points[k].validity, point.validity, `point ${k + 1}'s validity`);
    }
    assert.equal(groups.min_ai.reached, one.min_ai.reached);
    close(groups.min_ai.weighting.validity, one.min_ai.weighting.validity, 'the best weighting\'s validity');
    assert.equal(groups.columns.columns[0].length, groups.front.points.length);
    assert.equal(one.columns.columns[0].length, one.front.points.length);
  });

  test('table: the groups\' table for groups, and the classic method refused as the explorer refuses it', () => {
    const text = JSON.stringify(grouped);
    const bytes = new TextEncoder().encode(text);
    assert_csv_close(engine.table(bytes, '{"format": "csv"}'), explore(['table', '-'], text).stdout, 'groups\' table');
    assert_csv_close(engine.table(bytes, '{"format": "csv", "ratios": [0.2, 0.4]}'),
      explore(['table', '-', '--ratios', '0.2,0.4'], text).stdout, 'groups\' table at ratios');
    const table = JSON.parse(engine.table(bytes, '{}'));
    assert.ok(table.rows.some((r) => r.group === 'minority'));
    const refused = JSON.parse(engine.table(bytes, '{"method": "classic"}'));
    const native = explore(['table', '-', '--method', 'classic'], text);
    assert.notEqual(native.status, 0);
    assert.deepEqual(refused.errors.map((e) => e.message), explorer_lines(native.stderr));
    // With one group written plainly, the classic method is the explorer's.
    assert_csv_close(engine.table(new TextEncoder().encode(published.text), '{"method": "classic", "format": "csv"}'),
      explore(['table', published.path, '--method', 'classic']).stdout, 'classic table');
  });
});

describe('time', () => {
  test('evaluate and front on the published example (figures, not limits)', () => {
    const scenario = JSON.parse(published.text);
    for (const [name, call, request] of [
      ['evaluate', engine.evaluate, { scenario, ratio: 0.1 }],
      ['front', engine.front, { scenario, ratio: 0.1, min_ai: 0.8 }],
    ]) {
      const text = JSON.stringify(request);
      for (let i = 0; i < 20; i += 1) call(text);  // past the compiler's first tiers
      const runs = 50;
      const start = performance.now();
      for (let i = 0; i < runs; i += 1) call(text);
      console.log(`${name}, published example, under Node.js: ${((performance.now() - start) / runs).toFixed(2)} ms a request`);
    }
  });
});
