// What Vite adds to import.meta, as far as the page uses it (the packages'
// own types live in the build tree, beyond the type check's reach).
interface ImportMeta {
  glob(pattern: string, options: { query: string; import: string; eager: true }): Record<string, unknown>;
}
