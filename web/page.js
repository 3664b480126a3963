// The page: a view over the model (model.js), which it drives on every
// control, key and edit. window.plannerPage gives the tests and the curious
// the same handles the page uses.
import { Run, Phase, loadModule } from './model.js';
import { showBytes, readBytes, decode, encode, byteString, stringBytes } from './cp866.js';
import { ACTIONS, CONDITIONS } from './automata.js';
import { draw, mark } from './drawing.js';
import { A0_SVG, A1_SVG } from 'planner:diagrams';
import { TraceView } from './trace_view.js';

// The worked example: app at 250, main.obj at 200, main.c at 300; run to its
// end, todo.bat holds `cc main.c`, then `link main.obj`.
const EXAMPLE = 'app: main.obj\n\tlink main.obj\nmain.obj: main.c\n\tcc main.c\n';
const EXAMPLE_TIMES = [['app', 250], ['main.obj', 200], ['main.c', 300]];

const GRAPH_LIMIT = 300;   // vertices drawn; a larger graph is left to the stacks
const EDGE_LIMIT = 1000;  // and edges
const STACK_SHOWN = 60;    // entries of each stack shown, from the top
const TODO_SHOWN = 200;    // lines of todo.bat shown, the latest
const EDIT_LIMIT = 1 << 18;   // makefile bytes edited, and drawn with the cursor
const BUFFER_SHOWN = 80;       // bytes of a token buffer shown, its last

const $ = (id) => document.getElementById(id);
// Changes a text or a value only when it differs: an unchanged element is
// not painted again.
const setText = (id, text) => {
  if ($(id).textContent !== text) $(id).textContent = text;
};
const setValue = (id, key, value) => {
  if ($(id)[key] !== value) $(id)[key] = value;
};
const html = (tag, text, cls) => {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (cls) e.className = cls;
  return e;
};

const page = {
  module: null,
  run: null,
  makefile: stringBytes(EXAMPLE),
  fileName: 'app.mk',
  times: new Map(EXAMPLE_TIMES), // name -> seconds; missing names are absent
  stop: null,                    // stops playing
  drawings: null,                // {a0, a1, graph}
  todoCache: new Map(),          // line -> todo line, for this run
  todoShown: {},                 // {run, first, n}: the lines drawn
  redraws: 0,
};
window.plannerPage = page;

// --- Loading and re-running. ---

// A new run on the current makefile and times, at step `at` where the run
// has one.
function rerun(at = 0) {
  pause();
  page.run?.dispose();
  page.run = new Run(page.module, page.makefile, new Map(page.times));
  page.todoCache = new Map();
  $('highlight').dataset.at = '';
  // A refused run writes no todo.bat, and leaves one that was there alone.
  $('download-todo').disabled = Boolean(page.run.refusal);
  drawGraph();
  fillTimes();
  trace.setRun(page.run);
  page.run.seek(at);
  render();
  prepareWhileIdle(page.run);
}
page.rerun = rerun;
page.load = (makefile, times, at = 0) => {
  page.makefile = typeof makefile === 'string' ? stringBytes(makefile) : makefile;
  page.times = new Map(times);
  showMakefile();
  rerun(at);
};

// A larger makefile is run whole but shown only in part, and not edited.
function showMakefile() {
  const whole = page.makefile.length <= EDIT_LIMIT;
  $('editor').readOnly = !whole;
  $('editor').value = showBytes(whole ? page.makefile : page.makefile.subarray(0, EDIT_LIMIT));
  $('makefile-note').textContent = whole ? ''
    : `${page.makefile.length.toLocaleString()} bytes: the first ${EDIT_LIMIT.toLocaleString()} shown, not editable`;
}

function prepareWhileIdle(run) {
  const slice = () => {
    if (page.run !== run) return;
    if (run.prepare()) {
      trace.update();
      return trace.draw();
    }
    setTimeout(slice, 0);
  };
  setTimeout(slice, 0);
}

// --- Moving. ---

function go(n) {
  page.run.seek(n);
  render();
}
function pause() {
  page.stop?.();
  page.stop = null;
  $('play').textContent = 'Play ▶';
}
function play() {
  if (page.stop) return pause();
  if (page.run.at === page.run.total) page.run.seek(0);
  $('play').textContent = 'Pause ❚❚';
  // A redraw per batch of steps; a short wait is the next frame, so that
  // steps faster than frames are drawn once a frame.
  page.stop = page.run.play((run) => {
    render();
    if (run.at === run.total) pause();
  }, {
    rate: Number($('speed').value),
    wait: (f, ms) => (ms < 20 ? requestAnimationFrame(f) : setTimeout(f, ms)),
  });
}
page.play = play;
page.pause = pause;

// --- Drawing once per graph. ---

// The state diagrams come laid out (diagrams.mjs); their nodes and edges
// are found by id: "a0-STATE", "a0-FROM>TO/ACTION".
function drawDiagrams() {
  const place = (figure, svg, prefix) => {
    figure.insertAdjacentHTML('beforeend', svg);
    const byKey = (selector) => new Map(Array.from(figure.querySelectorAll(selector), (e) => [e.id.slice(prefix.length + 1), e]));
    return { nodes: byKey('g.node'), edges: byKey('g.edge') };
  };
  page.drawings = { a0: place($('a0'), A0_SVG, 'a0'), a1: place($('a1'), A1_SVG, 'a1'), graph: null };
}

function drawGraph() {
  const run = page.run;
  const n = run.vertexCount();
  const svg = $('graph');
  page.drawings.graph = null;
  const g = n > 0 && n <= GRAPH_LIMIT ? run.graph() : null;
  const edgeCount = g ? g.children.reduce((sum, c) => sum + c.length, 0) : 0;
  if (!g || edgeCount > EDGE_LIMIT) {
    svg.replaceChildren();
    $('graph-note').textContent = n === 0 ? 'No vertex: the makefile names no goal.'
      : `${n.toLocaleString()} vertices, ${g ? `${edgeCount.toLocaleString()} edges` : ''}: too many to draw; the stacks show the walk.`;
    return;
  }
  const nodes = g.names.map((name, i) => ({ id: String(i), label: decode(name), title: g.commands[i].map((c) => decode(c)).join('\n') }));
  const edges = [];
  g.children.forEach((children, v) => children.forEach((w, k) => edges.push({ key: `${v}>${w}#${k}`, from: String(v), to: String(w) })));
  // Top down, or left to right when that fits the box better (a chain);
  // scaled to fit, but never below a size that can be read: the box then
  // scrolls, and follows the active vertex.
  const box = svg.parentElement;
  const layout = (rankdir) => draw(svg, nodes, edges, { nodesep: 14, ranksep: 28, rankdir });
  const fit = (d) => Math.min(box.clientWidth / d.width, box.clientHeight / d.height);
  let drawn = layout('TB');
  if (fit(drawn) < 1) {
    const across = layout('LR');
    drawn = fit(across) > fit(drawn) ? across : layout('TB');
  }
  drawn.scale = Math.min(1.5, Math.max(fit(drawn), 0.7));
  // The box's size and scroll, kept here: reading them on a step would lay
  // the page out.
  drawn.box = { width: box.clientWidth, height: box.clientHeight, left: 0, top: 0 };
  box.scrollLeft = box.scrollTop = 0;
  svg.style.width = `${drawn.width * drawn.scale}px`;
  svg.style.height = `${drawn.height * drawn.scale}px`;
  page.drawings.graph = drawn;
  $('graph-note').textContent = '';
}

// --- The file table. ---

function fillTimes() {
  const run = page.run;
  const n = Math.min(run.vertexCount(), 500);
  const names = Array.from({ length: n }, (_, i) => run.name(i));
  const body = $('times').tBodies[0];
  body.replaceChildren();
  $('names').replaceChildren(...names.map((name) => new Option(decode(name))));
  for (const name of names) {
    const row = body.insertRow();
    row.insertCell().textContent = decode(name);
    const exists = html('input');
    exists.type = 'checkbox';
    exists.checked = page.times.has(name);
    exists.title = 'the file exists';
    row.insertCell().append(exists);
    const time = html('input');
    time.type = 'number';
    time.value = page.times.get(name) ?? '';
    time.disabled = !exists.checked;
    row.insertCell().append(time);
    const other = html('input');
    other.setAttribute('list', 'names');
    other.placeholder = 'name';
    other.size = 8;
    const newer = html('button', 'newer');
    const older = html('button', 'older');
    row.insertCell().append(newer, older, ' than ', other);
    const set = (t) => {
      if (t === null) page.times.delete(name);
      else page.times.set(name, t);
      rerun(run.at);
    };
    exists.onchange = () => set(exists.checked ? Number(time.value || 0) : null);
    time.onchange = () => set(Number(time.value || 0));
    const relative = (d) => set((page.times.get(byteString(encode(other.value))) ?? 0) + d);
    newer.onclick = () => relative(1);
    older.onclick = () => relative(-1);
  }
  $('times-note').textContent = run.vertexCount() > n ? `the first ${n} of ${run.vertexCount()} names` : '';
}

// --- Every view, after every step. ---

function render() {
  const run = page.run;
  const v = run.view();
  ++page.redraws;
  // First, while the page is as laid out last: scrolling lays it out.
  trace.update();
  setValue('at', 'max', String(v.total));
  setValue('at', 'value', String(v.at));
  setValue('slider', 'max', String(v.total));
  setValue('slider', 'value', String(v.at));
  setText('total', `of ${v.total.toLocaleString()}`);
  setText('explain', explain(run, v));
  const tested = [...new Set(v.evaluated.map((e) => e.name))];
  setText('conditions', tested.map((name) => `${name}: ${CONDITIONS[v.automaton][name]}`).join(' · '));
  setText('refusal', v.refusal);
  setValue('refusal', 'hidden', !v.refusal);
  renderDiagrams(run, v);
  renderMakefile(run);
  renderWalk(run, v);
  renderTodo(run);
  trace.draw();
}

function explain(run, v) {
  const head = `Step ${v.at.toLocaleString()} of ${v.total.toLocaleString()}`;
  if (v.phase === Phase.START) return `${head}: nothing read yet. → steps, ← steps back, Space plays: A0 reads the makefile a character a step, then A1 walks the graph.`;
  if (v.phase === Phase.READ_END) return `${head}: the makefile ends; A0 closes in ${v.state}.`;
  if (v.phase === Phase.REFUSED) return `${head}: the program refuses this graph and stops.`;
  const held = v.evaluated.map((e) => (e.value ? e.name : `¬${e.name}`)).join(' ');
  const action = v.action ? ` · ${v.action}: ${ACTIONS[v.automaton][v.action]}` : '';
  let what = '';
  if (v.phase === Phase.READING) {
    const r = run.reading();
    what = ` · read ${charName(r.byte)} at line ${r.line}, column ${r.column}`;
  }
  return `${head} · ${v.automaton} ${v.from} → ${v.state}${what}${held ? ` · ${held}` : ''}${action}`;
}

function charName(byte) {
  const names = { 9: 'a tab', 10: 'a line feed', 32: 'a space', 0: 'NUL' };
  return names[byte] ?? `'${decode([byte])}'`;
}

function renderDiagrams(run, v) {
  const t = run.transition(v);
  const lit = (automaton) => (v.automaton === automaton ? new Set([v.state]) : new Set());
  const taken = (automaton) => (t && t.automaton === automaton ? new Set([t.key]) : new Set());
  mark(page.drawings.a0.nodes, { current: lit('A0') });
  mark(page.drawings.a0.edges, { taken: taken('A0') });
  mark(page.drawings.a1.nodes, { current: lit('A1') });
  mark(page.drawings.a1.edges, { taken: taken('A1') });
}

function renderMakefile(run) {
  const r = run.reading();
  const b = run.buffers(BUFFER_SHOWN);
  const buffer = (text, length) => `${length > text.length ? `… ${length.toLocaleString()} bytes, ending ` : ''}${showBytes(stringBytes(text))}`;
  setText('goal-buffer', buffer(b.goal, b.goalLength));
  setText('item-buffer', buffer(b.item, b.itemLength));
  setText('position', r ? `line ${r.line}, column ${r.column}, byte ${r.offset}` : '');
  const pre = $('highlight');
  if (!r || page.makefile.length > EDIT_LIMIT) {
    if (pre.dataset.at !== 'none') pre.textContent = `${$('editor').value}\n`;
    pre.dataset.at = 'none';
    return;
  }
  pre.dataset.at = r.offset;
  const text = page.makefile;
  const lineStart = r.offset > 0 ? text.lastIndexOf(10, r.offset - 1) + 1 : 0;
  let lineEnd = text.indexOf(10, r.offset);
  if (lineEnd < 0) lineEnd = text.length;
  const shown = (from, to) => showBytes(text.subarray(from, to));
  const line = html('span', undefined, 'line');
  line.append(shown(lineStart, r.offset), html('mark', shown(r.offset, r.offset + 1)), shown(r.offset + 1, lineEnd));
  pre.replaceChildren(shown(0, lineStart), line, `${shown(lineEnd, text.length)}\n`);
  const mk = pre.querySelector('mark');
  const editor = $('editor');
  const top = mk.offsetTop - editor.clientHeight / 2;
  if (mk.offsetTop < editor.scrollTop || mk.offsetTop > editor.scrollTop + editor.clientHeight - 20) editor.scrollTop = Math.max(0, top);
  pre.scrollTop = editor.scrollTop;
}

function renderWalk(run, v) {
  const planning = v.phase === Phase.PLANNING;
  // Whole stacks for the graph's marks when they are not too deep; the top shown.
  const whole = [1, 2].map((which) => (planning ? run.stack(which, page.drawings.graph ? 10000 : STACK_SHOWN) : []));
  const stacks = whole.map((entries) => entries.slice(0, STACK_SHOWN));
  stacks.forEach((entries, i) => {
    const which = i + 1;
    const list = $(`stack${which}`);
    const key = entries.map((e) => `${e.vertex},${e.walked},${e.markedAt}`).join(';');
    if (list.dataset.key !== key) list.replaceChildren(...entries.map((e) => {
      const item = html('li', undefined, e.marked ? 'marked' : '');
      item.append(html('span', decode(e.name), 'name'));
      if (which === 2) item.append(html('span', `${e.walked}/${e.children}`, 'walked'));
      if (e.marked) item.append(html('span', `marked at ${e.markedAt}`, 'mark'));
      return item;
    }));
    list.dataset.key = key;
    const size = run.stackSize(which);
    setText(`stack${which}-size`, size > entries.length ? `(${size.toLocaleString()}, top ${entries.length})` : `(${size})`);
  });
  const drawing = page.drawings.graph;
  if (!drawing) return;
  const keys = (entries) => new Set(entries.map((e) => String(e.vertex)));
  const rebuilt = new Set(todoShown(run).map((l) => String(l.vertex)));
  const unread = new Set();
  const unreadEdges = new Set();
  if (v.phase <= Phase.READING) {
    const read = run.readSoFar(GRAPH_LIMIT);
    run.graph().children.forEach((children, i) => {
      if (i >= read.vertices) unread.add(String(i));
      children.forEach((w, k) => {
        if (i >= read.vertices || k >= read.counts[i][0]) unreadEdges.add(`${i}>${w}#${k}`);
      });
    });
  }
  mark(drawing.nodes, {
    on1: keys(whole[0]),
    on2: keys(whole[1]),
    active: keys(stacks[0].slice(0, 1)),
    rebuilt,
    unread,
  });
  mark(drawing.edges, { unread: unreadEdges });
  if (stacks[0].length && drawing.scale === 0.7) {
    const at = drawing.at.get(String(stacks[0][0].vertex));
    const box = drawing.box;
    const [x, y] = [at.x * drawing.scale, at.y * drawing.scale];
    if (x < box.left || x > box.left + box.width) $('graph').parentElement.scrollLeft = x - box.width / 2;
    if (y < box.top || y > box.top + box.height) $('graph').parentElement.scrollTop = y - box.height / 2;
  }
}

// The latest lines of todo.bat written so far, cached by line for this run.
function todoShown(run) {
  const n = run.todoLines();
  const first = Math.max(0, n - TODO_SHOWN);
  let missing = first;
  while (missing < n && page.todoCache.has(missing)) ++missing;
  if (missing < n) run.todo(missing, n - missing).forEach((l, i) => page.todoCache.set(missing + i, l));
  return Array.from({ length: n - first }, (_, i) => page.todoCache.get(first + i));
}

// Re-drawn only as far as todo.bat changed: lines are appended while it grows.
function renderTodo(run) {
  const lines = todoShown(run);
  const n = run.todoLines();
  const list = $('todo');
  const first = n - lines.length;
  const shown = page.todoShown;
  if (shown.run === run && shown.first === first && shown.n === n) return;
  setText('todo-size', n > lines.length ? `(${n.toLocaleString()} lines, the last ${lines.length})` : `(${n} lines)`);
  const keep = shown.run === run && shown.first === first && shown.n < n ? shown.n - first : 0;
  if (keep === 0) list.replaceChildren();
  list.append(...lines.slice(keep).map(todoItem));
  page.todoShown = { run, first, n };
  list.scrollTop = list.scrollHeight;
}

function todoItem(l) {
  const item = html('li');
  item.append(html('code', decode(l.text) || '(empty)'));
  const why = html('span', undefined, 'why');
  why.append(stepLink(l.step, `written at step ${l.step}`), ': ');
  if (l.reason === 'missing') why.append(`${decode(l.name)}'s file is missing (x7)`);
  else {
    const by = l.reason === 'leaf' ? `newer leaf ${decode(l.by)} (x5, z7)` : `rebuilt child ${decode(l.by)} (z5)`;
    why.append(`${decode(l.name)} was marked at `, stepLink(l.markedAt, `step ${l.markedAt}`), ` by ${by}`);
    if (l.marks > 1) why.append(`, and ${l.marks - 1} more time${l.marks > 2 ? 's' : ''}`);
  }
  item.append(why);
  return item;
}

function stepLink(step, text) {
  const a = html('a', text);
  a.href = '#';
  a.onclick = (e) => {
    e.preventDefault();
    pause();
    go(step);
  };
  return a;
}

// --- Files and downloads. ---

function download(parts, name) {
  const a = html('a');
  a.href = URL.createObjectURL(new Blob(parts, { type: 'application/octet-stream' }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

// --- Wiring. ---

const trace = new TraceView($('trace'), (line) => {
  pause();
  go(page.run.stepOfLine(line));
});

function wire() {
  $('start').onclick = () => { pause(); go(0); };
  $('back').onclick = () => { pause(); go(page.run.at - 1); };
  $('play').onclick = play;
  $('forward').onclick = () => { pause(); go(page.run.at + 1); };
  $('end').onclick = () => { pause(); go(page.run.total); };
  $('at').onchange = () => { pause(); go(Number($('at').value)); };
  $('slider').oninput = () => { pause(); go(Number($('slider').value)); };
  $('follow').onclick = () => { trace.follow = true; trace.update(); trace.draw(); };
  $('download-trace').onclick = () => download(Array.from(page.run.traceParts()), 'trace.txt');
  $('download-todo').onclick = () => download(Array.from(page.run.todoParts()), 'todo.bat');
  $('save').onclick = () => download([page.makefile], page.fileName);
  $('open').onchange = async () => {
    const file = $('open').files[0];
    if (!file) return;
    page.fileName = file.name;
    page.load(new Uint8Array(await file.arrayBuffer()), page.times);
  };
  const editor = $('editor');
  let timer = null;
  editor.addEventListener('input', () => {
    // The text shown is the layer under the editor: it follows every key.
    $('highlight').textContent = `${editor.value}\n`;
    clearTimeout(timer);
    timer = setTimeout(() => {
      page.makefile = readBytes(editor.value);
      rerun(page.run.at);
    }, 250);
  });
  editor.addEventListener('scroll', () => { $('highlight').scrollTop = editor.scrollTop; });
  $('graph').parentElement.addEventListener('scroll', (e) => {
    if (!page.drawings.graph) return;
    page.drawings.graph.box.left = e.target.scrollLeft;
    page.drawings.graph.box.top = e.target.scrollTop;
  });
  editor.addEventListener('keydown', (e) => {
    if (e.key !== 'Tab') return;
    e.preventDefault();
    document.execCommand('insertText', false, '→');
  });
  document.addEventListener('keydown', (e) => {
    if (e.target.closest('textarea, select, input:not([type=range])')) return;
    const keys = {
      ArrowRight: () => go(page.run.at + 1),
      ArrowLeft: () => go(page.run.at - 1),
      Home: () => go(0),
      End: () => go(page.run.total),
    };
    if (e.key === ' ') {
      e.preventDefault();
      play();
    } else if (keys[e.key]) {
      e.preventDefault();
      pause();
      keys[e.key]();
    }
  });
}

async function start() {
  page.module = await loadModule(window.PlannerSession);
  drawDiagrams();
  wire();
  showMakefile();
  rerun(0);
  page.readyMs = performance.now();  // since the page began to load
  document.body.dataset.ready = 'yes';
}

page.byteString = byteString;
page.render = () => render();
start();
