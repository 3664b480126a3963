// The two automata for the page's views, as the session's own tables say
// them (bindings.cc): the build takes the tables from planner_session.js and
// lays the state diagrams out from them (diagrams.mjs), so that nothing here
// spells a state, a condition or an action.
import { TABLES } from 'planner:automata';
import { decode } from './cp866.js';

const byNumber = (list, n) => list.find((e) => e.number === n);
const nameOf = (table, list, n) => byNumber(table[list], n).name;

// A diagram's edges: {key: "FROM>TO/zN" ("/-" without an action), as
// Run.transition() names the step just taken, from, to, action, label, gloss}.
function edgesOf(table) {
  return table.transitions.map((t) => {
    const from = table.states[t.from].name;
    const to = table.states[t.to].name;
    const action = t.action ? nameOf(table, 'actions', t.action) : '-';
    return { key: `${from}>${to}/${action}`, from, to, action, label: t.label, gloss: t.gloss };
  });
}
export const A0_EDGES = edgesOf(TABLES.A0);
export const A1_EDGES = edgesOf(TABLES.A1);

// English for the automata, the one glossary every view reads: what each
// state is, what each condition says when it holds and when it does not,
// and what each action does. The Russian texts stay as the program prints them.
function glossOf(table) {
  return {
    states: Object.fromEntries(table.states.map((s) => [s.name, s.gloss])),
    conditions: Object.fromEntries(table.conditions.map((c) => [c.name, [c.holds, c.fails]])),
    actions: Object.fromEntries(table.actions.map((a) => [a.name, a.gloss])),
  };
}
export const GLOSS = { A0: glossOf(TABLES.A0), A1: glossOf(TABLES.A1) };

// A condition's value in English: "x5: top 1's file is newer than top 2's".
export const conditionGloss = (automaton, name, value) =>
  `${value ? name : `¬${name}`}: ${GLOSS[automaton].conditions[name][value ? 0 : 1]}`;

// What a condition said, or an action did, to the step's vertices, as the
// table tells it with `subjects` (Run.subjects()) filled in; its gloss where
// the table tells nothing, or names a vertex the step has not.
const TOLD = Object.fromEntries(Object.entries(TABLES).map(([automaton, table]) => [automaton, {
  conditions: Object.fromEntries(table.conditions.map((c) => [c.name, [c.toldHolds, c.toldFails]])),
  actions: Object.fromEntries(table.actions.map((a) => [a.name, a.told])),
}]));
export function told(automaton, name, value, subjects) {
  const condition = TOLD[automaton].conditions[name];
  const text = condition ? condition[value ? 0 : 1] : TOLD[automaton].actions[name];
  const filled = text && subjects && text.replace(/\{(\w+)\}/g, (_, key) => subjects[key] ?? '\0');
  if (filled && !filled.includes('\0')) return filled;
  return condition ? GLOSS[automaton].conditions[name][value ? 0 : 1] : GLOSS[automaton].actions[name];
}

export const edgeKey = (edge) => edge.key;
export const edgeGloss = (automaton, edge) => edge.gloss;

// Every line the automata print, decoded, and its gloss; an A0 condition's
// line goes on with the character read, so it is matched by its start.
const LINES = [];
for (const [automaton, table] of Object.entries(TABLES)) {
  const text = (bytes) => decode(bytes, { lf: true }).replace(/\n$/, '');
  for (const s of table.states) LINES.push([text(s.line), `${automaton} is now in ${s.name}: ${s.gloss}`, true]);
  LINES.push([text(table.closing), table.finished, true]);
  for (const c of table.conditions) {
    for (const [bytes, value] of [[c.said, true], [c.denied, false]]) {
      if (bytes) LINES.push([text(bytes), conditionGloss(automaton, c.name, value), automaton === 'A1']);
    }
  }
}

// A line of the trace, decoded, in English; '' for none.
export function lineGloss(line) {
  const found = LINES.find(([text, , whole]) => (whole ? line === text : line.startsWith(text)));
  if (found) return found[1];
  return line === '' ? 'the line end that the line above prints' : '';
}
