// A correlation matrix pasted from a spreadsheet or a text: cells apart by
// tabs (a spreadsheet's copy), semicolons, commas or spaces, rows on lines;
// the whole matrix or its lower triangle, with or without a row and a
// column of names.
import { value_of, type Scenario } from './model';

/** The cells of a pasted text, by row, without a heading row or column of names. */
export function parse_grid(text: string): string[][] {
  const lines = text.replace(/\r\n?/g, '\n').split('\n').filter((line) => line.trim() !== '');
  const separator = lines.some((l) => l.includes('\t')) ? /\t/
    : lines.some((l) => l.includes(';')) ? /;/
      : lines.some((l) => l.includes(',')) ? /,/ : /\s+/;
  let rows = lines.map((line) => line.split(separator).map((cell) => cell.trim()));
  if (separator.source === '\\s+') rows = rows.map((row) => row.filter((c) => c !== ''));
  const is_number = (cell: string) => typeof value_of(cell) === 'number';
  // A heading row: no number in it.
  if (rows.length > 1 && rows[0].every((c) => c === '' || !is_number(c))) rows = rows.slice(1);
  // A column of names: the first cell of every row not a number.
  if (rows.length > 0 && rows.every((row) => row.length > 1 && !is_number(row[0]))) {
    rows = rows.map((row) => row.slice(1));
  }
  // Trailing empty cells (a triangle's upper part) are dropped.
  return rows.map((row) => {
    const out = [...row];
    while (out.length > 0 && out[out.length - 1] === '') out.pop();
    return out;
  });
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
export function paste_matrix(s: Scenario, grid: string[][], at_i: number, at_j: number): PasteResult {
  const n = s.correlations.length;
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
      message: `Pasted a ${n} × ${n} ${triangle ? 'lower triangle' : 'matrix'}` +
        (differ > 0 ? `; it was not symmetric in ${differ} pairs, so its lower triangle was taken.` : '.'),
    };
  }
  const rows = grid.length;
  const columns = Math.max(0, ...grid.map((row) => row.length));
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
  return { cells, message: `Pasted ${cells} cells from row ${at_i + 1}, column ${at_j + 1}.` };
}
