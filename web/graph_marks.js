// What the graph shows of a step: the vertices on each stack, the active
// one, those rebuilt so far, the edges walked down to it; and, for a graph
// too large to draw whole, the part around the active vertex.
import { Phase } from './model.js';

const FETCHED = 4096;        // lines of todo.bat read for the marks in one redraw
const NEAR = { stack2: 200, stack1: 60, children: 60, parents: 60 };

// The vertices rebuilt up to a step, from the lines of todo.bat: each
// vertex's first line, learnt as the view passes it and kept for the run
// (todo.bat is the same on every visit), so that a redraw reads only lines
// it has not seen, a bounded number at a time.
export class Rebuilt {
  constructor(vertices) {
    this.order = [];   // vertices by their first line
    this.steps = [];   // the step of that line
    this.seen = new Uint8Array(vertices);
    this.scanned = 0;  // lines read
    this.vertices = vertices;
  }

  // {list: the vertices rebuilt by the current step, complete: false while
  // lines before it are still unread (a later call reads on)}.
  at(run) {
    const lines = run.todoLines();
    if (this.scanned < lines && this.order.length < this.vertices) {
      const count = Math.min(lines - this.scanned, FETCHED);
      for (const line of run.todo(this.scanned, count)) {
        if (this.seen[line.vertex]) continue;
        this.seen[line.vertex] = 1;
        this.order.push(line.vertex);
        this.steps.push(line.step);
      }
      this.scanned += count;
    }
    let [low, high] = [0, this.steps.length];
    while (low < high) {
      const mid = (low + high) >> 1;
      if (this.steps[mid] <= run.at) low = mid + 1;
      else high = mid;
    }
    return { list: this.order.slice(0, low), complete: this.scanned >= lines || this.order.length === this.vertices };
  }
}

// The edge from v to w, or -1 (graph: {offsets, targets}).
function edgeOf(graph, v, w) {
  for (let k = graph.offsets[v]; k < graph.offsets[v + 1]; ++k) if (graph.targets[k] === w) return k;
  return -1;
}

// The marks of the step just taken, in the graph's vertices and edges:
// `whole`: both stacks, top first, as deep as they are fetched.
export function stepMarks(run, v, graph, whole, rebuilt) {
  const planning = v.phase === Phase.PLANNING;
  const [one, two] = planning ? whole : [[], []];
  const marks = { on1: one.map((e) => e.vertex), on2: two.map((e) => e.vertex), active: one.length ? [one[0].vertex] : [], rebuilt: [], path: [], activeEdges: [], complete: true };
  if (planning || v.phase === Phase.REFUSED) {
    const r = rebuilt.at(run);
    marks.rebuilt = r.list;
    marks.complete = r.complete;
  }
  // Down stack 2 from the first goal, and on to the active vertex.
  const chain = two.map((e) => e.vertex).reverse().concat(marks.active);
  for (let i = 1; i < chain.length; ++i) {
    const k = edgeOf(graph, chain[i - 1], chain[i]);
    if (k >= 0) marks.path.push(k);
  }
  for (const a of marks.active) for (let k = graph.offsets[a]; k < graph.offsets[a + 1]; ++k) marks.activeEdges.push(k);
  return marks;
}

// For each vertex, the goals that depend on it: {start, list}.
export function parentsOf(graph) {
  const { n, offsets, targets } = graph;
  const start = new Int32Array(n + 1);
  for (const w of targets) ++start[w + 1];
  for (let v = 0; v < n; ++v) start[v + 1] += start[v];
  const fill = start.slice(0, n);
  const list = new Int32Array(targets.length);
  for (let v = 0; v < n; ++v) for (let k = offsets[v]; k < offsets[v + 1]; ++k) list[fill[targets[k]]++] = v;
  return { start, list };
}

// The part of a large graph drawn around the active vertex (or the first
// goal before the walk): the path down stack 2, the top of stack 1, its
// parents and its children, each up to a number. Returns the vertices
// chosen, sorted, and how many more of its parents and children there are.
export function neighbourhood(graph, parents, marks) {
  const chosen = new Set();
  const add = (list, most) => {
    let left = 0;
    for (const v of list) {
      if (chosen.size >= 2000) break;
      if (most-- > 0) chosen.add(v);
      else ++left;
    }
    return left;
  };
  const focus = marks.active.length ? marks.active[0] : 0;
  chosen.add(focus);
  add(marks.on2.slice(0, NEAR.stack2), Infinity);
  add(marks.on1.slice(0, NEAR.stack1), Infinity);
  const children = Array.from(graph.targets.subarray(graph.offsets[focus], graph.offsets[focus + 1]));
  const more = add(children, NEAR.children) + add(parents.list.subarray(parents.start[focus], parents.start[focus + 1]), NEAR.parents);
  return { vertices: [...chosen].sort((a, b) => a - b), focus, more };
}

// The subgraph on `vertices` (sorted), with a map back to the whole graph's
// vertices (`ids`) and edges (`edges`).
export function subgraph(graph, vertices) {
  const local = new Map(vertices.map((v, i) => [v, i]));
  const offsets = new Int32Array(vertices.length + 1);
  const targets = [];
  const edges = [];
  vertices.forEach((v, i) => {
    for (let k = graph.offsets[v]; k < graph.offsets[v + 1]; ++k) {
      const w = local.get(graph.targets[k]);
      if (w === undefined) continue;
      targets.push(w);
      edges.push(k);
    }
    offsets[i + 1] = targets.length;
  });
  return { n: vertices.length, offsets, targets: Int32Array.from(targets), ids: Int32Array.from(vertices), edges: Int32Array.from(edges), local };
}
