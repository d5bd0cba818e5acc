// Small helpers over the page's document.

/** The page's element with this id; its absence is a fault of the page. */
export function element<T extends Element>(id: string): T {
  const found = document.getElementById(id);
  if (!found) throw new Error(`the page has no #${id}`);
  return found as unknown as T;
}

/** A message about bad input, as every error the page shows is marked. */
export function error_line(text: string): HTMLParagraphElement {
  const p = document.createElement('p');
  p.className = 'error';
  p.dataset.testid = 'field-error';
  p.textContent = text;
  return p;
}

/** Offers a text as a file to save. */
export function download(text: string, name: string, type: string): void {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}
