// The dependency graph on a canvas: laid out once per graph in a worker
// (layout_client.js), painted once per view (zoom, pan, size, reading), its
// walk's marks painted over it on every step on a canvas of their own. It
// zooms (wheel, + and −), pans (drag, arrow keys), follows the active
// vertex, and finds a vertex by name. A graph of more than 5,000 vertices or
// 20,000 edges is drawn in part: around the active vertex.
import { Phase } from './model.js';
import { decode } from './cp866.js';
import { layout as layOut } from './layout.js';
import { LayoutClient } from './layout_client.js';
import { FONT_PX, LABEL_SCALE, boxWidth, label, paintBase, paintMarks, svgOf, visible } from './graph_paint.js';
import { Rebuilt, stepMarks, parentsOf, neighbourhood, subgraph } from './graph_marks.js';
import { $, setText } from './dom.js';
import { pngDrawn } from './export.js';

export const WHOLE = { vertices: 5000, edges: 20000 };  // drawn whole up to these
const MOST_SCALE = 3;
const STEP_PAN = 80;  // CSS px an arrow key moves the view
const none = () => ({ on1: [], on2: [], active: [], rebuilt: [], path: [], activeEdges: [], found: [], complete: true });

export class GraphView {
  // `onPick(name)`: a vertex was clicked.
  constructor(box, onPick) {
    Object.assign(this, { box, onPick, base: $('graph-base'), over: $('graph-marks'), tip: $('graph-tip') });
    this.client = new LayoutClient();
    this.size = { width: box.clientWidth, height: box.clientHeight };
    this.view = { scale: 1, tx: 0, ty: 0 };
    this.follow = true;
    this.drawing = null;   // what is drawn: {n, offsets, targets, names, labels, widths, layout, ids}
    this.marks = none();   // the step's, in the whole graph's vertices
    // For the curious and the tests: boxes drawn, the smallest label's px, and
    // how long the layout took in the worker and from the run to its arrival.
    this.stats = { drawn: 0, smallestLabel: null, layoutMs: null, laidOutMs: null };
    new ResizeObserver(() => {
      this.size = { width: box.clientWidth, height: box.clientHeight };
      this.paint(true);
    }).observe(box);
    this.wire();
  }

  // A new run: its graph is laid out, whole or around the active vertex.
  setRun(run) {
    this.client.cancel();
    this.run = run;
    this.graph = null;
    this.parents = null;
    this.drawing = null;
    this.found = -1;
    this.pending = false;
    this.marks = none();
    this.readKey = '';
    this.nearKey = '';
    const n = run.vertexCount();
    this.paint(true);
    if (n === 0) return this.note('No vertex: the makefile names no goal.');
    const g = run.graph();
    const offsets = new Int32Array(n + 1);
    g.children.forEach((c, v) => { offsets[v + 1] = offsets[v] + c.length; });
    const targets = new Int32Array(offsets[n]);
    g.children.forEach((c, v) => targets.set(c, offsets[v]));
    const names = g.names.map((name) => decode(name));
    this.graph = { n, offsets, targets, names };
    this.rebuilt = new Rebuilt(n);
    this.whole = n <= WHOLE.vertices && targets.length <= WHOLE.edges;
    this.counts = `${n.toLocaleString()} vert${n === 1 ? 'ex' : 'ices'}, ${targets.length.toLocaleString()} edge${targets.length === 1 ? '' : 's'}`;
    $('graph-marks').setAttribute('aria-label', `The dependency graph: ${this.counts}; the stacks and todo.bat list its marks. Arrow keys pan, + and − zoom, 0 fits it to the box.`);
    if (!this.whole) {
      this.parents = parentsOf(this.graph);
      return this.note(`${this.counts}: more than ${WHOLE.vertices.toLocaleString()} vertices or ${WHOLE.edges.toLocaleString()} edges, so only the active vertex, the path down the stacks, its parents and its children are drawn.`);
    }
    this.pending = true;
    this.note(`${this.counts}: laying them out…`);
    const began = performance.now();
    const widths = Float32Array.from(names, boxWidth);
    this.client.lay({ n, offsets, targets }, widths, this.size.width / Math.max(1, this.size.height)).then((laid) => {
      if (!laid || this.run !== run) return;
      this.pending = false;
      this.show({ ...this.graph, labels: names.map(label), widths, layout: laid, ids: null });
      this.stats.laidOutMs = performance.now() - began;
      this.stats.layoutMs = laid.ms;
      this.note(`${this.counts}, laid out in ${(laid.ms / 1000).toFixed(2)} s. A box is a name of the makefile; an arrow goes from a goal to each name it depends on, goals above.`);
      this.render(run, run.view(), this.lastWhole);
    });
  }

  note(text) {
    setText('graph-note', text);
    $('graph-note').title = text;
  }

  // Shows a drawing, fitted to the box, or at a scale that can be read
  // where it does not fit, on the active vertex or the first goal.
  show(drawing, focus = 0) {
    this.drawing = drawing;
    const fit = this.fitScale();
    if (fit >= LABEL_SCALE) this.fit();
    else this.centre(focus, 1);
  }

  fitScale() {
    const { layout } = this.drawing;
    return Math.min(1.5, this.size.width / layout.width, this.size.height / layout.height);
  }

  fit() {
    if (!this.drawing) return;
    const { layout } = this.drawing;
    const scale = this.fitScale();
    this.view = { scale, tx: (this.size.width - layout.width * scale) / 2, ty: (this.size.height - layout.height * scale) / 2 };
    this.paint(true);
  }

  // Puts local vertex v in the middle of the box at `scale`.
  centre(v, scale = this.view.scale) {
    const { layout } = this.drawing;
    this.view = { scale, tx: this.size.width / 2 - layout.x[v] * scale, ty: this.size.height / 2 - layout.y[v] * scale };
    this.paint(true);
  }

  zoom(factor, at = { x: this.size.width / 2, y: this.size.height / 2 }) {
    if (!this.drawing) return;
    const least = Math.min(LABEL_SCALE, this.fitScale() * 0.8);
    const scale = Math.min(MOST_SCALE, Math.max(least, this.view.scale * factor));
    const k = scale / this.view.scale;
    this.view = { scale, tx: at.x - (at.x - this.view.tx) * k, ty: at.y - (at.y - this.view.ty) * k };
    this.paint(true);
  }

  pan(dx, dy) {
    this.view.tx += dx;
    this.view.ty += dy;
    this.setFollow(false);
    this.paint(true);
  }

  setFollow(on) {
    this.follow = on;
    $('graph-follow').setAttribute('aria-pressed', String(on));
  }

  // The local vertex of a whole-graph vertex, or -1 where it is not drawn.
  local(v) {
    if (!this.drawing) return -1;
    if (!this.drawing.ids) return v;
    return this.drawing.local.get(v) ?? -1;
  }

  // After every step: the marks, the part drawn of a large graph, the view
  // following the active vertex. `whole`: both stacks, top first.
  render(run, v, whole) {
    this.lastWhole = whole;
    if (!this.graph || run !== this.run) return;
    const marks = stepMarks(run, v, this.graph, whole, this.rebuilt);
    marks.found = this.found >= 0 ? [this.found] : [];
    this.marks = marks;
    if (!this.whole) this.near(marks);
    if (!marks.complete) {
      // More of todo.bat to read: the rest of the marks a moment later.
      clearTimeout(this.more);
      this.more = setTimeout(() => this.run === run && this.render(run, run.view(), whole), 0);
    }
    // While reading, what is not read yet is faded.
    const reading = v.phase <= Phase.READING;
    const read = reading ? run.readSoFar(this.graph.n) : null;
    const key = read ? `${read.vertices}:${read.counts.reduce((s, c) => s + c[0], 0)}` : '';
    if (key !== this.readKey) {
      this.readKey = key;
      this.read = read && {
        vertex: (u) => this.global(u) < read.vertices,
        edge: (u, k) => {
          const g = this.global(u);
          return g < read.vertices && this.globalEdge(k) - this.graph.offsets[g] < read.counts[g][0];
        },
      };
      this.paint(true);
    }
    const active = marks.active.length ? this.local(marks.active[0]) : -1;
    if (this.follow && active >= 0 && this.drawing) {
      const { layout } = this.drawing;
      const [x, y] = [layout.x[active] * this.view.scale + this.view.tx, layout.y[active] * this.view.scale + this.view.ty];
      const { width, height } = this.size;
      if (x < width * 0.1 || x > width * 0.9 || y < height * 0.1 || y > height * 0.9) this.centre(active);
    }
    this.paint(false);
  }

  global(u) { return this.drawing.ids ? this.drawing.ids[u] : u; }
  globalEdge(k) { return this.drawing.ids ? this.drawing.edges[k] : k; }

  // A large graph: the part around the active vertex, laid out here (it is
  // small) when it changes.
  near(marks) {
    const part = neighbourhood(this.graph, this.parents, marks);
    const key = part.vertices.join(',');
    if (key === this.nearKey) return;
    this.nearKey = key;
    const sub = subgraph(this.graph, part.vertices);
    const names = Array.from(sub.ids, (v) => this.graph.names[v]);
    const widths = Float32Array.from(names, boxWidth);
    const laid = layOut(sub, widths, this.size.width / Math.max(1, this.size.height));
    const scale = this.drawing ? this.view.scale : 1;
    this.drawing = { ...sub, names, labels: names.map(label), widths, layout: laid };
    this.centre(sub.local.get(part.focus), Math.max(scale, LABEL_SCALE));
    this.note(`${this.counts}: more than ${WHOLE.vertices.toLocaleString()} vertices or ${WHOLE.edges.toLocaleString()} edges, so only ${sub.n.toLocaleString()} are drawn: `
      + `the active vertex, the path down the stacks, its parents and children${part.more ? ` (${part.more.toLocaleString()} more not shown)` : ''}.`);
  }

  // The marks in the drawing's own vertices and edges.
  localMarks() {
    const m = this.marks;
    const vertices = (list) => list.map((v) => this.local(v)).filter((u) => u >= 0);
    let edges = (list) => list;
    if (this.drawing?.ids) {
      const back = new Map(Array.from(this.drawing.edges, (k, i) => [k, i]));
      edges = (list) => list.map((k) => back.get(k)).filter((k) => k !== undefined);
    }
    return { on1: vertices(m.on1), on2: vertices(m.on2), active: vertices(m.active), rebuilt: vertices(m.rebuilt), found: vertices(m.found), path: edges(m.path), activeEdges: edges(m.activeEdges) };
  }

  // Paints the marks now, and the boxes too when `all` (or when asked
  // before and not yet done).
  paint(all) {
    this.dirty ||= all;
    const ratio = window.devicePixelRatio || 1;
    const { width, height } = this.size;
    for (const c of [this.base, this.over]) {
      const [w, h] = [Math.round(width * ratio), Math.round(height * ratio)];
      if (c.width !== w || c.height !== h) [c.width, c.height, this.dirty] = [w, h, true];
    }
    const setUp = (canvas) => {
      const g = canvas.getContext('2d');
      g.setTransform(1, 0, 0, 1, 0, 0);
      g.clearRect(0, 0, canvas.width, canvas.height);
      g.setTransform(ratio * this.view.scale, 0, 0, ratio * this.view.scale, ratio * this.view.tx, ratio * this.view.ty);
      return g;
    };
    const area = visible(this.view, width, height);
    if (this.dirty) {
      this.dirty = false;
      const g = setUp(this.base);
      this.stats.drawn = this.drawing ? paintBase(g, this.drawing, this.view, area, this.read) : 0;
      this.stats.smallestLabel = this.drawing && this.view.scale >= LABEL_SCALE ? FONT_PX * this.view.scale : null;
    }
    const g = setUp(this.over);
    if (this.drawing) paintMarks(g, this.drawing, this.view, area, this.localMarks());
  }

  // The local vertex under a point of the box, or -1.
  hit(x, y) {
    if (!this.drawing) return -1;
    const { layout, widths, n } = this.drawing;
    const [wx, wy] = [(x - this.view.tx) / this.view.scale, (y - this.view.ty) / this.view.scale];
    for (let v = 0; v < n; ++v) {
      if (Math.abs(wx - layout.x[v]) <= widths[v] / 2 && Math.abs(wy - layout.y[v]) <= 11) return v;
    }
    return -1;
  }

  // Finds a vertex by name: centred, readable, and ringed until the next find.
  find(name) {
    const v = this.graph ? this.graph.names.indexOf(name) : -1;
    if (v < 0) return setText('graph-find-note', name ? `no vertex is named ${name}` : '');
    this.found = v;
    this.marks.found = [v];
    if (!this.whole) this.near({ ...this.marks, active: [v] });
    const u = this.local(v);
    setText('graph-find-note', u >= 0 ? '' : 'not drawn now');
    if (u >= 0) {
      this.setFollow(false);
      this.centre(u, Math.max(this.view.scale, 1));
    }
    this.paint(false);
  }

  // The drawing as shown at the step, as SVG text; null when none is drawn.
  svg() { return this.drawing && svgOf(this.drawing, this.localMarks()); }

  // The whole drawing as PNG, at twice its size where that stays within
  // 12 million pixels (a large graph's file would run to tens of MB).
  png() {
    if (!this.drawing) return Promise.resolve(null);
    const { layout } = this.drawing;
    const scale = Math.min(2, Math.sqrt(12e6 / (layout.width * layout.height)));
    return pngDrawn(layout.width, layout.height, scale, (g, canvas) => {
      g.setTransform(scale, 0, 0, scale, 0, 0);
      const view = { scale, tx: 0, ty: 0 };
      const area = visible(view, canvas.width, canvas.height);
      paintBase(g, this.drawing, view, area, this.read);
      paintMarks(g, this.drawing, view, area, this.localMarks());
    });
  }

  wire() {
    const over = this.over;
    let drag = null;
    over.addEventListener('pointerdown', (e) => {
      drag = { x: e.clientX, y: e.clientY, moved: false };
      over.setPointerCapture(e.pointerId);
    });
    over.addEventListener('pointermove', (e) => {
      const box = over.getBoundingClientRect();
      if (drag) {
        const [dx, dy] = [e.clientX - drag.x, e.clientY - drag.y];
        if (drag.moved || Math.abs(dx) + Math.abs(dy) > 3) {
          drag = { x: e.clientX, y: e.clientY, moved: true };
          this.pan(dx, dy);
        }
        return;
      }
      const v = this.hit(e.clientX - box.left, e.clientY - box.top);
      this.tip.hidden = v < 0;
      if (v < 0) return;
      const g = this.global(v);
      const { offsets } = this.graph;
      const parents = this.parents ?? (this.parents = parentsOf(this.graph));
      this.tip.textContent = `${this.graph.names[g]}: ${(offsets[g + 1] - offsets[g]).toLocaleString()} dependencies, `
        + `${(parents.start[g + 1] - parents.start[g]).toLocaleString()} goals depend on it; click: run until it is active`;
      this.tip.style.left = `${Math.min(e.clientX - box.left + 12, this.size.width - 200)}px`;
      this.tip.style.top = `${e.clientY - box.top + 16}px`;
    });
    over.addEventListener('pointerup', (e) => {
      const wasDrag = drag?.moved;
      drag = null;
      if (wasDrag) return;
      const box = over.getBoundingClientRect();
      const v = this.hit(e.clientX - box.left, e.clientY - box.top);
      if (v >= 0) this.onPick(this.graph.names[this.global(v)]);
    });
    over.addEventListener('pointerleave', () => { this.tip.hidden = true; });
    over.addEventListener('wheel', (e) => {
      e.preventDefault();
      const box = over.getBoundingClientRect();
      this.setFollow(false);
      this.zoom(Math.exp(-e.deltaY / 500), { x: e.clientX - box.left, y: e.clientY - box.top });
    }, { passive: false });
    over.addEventListener('keydown', (e) => {
      const keys = {
        ArrowLeft: () => this.pan(STEP_PAN, 0), ArrowRight: () => this.pan(-STEP_PAN, 0),
        ArrowUp: () => this.pan(0, STEP_PAN), ArrowDown: () => this.pan(0, -STEP_PAN),
        '+': () => this.zoom(1.25), '=': () => this.zoom(1.25), '-': () => this.zoom(0.8), 0: () => this.fit(),
      };
      if (!keys[e.key]) return;
      e.preventDefault();
      e.stopPropagation();
      keys[e.key]();
    });
    $('graph-in').onclick = () => this.zoom(1.25);
    $('graph-out').onclick = () => this.zoom(0.8);
    $('graph-fit').onclick = () => { this.setFollow(false); this.fit(); };
    $('graph-follow').onclick = () => {
      this.setFollow(!this.follow);
      if (this.follow && this.run) this.render(this.run, this.run.view(), this.lastWhole);
    };
    $('graph-find').addEventListener('change', () => this.find($('graph-find').value));
  }
}
