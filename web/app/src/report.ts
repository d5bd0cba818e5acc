// The report to print or save: the scenario's inputs, the verdict, the
// tables and the charts, on a page or two, without the page's controls.
// Printing shows it alone (the print style sheet); saving gives it as one
// self-contained HTML file.
import type { Evaluation, FrontAnswer } from './answers';
import { type Scenario, variable_names } from './model';

function el<K extends keyof HTMLElementTagNameMap>(tag: K, text?: string, cls?: string): HTMLElementTagNameMap[K] {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (cls) e.className = cls;
  return e;
}

function table(head: string[], rows: string[][], cls = ''): HTMLTableElement {
  const t = el('table', undefined, cls);
  const tr = el('tr');
  for (const h of head) {
    const th = el('th', h);
    th.scope = 'col';
    tr.append(th);
  }
  t.createTHead().append(tr);
  const body = t.createTBody();
  for (const row of rows) {
    const r = el('tr');
    row.forEach((c, i) => r.append(i === 0 ? Object.assign(el('th', c), { scope: 'row' }) : el('td', c)));
    body.append(r);
  }
  return t;
}

/** A copy of a table of the page, without its controls and identifiers. */
function copy_of(id: string): HTMLElement | null {
  const original = document.getElementById(id);
  if (!original) return null;
  const copy = original.cloneNode(true) as HTMLElement;
  for (const e of [copy, ...copy.querySelectorAll<HTMLElement>('[id]')]) e.removeAttribute('id');
  copy.removeAttribute('data-testid');
  return copy;
}

/** An SVG chart for the report: the explorer's own drawing, named for readers. */
function chart(svg: string | undefined, label: string): HTMLElement | null {
  if (!svg) return null;
  const figure = el('figure', undefined, 'report-chart');
  figure.innerHTML = svg;
  const picture = figure.querySelector('svg');
  picture?.setAttribute('role', 'img');
  picture?.setAttribute('aria-label', label);
  picture?.removeAttribute('width');
  picture?.removeAttribute('height');
  figure.append(el('figcaption', label));
  return figure;
}

export function build_report(root: HTMLElement, s: Scenario, e: Evaluation | null, f: FrontAnswer | null): void {
  const names = variable_names(s);
  const parts: HTMLElement[] = [];
  parts.push(el('h1', `Report: ${s.title || 'a selection scenario'}`));
  parts.push(el('p', 'Made by fourfifths in the browser: adverse impact and the quality of those selected for a ' +
    'selection top-down on a weighted composite of predictors.', 'report-lead'));

  parts.push(el('h2', 'Inputs'));
  const several = s.groups.length > 0;
  const mix = several ? 'given by the groups\' shares'
    : s.mix_kind === 'none' ? 'not given'
      : s.mix_kind === 'minority_share' ? `minority share ${s.mix}` : `${s.mix} majority applicants per minority applicant`;
  parts.push(el('p', `Selection ratio ${s.ratio} of ${s.mode === 'majority' ? 'the majority group' : 'all applicants'}` +
    `${s.more_ratios ? ` (also requested: ${s.more_ratios})` : ''}; applicant mix ${mix}; quality on the ` +
    `${s.quality} composite; ${s.regression ? 'regression weights on the criterion composite' : 'weights as given'}.`));
  const variables = [...s.predictors.map((v, i) => ['predictor', names[i], several ? '' : v.d, s.regression ? 'regression' : v.weight]),
    ...s.criteria.map((v, k) => ['criterion', names[s.predictors.length + k], several ? '' : v.d, v.weight])];
  const inputs = el('div', undefined, 'report-side');
  inputs.append(table(['Name', 'Kind', 'd', 'Weight'], variables.map(([kind, name, d, w]) => [name, kind, d, w]), 'report-small'));
  inputs.append(table(['', ...names.map((_, j) => String(j + 1))],
    s.correlations.map((row, i) => [`${i + 1} ${names[i]}`, ...row]), 'report-small report-matrix'));
  parts.push(inputs);
  if (several) {
    parts.push(table(['Group', 'Share', ...names], s.groups.map((g) => [g.name, g.share, ...g.d]), 'report-small'));
  }

  parts.push(el('h2', 'Verdict'));
  if (!e) {
    parts.push(el('p', 'Nothing is computed: the scenario has errors.'));
  } else {
    const minimum = document.getElementById('minimum')?.textContent ?? '—';
    parts.push(el('p', `Four-fifths minimum selection ratio: ${minimum}.`, 'report-verdict'));
    for (const id of ['minimum-note', 'direction', 'composite']) {
      const text = document.getElementById(id)?.textContent?.trim();
      if (text) parts.push(el('p', text));
    }
    const at = copy_of(several ? 'group-table' : 'outcomes');
    if (at) {
      at.classList.add('report-small');
      parts.push(at);
    }
    const note = document.getElementById(several ? 'group-note' : 'outcomes-note')?.textContent?.trim();
    if (note) parts.push(el('p', note));
    const charts = el('div', undefined, 'report-charts');
    const plot = chart(e.ai_chart, 'Across selection ratios');
    if (plot && e.composites?.predictor_effect !== null) charts.append(plot);
    const front = chart(f?.front_chart, `The Pareto front at the selection ratio ${s.ratio}`);
    if (front) charts.append(front);
    parts.push(charts);
    const answer = document.getElementById('min-ai-answer')?.textContent?.trim();
    if (answer) parts.push(el('p', answer));
    for (const line of document.querySelectorAll('#front-errors p')) parts.push(el('p', line.textContent ?? ''));
    parts.push(el('h2', 'Across selection ratios'));
    const across = copy_of('across-table');
    if (across) {
      across.classList.add('report-small');
      parts.push(across);
    }
  }
  root.replaceChildren(...parts);
}

/** The report as a self-contained HTML document: its own styles, no scripts. */
export function report_document(root: HTMLElement, page: Document): string {
  const title = page.title;
  return `<!doctype html>
<html lang="en"><head><meta charset="utf-8" /><meta name="viewport" content="width=device-width, initial-scale=1" />
<title>${root.querySelector('h1')?.textContent?.replace(/[&<>]/g, '') ?? title}</title>
<style>${report_style}</style></head>
<body><main class="report">${root.innerHTML}</main></body></html>
`;
}

/** The report's look, on paper and in the saved file alike. */
export const report_style = `
.report { font-family: system-ui, sans-serif; color: #111; line-height: 1.3; font-size: 10pt; max-width: 60rem; margin: 0 auto; }
.report h1 { font-size: 15pt; margin: 0 0 0.2rem; }
.report h2 { font-size: 12pt; margin: 0.6rem 0 0.2rem; break-after: avoid; }
.report p { margin: 0.15rem 0; font-size: 9pt; }
.report p.report-verdict { font-size: 11pt; font-weight: 600; }
.report table { border-collapse: collapse; margin: 0.2rem 0; font-variant-numeric: tabular-nums; }
.report th, .report td { padding: 0.05rem 0.3rem; text-align: right; border-bottom: 1px solid #ddd; }
.report th[scope="row"], .report thead th:first-child { text-align: left; }
.report caption { text-align: left; font-weight: 600; }
.report .report-small { font-size: 7.5pt; }
.report .report-small th, .report .report-small td { white-space: nowrap; max-width: none; }
.report .report-side { display: flex; flex-wrap: wrap; gap: 0 1.5rem; align-items: flex-start; }
.report .report-charts { display: grid; grid-template-columns: 1fr; gap: 0.3rem; }
.report figure { margin: 0; break-inside: avoid; }
.report figure svg { width: 100%; height: auto; max-height: 8cm; }
.report figcaption { font-size: 8pt; color: #444; }
.report tr { break-inside: avoid; }
`;
