// The page's scenario: the explorer's JSON schema, held as the text of each
// field so that what was typed is kept while it is not (yet) a number. The
// engine checks it; the page only turns text that reads as a number into a
// number, and passes any other text on as a string, which the engine
// refuses with the explorer's message for the field.

/** A predictor or criterion: its name, effect size and weight, as typed. */
export interface Variable {
  name: string;
  d: string;
  weight: string;
}

export type MixKind = 'majority_per_minority' | 'minority_share' | 'none';

/** A minority group of a scenario with several: its name, share and effect sizes, as typed. */
export interface Group {
  name: string;
  share: string;
  /** One effect size per variable, predictors then criteria. */
  d: string[];
}

export interface Scenario {
  title: string;
  mode: string;
  quality: string;
  regression: boolean;
  predictors: Variable[];
  criteria: Variable[];
  /** The whole matrix, predictors then criteria, as typed. */
  correlations: string[][];
  mix_kind: MixKind;
  mix: string;
  /** The selection ratio the page shows: the scenario's first requested ratio. */
  ratio: string;
  /** The scenario's other requested ratios, comma-separated. */
  more_ratios: string;
  /**
   * Several minority groups, each with its own effect sizes and share; empty
   * for one minority group (the variables' d and the applicant mix).
   */
  groups: Group[];
  /** An id (kept, for the explorer's batch runs), as it came. */
  id?: string | number;
}

/** The most predictors and criteria the engine takes. */
export const max_predictors = 30;
export const max_criteria = 10;
/** The most variables, predictors and criteria together. */
export const max_variables = 30;
/** The most minority groups the page offers (the engine has no such limit). */
export const max_groups = 8;

/** The selection ratio a scenario without requested ratios starts at. */
export const default_ratio = '0.1';

const number_pattern = /^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/;

/**
 * The JSON value of a field: a number when the text reads as one (a true
 * minus sign is taken for a hyphen), else the text itself.
 */
export function value_of(text: string): number | string {
  const trimmed = text.trim().replace(/\u2212/g, '-');
  if (number_pattern.test(trimmed)) {
    const n = Number(trimmed);
    // Too large for a double: passed on as text, and refused as such.
    if (Number.isFinite(n)) return n;
  }
  return text;
}

/** The text of a value from a document: numbers in their shortest form. */
function text_of(value: unknown): string {
  if (typeof value === 'number') return String(value);
  if (typeof value === 'string') return value;
  if (value === undefined) return '';
  return JSON.stringify(value);
}

function is_object(value: unknown): value is Record<string, unknown> {
  return typeof value === 'object' && value !== null && !Array.isArray(value);
}

/** What of a document the form cannot hold, said in words. */
export interface Leftover {
  path: string;
  message: string;
}

function variables(
  doc: Record<string, unknown>, key: 'predictors' | 'criteria', leftovers: Leftover[],
): Variable[] {
  const list = doc[key];
  if (list === undefined) return [];
  if (!Array.isArray(list)) {
    leftovers.push({ path: key, message: 'not a list, left out' });
    return [];
  }
  return list.map((item: unknown, i) => {
    if (!is_object(item)) {
      leftovers.push({ path: `${key}[${i}]`, message: 'not an object, left empty' });
      return { name: '', d: '', weight: '' };
    }
    return { name: text_of(item.name), d: text_of(item.d), weight: text_of(item.weight) };
  });
}

/**
 * The form's scenario from a JSON document (a file, an address, a preset),
 * with what it had that the form cannot hold.
 */
export function from_document(doc: unknown): { scenario: Scenario; leftovers: Leftover[] } {
  const leftovers: Leftover[] = [];
  if (!is_object(doc)) {
    leftovers.push({ path: '', message: 'the scenario must be a JSON object' });
    doc = {};
  }
  // Keys the schema does not have never reach here: the engine refuses such
  // a document when it is loaded (load in web/engine/requests.h), as every
  // face does.
  const d = doc as Record<string, unknown>;
  const predictors = variables(d, 'predictors', leftovers);
  const criteria = variables(d, 'criteria', leftovers);
  const n = predictors.length + criteria.length;
  let correlations: string[][] = [];
  if (Array.isArray(d.correlations)) {
    correlations = d.correlations.map((row: unknown) => (Array.isArray(row) ? row.map(text_of) : []));
  } else if (d.correlations !== undefined) {
    leftovers.push({ path: 'correlations', message: 'not a list of rows, left out' });
  }
  // The grid has a cell for every pair; missing cells stay empty (and the
  // engine says what is missing), cells beyond the variables are left out.
  if (correlations.length > n || correlations.some((row) => row.length > n)) {
    leftovers.push({ path: 'correlations', message: `more than ${n} rows or columns, the rest left out` });
  }
  correlations = Array.from({ length: n }, (_, i) => Array.from({ length: n }, (_, j) => correlations[i]?.[j] ?? ''));

  let mix_kind: MixKind = 'none';
  let mix = '';
  if (d.majority_per_minority !== undefined) {
    mix_kind = 'majority_per_minority';
    mix = text_of(d.majority_per_minority);
    if (d.minority_share !== undefined) {
      leftovers.push({ path: 'minority_share', message: 'given besides majority_per_minority, left out' });
    }
  } else if (d.minority_share !== undefined) {
    mix_kind = 'minority_share';
    mix = text_of(d.minority_share);
  }

  let groups: Group[] = [];
  if (Array.isArray(d.groups)) {
    groups = d.groups.map((item: unknown, g) => {
      if (!is_object(item)) {
        leftovers.push({ path: `groups[${g}]`, message: 'not an object, left empty' });
        return { name: '', share: '', d: Array.from({ length: n }, () => '') };
      }
      const ds = Array.isArray(item.d) ? item.d.map(text_of) : [];
      if (ds.length > n) leftovers.push({ path: `groups[${g}].d`, message: `more than ${n} effect sizes, the rest left out` });
      return {
        name: text_of(item.name),
        share: text_of(item.share),
        d: Array.from({ length: n }, (_, j) => ds[j] ?? ''),
      };
    });
  } else if (d.groups !== undefined) {
    leftovers.push({ path: 'groups', message: 'not a list, left out' });
  }

  let ratios: string[] = [];
  if (Array.isArray(d.requested_ratios)) ratios = d.requested_ratios.map(text_of);
  else if (d.requested_ratios !== undefined) {
    leftovers.push({ path: 'requested_ratios', message: 'not a list, left out' });
  }

  const scenario: Scenario = {
    title: text_of(d.title),
    mode: d.mode === undefined ? 'overall' : text_of(d.mode),
    // The explorer's default: criterion quality when there are criteria.
    quality: d.quality === undefined ? (criteria.length > 0 ? 'criterion' : 'predictor') : text_of(d.quality),
    regression: d.weights === 'regression',
    predictors,
    criteria,
    correlations,
    mix_kind,
    mix,
    ratio: ratios[0] ?? default_ratio,
    more_ratios: ratios.slice(1).join(', '),
    groups,
  };
  if (d.weights !== undefined && d.weights !== 'regression' && d.weights !== 'given') {
    leftovers.push({ path: 'weights', message: 'must be "given" or "regression"; taken as "given"' });
  }
  if (typeof d.id === 'string' || typeof d.id === 'number') scenario.id = d.id;
  return { scenario, leftovers };
}

function variable_document(v: Variable, weighted: boolean, with_d: boolean): Record<string, unknown> {
  const out: Record<string, unknown> = {};
  if (v.name !== '') out.name = v.name;
  if (with_d) out.d = value_of(v.d);
  if (weighted) out.weight = value_of(v.weight);
  return out;
}

/** The further requested ratios, from "0.2, 0.3" (commas or spaces). */
function more_ratios(text: string): (number | string)[] {
  return text.split(/[\s,;]+/).filter((t) => t !== '').map(value_of);
}

/** The scenario as a JSON document of the explorer's schema. */
export function to_document(s: Scenario): Record<string, unknown> {
  const doc: Record<string, unknown> = {};
  if (s.title !== '') doc.title = s.title;
  if (s.id !== undefined) doc.id = s.id;
  doc.mode = s.mode;
  doc.quality = s.quality;
  if (s.regression) doc.weights = 'regression';
  const one_group = s.groups.length === 0;
  doc.predictors = s.predictors.map((v) => variable_document(v, !s.regression, one_group));
  doc.criteria = s.criteria.map((v) => variable_document(v, true, one_group));
  doc.correlations = s.correlations.map((row) => row.map(value_of));
  if (one_group && s.mix_kind !== 'none') doc[s.mix_kind] = value_of(s.mix);
  if (!one_group) {
    doc.groups = s.groups.map((g) => {
      const out: Record<string, unknown> = { name: g.name };
      if (g.share.trim() !== '') out.share = value_of(g.share);
      out.d = g.d.map(value_of);
      return out;
    });
  }
  doc.requested_ratios = [value_of(s.ratio), ...more_ratios(s.more_ratios)];
  return doc;
}

/** The selection ratio as a number, when it reads as one. */
export function ratio_of(s: Scenario): number | null {
  const v = value_of(s.ratio);
  return typeof v === 'number' ? v : null;
}

/** A new variable's row and column: 0 off the diagonal, 1 on it. */
function insert_variable(s: Scenario, at: number): void {
  for (const g of s.groups) g.d.splice(at, 0, '0');
  for (const row of s.correlations) row.splice(at, 0, '0');
  const n = s.correlations.length + 1;
  s.correlations.splice(at, 0, Array.from({ length: n }, (_, j) => (j === at ? '1' : '0')));
}

function remove_variable(s: Scenario, at: number): void {
  for (const g of s.groups) g.d.splice(at, 1);
  s.correlations.splice(at, 1);
  for (const row of s.correlations) row.splice(at, 1);
}

export function add_predictor(s: Scenario): void {
  insert_variable(s, s.predictors.length);
  s.predictors.push({ name: '', d: '0', weight: '1' });
}

export function add_criterion(s: Scenario): void {
  insert_variable(s, s.predictors.length + s.criteria.length);
  s.criteria.push({ name: '', d: '0', weight: '1' });
}

export function remove_predictor(s: Scenario, i: number): void {
  remove_variable(s, i);
  s.predictors.splice(i, 1);
}

export function remove_criterion(s: Scenario, k: number): void {
  remove_variable(s, s.predictors.length + k);
  s.criteria.splice(k, 1);
}

/** The names of all variables as the engine names them (P1.., C1.. when blank). */
export function variable_names(s: Scenario): string[] {
  return [
    ...s.predictors.map((v, i) => v.name || `P${i + 1}`),
    ...s.criteria.map((v, k) => v.name || `C${k + 1}`),
  ];
}

/** Whether another predictor (or criterion) fits: the engine's limits. */
export function can_add(s: Scenario, list: 'predictors' | 'criteria'): boolean {
  const total = s.predictors.length + s.criteria.length;
  const limit = list === 'predictors' ? max_predictors : max_criteria;
  return total < max_variables && s[list].length < limit;
}

/** The minority's share of the applicants from the one-group mix, as text ('' without one). */
function share_of_mix(s: Scenario): string {
  const v = value_of(s.mix);
  if (typeof v !== 'number') return '';
  if (s.mix_kind === 'minority_share') return String(v);
  if (s.mix_kind === 'majority_per_minority' && v > 0) return String(1 / (1 + v));
  return '';
}

/**
 * Adds a minority group. The first turns a scenario of one minority group
 * into one of several: the variables' effect sizes and the applicant mix
 * become the first group's, and a second group starts as a copy of it.
 */
export function add_group(s: Scenario): void {
  const n = s.predictors.length + s.criteria.length;
  if (s.groups.length === 0) {
    const share = share_of_mix(s);
    s.groups.push({ name: 'minority', share, d: [...s.predictors, ...s.criteria].map((v) => v.d) });
  }
  const names = new Set(s.groups.map((g) => g.name));
  let k = s.groups.length + 1;
  while (names.has(`group ${k}`)) k += 1;
  const last = s.groups[s.groups.length - 1];
  s.groups.push({ name: `group ${k}`, share: last.share, d: Array.from({ length: n }, (_, j) => last.d[j] ?? '0') });
}

/**
 * Removes a group; the last one left turns the scenario back into one of a
 * single minority group, its effect sizes the variables' and its share the
 * applicant mix.
 */
export function remove_group(s: Scenario, g: number): void {
  s.groups.splice(g, 1);
  if (s.groups.length !== 1) return;
  const [only] = s.groups;
  [...s.predictors, ...s.criteria].forEach((v, j) => { v.d = only.d[j] ?? ''; });
  if (only.share.trim() !== '') {
    s.mix_kind = 'minority_share';
    s.mix = only.share;
  } else if (s.mode === 'majority') {
    s.mix_kind = 'none';
  }
  s.groups = [];
}
