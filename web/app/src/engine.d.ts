// The module that Emscripten builds from web/engine/bindings.cc; the build
// resolves "@engine" to it (vite.config.mjs).
declare module '@engine' {
  export interface Engine {
    /** Q(z), the area of the standard normal distribution above z. */
    upper_tail(z: number): number;
    /** Answers a JSON request {"z": number} with {"upper_tail": number} or {"error": string}. */
    evaluate(request: string): string;
  }

  export interface EngineOptions {
    /** The .wasm file's bytes, where it cannot be fetched (Node.js). */
    wasmBinary?: ArrayBuffer | Uint8Array;
  }

  export default function create_engine(options?: EngineOptions): Promise<Engine>;
}
