// The module that Emscripten builds from web/engine/bindings.cc; the build
// resolves "@engine" to it (vite.config.mjs). Every entry point takes and
// gives JSON text (web/engine/requests.h); a deck may be passed as bytes.
declare module '@engine' {
  export interface Engine {
    /** The library's version: {"version"}. */
    version(): string;
    /** A classic run: {"report", "diagnostics", "status"}. */
    classic_run(deck: string | Uint8Array): string;
    /** A file's scenario: {"form", "scenario", "errors"}. */
    load(text: string | Uint8Array): string;
    /** The outcomes, the four-fifths minimum and the plot of a scenario. */
    evaluate(request: string): string;
    /** The Pareto front at a ratio and the best weighting for a minimum impact ratio. */
    front(request: string): string;
    /** Finite pools at the ratio: the chances of failing the rule by chance. */
    pool(request: string): string;
    /** Observed counts: the analysis, its CSV and chart. */
    observed(request: string): string;
    /** The explorer's table of a scenario or deck. */
    table(scenario: string | Uint8Array, options: string): string;
  }

  export interface EngineOptions {
    /** The .wasm file's bytes, where it cannot be fetched (Node.js). */
    wasmBinary?: ArrayBuffer | Uint8Array;
  }

  export default function create_engine(options?: EngineOptions): Promise<Engine>;
}
