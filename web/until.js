// "Run until": the menu of events the session finds (Run.find), glossed from
// the automata's one table, and the search, forward or back.
import { GLOSS, conditionGloss } from './automata.js';
import { encode, byteString } from './cp866.js';
import { $ } from './dom.js';

// <optgroup>s for the menu: each option's value is the event as JSON.
function untilMenu() {
  const groups = [];
  const group = (label, options) => {
    const g = document.createElement('optgroup');
    g.label = label;
    for (const [event, text] of options) g.append(new Option(text, JSON.stringify(event)));
    groups.push(g);
  };
  for (const automaton of ['A0', 'A1']) {
    const { states, conditions } = GLOSS[automaton];
    group(`${automaton} ends a step in`, Object.keys(states).map((state) =>
      [{ kind: 'state', automaton, state }, `${automaton} → ${state}: ${states[state]}`]));
    group(`${automaton} evaluates`, Object.keys(conditions).flatMap((condition) => [true, false].map((value) =>
      [{ kind: 'condition', automaton, condition, value }, `${automaton} ${conditionGloss(automaton, condition, value)}`])));
  }
  group('the walk', [
    [{ kind: 'command' }, 'a line is written to todo.bat'],
    [{ kind: 'mark' }, 'a copy on stack 2 is marked'],
    [{ kind: 'active' }, 'a vertex becomes active (top of stack 1)…'],
  ]);
  return groups;
}

// Wires the controls to `current()`, the run shown; `before()` is called
// before a search (to stop playing), `after()` once the run has moved.
// Returns choose(event), which makes an event the one searched for.
export function wireUntil(current, before, after) {
  const chosen = () => JSON.parse($('until-event').value);
  const choose = (event) => {
    $('until-event').value = JSON.stringify(event);
    $('until-vertex').hidden = event.kind !== 'active';
    $('until-note').textContent = '';
  };
  const search = (forward) => {
    before();
    const run = current();
    const event = chosen();
    const vertex = byteString(encode($('until-vertex').value));
    if (event.kind === 'active' && run.vertexOf(vertex) < 0) {
      $('until-note').textContent = `no vertex is named ${$('until-vertex').value || '(empty)'}`;
      return;
    }
    const [from, began] = [run.at, performance.now()];
    const step = run.runUntil({ ...event, vertex }, forward);
    const ms = performance.now() - began;
    after();
    $('until-note').textContent = step === null ? `none ${forward ? 'after' : 'before'} step ${from.toLocaleString()}`
      : `step ${step.toLocaleString()}, found in ${Math.round(ms)} ms`;
  };
  $('until-event').append(...untilMenu());
  $('until-event').onchange = () => choose(chosen());
  choose({ kind: 'command' });
  $('until-next').onclick = () => search(true);
  $('until-back').onclick = () => search(false);
  return choose;
}
