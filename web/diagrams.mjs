// The two state diagrams, laid out once when the page is built: Graphviz's
// dot (Debian's graphviz) turns the automata's transitions, as the session's
// tables give them, into SVG, which the bundle carries as text. Node and edge
// ids are "a0-STATE" and "a0-FROM>TO/ACTION" (a1- for A1), as the page marks
// them.
import { execFileSync } from 'node:child_process';

const quote = (s) => `"${s.replace(/["\\]/g, '\\$&')}"`;

function dot(name, table, rankdir) {
  const prefix = name.toLowerCase();
  const state = (n) => table.states[n].name;
  const lines = [
    `digraph ${name} {`,
    `  rankdir=${rankdir}; bgcolor="transparent"; nodesep=0.25; ranksep=0.35; margin=0;`,
    `  node [shape=box, style="rounded,filled", fillcolor=white, fontname="DejaVu Sans Mono", fontsize=12, height=0.32, id="${prefix}-\\N"];`,
    // The labels are laid out in the font and size the page draws them in.
    '  edge [fontname="DejaVu Sans Mono", fontsize=11, arrowsize=0.7];',
  ];
  for (const t of table.transitions) {
    const action = t.action ? table.actions.find((a) => a.number === t.action).name : '-';
    const id = `${prefix}-${state(t.from)}>${state(t.to)}/${action}`;
    // A state's second loop, one that only prints, goes on its other side.
    const loops = table.transitions.filter((o) => o.from === t.from && o.to === t.from);
    const side = t.from === t.to && !t.action && loops.length > 1 ? ', tailport=w, headport=w' : '';
    lines.push(`  ${quote(state(t.from))} -> ${quote(state(t.to))} [label=${quote(t.label)}, id=${quote(id)}${side}];`);
  }
  lines.push('}');
  const svg = execFileSync('dot', ['-Tsvg'], { input: lines.join('\n') }).toString();
  // The drawing only: no XML prologue, no fixed size, so that it scales to its box.
  return svg.slice(svg.indexOf('<svg')).replace(/ width="[^"]*" height="[^"]*"/, '');
}

// `tables`: the session module's automata(), {A0, A1}.
export function diagrams(tables) {
  return { A0_SVG: dot('A0', tables.A0, 'TB'), A1_SVG: dot('A1', tables.A1, 'LR') };
}
