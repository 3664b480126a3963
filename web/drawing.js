// Layered drawings in SVG, laid out by dagre once per graph: the two state
// diagrams and the dependency graph. Drawing returns the elements by key, so
// that a step only changes classes, never the layout.
import dagre from '@dagrejs/dagre';

const SVG = 'http://www.w3.org/2000/svg';

function element(name, attributes = {}, parent = null) {
  const e = document.createElementNS(SVG, name);
  for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
  if (parent) parent.appendChild(e);
  return e;
}

// Text widths without measuring: the drawing font is monospace.
const CHAR = 7.2;

// Draws `nodes` ([{id, label, cls}]) and `edges` ([{key, from, to, label}])
// into `svg`; returns {nodes: Map id -> <g>, edges: Map key -> <g>, width,
// height, at: Map id -> {x, y}}, in the drawing's own units. `rankdir` is
// dagre's: 'TB' or 'LR'.
export function draw(svg, nodes, edges, { rankdir = 'TB', nodesep = 24, ranksep = 36 } = {}) {
  const g = new dagre.graphlib.Graph({ multigraph: true });
  g.setGraph({ rankdir, nodesep, ranksep, edgesep: 8, marginx: 6, marginy: 6 });
  for (const n of nodes) g.setNode(n.id, { width: n.label.length * CHAR + 16, height: 24 });
  for (const e of edges) {
    const label = e.label ?? '';
    g.setEdge(e.from, e.to, { width: label.length * 6 + 4, height: label ? 12 : 0, labelpos: 'c' }, e.key);
  }
  dagre.layout(g);
  svg.replaceChildren();
  const { width, height } = g.graph();
  svg.setAttribute('viewBox', `0 0 ${Math.ceil(width)} ${Math.ceil(height)}`);
  const defs = element('defs', {}, svg);
  const marker = element('marker', { id: `${svg.id}-arrow`, viewBox: '0 0 8 8', refX: 7, refY: 4, markerWidth: 7, markerHeight: 7, orient: 'auto-start-reverse' }, defs);
  element('path', { d: 'M0,0 L8,4 L0,8 z', class: 'arrow' }, marker);
  const drawn = { nodes: new Map(), edges: new Map(), width, height, at: new Map() };
  const edgeLayer = element('g', {}, svg);
  for (const e of edges) {
    const laid = g.edge({ v: e.from, w: e.to, name: e.key });
    const group = element('g', { class: 'edge' }, edgeLayer);
    const d = laid.points.map((p, i) => `${i ? 'L' : 'M'}${p.x.toFixed(1)},${p.y.toFixed(1)}`).join(' ');
    element('path', { d, 'marker-end': `url(#${svg.id}-arrow)` }, group);
    if (e.label) element('text', { x: laid.x, y: laid.y + 4, 'text-anchor': 'middle' }, group).textContent = e.label;
    drawn.edges.set(e.key, group);
  }
  for (const n of nodes) {
    const laid = g.node(n.id);
    const group = element('g', { class: `node ${n.cls ?? ''}`, transform: `translate(${laid.x},${laid.y})` }, svg);
    element('rect', { x: -laid.width / 2, y: -laid.height / 2, width: laid.width, height: laid.height, rx: 5 }, group);
    element('text', { y: 4, 'text-anchor': 'middle' }, group).textContent = n.label;
    if (n.title) element('title', {}, group).textContent = n.title;
    drawn.nodes.set(n.id, group);
    drawn.at.set(n.id, { x: laid.x, y: laid.y });
  }
  return drawn;
}

// Sets exactly the given classes on each drawn element: `marks` maps a class
// to the set of keys that carry it.
export function mark(elements, marks) {
  for (const [key, e] of elements) {
    for (const [cls, keys] of Object.entries(marks)) e.classList.toggle(cls, keys.has(key));
  }
}
