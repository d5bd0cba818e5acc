// What a fault is about, in the reader's words: the engine names the value
// by its place in the scenario's JSON ("correlations[0][1]"), which the form
// shows as fields with labels ("the correlation of cognitive ability with
// conscientiousness").

/** 1st, 2nd, 3rd, 4th, ..., 11th, 12th, 13th, 21st. */
export function ordinal(n: number): string {
  const teen = n % 100 >= 11 && n % 100 <= 13;
  const suffix = teen ? 'th' : ['th', 'st', 'nd', 'rd'][n % 10] ?? 'th';
  return `${n}${suffix}`;
}

/** What the labels need of the scenario: its variables' names, its groups' names, how many predictors. */
export interface LabelContext {
  /** Every variable's name, predictors then criteria (P1.., C1.. where blank). */
  names: string[];
  predictors: number;
  groups: string[];
}

const variable_path = /^(predictors|criteria)\[(\d+)\](?:\.(name|d|weight))?$/;
const cell_path = /^correlations\[(\d+)\](?:\[(\d+)\])?$/;
const group_path = /^groups\[(\d+)\](?:\.(name|share|d)(?:\[(\d+)\])?)?$/;
const ratio_path = /^requested_ratios\[(\d+)\]$/;

const plain: Record<string, string> = {
  title: 'the title',
  id: 'the id',
  mode: 'what a selection ratio is the share of (mode)',
  quality: 'what quality is measured on (quality)',
  weights: 'the predictor weights (weights)',
  majority_per_minority: 'the applicant mix (majority applicants per minority applicant)',
  minority_share: 'the applicant mix (minority share of the applicants)',
  predictors: 'the predictors',
  criteria: 'the criteria',
  correlations: 'the correlation matrix',
  groups: 'the minority groups',
  requested_ratios: 'the requested ratios',
  calibration: 'the calibration',
  calibration_n: 'the calibration sample sizes',
};

/**
 * The label of the value at a JSON path of a scenario; the path itself
 * where the form has no field for it (a key the schema does not have).
 */
export function label_of(path: string, c: LabelContext): string {
  if (path in plain) return plain[path];
  const v = variable_path.exec(path);
  if (v) {
    const list = v[1] as 'predictors' | 'criteria';
    const i = Number(v[2]);
    const noun = list === 'predictors' ? 'predictor' : 'criterion';
    const name = c.names[list === 'predictors' ? i : c.predictors + i] ?? `${noun} ${i + 1}`;
    switch (v[3]) {
      case 'name': return `the name of ${noun} ${i + 1}`;
      case 'd': return `the effect size d of ${name}`;
      case 'weight': return `the weight of ${name}`;
      default: return `${noun} ${i + 1} (${name})`;
    }
  }
  const cell = cell_path.exec(path);
  if (cell) {
    const i = Number(cell[1]);
    const row = c.names[i] ?? `variable ${i + 1}`;
    if (cell[2] === undefined) return `row ${i + 1} of the correlation matrix (${row})`;
    const j = Number(cell[2]);
    const column = c.names[j] ?? `variable ${j + 1}`;
    return i === j ? `the diagonal of the correlation matrix at ${row}` : `the correlation of ${row} with ${column}`;
  }
  const g = group_path.exec(path);
  if (g) {
    const k = Number(g[1]);
    const group = c.groups[k] ? `group ${k + 1} (${c.groups[k]})` : `group ${k + 1}`;
    switch (g[2]) {
      case 'name': return `the name of group ${k + 1}`;
      case 'share': return `the share of the applicants in ${group}`;
      case 'd': {
        if (g[3] === undefined) return `the effect sizes of ${group}`;
        const j = Number(g[3]);
        return `the effect size d of ${group} on ${c.names[j] ?? `variable ${j + 1}`}`;
      }
      default: return group;
    }
  }
  const r = ratio_path.exec(path);
  if (r) {
    const k = Number(r[1]);
    return k === 0 ? 'the selection ratio' : `the ${ordinal(k)} further requested ratio`;
  }
  // A key of the reader's own file that the schema does not have: as written there.
  return path;
}

/** A message's own mentions of paths ("must equal correlations[1][0]") in words too. */
function words_in(message: string, c: LabelContext): string {
  const pair = /^not symmetric at \[(\d+)\]\[(\d+)\]$/.exec(message);
  if (pair) {
    const [a, b] = [Number(pair[1]), Number(pair[2])].map((k) => c.names[k] ?? `variable ${k + 1}`);
    return `not symmetric: the correlation of ${a} with ${b} differs from that of ${b} with ${a}`;
  }
  return message.replace(/\b(?:predictors|criteria|groups|correlations|requested_ratios)(?:\[\d+\])+(?:\.(?:name|d|weight|share)(?:\[\d+\])?)?/g,
    (found) => label_of(found, c));
}

/** A fault as a sentence: its label, capitalised, then the engine's message. */
export function fault_text(path: string, message: string, c: LabelContext): string {
  const said = words_in(message, c);
  if (path === '') return said;
  const label = label_of(path, c);
  // A path kept as the file wrote it keeps its letters as they are.
  const start = label === path ? label : `${label.charAt(0).toUpperCase()}${label.slice(1)}`;
  return `${start}: ${said}`;
}
