// The page: one number in, the engine's answer out, recomputed as you type.
import create_engine, { type Engine } from '@engine';

type Answer = { upper_tail: number } | { error: string };

function element<T extends Element>(selector: string): T {
  const found = document.querySelector<T>(selector);
  if (!found) {
    throw new Error(`the page has no ${selector}`);
  }
  return found;
}

const form = element<HTMLFormElement>('#query');
const input = element<HTMLInputElement>('#z');
const output = element<HTMLOutputElement>('#result');

function show(text: string, state: 'ok' | 'error'): void {
  output.value = text;
  output.dataset.state = state;
}

// The engine answers in JSON, as it will for whole decks; the number is
// shown to six significant digits.
function update(engine: Engine): void {
  const text = input.value.trim();
  const z = Number(text);
  if (text === '' || !Number.isFinite(z)) {
    show('enter a number', 'error');
    return;
  }
  const answer = JSON.parse(engine.evaluate(JSON.stringify({ z }))) as Answer;
  if ('error' in answer) {
    show(answer.error, 'error');
  } else {
    show(answer.upper_tail.toPrecision(6), 'ok');
  }
}

form.addEventListener('submit', (event) => event.preventDefault());
try {
  const engine = await create_engine();
  input.addEventListener('input', () => update(engine));
  update(engine);
  // For the browser test's figure: the time from navigation to the first answer.
  performance.mark('fourfifths:first-result');
} catch (error) {
  show(`the engine could not be loaded (${String(error)})`, 'error');
  throw error;
}
