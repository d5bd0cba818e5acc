// The page: a scenario in the form, the engine's answers beside it,
// recomputed as the reader types. The scenario is kept in the address
// (?scenario=<URL-encoded JSON>), so that a link reproduces it.
import create_engine, { type Engine } from '@engine';

import { default_front, type FrontSettings, read_address, write_address } from './address';
import type { Evaluation, Fault, FrontAnswer, Loaded } from './answers';
import { Baseline } from './baseline';
import { download, element, error_line } from './dom';
import { all_faults, plain_file_errors, with_hints } from './faults';
import { ScenarioForm } from './form';
import { fault_text, type LabelContext } from './labels';
import { from_document, ratio_of, type Scenario, to_document, variable_names } from './model';
import { Observed } from './observed';
import {
  build_report, drawn_whole, report_chart_width, report_document, report_front_heights, report_plot_heights, report_style,
} from './report';
import { Results } from './results';
import { Sample } from './sample';

// The bundled examples (examples/*.json), as text, by file name.
const examples = import.meta.glob('@examples/*.json', { query: '?raw', import: 'default', eager: true }) as Record<string, string>;
const published_example = 'published_four_predictors.json';

const address_delay_ms = 250;
// About 0.1 s of the engine's work, done while nobody is typing.
const warm_up_rounds = 20;

class Page {
  private scenario!: Scenario;
  private readonly form: ScenarioForm;
  private readonly results = new Results();
  private readonly load_status = element<HTMLElement>('load-status');
  private readonly narrow = window.matchMedia('(max-width: 44rem)');
  private front: FrontSettings = { ...default_front };
  private evaluation: Evaluation | null = null;
  private front_answer: FrontAnswer | null = null;
  private pending = false;
  private requested_at = 0;
  private first = true;
  private address_timer = 0;
  private input_at: number | null = null;
  /** Whether the reader changed the scenario since it was opened. */
  private edited = false;
  private readonly baseline: Baseline;
  private readonly sample: Sample;
  private report_timer = 0;
  private width = 800;
  /** The engine's version, which the report gives. */
  private readonly version: string;

  constructor(private readonly engine: Engine) {
    this.form = new ScenarioForm(element<HTMLFormElement>('scenario'), {
      changed: () => this.schedule(),
      restructured: () => {
        this.form.show(this.scenario);
        this.schedule();
      },
      edited: () => { this.edited = true; },
    });
    this.baseline = new Baseline(engine);
    this.sample = new Sample(engine);
    this.version = (JSON.parse(engine.version()) as { version: string }).version;
    this.narrow.addEventListener('change', () => this.schedule());
    // The charts are laid out at the width of their box: again when it
    // changes. The width is kept, as asking for it on every edit would make
    // the browser lay out the page first.
    this.width = this.measure_width();
    let resize_timer = 0;
    new ResizeObserver((entries) => {
      const seen = entries[0]?.contentRect.width ?? 0;
      if (seen === 0 || this.clamp_width(seen) === this.width) return;
      window.clearTimeout(resize_timer);
      resize_timer = window.setTimeout(() => {
        const width = this.measure_width();
        if (width !== this.width) {
          this.width = width;
          this.schedule();
        }
      }, 150);
    }).observe(element<HTMLElement>('ai-chart'));
    new Observed(engine, () => this.chart_width());
    this.wire_report();
    // For the recompute figure: when the input that changed something was
    // made, so that the time it waited (behind a warm-up round, say) counts.
    for (const type of ['input', 'change']) {
      document.addEventListener(type, (event) => {
        this.input_at = event.timeStamp;
        setTimeout(() => { this.input_at = null; }, 0);
      }, { capture: true });
    }
    this.wire_presets();
    this.wire_files();
    this.wire_front_controls();
    this.wire_downloads();
  }

  /**
   * Opens the address's scenario, or the published example, with the
   * address's baseline and settings; what of the address cannot be used is
   * said, and its defaults are used.
   */
  start(): void {
    const address = read_address(window.location.search);
    this.front = address.front;
    this.show_front_settings();
    const text = address.scenario;
    const loaded = text === null ? null : JSON.parse(this.engine.load(text)) as Loaded;
    const faults = [...address.faults];
    if (address.baseline !== null) faults.push(...this.pin_from_address(address.baseline));
    if (loaded && loaded.scenario !== null) {
      this.use(loaded.scenario, 'the scenario in the address');
    } else {
      // No scenario in the address, or one that cannot be read: the published example.
      this.use(JSON.parse(examples[this.example_key(published_example)]), '');
      if (loaded) this.say_load_errors('The scenario in the address', loaded.errors);
    }
    say_address_faults(this.load_status, faults);
  }

  /** Pins the address's baseline; what was wrong with it, in words (nothing pinned then). */
  private pin_from_address(text: string): string[] {
    const loaded = JSON.parse(this.engine.load(text)) as Loaded;
    const intro = 'The baseline in the address could not be used, so none is pinned: ';
    if (loaded.scenario === null) {
      return [intro + loaded.errors.map((e) => fault_text(e.path, e.message, no_names)).join('; ')];
    }
    const { scenario } = from_document(loaded.scenario);
    const context: LabelContext = {
      names: variable_names(scenario), predictors: scenario.predictors.length, groups: scenario.groups.map((g) => g.name),
    };
    const errors = this.baseline.pin(to_document(scenario), scenario.title);
    if (errors.length === 0) return [];
    return [intro + errors.map((e) => fault_text(e.path, e.message, context)).join('; ')];
  }

  private example_key(name: string): string {
    const key = Object.keys(examples).find((k) => k.endsWith(`/${name}`));
    if (!key) throw new Error(`no bundled example ${name}`);
    return key;
  }

  /**
   * Opens a preset or a file in place of the scenario shown; edits that were
   * not saved can be had back with "Undo".
   */
  private replace_with(doc: unknown, source: string): void {
    const previous = this.edited ? to_document(this.scenario) : null;
    this.use(doc, source);
    if (previous === null) return;
    const p = document.createElement('p');
    p.append('Your edited scenario was replaced. ');
    const undo = document.createElement('button');
    undo.type = 'button';
    undo.id = 'undo-replace';
    undo.textContent = 'Undo: back to the edited scenario';
    undo.addEventListener('click', () => {
      this.use(previous, 'your edited scenario again');
      this.edited = true;
    });
    p.append(undo);
    this.load_status.append(p);
  }

  /** Puts a scenario document into the form and computes. */
  private use(doc: unknown, source: string): void {
    this.edited = false;
    const { scenario, leftovers } = from_document(doc);
    this.scenario = scenario;
    this.form.show(scenario);
    const notes: string[] = [];
    if (source) notes.push(`Opened ${source}.`);
    if (leftovers.length > 0) {
      const context: LabelContext = {
        names: variable_names(scenario), predictors: scenario.predictors.length, groups: scenario.groups.map((g) => g.name),
      };
      notes.push(`Left out, as the form has no place for it: ${leftovers
        .map((l) => (l.path ? fault_text(l.path, l.message, context) : l.message)).join('; ')}.`);
    }
    this.load_status.replaceChildren(...notes.map((text) => {
      const p = document.createElement('p');
      p.textContent = text;
      return p;
    }));
    this.schedule();
  }

  private say_load_errors(what: string, errors: Fault[], detail: string[] = []): void {
    const intro = document.createElement('p');
    intro.textContent = `${what} could not be read:`;
    const parts: HTMLElement[] = [intro, ...errors.map((e) => error_line(fault_text(e.path, e.message, no_names)))];
    if (detail.length > 0) {
      const more = document.createElement('details');
      const summary = document.createElement('summary');
      summary.textContent = 'What the deck reader said';
      const pre = document.createElement('pre');
      pre.textContent = detail.join('\n');
      more.append(summary, pre);
      parts.push(more);
    }
    this.load_status.replaceChildren(...parts);
  }

  private wire_presets(): void {
    const box = element<HTMLElement>('presets');
    const keys = Object.keys(examples).sort((a, b) =>
      Number(b.endsWith(published_example)) - Number(a.endsWith(published_example)) || a.localeCompare(b));
    for (const key of keys) {
      const doc = JSON.parse(examples[key]) as { title?: string };
      const name = key.slice(key.lastIndexOf('/') + 1);
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = doc.title ?? name;
      button.dataset.preset = name;
      button.addEventListener('click', () => this.replace_with(JSON.parse(examples[key]), `the example ${name}`));
      box.append(button);
    }
  }

  private wire_files(): void {
    const input = element<HTMLInputElement>('file');
    input.addEventListener('change', () => {
      const file = input.files?.[0];
      if (file) void this.open(file);
      input.value = '';
    });
    // A file dropped anywhere on the page.
    const body = document.body;
    body.addEventListener('dragover', (event) => {
      if (!event.dataTransfer?.types.includes('Files')) return;
      event.preventDefault();
      event.dataTransfer.dropEffect = 'copy';
      body.classList.add('dropping');
    });
    body.addEventListener('dragleave', (event) => {
      if (event.relatedTarget === null) body.classList.remove('dropping');
    });
    body.addEventListener('drop', (event) => {
      body.classList.remove('dropping');
      const file = event.dataTransfer?.files[0];
      if (!file) return;
      event.preventDefault();
      void this.open(file);
    });
    element<HTMLButtonElement>('save').addEventListener('click', () => this.save());
  }

  /** A JSON scenario or a deck, told apart by the engine as the explorer does. */
  private async open(file: File): Promise<void> {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const plain = plain_file_errors(bytes);
    if (plain) {
      this.say_load_errors(file.name, [{ path: '', message: plain }]);
      return;
    }
    const loaded = JSON.parse(this.engine.load(bytes)) as Loaded;
    if (loaded.scenario === null) {
      if (loaded.unreadable) {
        this.say_load_errors(file.name, [{
          path: '',
          message: 'it is not a JSON scenario (which starts with "{"), and it could not be read as a deck ' +
            'either: a deck is the classic program\'s text, a title line, then its header and values. ' +
            'The reader ran out of values or found words where it expected numbers.',
        }], loaded.errors.map((e) => e.message));
      } else this.say_load_errors(file.name, loaded.errors);
      return;
    }
    this.replace_with(loaded.scenario, `${file.name} (${loaded.form === 'deck' ? 'a deck' : 'a JSON scenario'})`);
  }

  private save(): void {
    // The explorer's own layout when the scenario is sound; as typed otherwise.
    const text = this.evaluation?.json ?? `${JSON.stringify(to_document(this.scenario), null, 2)}\n`;
    download(text, `${file_stem(this.scenario.title, 'scenario')}.json`, 'application/json');
  }

  private wire_front_controls(): void {
    const slider = element<HTMLInputElement>('min-ai');
    slider.addEventListener('input', () => {
      this.front.min_ai = Number(slider.value);
      this.show_front_settings();
      this.schedule();
    });
    for (const id of ['objective', 'signs'] as const) {
      const select = element<HTMLSelectElement>(id);
      select.addEventListener('change', () => {
        if (id === 'objective') this.front.objective = select.value === 'mean' ? 'mean' : 'validity';
        else this.front.signs = select.value === 'any' ? 'any' : 'nonnegative';
        this.schedule();
      });
    }
  }

  private show_front_settings(): void {
    element<HTMLInputElement>('min-ai').value = String(this.front.min_ai);
    element<HTMLOutputElement>('min-ai-value').value = this.front.min_ai.toFixed(2);
    element<HTMLSelectElement>('objective').value = this.front.objective;
    element<HTMLSelectElement>('signs').value = this.front.signs;
  }

  private wire_downloads(): void {
    for (const button of document.querySelectorAll<HTMLButtonElement>('[data-download]')) {
      button.addEventListener('click', () => {
        const stem = file_stem(this.scenario.title, 'fourfifths');
        const charts = button.dataset.download === 'ai-svg' || button.dataset.download === 'front-svg';
        const { e, f } = charts ? this.with_downloads() : { e: this.evaluation, f: this.front_answer };
        switch (button.dataset.download) {
          case 'csv':
          case 'group-csv':
            if (e?.csv) download(e.csv, `${stem}-outcomes.csv`, 'text/csv');
            break;
          case 'across-csv':
            if (e?.across_csv) download(e.across_csv, `${stem}-across-ratios.csv`, 'text/csv');
            break;
          case 'ai-svg':
            if (e?.ai_chart) download(e.ai_chart, `${stem}-selection-ratios.svg`, 'image/svg+xml');
            break;
          case 'front-svg':
            if (f?.front_chart) download(f.front_chart, `${stem}-pareto-front.svg`, 'image/svg+xml');
            break;
          case 'front-csv':
            if (f?.csv) download(f.csv, `${stem}-pareto-front.csv`, 'text/csv');
            break;
          default:
            break;
        }
      });
    }
  }

  /**
   * Recomputes as soon as the event that changed something is handled, once
   * however many changes it made. (Continuous input, a slider dragged,
   * comes once a frame in Chromium, as pointer events do.)
   */
  private schedule(): void {
    if (this.pending) return;
    this.pending = true;
    // Settled again once the answers are drawn and the address written.
    document.documentElement.dataset.state = 'busy';
    this.requested_at = this.input_at ?? performance.now();
    queueMicrotask(() => this.recompute());
  }

  private recompute(): void {
    this.pending = false;
    const requested_at = this.requested_at;
    const start = performance.now();
    this.compute();
    const end = performance.now();
    // For the browser test's figures: the engine and drawing, and the time
    // from the input to the frame painted after it.
    performance.measure('fourfifths:compute', { start, end });
    requestAnimationFrame(() => setTimeout(() => {
      performance.measure('fourfifths:recompute', { start: requested_at, end: performance.now() });
    }, 0));
    if (this.first) {
      this.first = false;
      performance.mark('fourfifths:first-result');
      this.warm_up(warm_up_rounds);
    }
  }

  /**
   * Runs the engine on the scenario shown, answers unused, while the page is
   * idle: the browser compiles the engine's hot code fully only after it
   * has run many times, and the first edits would otherwise wait for that.
   */
  private warm_up(rounds: number): void {
    if (rounds === 0 || typeof window.requestIdleCallback !== 'function') return;
    window.requestIdleCallback(() => {
      const r = this.requests();
      this.engine.evaluate(r.evaluate);
      if (r.ratio !== null) this.engine.front(r.front);
      this.warm_up(rounds - 1);
    });
  }

  /** The engine's two requests for the scenario shown, and what they are made of. */
  private requests() {
    const scenario = to_document(this.scenario);
    const ratio = ratio_of(this.scenario);
    const narrow = this.narrow.matches;
    const width = this.chart_width();
    const baseline = this.baseline.document();
    // The explorer's own charts (downloads, the report) are asked for when
    // they are wanted, not on every edit.
    const downloads = false;
    return {
      scenario, ratio, narrow,
      evaluate: JSON.stringify({ scenario, ratio, narrow, width, downloads, ...(baseline ? { baseline } : {}) }),
      front: JSON.stringify({ scenario, ratio, narrow, width, downloads, ...this.front, ...(baseline ? { baseline } : {}) }),
    };
  }

  /** The answers for the scenario shown with the explorer's own charts. */
  private with_downloads(): { e: Evaluation | null; f: FrontAnswer | null } {
    if (!this.evaluation) return { e: null, f: null };
    const scenario = to_document(this.scenario);
    const ratio = ratio_of(this.scenario);
    const e = JSON.parse(this.engine.evaluate(JSON.stringify({ scenario, ratio }))) as Evaluation;
    const f = this.front_answer && ratio !== null
      ? JSON.parse(this.engine.front(JSON.stringify({ scenario, ratio, ...this.front }))) as FrontAnswer
      : null;
    return { e: e.errors.length === 0 ? e : null, f };
  }

  /**
   * The answers for the report: its charts laid out at the width of a
   * printed page, the baseline's curves drawn in when one is pinned.
   */
  private for_report(): { e: Evaluation | null; f: FrontAnswer | null } {
    if (!this.evaluation) return { e: null, f: null };
    const scenario = to_document(this.scenario);
    const ratio = ratio_of(this.scenario);
    const baseline = this.baseline.document();
    const request = { scenario, ratio, width: report_chart_width, downloads: false, ...(baseline ? { baseline } : {}) };
    const e = drawn_whole(report_plot_heights,
      (height) => JSON.parse(this.engine.evaluate(JSON.stringify({ ...request, height }))) as Evaluation, (a) => a.ai_chart_screen);
    const f = this.front_answer && ratio !== null
      ? drawn_whole(report_front_heights,
        (height) => JSON.parse(this.engine.front(JSON.stringify({ ...request, height, ...this.front }))) as FrontAnswer,
        (a) => a.front_chart_screen)
      : null;
    return { e: e.errors.length === 0 ? e : null, f };
  }

  /** The width the charts are laid out at: their box's, in CSS pixels. */
  private chart_width(): number {
    return this.width;
  }

  private measure_width(): number {
    const box = element<HTMLElement>('ai-chart');
    return this.clamp_width(box.clientWidth || element<HTMLElement>('h-results').clientWidth);
  }

  private clamp_width(w: number): number {
    return Math.max(300, Math.min(800, Math.floor(w)));
  }

  private compute(): void {
    const s = this.scenario;
    const { scenario, ratio, ...request } = this.requests();
    const names = variable_names(s).slice(0, s.predictors.length);
    this.evaluation = null;
    this.front_answer = null;
    try {
      const t0 = performance.now();
      const e = JSON.parse(this.engine.evaluate(request.evaluate)) as Evaluation;
      performance.measure('fourfifths:evaluate', { start: t0, end: performance.now() });
      // The page's own checks (a selection ratio outside (0, 1)), and every
      // fault at once: the engine stops at a value of the wrong kind.
      const errors = with_hints(all_faults(this.engine, scenario, ratio, e.errors), scenario);
      this.form.show_faults(errors, e.warnings);
      if (errors.length > 0) {
        this.results.clear('Nothing is computed while the input has errors: see the messages beside the fields.');
        this.baseline.hide();
      } else {
        this.evaluation = e;
        this.results.show_evaluation(e, ratio, s.mode, names);
        if (ratio === null) {
          this.results.show_front({ errors: [], warnings: [], front_errors: [] }, names);
        } else {
          const t1 = performance.now();
          const f = JSON.parse(this.engine.front(request.front)) as FrontAnswer;
          performance.measure('fourfifths:front', { start: t1, end: performance.now() });
          this.front_answer = f;
          this.results.show_front(f, names);
        }
        this.baseline.compare(e);
      }
      this.sample.changed(errors.length > 0 ? null : {
        scenario, ratio, front: { objective: this.front.objective, signs: this.front.signs },
        width: this.chart_width(), narrow: this.narrow.matches,
      });
      this.update_report_later();
    } catch (error) {
      // The engine failed outright: nothing computed for an earlier
      // scenario may stay on screen as if it were this one's.
      this.evaluation = null;
      this.front_answer = null;
      this.results.clear(`The engine failed on this scenario (${String(error)}); nothing is shown for it.`);
      this.sample.changed(null);
    } finally {
      // Writing the address costs Chromium tens of milliseconds: it waits
      // until the typing pauses.
      window.clearTimeout(this.address_timer);
      this.address_timer = window.setTimeout(() => this.keep_in_address(scenario), address_delay_ms);
    }
  }

  private wire_report(): void {
    element<HTMLButtonElement>('save-report').addEventListener('click', () => {
      this.update_report();
      download(report_document(element<HTMLElement>('report'), document),
        `${file_stem(this.scenario.title, 'fourfifths')}-report.html`, 'text/html');
    });
    element<HTMLButtonElement>('print-report').addEventListener('click', () => {
      this.update_report();
      window.print();
    });
    window.addEventListener('beforeprint', () => this.update_report());
    element<HTMLButtonElement>('pin-baseline').addEventListener('click', () => {
      if (!this.evaluation) return;
      this.baseline.pin(to_document(this.scenario), this.scenario.title);
      this.schedule();
    });
    element<HTMLButtonElement>('clear-baseline').addEventListener('click', () => {
      this.baseline.clear();
      this.schedule();
    });
  }

  /** The printable report, brought up to date while nobody is typing. */
  private update_report_later(): void {
    window.clearTimeout(this.report_timer);
    const ready = this.evaluation !== null;
    for (const id of ['save-report', 'print-report', 'pin-baseline']) element<HTMLButtonElement>(id).disabled = !ready;
    element<HTMLElement>('report').dataset.ready = 'false';
    this.report_timer = window.setTimeout(() => this.update_report(), 400);
  }

  private update_report(): void {
    window.clearTimeout(this.report_timer);
    if (this.evaluation) this.results.fill_across();
    const { e, f } = this.for_report();
    build_report(element<HTMLElement>('report'), {
      scenario: this.scenario, evaluation: e, front: f, version: this.version, made: new Date(),
    });
    element<HTMLElement>('report').dataset.ready = 'true';
  }

  private keep_in_address(scenario: Record<string, unknown>): void {
    const { query, left_out } = write_address(scenario, this.baseline.document(), this.front);
    if (query !== window.location.search) window.history.replaceState(null, '', query);
    let note = document.getElementById('address-note');
    if (left_out.length > 0 && !note) {
      note = document.createElement('p');
      note.id = 'address-note';
      note.className = 'note';
      this.load_status.append(note);
    }
    if (note) {
      note.textContent = left_out.join(' ');
      if (left_out.length === 0) note.remove();
    }
    if (!this.pending) document.documentElement.dataset.state = 'settled';
  }
}

/** Labels for faults of a scenario the form does not hold: its variables by number. */
const no_names: LabelContext = { names: [], predictors: 0, groups: [] };

/** Says what of the address could not be used, below what the status says already. */
function say_address_faults(status: HTMLElement, faults: string[]): void {
  status.append(...faults.map((text) => error_line(text)));
}

/** A file name from a title: letters, digits and hyphens. */
function file_stem(title: string, fallback: string): string {
  const stem = title.toLowerCase().replace(/[^a-z0-9]+/g, '-').replace(/^-|-$/g, '').slice(0, 60);
  return stem || fallback;
}


// The report's look, for printing (and in the saved file).
document.head.append(Object.assign(document.createElement('style'), { textContent: report_style }));

// An address too large to read is refused before the engine has loaded:
// there is nothing to wait for.
const early = read_address(window.location.search).faults;
say_address_faults(element<HTMLElement>('load-status'), early);
// For the browser test's figures: when the address's faults were said.
if (early.length > 0) performance.mark('fourfifths:address-checked');

try {
  // The single-file page carries the engine's bytes itself (base64).
  const inline = (window as { fourfifths_wasm?: string }).fourfifths_wasm;
  const engine = await create_engine(inline ? { wasmBinary: Uint8Array.from(atob(inline), (c) => c.charCodeAt(0)) } : {});
  // For the browser test's figures: the module fetched, compiled and started.
  performance.mark('fourfifths:engine-ready');
  const page = new Page(engine);
  page.start();
} catch (error) {
  element<HTMLElement>('load-status').textContent = `The engine could not be loaded (${String(error)}).`;
  element<HTMLElement>('minimum-note').textContent = 'The engine could not be loaded: see the message above the form.';
  throw error;
}
