// The shapes of the engine's answers (web/engine/requests.h).

export interface Fault {
  path: string;
  message: string;
}

/** One row of the explorer's table (null where the value does not exist). */
export type Row = Record<string, number | string | boolean | null>;

export interface Minimum {
  /** The ratio the minimum is: overall or the majority's, as the mode says. */
  target: number;
  /** The overall ratio; null without the applicant mix. */
  sr: number | null;
  sr_majority: number;
  sr_minority: number;
  cut_score: number;
}

/** The four-fifths minimum of several groups: its ratio (as the mode says) and the groups it is between. */
export interface GroupMinimum {
  sr: number;
  cut_score: number;
  lowest_group: string;
  highest_group: string;
}

/**
 * A frame of typed columns (present::frame_document): the columns' names
 * and types ("number", "boolean", "text", "integer"), and each column's
 * values, null where there is none.
 */
export interface Columns {
  names: string[];
  types: ('number' | 'boolean' | 'text' | 'integer')[];
  columns: (number | boolean | string | null)[][];
}

export interface Evaluation {
  errors: Fault[];
  warnings: Fault[];
  json?: string;
  weights?: number[];
  regression?: boolean;
  factorisation_info?: number;
  /** NaN, where the composite has no proper variance, comes as null. */
  composites?: { predictor_effect: number | null; validity?: number | null; criterion_effect?: number | null };
  /** The explorer's table JSON: a Minimum, or with several groups a GroupMinimum. */
  four_fifths_minimum?: Minimum | GroupMinimum | null;
  /** The rows at the ratio (with several groups a row per group, then the minimum's). */
  rows?: Row[];
  csv?: string;
  columns?: Columns;
  ai_chart?: string;
  ai_chart_screen?: string;
  /** The rows of the table without --ratios: built-in ratios, the minimum, the requested ones. */
  across?: Row[];
  across_csv?: string;
  across_columns?: Columns;
  /** A scenario that gives its minority groups as "groups": the rows are the groups' table's. */
  several_groups?: boolean;
  group_effects?: { name: string; predictor_effect: number | null }[];
}

export interface ObservedAnswer {
  errors: Fault[];
  /** The explorer's warnings: names differing only in case, pooling that reverses the units. */
  warnings?: Fault[];
  /** The explorer's JSON document; "steps" only when the data have steps. */
  analysis?: { alpha: number; confidence: number; reference: string | null; units: string[]; steps?: string[]; rows: Row[] };
  csv?: string;
  chart?: string;
  chart_screen?: string;
}

export interface Weighting {
  ai_ratio: number | null;
  validity: number | null;
  mean: number | null;
  mean_majority: number | null;
  mean_minority: number | null;
  sr_majority: number | null;
  sr_minority: number | null;
  composite_d: number | null;
  four_fifths_minimum: number | null;
  weights: Record<string, number>;
  weight_list: number[];
}

export interface FrontAnswer {
  errors: Fault[];
  warnings: Fault[];
  front_errors?: Fault[];
  /** A front of several groups: its points' impact ratio is the lowest ratio to the highest rate. */
  several_groups?: boolean;
  front?: {
    ratio: number;
    mode: string;
    objective: string;
    predictors: string[];
    stopped_at_parity: boolean;
    points: Weighting[];
    unit: Weighting;
    regression: Weighting;
    given?: Weighting;
  };
  csv?: string;
  columns?: Columns;
  min_ai?: { min_ai: number; reached: boolean; weighting: Weighting };
  front_chart?: string;
  front_chart_screen?: string;
}

export interface Loaded {
  form: 'json' | 'deck';
  scenario: unknown;
  errors: Fault[];
  /** A deck whose reader gave up on the text (not one the program refused). */
  unreadable?: boolean;
}
