// The page's model: one run of the planner on a makefile and a table of file
// times, stepped through the real reader and walk of planner_session.js.
// It knows nothing of the page; the page, the tests and any other viewer read
// the run through it. docs/page.md documents it with examples.
//
// Numbers of steps and lines are JavaScript numbers (exact up to 2^53). Byte
// strings (makefile, names, commands, trace) are Uint8Arrays or strings whose
// char codes are the bytes; text for people is decoded from CP866.

import { decode, byteString, stringBytes } from './cp866.js';

const utf8 = new TextDecoder();

// Where a step belongs, as the session numbers it: {START, READING,
// READ_END, REFUSED, PLANNING}, filled by loadModule() from the session.
export const Phase = {};

// Steps per call of prepare() while idle: a few milliseconds of walking.
const PREPARE_SLICE = 1 << 16;
// A walk up to this long is tallied for a timeline step by step, in one
// replay; a longer one by whole intervals between checkpoints, from the index.
const SHORT_WALK = 1 << 17;
// The kinds of event find() takes, numbered as the session numbers them:
// state, condition, command, mark, active; filled by loadModule().
const KINDS = {};
// Steps between two checkpoints: a seek or a query replays fewer than this.
// A quarter of the native default, as WebAssembly steps more slowly; a
// checkpoint costs a few words and the stack entries changed since the last.
const EVERY = 1 << 12;

// The session's module from planner_session.js's factory (the global
// PlannerSession in a page, require() of the file in Node.js).
export async function loadModule(factory) {
  const module = await factory();
  const { phases, events } = module.constants();
  Object.assign(Phase, phases);
  Object.assign(KINDS, events);
  return module;
}

// Both automata's tables, as the session has them (bindings.cc): states,
// conditions, actions, outcomes and transitions, with their glosses.
const tables = new WeakMap();
export function automata(module) {
  if (!tables.has(module)) tables.set(module, module.automata());
  return tables.get(module);
}

export class Run {
  // `makefile`: its bytes. `times`: a Map from a name (bytes as a string) to
  // its modification time in whole seconds, or a function of the name giving
  // it; a name not in it, or mapped to null, is a missing file, as is a time
  // of 0. Each name is asked once, when the walk first needs it.
  constructor(module, makefile, times = new Map()) {
    this.module = module;
    this.makefile = typeof makefile === 'string' ? stringBytes(makefile) : makefile;
    this.times = times;
    const time = typeof times === 'function' ? times : (name) => times.get(name);
    this.session = new module.Session(byteString(this.makefile), (name) => time(name) ?? 0, EVERY);
    const { A0, A1 } = automata(module);
    this.tables = { A0, A1 };
    this._graph = null;
    this._vertices = null;
  }

  // Frees the WebAssembly side; the run is unusable afterwards.
  dispose() {
    this.session.delete();
    this.session = null;
  }

  // --- Moving. ---
  get total() { return this.session.total(); }
  get at() { return this.session.at(); }
  // One step forward; false at the end.
  step() { return this.session.step(); }
  // One step back; false at the start.
  back() {
    if (this.at === 0) return false;
    this.session.seek(this.at - 1);
    return true;
  }
  // To step n, clamped to 0..total.
  seek(n) { this.session.seek(Math.max(0, Math.min(Math.floor(n), this.total))); }
  // Walks ahead of the current step in a slice, so that later seeks and the
  // trace's total are quick; true once the whole run is covered. Call while idle.
  prepare(steps = PREPARE_SLICE) { return this.session.prepare(steps); }
  // Steps forward at `rate` steps a second, by the clock: a late call takes
  // the steps that are due. Calls onStep(run) after each batch; stops at the
  // end, at stop(), or at the first step where `until(run)` holds. `wait(f,
  // ms)` schedules the next batch (setTimeout; a page passes one that waits
  // for the next frame when the wait is short). Returns stop.
  // A `rate` of Infinity steps for `budget` ms a batch, and waits 0 ms between
  // batches: as fast as the page can draw.
  play(onStep, { rate = 30, until = () => false, wait = setTimeout, budget = 12 } = {}) {
    const began = performance.now();
    let taken = 0;
    let playing = true;
    const tick = () => {
      if (!playing) return;
      const now = performance.now();
      const due = rate === Infinity ? Infinity : Math.floor(((now - began) * rate) / 1000) + 1;
      const before = taken;
      while (taken < due && playing) {
        playing = this.step() && !until(this);
        ++taken;
        if (due === Infinity && performance.now() - now >= budget) break;
      }
      if (taken > before) onStep(this);
      if (this.at === this.total) playing = false;
      const late = due === Infinity ? 0 : (taken * 1000) / rate - (performance.now() - began);
      if (playing) wait(tick, Math.max(0, late));
    };
    wait(tick, 0);
    return () => {
      playing = false;
    };
  }

  // --- The step just taken. ---
  // {at, total, phase, automaton ('A0', 'A1' or null), from, state (names),
  //  evaluated [{name, value}], action ('z5' or null), printed (text),
  //  refusal (the program's error line, at the refusing step and after)}
  view() {
    const s = this.session;
    const phase = s.phase();
    const automaton = phase === Phase.START ? null : phase === Phase.PLANNING ? 'A1' : 'A0';
    const table = this.tables[automaton ?? 'A0'];
    const action = s.action();
    return {
      at: s.at(),
      total: s.total(),
      phase,
      automaton,
      from: table.states[s.fromState()].name,
      state: table.states[s.state()].name,
      evaluated: s.evaluated().map(([n, value]) => ({ name: table.conditions.find((c) => c.number === n).name, value })),
      action: action ? table.actions.find((a) => a.number === action).name : null,
      printed: decode(s.printed(), { lf: true }),
      refusal: phase === Phase.REFUSED ? s.refusal() : '',
    };
  }
  // The vertices an A1 step worked on, for a story of it: {top1, top2} the
  // tops of stack 1 and 2 before it, {time1, time2} their files' times
  // ('missing' for none), {pushed, parent} the tops after it, {commands}
  // the lines it wrote; names decoded, each null where there is none. Null
  // outside the walk.
  subjects() {
    const s = this.session;
    if (s.phase() !== Phase.PLANNING) return null;
    const name = (v) => (v >= 0 ? decode(this.name(v)) : null);
    const time = (v) => (v >= 0 ? (s.timeOf(v) === 0 ? 'missing' : String(s.timeOf(v))) : null);
    const top = (which) => (s.stackSize(which) > 0 ? s.stack(which, s.stackSize(which) - 1, 1)[0].vertex : -1);
    const [top1, top2] = [s.topBefore(1), s.topBefore(2)];
    const n = top1 >= 0 && s.action() === 5 ? this.graph().commands[top1].length : 0;
    return {
      top1: name(top1), top2: name(top2), time1: time(top1), time2: time(top2),
      pushed: name(top(1)), parent: name(top(2)) ?? 'nothing, as it is the first goal',
      commands: `${n} command${n === 1 ? '' : 's'}`,
    };
  }
  // The edge of a state diagram the step took: "FROM>TO/zN" ("/-" without
  // an action), with its automaton; null for the start and the closing steps.
  // `v`: this step's view(), when the caller has it.
  transition(v = this.view()) {
    if (v.phase !== Phase.READING && v.phase !== Phase.PLANNING) return null;
    return { automaton: v.automaton, key: `${v.from}>${v.state}/${v.action ?? '-'}` };
  }
  // The refusal the run ends in ('' for none), known from the start.
  get refusal() { return this.session.refusal(); }
  // The step where reading ends, A0's closing line.
  get readEnd() { return this.session.chars() + 1; }

  // --- The reader. ---
  // The character the last reading step read and where it stands:
  // {index (delivered), byte, offset (in the file), line, column}; null
  // outside the reading steps.
  reading() {
    const s = this.session;
    if (s.phase() !== Phase.READING) return null;
    const index = s.at() - 1;
    const p = s.position(index);
    return { index, byte: this.makefile[p.offset], ...p };
  }
  // A byte for each of the file's first `bytes` bytes (fewer when a 0x1A
  // ends the input first): 1 where A0 read it and no condition it evaluated
  // held, so that the byte went into no name and no command.
  dropped(bytes = this.makefile.length) { return stringBytes(this.session.dropped(bytes)); }
  // A0's token buffers: their lengths and their last `most` bytes (a token
  // can be a whole file).
  buffers(most = 1 << 16) {
    const s = this.session;
    return { goal: s.goalText(most), item: s.itemText(most), goalLength: s.goalLength(), itemLength: s.itemLength() };
  }

  // --- The graph. ---
  // The whole graph as reading ends: {names, children, commands}, by vertex.
  // Fetched once; for a layout drawn once per graph.
  graph() {
    if (!this._graph) {
      const g = { names: [], children: [], commands: [] };
      const n = this.session.vertices(true);
      for (let i = 0; i < n; ++i) {
        const v = this.session.vertex(true, i);
        g.names.push(v.name);
        g.children.push(v.children);
        g.commands.push(v.commands);
      }
      this._graph = g;
    }
    return this._graph;
  }
  // How much of it is read so far: vertices registered, and for each of the
  // first `limit` of them [children, commands] so far.
  readSoFar(limit = Infinity) {
    const vertices = this.session.vertices(false);
    const counts = [];
    for (let i = 0; i < Math.min(vertices, limit); ++i) counts.push(this.session.readSoFar(i));
    return { vertices, counts };
  }
  vertexCount() { return this.session.vertices(true); }
  name(vertex) { return this._graph ? this._graph.names[vertex] : this.session.vertex(true, vertex).name; }
  childCount(vertex) {
    return (this._graph ? this._graph.children[vertex] : this.session.vertex(true, vertex).children).length;
  }

  // --- The walk. ---
  // Entries of stack 1 or 2, top first, at most `limit` of them:
  // {vertex, name, walked, children, marked, markedAt, marks, markedBy}.
  stack(which, limit = 200) {
    const size = this.session.stackSize(which);
    const from = Math.max(0, size - limit);
    return this.session.stack(which, from, size - from).reverse().map((e) => ({
      ...e,
      name: this.name(e.vertex),
      children: this.childCount(e.vertex),
    }));
  }
  stackSize(which) { return this.session.stackSize(which); }

  // --- What the run writes. ---
  // Lines of todo.bat written up to the current step.
  todoLines() { return this.session.todoLines(); }
  // Up to `count` of them from `first`: {text, step, vertex, name, reason,
  // markedAt, marks, by}. reason: 'missing' (its file is missing, x7),
  // 'leaf' (marked by a newer leaf, x5 and z7) or 'child' (marked by a
  // rebuilt child, z5); `by` names that leaf or child, `markedAt` is the
  // first step that marked it and `marks` how many did.
  todo(first, count) {
    return this.session.todo(first, count).map((l) => ({
      text: l.text,
      step: l.step,
      vertex: l.vertex,
      name: this.name(l.vertex),
      reason: l.missing ? 'missing' : this.childCount(l.markedBy) ? 'child' : 'leaf',
      markedAt: l.markedAt,
      marks: l.marks,
      by: l.missing ? null : this.name(l.markedBy),
    }));
  }
  // Trace lines printed up to the current step, and by the whole run (0
  // until prepare() has covered it, but for a run that ends in reading).
  traceLines() { return this.session.traceLines(); }
  allLines() { return this.session.allLines(); }
  // The lines the current step printed: [first, end).
  currentLines() {
    const end = this.session.traceLines();
    const printed = this.session.printed();
    let n = 0;
    for (let i = 0; i < printed.length; ++i) if (printed.charCodeAt(i) === 10) ++n;
    return [end - n, end];
  }
  // Trace lines `first` to `first + count - 1` of the whole run, decoded,
  // without line ends; fewer at its end. Made again from the steps that
  // printed them, never held whole.
  traceWindow(first, count) {
    if (count <= 0) return [];
    return decode(this.session.lines(first, count), { lf: true }).split('\n').slice(0, -1);
  }
  // The step that printed trace line `line`.
  stepOfLine(line) { return this.session.stepOfLine(line); }

  // --- Warnings. ---
  // What the program says on standard error before its plan or its refusal,
  // for this makefile named `name` (as on its command line): at most `cap`
  // warnings, {list: [{text (the line, decoded as UTF-8), line, column,
  // lastLine, step (the reading step that read the character it is at), offset
  // (in the file's bytes), vertex (the name a warning of the walk is about;
  // -1 for the reader's)}], more (the line that counts the rest, or '')}.
  // The walk's warnings come once prepare() has covered the whole walk.
  warnings(name, cap = 1000) {
    const w = this.session.warnings(byteString(new TextEncoder().encode(name)), cap);
    const text = (bytes) => utf8.decode(stringBytes(bytes));
    return {
      list: w.list.map((x) => ({
        text: text(x.text), line: x.line, column: x.column, lastLine: x.lastLine,
        step: x.line > 0 ? x.offset + 1 : 0,
        offset: x.line > 0 ? this.session.position(x.offset).offset : 0,
        vertex: x.vertex,
      })),
      more: text(w.more),
    };
  }
  // The step where a warning's subject was met: the reading step of its
  // place, or for one of the walk the first step that made its name
  // active; null for none. The view stays.
  metAt(warning) {
    if (warning.step > 0) return warning.step;
    if (!(warning.vertex >= 0)) return null;
    const back = this.at;
    this.session.seek(0);
    const step = this.session.find(KINDS.active, 1, warning.vertex, false, true);
    this.session.seek(back);
    return step < 0 ? null : step;
  }

  // --- Run until, and a timeline. ---
  // The nearest step after the current one (`forward`) or before it where
  // `event` happens, or null; the view stays. `event` is one of
  //   {kind: 'state', automaton: 'A0' or 'A1', state: 'GOAL'}: a step ends in it;
  //   {kind: 'condition', automaton, condition: 'x5' (or 'e1'), value: true};
  //   {kind: 'command'}: a line is written to todo.bat;
  //   {kind: 'mark'}: a copy on stack 2 is marked;
  //   {kind: 'active', vertex: name}: a push or pop of stack 1 leaves it on top.
  // The session's index skips the intervals between checkpoints that cannot
  // hold it, and replays the one that does.
  find(event, forward = true) {
    const a1 = event.automaton !== 'A0';
    const table = this.tables[a1 ? 'A1' : 'A0'];
    let which = 0;
    if (event.kind === 'state') which = table.states.findIndex((s) => s.name === event.state);
    if (event.kind === 'condition') which = table.conditions.find((c) => c.name === event.condition)?.number ?? -1;
    if (event.kind === 'active') which = this.vertexOf(event.vertex);
    if (!(event.kind in KINDS) || !(which >= 0)) return null;
    const step = this.session.find(KINDS[event.kind], a1 ? 1 : 0, which, Boolean(event.value), forward);
    return step < 0 ? null : step;
  }
  // Goes to that step; returns it, or null (staying) when there is none.
  runUntil(event, forward = true) {
    const step = this.find(event, forward);
    if (step !== null) this.seek(step);
    return step;
  }
  // A vertex by its name (bytes as a string), or -1.
  vertexOf(name) {
    if (!this._vertices) this._vertices = new Map(this.graph().names.map((n, i) => [n, i]));
    return this._vertices.get(name) ?? -1;
  }
  // Where the run's events lie, for a timeline of about `columns` columns:
  // {readEnd: the step where reading ends, refusal: its step or 0, buckets:
  // [{first, last, commands, marks}]}, the buckets covering A1's steps in
  // order: lines of todo.bat written and marks set. Walks the whole run when
  // it is not prepared yet.
  timeline(columns = 1000) {
    const readEnd = this.readEnd;
    const walk = this.total - readEnd;
    const result = { readEnd, refusal: this.refusal ? this.total : 0, buckets: [] };
    if (this.refusal || walk <= 0) return result;
    const every = this.session.every();
    const width = walk <= SHORT_WALK ? Math.ceil(walk / columns) : every * Math.ceil(walk / columns / every);
    const tallies = this.session.tally(width);
    for (let b = 0; b < tallies.length / 2; ++b) {
      const first = readEnd + b * width + 1;
      result.buckets.push({ first, last: Math.min(first + width - 1, this.total), commands: tallies[2 * b], marks: tallies[2 * b + 1] });
    }
    return result;
  }

  // --- Downloads: the whole run's output, as the program writes it. ---
  // The trace's bytes (CP866, CR LF), in parts of about `stepsPerPart` steps.
  *traceParts(stepsPerPart = 1 << 16) {
    for (let first = 1; first <= this.total; first += stepsPerPart) {
      yield stringBytes(this.session.trace(first, Math.min(first + stepsPerPart - 1, this.total)));
    }
  }
  // todo.bat as the whole run writes it; empty for a refused run, which
  // writes none.
  *todoParts(linesPerPart = 1 << 14) {
    const back = this.at;
    this.session.seek(this.total);
    const n = this.session.todoLines();
    for (let first = 0; first < n; first += linesPerPart) {
      const text = this.session.todo(first, linesPerPart).map((l) => `${l.text}\r\n`).join('');
      yield stringBytes(text);
    }
    this.session.seek(back);
  }
}
