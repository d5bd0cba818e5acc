// Every fault of the input at once, in words a reader can act on. The
// engine stops reading at a value of the wrong kind (text where a number
// belongs), so the page puts a harmless value in place of each faulty one
// and asks again, until no new fault comes up.
import type { Engine } from '@engine';

import type { Fault } from './answers';

type Doc = Record<string, unknown>;

/** The steps of a path: "groups[1].d[2]" -> ["groups", 1, "d", 2]. */
function steps(path: string): (string | number)[] {
  const out: (string | number)[] = [];
  for (const match of path.matchAll(/([A-Za-z_]+)|\[(\d+)\]/g)) {
    out.push(match[1] !== undefined ? match[1] : Number(match[2]));
  }
  return out;
}

/** The value at a path of a document, or undefined. */
export function value_at(doc: unknown, path: string): unknown {
  let here: unknown = doc;
  for (const step of steps(path)) {
    if (here === null || typeof here !== 'object') return undefined;
    here = (here as Record<string | number, unknown>)[step];
  }
  return here;
}

function set_at(doc: unknown, path: string, value: unknown): boolean {
  const list = steps(path);
  const last = list.pop();
  const parent = value_at(doc, list.reduce<string>((p, s) => (typeof s === 'number' ? `${p}[${s}]` : p ? `${p}.${s}` : s), ''));
  if (last === undefined || parent === null || typeof parent !== 'object') return false;
  (parent as Record<string | number, unknown>)[last] = value;
  return true;
}

/** A value the engine takes at a path, in place of a faulty one; undefined when there is none. */
function stand_in(path: string): unknown {
  const cell = /^correlations\[(\d+)\]\[(\d+)\]$/.exec(path);
  if (cell) return cell[1] === cell[2] ? 1 : 0;
  if (/\.d$|\.d\[\d+\]$/.test(path)) return 0;
  if (/\.weight$/.test(path)) return 1;
  if (/\.share$/.test(path)) return 0.01;
  if (/\.name$/.test(path)) return `stand-in ${path}`;
  if (/^requested_ratios\[\d+\]$/.test(path)) return 0.5;
  if (path === 'majority_per_minority') return 1;
  if (path === 'minority_share') return 0.5;
  if (path === 'title') return '';
  // A word of the wrong kind stops the engine as a number's does.
  if (path === 'mode') return 'overall';
  if (path === 'quality') return 'predictor';
  return undefined;
}

/** Replaces what a fault is about with a harmless value; whether it could. */
function mend(doc: Doc, fault: Fault): boolean {
  const { path, message } = fault;
  if ((path === 'predictors' || path === 'criteria') && /weight/.test(message)) {
    const list = doc[path];
    if (!Array.isArray(list)) return false;
    for (const v of list) if (v && typeof v === 'object') (v as Doc).weight = 1;
    return true;
  }
  const value = stand_in(path);
  return value !== undefined && value_at(doc, path) !== undefined && set_at(doc, path, value);
}

const key = (f: Fault) => `${f.path}\n${f.message}`;

/**
 * The faults of a scenario: the engine's first answer, then those that the
 * values in the way hid, and the page's own check of the selection ratio
 * it shows (the explorer takes any requested ratio; the page asks a share).
 */
export function all_faults(engine: Engine, doc: Doc, ratio: number | null, first: Fault[]): Fault[] {
  const out = [...first];
  const has = (path: string) => out.some((f) => f.path === path);
  if (ratio !== null && !(ratio > 0 && ratio < 1) && !has('requested_ratios[0]')) {
    out.push({
      path: 'requested_ratios[0]',
      message: 'must lie strictly between 0 and 1: the share of the applicants selected (0.1 for one in ten)',
    });
  }
  if (first.length === 0) return out;
  const seen = new Set(first.map(key));
  const current = structuredClone(doc);
  let faults = first;
  for (let round = 0; round < 5; round += 1) {
    let mended = false;
    for (const f of faults) mended = mend(current, f) || mended;
    if (!mended) break;
    const answer = JSON.parse(engine.evaluate(JSON.stringify({ scenario: current, ratio: null }))) as { errors: Fault[] };
    const fresh = answer.errors.filter((f) => !seen.has(key(f)));
    if (fresh.length === 0) break;
    for (const f of fresh) {
      seen.add(key(f));
      out.push(f);
    }
    faults = fresh;
  }
  return out;
}

/** Faults said with what to type instead, where the text shows a common slip. */
export function with_hints(faults: Fault[], doc: Doc): Fault[] {
  return faults.map((f) => {
    const typed = value_at(doc, f.path);
    if (typeof typed !== 'string' || !/number/.test(f.message)) return f;
    const text = typed.trim();
    if (/^[-+\u2212]?\d*,\d+$/.test(text)) {
      return { ...f, message: `${f.message}: write a decimal point, not a comma (${text.replace(',', '.').replace('\u2212', '-')})` };
    }
    const percent = /^([-+]?\d*\.?\d+)\s*%$/.exec(text);
    if (percent) {
      return { ...f, message: `${f.message}: write a share, not a percentage (${Number(percent[1]) / 100} for ${text})` };
    }
    if (text === '') return { ...f, message: `${f.message}: the field is empty` };
    return f;
  });
}

/**
 * Why a file cannot be a scenario, said plainly, before the engine reads it:
 * an empty file, or one that is not text (an image, a spreadsheet, a PDF).
 */
export function plain_file_errors(bytes: Uint8Array): string | null {
  if (bytes.length === 0) return 'the file is empty.';
  const starts = (...sig: number[]) => sig.every((b, i) => bytes[i] === b);
  const kind = starts(0x89, 0x50, 0x4e, 0x47) ? 'a PNG image'
    : starts(0xff, 0xd8, 0xff) ? 'a JPEG image'
      : starts(0x25, 0x50, 0x44, 0x46) ? 'a PDF document'
        : starts(0x50, 0x4b, 0x03, 0x04) ? 'a zip archive (a spreadsheet such as .xlsx is one)'
          : null;
  let control = 0;
  const n = Math.min(bytes.length, 4096);
  for (let i = 0; i < n; i += 1) {
    const b = bytes[i];
    if (b === 0 || (b < 32 && b !== 9 && b !== 10 && b !== 13 && b !== 12)) control += 1;
  }
  if (kind === null && control === 0) return null;
  return `it is not a text file${kind ? ` but ${kind}` : ''}. Open a JSON scenario (a .json file saved by this ` +
    'page or the explorer) or a deck (the classic program\'s text file); from a spreadsheet, copy the ' +
    'correlations and paste them into the matrix.';
}
