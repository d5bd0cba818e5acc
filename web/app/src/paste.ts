// A correlation matrix pasted from a spreadsheet or a text: cells apart by
// tabs (a spreadsheet's copy), semicolons, commas or spaces, rows on lines;
// the whole matrix or its lower triangle, with or without a row and a
// column of names. Spreadsheets in most of Europe copy numbers with a
// decimal comma (0,25): that is read where the cells are apart by tabs,
// semicolons or spaces, as a comma then cannot be between cells.
import { value_of, type Scenario } from './model';

/** A cell with a decimal comma: -0,25, 0,5, ,5 (a true minus sign too). */
const decimal_comma = /^[-+\u2212]?\d*,\d+$/;

/** Pasted cells, by row, and how the text was read. */
export interface PastedGrid {
  rows: string[][];
  /** Whether cells with a decimal comma were read as numbers (0,25 as 0.25). */
  decimal_commas: boolean;
  /**
   * Whether commas were taken as the cells' separators in a text without a
   * decimal point, where they may have been meant as decimal commas.
   */
  commas_ambiguous: boolean;
}

/** The cells of a pasted text, by row, without a heading row or column of names. */
export function read_grid(text: string): PastedGrid {
  const lines = text.replace(/\r\n?/g, '\n').split('\n').filter((line) => line.trim() !== '');
  const words = (line: string) => line.trim().split(/\s+/);
  // Spaces between cells that carry decimal commas ("0,25 1"), or one
  // number with a decimal comma (a spreadsheet's cell): every word with a
  // comma a number with a decimal comma, and some word one.
  const spaced_commas = !lines.some((l) => /[\t;]/.test(l))
    && lines.every((l) => words(l).every((w) => decimal_comma.test(w) || !w.includes(',')))
    && (lines.length === 1 || lines.some((l) => words(l).length > 1))
    && lines.some((l) => words(l).some((w) => decimal_comma.test(w)));
  const separator = lines.some((l) => l.includes('\t')) ? /\t/
    : lines.some((l) => l.includes(';')) ? /;/
      : !spaced_commas && lines.some((l) => l.includes(',')) ? /,/ : /\s+/;
  let rows = lines.map((line) => line.split(separator).map((cell) => cell.trim()));
  if (separator.source === '\\s+') rows = rows.map((row) => row.filter((c) => c !== ''));
  // Decimal commas where a comma cannot be a separator.
  const decimal_commas = separator.source !== ',' && rows.some((row) => row.some((c) => decimal_comma.test(c)));
  if (decimal_commas) {
    rows = rows.map((row) => row.map((c) => (decimal_comma.test(c) ? c.replace(',', '.') : c)));
  }
  const is_number = (cell: string) => typeof value_of(cell) === 'number';
  // A heading row: no number in it.
  if (rows.length > 1 && rows[0].every((c) => c === '' || !is_number(c))) rows = rows.slice(1);
  // A column of names: the first cell of every row not a number.
  if (rows.length > 0 && rows.every((row) => row.length > 1 && !is_number(row[0]))) {
    rows = rows.map((row) => row.slice(1));
  }
  // Trailing empty cells (a triangle's upper part) are dropped.
  rows = rows.map((row) => {
    const out = [...row];
    while (out.length > 0 && out[out.length - 1] === '') out.pop();
    return out;
  });
  const commas_ambiguous = separator.source === ',' && !text.includes('.') && /\d,\d/.test(text);
  return { rows, decimal_commas, commas_ambiguous };
}

/** What a paste did, in words, and how many cells it set. */
export interface PasteResult {
  cells: number;
  message: string;
}

/**
 * Puts pasted cells into the scenario's matrix: a whole matrix or a lower
 * triangle of the matrix's size fills it (mirrored); any other block goes
 * at row `at_i`, column `at_j`, each cell's mirror set too.
 */
export function paste_matrix(s: Scenario, pasted: PastedGrid, at_i: number, at_j: number): PasteResult {
  const { rows: grid, decimal_commas, commas_ambiguous } = pasted;
  const n = s.correlations.length;
  const read_as = decimal_commas ? ' (decimal commas read as points)' : '';
  const set = (i: number, j: number, value: string) => {
    s.correlations[i][j] = value;
    s.correlations[j][i] = value;
  };
  const whole = grid.length === n && grid.every((row) => row.length === n);
  const triangle = grid.length === n && grid.every((row, i) => row.length === i + 1);
  if (whole || triangle) {
    // A whole matrix is taken by its lower triangle too, as that is what
    // the mirrored cells agree on.
    let differ = 0;
    for (let i = 0; i < n; i += 1) {
      for (let j = 0; j <= i; j += 1) {
        if (whole && grid[i][j] !== grid[j][i]) differ += 1;
        set(i, j, grid[i][j]);
      }
    }
    return {
      cells: n * n,
      message: `Pasted a ${n} × ${n} ${triangle ? 'lower triangle' : 'matrix'}${read_as}` +
        (differ > 0 ? `; it was not symmetric in ${differ} pairs, so its lower triangle was taken.` : '.'),
    };
  }
  const rows = grid.length;
  const columns = Math.max(0, ...grid.map((row) => row.length));
  const ragged = grid.some((row) => row.length !== columns);
  // A correlation lies in [-1, 1]: a whole number beyond it between commas
  // (the 24 of "0,24") was a decimal comma's digits.
  const beyond = grid.some((row) => row.some((c) => /^[-+]?\d+$/.test(c) && Math.abs(Number(c)) > 1));
  if (commas_ambiguous && (ragged || beyond || at_i + rows > n || at_j + columns > n)) {
    return {
      cells: 0,
      message: 'The pasted cells are apart by commas, so a comma in them cannot also be a decimal comma ' +
        '(0,25): copy the cells with tabs or semicolons between them, as a spreadsheet does, to keep ' +
        'decimal commas, or write decimal points (0.25).',
    };
  }
  if (at_i + rows > n || at_j + columns > n) {
    return {
      cells: 0,
      message: `The pasted block (${rows} × ${columns}) does not fit in the ${n} × ${n} matrix from row ${at_i + 1}, ` +
        `column ${at_j + 1}; paste the whole matrix (${n} × ${n}) or its lower triangle, or a block that fits.`,
    };
  }
  let cells = 0;
  grid.forEach((row, r) => row.forEach((value, c) => {
    set(at_i + r, at_j + c, value);
    cells += 1;
  }));
  return { cells, message: `Pasted ${cells} ${cells === 1 ? 'cell' : 'cells'} from row ${at_i + 1}, column ${at_j + 1}${read_as}.` };
}
