// The page: a view over the model (model.js), which it drives on every
// control, key and edit. window.plannerPage gives the tests and the curious
// the same handles the page uses.
import { Run, Phase, loadModule } from './model.js';
import { decode, byteString, stringBytes } from './cp866.js';
import { GLOSS, A0_EDGES, A1_EDGES, edgeKey, edgeGloss, conditionGloss, told } from './automata.js';
import { mark } from './drawing.js';
import { A0_SVG, A1_SVG } from 'planner:diagrams';
import { EXAMPLES } from 'planner:examples';
import { TraceView } from './trace_view.js';
import { Timeline } from './timeline.js';
import { wireUntil } from './until.js';
import { FilesView, timesFromListing } from './files_view.js';
import { LINK_LIMIT, fragmentOf, viewOf } from './share.js';
import { svgText, pngOf } from './export.js';
import { $, setText, setValue, html } from './dom.js';
import { WalkView } from './walk_view.js';
import { GraphView } from './graph_view.js';
import { EditorView } from './editor_view.js';
import { WarningsView } from './warnings_view.js';
import { fitDiagrams } from './diagram_access.js';

// The worked example: app at 250, main.obj at 200, main.c at 300; run to its
// end, todo.bat holds `cc main.c`, then `link main.obj`.
const EXAMPLE = 'app: main.obj\n\tlink main.obj\nmain.obj: main.c\n\tcc main.c\n';
const EXAMPLE_TIMES = [['app', 250], ['main.obj', 200], ['main.c', 300]];

// Play speeds in steps a second, the slider's stops; Infinity: as fast as the
// page can draw, a batch of steps per frame.
const RATES = [1, 2, 3, 5, 10, 20, 30, 60, 120, 250, 500, 1000, 2500, 10000, Infinity];

const page = {
  module: null,
  run: null,
  makefile: stringBytes(EXAMPLE),
  fileName: 'app.mk',
  times: new Map(EXAMPLE_TIMES), // name -> seconds; missing names are absent
  stop: null,                    // stops playing
  drawings: null,                // {a0, a1}: the state diagrams' elements
  redraws: 0,
  played: [],                    // [ms, step] of the last second's redraws while playing
};
window.plannerPage = page;

// --- Loading and re-running. ---

// A new run on the current makefile and times, at step `at` where the run
// has one.
function rerun(at = 0) {
  pause();
  page.run?.dispose();
  page.run = new Run(page.module, page.makefile, new Map(page.times));
  walk.setRun(page.run);
  $('highlight').dataset.at = '';
  // A refused run writes no todo.bat, and leaves one that was there alone.
  $('download-todo').disabled = Boolean(page.run.refusal);
  graph.setRun(page.run);
  files.setRun(page.run, page.times);
  trace.setRun(page.run);
  warnings.setRun(page.run, page.fileName);
  page.timelineData = null;
  timeline.reset(page.run.total, page.run.readEnd, page.run.refusal ? page.run.total : 0);
  page.run.seek(at);
  render();
  prepareWhileIdle(page.run);
}
page.rerun = rerun;
page.load = (makefile, times, at = 0, name = page.fileName) => {
  $('examples').value = '';
  page.makefile = typeof makefile === 'string' ? stringBytes(makefile) : makefile;
  page.times = new Map(times);
  page.fileName = name;
  editor.show(page.makefile);
  setText('listing-report', '');
  rerun(at);
};

function prepareWhileIdle(run) {
  const slice = () => {
    if (page.run !== run) return;
    if (run.prepare()) {
      trace.update();
      trace.draw();
      warnings.refresh();  // and the walk's
      // Once prepared, the index tallies a long walk at once.
      page.timelineData = run.timeline(Math.max(100, Math.round($('timeline').clientWidth)));
      return timeline.set(page.timelineData);
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
// Stopped at the end, the page keeps showing the rate the run ended at.
function stopPlaying() {
  page.stop?.();
  page.stop = null;
  page.played = [];
  $('play').textContent = 'Play ▶';
}
function pause() {
  stopPlaying();
  setText('rate', '');
}
function play() {
  if (page.stop) return pause();
  if (page.run.at === page.run.total) page.run.seek(0);
  $('play').textContent = 'Pause ❚❚';
  // A redraw per batch of steps; a short wait is the next frame, so that
  // steps faster than frames are drawn once a frame.
  page.stop = page.run.play((run) => {
    render();
    showRate(run.at);
    if (run.at === run.total) stopPlaying();
  }, {
    rate: RATES[$('speed').value],
    wait: (f, ms) => (ms < 20 ? requestAnimationFrame(f) : setTimeout(f, ms)),
  });
}
page.play = play;
page.pause = pause;

// The steps a second actually taken, over the last second of playing.
function showRate(at) {
  const now = performance.now();
  page.played.push([now, at]);
  while (page.played.length > 2 && now - page.played[0][0] > 1000) page.played.shift();
  const [[t0, s0]] = page.played;
  if (now - t0 > 200) setText('rate', `${Math.round(((at - s0) * 1000) / (now - t0)).toLocaleString()} steps/s`);
}

// --- Drawing once per graph. ---

// The state diagrams come laid out (diagrams.mjs); their nodes and edges
// are found by id: "a0-STATE", "a0-FROM>TO/ACTION".
function drawDiagrams() {
  const place = (figure, svg, prefix) => {
    figure.insertAdjacentHTML('beforeend', svg);
    const byKey = (selector) => new Map(Array.from(figure.querySelectorAll(selector), (e) => [e.id.slice(prefix.length + 1), e]));
    return { nodes: byKey('g.node'), edges: byKey('g.edge') };
  };
  page.drawings = { a0: place($('a0'), A0_SVG, 'a0'), a1: place($('a1'), A1_SVG, 'a1') };
  // Hovering says what a state or a transition means; clicking a state
  // makes it the run-until event.
  for (const [automaton, edges] of [['A0', A0_EDGES], ['A1', A1_EDGES]]) {
    const drawn = page.drawings[automaton.toLowerCase()];
    for (const [state, node] of drawn.nodes) {
      node.querySelector('title').textContent = `${state}: ${GLOSS[automaton].states[state]}`;
      node.style.cursor = 'pointer';
      node.onclick = () => chooseUntil({ kind: 'state', automaton, state });
    }
    for (const edge of edges) drawn.edges.get(edgeKey(edge)).querySelector('title').textContent = edgeGloss(automaton, edge);
  }
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
  timeline.at(v.at);
  setParts('explain', explain(run, v));
  setText('conditions', story(run, v));
  setText('refusal', v.refusal);
  setValue('refusal', 'hidden', !v.refusal);
  renderDiagrams(run, v);
  editor.render(run);
  graph.render(run, v, walk.render(run, v));
  trace.draw();
}

// The step line, in parts: [text, its English gloss or undefined].
function explain(run, v) {
  const head = `Step ${v.at.toLocaleString()} of ${v.total.toLocaleString()}`;
  if (v.phase === Phase.START) return [[`${head}: nothing read yet. → steps, ← steps back, Space plays: A0 reads the makefile a character a step, then A1 walks the graph.`]];
  if (v.phase === Phase.READ_END) return [[`${head}: the makefile ends; A0 closes in ${v.state}.`]];
  if (v.phase === Phase.REFUSED) return [[`${head}: the program refuses this graph and stops.`]];
  const gloss = GLOSS[v.automaton];
  const parts = [[`${head} · ${v.automaton} `], [v.from, gloss.states[v.from]], [' → '], [v.state, gloss.states[v.state]]];
  if (v.phase === Phase.READING) {
    const r = run.reading();
    parts.push([` · read ${charName(r.byte)} at line ${r.line}, column ${r.column}`]);
  }
  v.evaluated.forEach((e, i) => parts.push([i ? ' ' : ' · '], [e.value ? e.name : `¬${e.name}`, conditionGloss(v.automaton, e.name, e.value)]));
  if (v.action) parts.push([' · '], [v.action, gloss.actions[v.action]], [`: ${told(v.automaton, v.action, true, run.subjects())}`]);
  return parts;
}

// Under the step line, what each condition it evaluated said, once each; in
// the walk, of the step's own vertices: "x5: main.c (300) is newer than
// main.obj (200); z7 pops main.c and marks main.obj".
function story(run, v) {
  const subjects = run.subjects();
  const said = [...new Set(v.evaluated.map((e) => `${e.value ? e.name : `¬${e.name}`}: ${told(v.automaton, e.name, e.value, subjects)}`))];
  if (subjects && v.action) said.push(`${v.action} ${told(v.automaton, v.action, true, subjects)}`);
  return said.join('; ');
}

// Sets an element's text from parts [text, title]: a part with a title is a
// span that says it on hover. Unchanged text is left alone.
function setParts(id, parts) {
  const e = $(id);
  if (e.textContent === parts.map(([t]) => t).join('')) return;
  e.replaceChildren(...parts.map(([text, title]) => {
    if (!title) return text;
    const span = html('span', text, 'gloss');
    span.title = title;
    return span;
  }));
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

let chooseUntil = null;  // makes an event the one "run until" searches for
const editor = new EditorView((bytes) => {
  page.makefile = bytes;
  rerun(page.run.at);
});
const warnings = new WarningsView(editor, (step) => {
  pause();
  go(step);
});
const files = new FilesView((name, t) => {
  if (t === null) page.times.delete(name);
  else page.times.set(name, t);
  rerun(page.run.at);
});
// A click on a vertex makes it the one "run until" waits for.
const graph = new GraphView($('graph'), (name) => {
  chooseUntil({ kind: 'active' });
  $('until-vertex').value = name;
});
page.graph = graph;
const walk = new WalkView((step) => {
  pause();
  go(step);
});

// A click on the timeline goes to the first line written or mark set in the
// bucket under it, or to the step under it.
const timeline = new Timeline($('timeline'), $('timeline-tip'), $('timeline-cursor'), (x, bucket) => {
  pause();
  const run = page.run;
  let step = Math.round(x * run.total);
  if (bucket && (bucket.commands || bucket.marks)) {
    run.seek(bucket.first - 1);
    const found = [run.find({ kind: 'command' }), run.find({ kind: 'mark' })].filter((s) => s !== null && s <= bucket.last);
    step = found.length ? Math.min(...found) : bucket.first;
  }
  go(step);
});


// --- Sharing, examples, a pasted listing, drawings. ---

async function share() {
  const fragment = await fragmentOf({ makefile: page.makefile, times: page.times, at: page.run.at, name: page.fileName });
  const link = `${location.href.split('#')[0]}${fragment}`;
  const fits = link.length <= LINK_LIMIT;
  $('share-box').hidden = false;
  $('share-link').hidden = !fits;
  if (!fits) {
    history.replaceState(null, '', location.href.split('#')[0]);  // no older link left there
    return setText('share-note', `This makefile is too large for a link: the link would be ${link.length.toLocaleString()} characters, `
      + `over the ${LINK_LIMIT.toLocaleString()} an address bar shows whole. Save the makefile and send the file instead.`);
  }
  history.replaceState(null, '', fragment);
  $('share-link').value = link;
  $('share-link').select();
  setText('share-note', 'the link is in the address bar and here');
  navigator.clipboard?.writeText(link).then(() => setText('share-note', 'the link is copied, and in the address bar'), () => {});
}

// Opens the view a link's fragment holds, if it holds one.
async function openFragment() {
  try {
    const view = await viewOf(location.hash);
    if (view) page.load(view.makefile, view.times, view.at, view.name);
  } catch (e) {
    $('share-box').hidden = false;
    $('share-link').hidden = true;
    setText('share-note', `This link cannot be read (${e.message}); was it cut short?`);
  }
}

function loadExample() {
  const chosen = $('examples').value;
  const example = EXAMPLES[Number(chosen)] ?? { makefile: EXAMPLE, times: EXAMPLE_TIMES, file: 'app.mk' };
  page.load(example.makefile, example.times, 0, example.file);
  $('examples').value = chosen;
}

function applyListing() {
  const { times, report } = timesFromListing(page.run, $('listing').value);
  $('paste').close();
  page.times = times;
  rerun(page.run.at);
  setText('listing-report', report);
}

async function exportDrawing(button) {
  const [which, as] = [button.dataset.export, button.dataset.as];
  if (which === 'graph') {
    const made = as === 'svg' ? graph.svg() : await graph.png();
    if (made) download([made], `graph.${as}`);
    return;
  }
  const svg = $(which).querySelector('svg');
  download([as === 'svg' ? svgText(svg) : await pngOf(svg)], `${which.toUpperCase()}.${as}`);
}

function wire() {
  $('start').onclick = () => { pause(); go(0); };
  $('back').onclick = () => { pause(); go(page.run.at - 1); };
  $('play').onclick = play;
  $('forward').onclick = () => { pause(); go(page.run.at + 1); };
  $('end').onclick = () => { pause(); go(page.run.total); };
  $('at').onchange = () => { pause(); go(Number($('at').value)); };
  $('slider').oninput = () => { pause(); go(Number($('slider').value)); };
  $('follow').onclick = () => { trace.follow = true; trace.update(); trace.draw(); };
  $('speed').max = String(RATES.length - 1);
  $('speed').value = String(RATES.indexOf(30));
  $('speed').oninput = () => {
    const rate = RATES[$('speed').value];
    setText('speed-label', rate === Infinity ? 'max' : `${rate}/s`);
    if (page.stop) {
      pause();  // and again, at the new rate
      play();
    }
  };
  $('speed').oninput();
  chooseUntil = wireUntil(() => page.run, pause, render);
  $('examples').append(...EXAMPLES.map((e, i) => new Option(`${e.name}: ${e.about}`, String(i))));
  $('examples').onchange = loadExample;
  $('paste-times').onclick = () => $('paste').showModal();
  $('listing-apply').onclick = applyListing;
  $('listing-cancel').onclick = () => $('paste').close();
  $('share').onclick = share;
  $('share-close').onclick = () => { $('share-box').hidden = true; };
  window.addEventListener('hashchange', openFragment);
  for (const button of document.querySelectorAll('[data-export]')) button.onclick = () => exportDrawing(button);
  $('download-trace').onclick = () => download(Array.from(page.run.traceParts()), 'trace.txt');
  $('download-todo').onclick = () => download(Array.from(page.run.todoParts()), 'todo.bat');
  $('save').onclick = () => download([page.makefile], page.fileName);
  // A makefile opened is a new project: none of the last one's times.
  $('open').onchange = async () => {
    const file = $('open').files[0];
    if (!file) return;
    page.load(new Uint8Array(await file.arrayBuffer()), new Map(), 0, file.name);
    $('open').value = '';
    const n = page.run.vertexCount();
    setText('listing-report', `${file.name}: its ${n.toLocaleString()} name${n === 1 ? ' starts as a missing file' : 's start as missing files'}; `
      + 'type their times here, or Paste times… from its directory.');
  };
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
  fitDiagrams(page.drawings);
  wire();
  editor.show(page.makefile);
  rerun(0);
  $('examples').value = 'worked';
  await openFragment();
  page.readyMs = performance.now();  // since the page began to load
  document.body.dataset.ready = 'yes';
}

page.byteString = byteString;
page.timeline = timeline;
page.render = () => render();
start();
