// The page's Pareto front of several groups against the native explorer's
// on the same scenario: the bundled example with groups and scenarios drawn
// here (2 to 4 groups, 2 to 5 predictors, effects of either sign), in both
// modes, with weights of any sign and non-negative, for validity and the
// mean; and the best weighting for a lowest ratio between the front's
// ends. Both builds run the same search on the same arithmetic, so every
// weight, validity, lowest ratio and bound agrees to 1e-12 (relative to
// max(1, |value|)); the largest differences are printed.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { example_scenarios, explore, load_engine } from './support.mjs';

const engine = await load_engine();
const tolerance = 1e-12;

// A small seeded generator (mulberry32), so that a failure can be replayed.
function generator(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const round = (x, digits) => Number(x.toFixed(digits));

/**
 * A scenario of `predictors` predictors and one criterion whose
 * correlations come from two common factors and a unique part (so they are
 * positive definite), with `groups` minority groups whose effects on each
 * variable lie in [-1, 0.6].
 */
function drawn(seed, predictors, groups) {
  const random = generator(seed);
  const size = predictors + 1;
  const loadings = Array.from({ length: size }, () => [0.2 + 0.6 * random(), -0.4 + 0.8 * random()]);
  const correlations = loadings.map((li, i) => loadings.map((lj, j) => {
    if (i === j) return 1;
    const unique = (l) => Math.sqrt(l[0] * l[0] + l[1] * l[1] + 0.3);
    return round((li[0] * lj[0] + li[1] * lj[1]) / (unique(li) * unique(lj)), 3);
  }));
  return {
    title: `drawn ${seed}`,
    mode: 'overall',
    quality: 'criterion',
    weights: 'regression',
    predictors: Array.from({ length: predictors }, (_, j) => ({ name: `p${j + 1}` })),
    criteria: [{ name: 'performance', weight: 1 }],
    correlations,
    groups: Array.from({ length: groups }, (_, g) => ({
      name: `g${g + 1}`,
      share: round(0.04 + 0.16 * random(), 2),
      d: Array.from({ length: size }, () => round(-1 + 1.6 * random(), 2)),
    })),
  };
}

const scenarios = [
  ...(await example_scenarios())
    .filter((e) => 'groups' in JSON.parse(e.text))
    .map((e) => ({ name: e.name, scenario: JSON.parse(e.text), ratio: 0.2 })),
  { name: 'drawn 2 predictors, 2 groups', scenario: drawn(11, 2, 2), ratio: 0.3 },
  { name: 'drawn 3 predictors, 3 groups', scenario: drawn(12, 3, 3), ratio: 0.15 },
  { name: 'drawn 4 predictors, 2 groups', scenario: drawn(13, 4, 2), ratio: 0.25 },
  { name: 'drawn 4 predictors, 4 groups', scenario: drawn(14, 4, 4), ratio: 0.1 },
  { name: 'drawn 5 predictors, 3 groups', scenario: drawn(15, 5, 3), ratio: 0.4 },
];

// Which quantity a number of the front's JSON is, by its key.
function quantity(path) {
  if (/\.weight(s|_list)\b/.test(path)) return 'weights';
  if (/\.validity$/.test(path)) return 'validity';
  if (/\.lowest_ratio_to_highest$/.test(path)) return 'lowest ratio';
  if (/\.(bound|gap|highest_level_bound)$/.test(path)) return 'bounds';
  return 'other';
}

/**
 * The largest difference of each quantity between the page's front and the
 * explorer's, relative to max(1, |value|); words, flags and the shape the
 * same. The page adds each point's "ai_ratio" (its lowest ratio).
 */
function differences(got, want, path, worst) {
  if (typeof want === 'number') {
    assert.equal(typeof got, 'number', path);
    const error = got === want ? 0 : Math.abs(got - want) / Math.max(1, Math.abs(want));
    const kind = quantity(path);
    if (!(error <= (worst[kind]?.error ?? -1))) worst[kind] = { error, path, got, want };
  } else if (want !== null && typeof want === 'object') {
    const extra = Object.keys(got).filter((k) => !(k in want) && k !== 'ai_ratio');
    assert.deepEqual(extra, [], path);
    assert.deepEqual(Object.keys(want).filter((k) => !(k in got)), [], path);
    for (const key of Object.keys(want)) differences(got[key], want[key], `${path}.${key}`, worst);
  } else {
    assert.equal(got, want, path);
  }
  return worst;
}

const settings = [];
for (const mode of ['overall', 'majority']) {
  for (const signs of ['nonnegative', 'any']) {
    for (const objective of ['validity', 'mean']) settings.push({ mode, signs, objective });
  }
}

describe('the front of several groups is the explorer\'s', () => {
  const overall = {};
  for (const { name, scenario: base, ratio } of scenarios) {
    test(`${name} at ${ratio}: every mode, sign and objective`, () => {
      for (const { mode, signs, objective } of settings) {
        const scenario = { ...base, mode };
        const what = `${name} ${mode} ${signs} ${objective}`;
        const answer = JSON.parse(engine.front(JSON.stringify({ scenario, ratio, signs, objective })));
        assert.deepEqual(answer.errors, [], what);
        assert.equal(answer.several_groups, true, what);
        const native = explore(['pareto', '-', '--ratio', String(ratio), ...(mode === 'majority' ? ['--majority'] : []),
          '--weights', signs, '--objective', objective, '--format', 'json'], JSON.stringify(scenario));
        assert.equal(native.status, 0, `${what}: ${native.stderr}`);
        assert.deepEqual(answer.front_errors, [], what);
        const want = JSON.parse(native.stdout);
        assert.ok(want.points.length > 1, `${what}: a front of more than one point`);
        const worst = differences(answer.front, want, what, {});
        // The best weighting for a lowest ratio between the front's ends
        // (a level of its own, not a point's): a search of its own.
        const lowest = want.points.map((p) => p.lowest_ratio_to_highest);
        const min_ai = round((lowest[0] + lowest.at(-1)) / 2, 3);
        const best = JSON.parse(engine.front(JSON.stringify({ scenario, ratio, signs, objective, min_ai })));
        const native_best = explore(['pareto', '-', '--ratio', String(ratio), ...(mode === 'majority' ? ['--majority'] : []),
          '--weights', signs, '--objective', objective, '--min-ai', String(min_ai), '--format', 'json'], JSON.stringify(scenario));
        assert.ok(native_best.status === 0 || native_best.status === 3, `${what} min_ai: ${native_best.stderr}`);
        assert.equal(best.min_ai.reached, native_best.status === 0, `${what} min_ai ${min_ai}`);
        differences(best.min_ai, JSON.parse(native_best.stdout), `${what} min_ai ${min_ai}`, worst);
        for (const [kind, w] of Object.entries(worst)) {
          assert.ok(w.error <= tolerance, `${w.path}: ${w.got}, the explorer ${w.want}`);
          if (!(w.error <= (overall[kind]?.error ?? -1))) overall[kind] = w;
        }
      }
    });
  }
  test('the largest differences (fronts and best weightings)', () => {
    const figures = ['weights', 'validity', 'lowest ratio', 'bounds', 'other']
      .map((kind) => `${kind} ${(overall[kind]?.error ?? 0).toExponential(2)}`);
    console.log(`front of several groups: ${scenarios.length} scenarios, ${settings.length} settings each; `
      + `largest differences from the explorer: ${figures.join(', ')}`);
    assert.ok(Object.keys(overall).length > 0, 'fronts were compared');
  });
});
