// What the page's address carries: the scenario (?scenario=<URL-encoded
// JSON>), a pinned baseline (&baseline=, the same form) and the front's
// settings (&min_ai=, &objective=, &signs=). Every one is checked as a field
// is: a bad one is named in a message and its default used. A scenario is
// read from the address only up to a size, checked before anything parses
// it: a larger one would keep the page busy for long, and opens from a
// file instead.
import { value_of } from './model';

/**
 * The most characters a scenario (or a baseline) may have in the address,
 * URL-encoded. Every bundled example takes less than 1,100 characters, and a
 * form filled to its limits (30 variables, eight groups, every value with
 * seventeen digits) about 31,000.
 */
export const address_limit = 65536;

/** The Pareto front's settings, which are the page's, not the scenario's. */
export interface FrontSettings {
  min_ai: number;
  objective: 'validity' | 'mean';
  signs: 'nonnegative' | 'any';
}
export const default_front: FrontSettings = { min_ai: 0.8, objective: 'validity', signs: 'nonnegative' };

/** The address read: the texts of its scenarios, its settings, and what was wrong with it. */
export interface AddressReading {
  scenario: string | null;
  baseline: string | null;
  front: FrontSettings;
  /** Messages in plain words, each about one part of the address. */
  faults: string[];
}

const known = ['scenario', 'baseline', 'min_ai', 'objective', 'signs'] as const;
type Known = typeof known[number];

/** A name or value from the address as it may be shown: cut short, quoted. */
function quoted(text: string, most = 40): string {
  const cut = Array.from(text);
  return `“${cut.length > most ? `${cut.slice(0, most).join('')}…` : text}”`;
}

/** Characters with thousands apart, as the messages give sizes. */
const count = (n: number) => n.toLocaleString('en-US');

/** A part of the address decoded; null when its percent-encoding is broken. */
function decoded(raw: string): string | null {
  try {
    return decodeURIComponent(raw.replace(/\+/g, ' '));
  } catch {
    return null;
  }
}

/** Why a scenario's text in the address is not read, when it is too long. */
export function too_large(what: 'scenario' | 'baseline', characters: number): string {
  const noun = what === 'scenario' ? 'The scenario' : 'The baseline';
  return `${noun} in the address is ${count(characters)} characters long; the page reads at most ` +
    `${count(address_limit)} from an address, so it was not opened. Open a large scenario from a file ` +
    'instead: save it as a .json file and choose it with “Open a JSON scenario or a deck” (or drop it on the page).';
}

/**
 * Reads an address's query ("?scenario=...&min_ai=0.6"). The sizes are
 * checked on the encoded text, before anything is decoded or parsed.
 */
export function read_address(search: string): AddressReading {
  const out: AddressReading = { scenario: null, baseline: null, front: { ...default_front }, faults: [] };
  const seen = new Set<string>();
  const query = search.startsWith('?') ? search.slice(1) : search;
  for (const part of query.split('&')) {
    if (part === '') continue;
    const equals = part.indexOf('=');
    const raw_name = equals < 0 ? part : part.slice(0, equals);
    const raw_value = equals < 0 ? '' : part.slice(equals + 1);
    const name = raw_name.length > 100 ? null : decoded(raw_name);
    if (name === null || !(known as readonly string[]).includes(name)) {
      out.faults.push(`The address has a setting ${quoted(name ?? raw_name)} that the page does not know; it is left out.`);
      continue;
    }
    const key = name as Known;
    if (seen.has(key)) {
      out.faults.push(`The address gives ${key} more than once; the first is used.`);
      continue;
    }
    seen.add(key);
    if (key === 'scenario' || key === 'baseline') {
      if (raw_value.length > address_limit) {
        out.faults.push(too_large(key, raw_value.length));
        continue;
      }
      const text = decoded(raw_value);
      if (text === null) {
        out.faults.push(`The ${key} in the address is not properly encoded (a % not followed by two hexadecimal digits); it was not opened.`);
        continue;
      }
      out[key] = text;
      continue;
    }
    const value = raw_value.length > 100 ? null : decoded(raw_value);
    const shown = `${key}=${value === null ? '…' : value}`;
    if (key === 'min_ai') {
      const v = value === null ? null : value_of(value);
      if (typeof v === 'number' && v >= 0 && v <= 1) out.front.min_ai = v;
      else {
        out.faults.push(`The address's ${quoted(shown)} is not a minimum acceptable impact ratio, which lies ` +
          `from 0 to 1; the default, ${default_front.min_ai}, is used.`);
      }
    } else if (key === 'objective') {
      if (value === 'validity' || value === 'mean') out.front.objective = value;
      else {
        out.faults.push(`The address's ${quoted(shown)} is not a quality of the front, which is “validity” or ` +
          `“mean”; the default, ${default_front.objective}, is used.`);
      }
    } else if (value === 'nonnegative' || value === 'any') {
      out.front.signs = value;
    } else {
      out.faults.push(`The address's ${quoted(shown)} is not a choice of the weights' signs, which is ` +
        `“nonnegative” or “any”; the default, ${default_front.signs}, is used.`);
    }
  }
  return out;
}

/**
 * The query that reproduces a scenario, a baseline and the front's settings;
 * a scenario or baseline too large for the address is left out, and said.
 */
export function write_address(
  scenario: unknown, baseline: unknown | null, front: FrontSettings,
): { query: string; left_out: string[] } {
  const left_out: string[] = [];
  const parts: string[] = [];
  const add = (key: 'scenario' | 'baseline', doc: unknown) => {
    const text = encodeURIComponent(JSON.stringify(doc));
    if (text.length <= address_limit) parts.push(`${key}=${text}`);
    else {
      left_out.push(`${key === 'scenario' ? 'This scenario' : 'The baseline'} is too large for the page's address ` +
        `(${count(text.length)} characters, at most ${count(address_limit)}), so a link to this page will not ` +
        'carry it: save it as JSON to keep it.');
    }
  };
  add('scenario', scenario);
  if (baseline !== null) add('baseline', baseline);
  if (front.min_ai !== default_front.min_ai) parts.push(`min_ai=${front.min_ai}`);
  if (front.objective !== default_front.objective) parts.push(`objective=${front.objective}`);
  if (front.signs !== default_front.signs) parts.push(`signs=${front.signs}`);
  return { query: `?${parts.join('&')}`, left_out };
}
