// The two state diagrams, laid out once when the page is built: Graphviz's
// dot (Debian's graphviz) turns the state tables of automata.js into SVG,
// which the bundle carries as text. Node and edge ids are "a0-STATE" and
// "a0-FROM>TO/ACTION" (a1- for A1), as the page marks them.
import { execFileSync } from 'node:child_process';
import { A0_EDGES, A1_EDGES, edgeKey } from './automata.js';

const quote = (s) => `"${s.replace(/["\\]/g, '\\$&')}"`;

function dot(name, prefix, edges, rankdir) {
  const lines = [
    `digraph ${name} {`,
    `  rankdir=${rankdir}; bgcolor="transparent"; nodesep=0.25; ranksep=0.35; margin=0;`,
    `  node [shape=box, style="rounded,filled", fillcolor=white, fontname="DejaVu Sans Mono", fontsize=12, height=0.32, id="${prefix}-\\N"];`,
    '  edge [fontname="DejaVu Sans", fontsize=10, arrowsize=0.7];',
  ];
  for (const e of edges) {
    const label = e[2] === '-' ? e[3] : `${e[3]} / ${e[2]}`;
    // A state's second loop, one that only prints, goes on its other side.
    const side = e[0] === e[1] && e[2] === '-' && edges.some((o) => o !== e && o[0] === e[0] && o[1] === e[0]) ? ', tailport=w, headport=w' : '';
    lines.push(`  ${quote(e[0])} -> ${quote(e[1])} [label=${quote(label)}, id=${quote(`${prefix}-${edgeKey(e)}`)}${side}];`);
  }
  lines.push('}');
  const svg = execFileSync('dot', ['-Tsvg'], { input: lines.join('\n') }).toString();
  // The drawing only: no XML prologue, no fixed size, so that it scales to its box.
  return svg.slice(svg.indexOf('<svg')).replace(/ width="[^"]*" height="[^"]*"/, '');
}

export function diagrams() {
  return { A0_SVG: dot('A0', 'a0', A0_EDGES, 'TB'), A1_SVG: dot('A1', 'a1', A1_EDGES, 'LR') };
}
