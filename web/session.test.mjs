// The session under Node.js against the program's own expected outputs: every
// case directory under tests/cases/ that runs one makefile is laid out in a
// scratch directory as the case runner lays it out, its files' times read as
// the program reads them, and the session stepped to its end must print the
// case's trace, refuse as it does and write its todo.bat. Then seeks at
// random must show what stepping showed.
//   PLANNER_SESSION_JS=build/wasm/web/planner_session.js node --test web/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

import { Run, loadModule } from './model.js';
import { decode } from './cp866.js';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const cases = path.join(root, 'tests', 'cases');
const module = await loadModule(createRequire(import.meta.url)(path.resolve(process.env.PLANNER_SESSION_JS)));

// Lays a case out as tests/cases_test.cc does; returns the makefile's path,
// or null when the case does not run exactly one makefile.
function layOut(dir, work) {
  if (fs.existsSync(path.join(dir, 'in'))) fs.cpSync(path.join(dir, 'in'), work, { recursive: true });
  let args = [];
  for (const line of fs.readFileSync(path.join(dir, 'case'), 'latin1').split('\n')) {
    const [key, ...w] = line.trim().split(/\s+/);
    if (key === 'args') args = w;
    if (key === 'dir') fs.mkdirSync(path.join(work, w[0]));
    if (key === 'link') fs.symlinkSync(w[1], path.join(work, w[0]));
    if (key === 'time') {
      // touch, as fs.utimesSync takes a time before 1970 for now.
      if (w[0] !== '.') fs.writeFileSync(path.join(work, w[0]), '');
      execFileSync('touch', ['-d', `@${w[1]}`, path.join(work, w[0])]);
    }
    if (key === 'example') {
      execFileSync('bash', [path.join(root, 'examples/lay_out.sh'), path.join(root, 'examples', w[0]), '.'], { cwd: work });
    }
  }
  const makefile = args.length === 1 ? path.join(work, args[0]) : null;
  return makefile && fs.existsSync(makefile) && fs.statSync(makefile).isFile() ? makefile : null;
}

// A name's time as the program reads it: whole seconds, floored, 0 when the
// file cannot be queried.
function timeIn(work) {
  return (name) => {
    try {
      const ns = fs.statSync(path.join(work, name), { bigint: true }).mtimeNs;
      return Number(ns / 1000000000n - (ns % 1000000000n < 0n ? 1n : 0n));
    } catch {
      return 0;
    }
  };
}

// What a viewer sees after a step, as one value.
function seen(run) {
  return JSON.stringify([run.view(), run.reading(), run.buffers(), run.stack(1, 1e9), run.stack(2, 1e9),
    run.todoLines(), run.traceLines(), run.currentLines(), run.readSoFar()]);
}

// A small seeded generator, so that a failure repeats.
function random(seed) {
  return (n) => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed % n;
  };
}

for (const name of fs.readdirSync(cases).sort()) {
  const dir = path.join(cases, name);
  const read = (file, as = 'utf8') => (fs.existsSync(path.join(dir, file)) ? fs.readFileSync(path.join(dir, file), as) : '');
  // Runs that stop at a file, not at the graph, are the executable's alone.
  if (/cannot |plan file todo\.bat/.test(read('stderr'))) continue;
  // So are standard output and error on one stream or in a file, and files'
  // permissions.
  if (/^(merged|mode|redirect)/m.test(read('case'))) continue;
  test(name, (t) => {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'planner-session-'));
    t.after(() => fs.rmSync(work, { recursive: true, force: true }));
    const makefile = layOut(dir, work);
    if (!makefile) return t.skip('does not run one makefile');
    // The program writes its plan while it walks; a session's files stay.
    if (fs.readFileSync(makefile, 'latin1').includes('todo.bat')) return t.skip('names todo.bat');
    const run = new Run(module, fs.readFileSync(makefile), timeIn(work));
    t.after(() => run.dispose());
    const views = [seen(run)];
    let trace = '';
    const dropped = [];  // where a reading step held no condition
    while (run.step()) {
      trace += run.view().printed;
      views.push(seen(run));
      if (run.reading() && !run.view().evaluated.some((e) => e.value)) dropped.push(run.reading().offset);
    }
    assert.deepEqual([...run.dropped()].flatMap((d, i) => (d ? [i] : [])), dropped);
    assert.equal(run.at, run.total);
    assert.equal(trace, read('stdout'));
    // The warnings before it are the driver's, not the session's.
    assert.equal(run.refusal, read('stderr').replace(/^planner: warning: .*\n/gm, ''));
    // The warnings are the program's, under its cap of ten, the walk's too
    // now that it is walked whole; each names the step that read its place.
    const told = run.warnings(path.relative(work, makefile), 10);
    assert.equal(told.list.map((w) => w.text).join('') + told.more, read('stderr').replace(/^planner: error: .*\n/m, ''));
    for (const w of told.list.filter((x) => x.step > 0 && x.step <= run.readEnd - 1)) {
      run.seek(w.step);
      assert.deepEqual([run.reading().line, run.reading().column], [w.line, w.column], w.text);
    }
    for (const w of told.list.filter((x) => x.vertex >= 0)) {
      run.seek(run.metAt(w));
      assert.equal(run.stack(1, 1)[0].vertex, w.vertex, w.text);
    }
    run.seek(run.total);
    if (!run.refusal) {
      const todo = run.todo(0, run.todoLines()).map((l) => `${l.text}\r\n`).join('');
      assert.equal(todo, read('todo.bat', 'latin1'));
      for (const l of run.todo(0, run.todoLines())) assert.equal(l.reason === 'missing', !(l.marks > 0 && l.markedAt > 0));
      const g = run.graph();
      assert.deepEqual(run.readSoFar().counts, g.children.map((c, i) => [c.length, g.commands[i].length]));
    }
    const lines = trace.split('\n');
    const pick = random(name.length);
    for (let i = 0; i < 40; ++i) {
      const n = pick(run.total + 1);
      run.seek(n);
      assert.equal(seen(run), views[n], `the view at step ${n}`);
      const first = pick(lines.length);
      assert.deepEqual(run.traceWindow(first, 7), lines.slice(first, Math.min(first + 7, lines.length - 1)));
      assert.equal(seen(run), views[n], `the view at step ${n} after a query`);
    }
  });
}
