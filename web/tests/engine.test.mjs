// The WebAssembly module as the page ships it, loaded under Node.js: its
// numbers against high-precision values, and its JSON entry point.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

const module_path = process.env.FOURFIFTHS_WEB_ENGINE;
assert.ok(module_path, 'FOURFIFTHS_WEB_ENGINE names the built fourfifths_engine.mjs (run through ctest)');
const { default: create_engine } = await import(pathToFileURL(module_path).href);
// The module is built for the web and fetches its .wasm file; Node.js hands
// it the bytes instead.
const engine = await create_engine({
  wasmBinary: await readFile(module_path.replace(/\.mjs$/, '.wasm')),
});

// Q(z) = 1 - Phi(z) from Python's mpmath at 40 digits, rounded to double:
//   mpmath.mp.dps = 40; float(mpmath.ncdf(-mpmath.mpf(z)))
const upper_tail_cases = [
  { z: -3, q: 0.9986501019683699 },
  { z: 0, q: 0.5 },
  { z: 1.96, q: 0.024997895148220435 },
  { z: 2.5, q: 0.006209665325776135 },
  { z: 8, q: 6.220960574271784e-16 },
  { z: 20, q: 2.7536241186062337e-89 },
];

// The argument z / sqrt(2) is rounded once; erfc magnifies a relative error
// in its argument x about 2 x^2 = z^2 times, so the bound grows with z^2.
function tolerance(z) {
  return 4 * Number.EPSILON * Math.max(1, z * z);
}

describe('upper_tail', () => {
  for (const { z, q } of upper_tail_cases) {
    test(`Q(${z}) to a relative ${tolerance(z).toExponential(1)}`, () => {
      const got = engine.upper_tail(z);
      assert.ok(
        Math.abs(got - q) <= tolerance(z) * q,
        `Q(${z}) = ${got}, expected ${q} (relative error ${Math.abs(got - q) / q})`,
      );
    });
  }
});

describe('evaluate (JSON)', () => {
  test('answers with the same double as the direct call', () => {
    for (const { z } of upper_tail_cases) {
      const answer = JSON.parse(engine.evaluate(JSON.stringify({ z })));
      assert.deepEqual(Object.keys(answer), ['upper_tail']);
      assert.equal(answer.upper_tail, engine.upper_tail(z), `z = ${z}`);
    }
  });

  test('takes integer and exponent forms of z', () => {
    assert.equal(JSON.parse(engine.evaluate('{"z": 2}')).upper_tail, engine.upper_tail(2));
    assert.equal(JSON.parse(engine.evaluate('{"z": 25e-1}')).upper_tail, engine.upper_tail(2.5));
  });

  test('answers a bad request with an error and no value', () => {
    for (const request of ['', '{"z": 1', '[1.5]', '1.5', '{}', '{"z": "1.5"}', '{"z": null}', '{"x": 1}']) {
      const answer = JSON.parse(engine.evaluate(request));
      assert.equal(typeof answer.error, 'string', `request ${JSON.stringify(request)}`);
      assert.ok(!('upper_tail' in answer), `request ${JSON.stringify(request)}`);
    }
  });
});
