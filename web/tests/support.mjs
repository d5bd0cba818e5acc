// What the Node.js tests share: the WebAssembly engine as the page loads it,
// the source tree's data, and the native explorer built by the release
// preset, whose answers are the expectations for the page's requests.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { readFile, readdir } from 'node:fs/promises';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

export const source = new URL('../..', import.meta.url).pathname;

export async function load_engine() {
  const module_path = process.env.FOURFIFTHS_WEB_ENGINE;
  assert.ok(module_path, 'FOURFIFTHS_WEB_ENGINE names the built fourfifths_engine.mjs (run through ctest)');
  const { default: create_engine } = await import(pathToFileURL(module_path).href);
  // The module is built for the web and fetches its .wasm file; Node.js
  // hands it the bytes instead.
  return create_engine({ wasmBinary: await readFile(module_path.replace(/\.mjs$/, '.wasm')) });
}

/// The native fourfifths-explore of the release build.
export function native_explore() {
  const path = process.env.FOURFIFTHS_NATIVE_EXPLORE;
  assert.ok(path && existsSync(path),
    `the native explorer (${path}) is built: cmake --preset release && cmake --build --preset release`);
  return path;
}

/// Runs the native explorer; `input` goes to its standard input.
export function explore(args, input) {
  const run = spawnSync(native_explore(), args, { input, encoding: 'utf8' });
  assert.equal(run.error, undefined, String(run.error));
  return run;
}

/// The errors (or warnings) the explorer wrote for a scenario on standard
/// input: "fourfifths-explore: standard input: [warning: ]path: message".
export function explorer_lines(stderr, kind = 'error') {
  const prefix = 'fourfifths-explore: standard input: ';
  return stderr
    .split('\n')
    .filter((line) => line.startsWith(prefix))
    .map((line) => line.slice(prefix.length))
    .filter((line) => (kind === 'warning') === line.startsWith('warning: '))
    .map((line) => (kind === 'warning' ? line.slice('warning: '.length) : line));
}

/// "path: message" as the explorer writes a fault.
export function fault_line({ path, message }) {
  return path === '' ? message : `${path}: ${message}`;
}

/// Every deck of the conformance suite and the bundled examples.
export async function all_decks() {
  const decks = [];
  for (const folder of ['valid', 'edge', 'invalid']) {
    const dir = join(source, 'tests/golden/conformance', folder);
    for (const name of (await readdir(dir)).filter((f) => f.endsWith('.deck')).sort()) {
      decks.push({ folder, name: name.slice(0, -5), path: join(dir, name) });
    }
  }
  const examples = join(source, 'examples');
  for (const name of (await readdir(examples)).filter((f) => f.endsWith('.deck')).sort()) {
    decks.push({ folder: 'examples', name: name.slice(0, -5), path: join(examples, name) });
  }
  return decks;
}

/// The bundled JSON scenarios.
export async function example_scenarios() {
  const examples = join(source, 'examples');
  const names = (await readdir(examples)).filter((f) => f.endsWith('.json')).sort();
  return Promise.all(names.map(async (name) => ({
    name, path: join(examples, name), text: await readFile(join(examples, name), 'utf8'),
  })));
}

// The precise method's tolerance (tests/golden/precise/README.md): 1e-12,
// relative for the selection and impact ratios, relative to max(1, |v|)
// for the rest. The precise method's exp, log and erfc are the program's
// own (numeric/portable_math.h), the same bits on either build; values
// through the C library's functions elsewhere (musl's in WebAssembly,
// glibc's natively) may differ from the native explorer's in their last
// bits.
export const precise_tolerance = 1e-12;
const relative_columns = new Set(['target', 'sr', 'sr_majority', 'sr_minority', 'ai_ratio']);

/// The error of `got` against `want` in column `column`, by that rule.
export function precise_error(column, got, want) {
  if (Number.isNaN(got) && Number.isNaN(want)) return 0;
  const scale = relative_columns.has(column) ? Math.abs(want) : Math.max(1, Math.abs(want));
  return got === want ? 0 : Math.abs(got - want) / scale;
}

/// Compares two CSV tables of the explorer: the same rows and columns, the
/// same words and empty fields, numbers within the tolerance. Returns the
/// largest error.
export function assert_csv_close(got, want, what, tolerance = precise_tolerance) {
  const split = (text) => text.trim().split('\n').map((line) => line.split(','));
  const [got_header, ...got_rows] = split(got);
  const [want_header, ...want_rows] = split(want);
  assert.deepEqual(got_header, want_header, what);
  assert.equal(got_rows.length, want_rows.length, what);
  let worst = 0;
  for (const [r, row] of want_rows.entries()) {
    for (const [c, field] of row.entries()) {
      const column = want_header[c];
      const mine = got_rows[r][c];
      // At the four-fifths minimum the impact ratio is 0.8 to the last
      // bits, and which side of 0.8 it lands on is within the tolerance.
      const at_the_line = precise_error('ai_ratio', Number(row[want_header.indexOf('ai_ratio')]), 0.8)
        <= precise_tolerance;
      if (column === 'passes_four_fifths' && at_the_line) continue;
      if (field === '' || !/^[-0-9.e+]+$|^NaN$/.test(field)) {
        assert.equal(mine, field, `${what}: row ${r + 1} ${column}`);
        continue;
      }
      const error = precise_error(column, Number(mine), Number(field));
      assert.ok(error <= tolerance, `${what}: row ${r + 1} ${column}: ${mine}, the explorer ${field}`);
      worst = Math.max(worst, error);
    }
  }
  return worst;
}
