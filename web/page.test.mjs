// The page in a real browser (page_fixture.test.mjs): the worked example
// step by step, refusals, downloads, run until, the timeline, pasted
// listings, shared links, a walk of 1.7 million steps. Prints the figures it
// measures (ready time, seek and scroll on a long walk, redraw rate, memory);
// it never judges them.
//   PLANNER_PAGE=build/wasm/web/page/index.html PLANNER_CHROMIUM=/usr/bin/chromium \
//   PLANNER_SHOTS=build/wasm/web node --test web/page.test.mjs web/page_sizes.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

import { encode } from './cp866.js';
import { parseListing } from './listing.js';
import { root, browser, page, shots, text, load, press, seen, downloaded, rendererMemory } from './page_fixture.test.mjs';

// The worked example: 57 characters, the closing line, then A1's 14 steps.
const READ = 58;

test('the worked example, stepped to the named steps', async () => {
  await press('Home');
  await press('ArrowRight', 3);
  assert.match(await text('#explain'), /Step 3 of 72 · A0 GOAL → GOAL · read 'p' at line 1, column 3/);
  assert.equal(await text('#goal-buffer'), 'app');
  assert.equal(await page.locator('#highlight mark').innerText(), 'p');
  assert.equal(await page.locator('#a0 .node.current').getAttribute('id'), 'a0-GOAL');
  assert.equal(await page.locator('#a0 .edge.taken').getAttribute('id'), 'a0-GOAL>GOAL/z1');

  // A walk step says what it did to which vertices, with which times.
  const told = async (at) => {
    await page.fill('#at', String(at));
    await page.press('#at', 'Enter');
    return text('#conditions');
  };
  assert.equal(await told(READ + 3), 'x2: app has children not pushed yet; z3 pushes main.obj, the next child of app, on stack 1');
  assert.equal(await told(READ + 11), 'x4: main.obj is marked; z5 writes 1 command of main.obj to todo.bat, pops it from both stacks and marks app');
  assert.equal(await told(READ + 9), 'x5: main.c (300) is newer than main.obj (200); z7 pops main.c and marks main.obj');
  assert.match(await text('#explain'), /A1 LEAF → MAIN · x5 · z7: pops main.c and marks main.obj/);
  assert.equal(await page.locator('#a1 .edge.taken').getAttribute('id'), 'a1-LEAF>MAIN/z7');
  assert.deepEqual((await page.locator('#stack2 li').allInnerTexts()).map((s) => s.replace(/\s+/g, ' ')),
    ['main.obj 1/1 marked at 67', 'app 1/1']);
  assert.equal(await page.locator('#todo li').count(), 0);

  await press('ArrowRight', 2);
  assert.match(await text('#explain'), /Step 69 .* TOPS → MAIN · x4 x4 · z5/);
  assert.deepEqual(await page.locator('#todo li').allInnerTexts(),
    ['cc main.c\nwritten at step 69: main.obj was marked at step 67 by newer leaf main.c (x5, z7)']);
  assert.deepEqual((await page.locator('#stack2 li').allInnerTexts()).map((s) => s.replace(/\s+/g, ' ')), ['app 1/1 marked at 69']);
  assert.deepEqual(await page.evaluate(() => window.plannerPage.graph.marks.rebuilt), [1]);

  await press('ArrowRight', 2);
  assert.deepEqual(await page.locator('#todo li').allInnerTexts(), [
    'cc main.c\nwritten at step 69: main.obj was marked at step 67 by newer leaf main.c (x5, z7)',
    'link main.obj\nwritten at step 71: app was marked at step 69 by rebuilt child main.obj (z5)']);
  assert.equal(await page.locator('#stack1 li').count(), 0);
  // Hovering says in English what a state, a transition or a trace line means.
  assert.equal(await page.locator('#a1 .node.current title').textContent(), 'MAIN: decides what to do with the top of stack 1');
  assert.match(await page.locator('#a1 .edge.taken title').textContent(), /^x4: top 2 is marked, or x7: top 2's file is missing; z5: writes/);
  assert.deepEqual(await page.locator('#trace .current').evaluateAll((rows) => rows.map((r) => r.title)),
    ['x4: top 2 is marked', 'x4: top 2 is marked', 'A1 is now in MAIN: decides what to do with the top of stack 1']);
  assert.match((await downloaded('[data-export=graph][data-as=svg]')).toString(), /^<svg[^>]* xmlns="http:\/\/www.w3.org\/2000\/svg".*>main\.obj</s);
  assert.deepEqual([...(await downloaded('[data-export=a1][data-as=png]')).subarray(0, 4)], [0x89, 0x50, 0x4e, 0x47]);
  // The timeline says what a step did: for the screenshot, step 69's.
  const box = await page.locator('#timeline').boundingBox();
  await page.mouse.move(box.x + (box.width * 69) / 72, box.y + box.height / 2);
  assert.equal(await text('#timeline-tip'), 'step 69: 1 line of todo.bat written, 1 mark set; click for the first');
  await page.screenshot({ path: path.join(shots, 'page_worked_example.png') });
  console.log(`screenshot: ${path.join(shots, 'page_worked_example.png')}`);

  await press('End');
  assert.equal(await page.locator('#a1 .node.current').getAttribute('id'), 'a1-STOP');
  assert.match(await text('#trace'), /STOP\s+\d+\s*Aвтомат A1 закончил работу/);
  // A todo.bat line leads to the step that wrote it.
  await page.locator('#todo a', { hasText: 'written at step 69' }).click();
  assert.match(await text('#explain'), /^Step 69 /);
});

test('the state diagrams draw every transition of the session\'s tables, no label over another', async () => {
  const drawn = await page.evaluate(() => {
    const boxes = (figure) => Array.from(document.querySelectorAll(`#${figure} text`), (t) => t.getBoundingClientRect());
    const meet = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    const tables = window.plannerPage.module.automata();
    return ['a0', 'a1'].map((figure) => {
      const texts = boxes(figure);
      return {
        edges: document.querySelectorAll(`#${figure} g.edge`).length,
        transitions: tables[figure.toUpperCase()].transitions.length,
        overlaps: texts.flatMap((a, i) => texts.slice(i + 1).filter((b) => meet(a, b))).length,
      };
    });
  });
  for (const d of drawn) assert.deepEqual(d, { edges: d.transitions, transitions: d.transitions, overlaps: 0 });
});

test('a step looks the same however it is reached', async () => {
  await load('app: main.obj\n\tlink main.obj\nmain.obj: main.c\n\tcc main.c\n', [['app', 250], ['main.obj', 200], ['main.c', 300]]);
  const stepped = [];
  for (let n = 0; n <= 72; ++n) {
    stepped.push(await seen());
    await press('ArrowRight');
  }
  for (const n of [0, 3, 40, READ - 1, READ, READ + 1, READ + 9, 70, 72]) {
    await press('End');
    await press('ArrowLeft', 72 - n);
    assert.deepEqual(await seen(), stepped[n], `step ${n} from the end`);
    await page.locator('#slider').fill(String(n));
    assert.deepEqual(await seen(), stepped[n], `step ${n} from the slider`);
  }
});

test('refusals are the program\'s lines, at the step where it stops', async () => {
  const cases = ['cycle_refused', 'empty_makefile_refused', 'self_dependency_refused'];
  for (const name of cases) {
    const dir = path.join(root, 'tests/cases', name, 'in');
    const makefile = fs.readdirSync(dir).find((f) => f.endsWith('.mk'));
    await load(fs.readFileSync(path.join(dir, makefile), 'latin1'));
    await press('End');
    assert.equal(await text('#refusal'), fs.readFileSync(path.join(dir, '../stderr'), 'utf8').trim(), name);
    await press('ArrowLeft');
    assert.equal(await page.locator('#refusal').isVisible(), false, name);
  }
});

// A case's `time` lines.
const caseTimes = (name) => fs.readFileSync(path.join(root, 'tests/cases', name, 'case'), 'utf8').split('\n')
  .map((line) => line.split(/\s+/)).filter(([key]) => key === 'time').map(([, n, t]) => [n, Number(t)]);
const chooseExample = async (name) => page.selectOption('#examples',
  await page.evaluate((n) => [...document.querySelectorAll('#examples option')].find((o) => o.text.startsWith(`${n}:`)).value, name));

test('downloads are the program\'s bytes; the examples menu holds each example\'s times', async () => {
  const cases = { worked_example: 'in/app.mk', example_diamond: 'diamond', example_c_program: 'c-program',
    crlf_lone_cr_and_sub: 'in/crlf.mk', nul_bytes: 'in/m.mk', missing_equal_and_zero_times: 'in/m.mk' };
  for (const [name, makefile] of Object.entries(cases)) {
    const dir = path.join(root, 'tests/cases', name);
    if (makefile.includes('/')) await load(fs.readFileSync(path.join(dir, makefile), 'latin1'), caseTimes(name));
    else await chooseExample(makefile);
    const stdout = fs.readFileSync(path.join(dir, 'stdout'), 'utf8').replace(/\n/g, '\r\n');
    assert.deepEqual(await downloaded('#download-trace'), Buffer.from(encode(stdout)), name);
    assert.deepEqual(await downloaded('#download-todo'), fs.readFileSync(path.join(dir, 'todo.bat')), name);
  }
});

test('the warnings panel lists the program\'s warnings, each leading to the step that met it and to its place', async () => {
  for (const [name, file] of [['makefile_written_as_for_make', 'Makefile'], ['warnings_for_a_small_c_project', 'app.mk']]) {
    const dir = path.join(root, 'tests/cases', name);
    const makefile = fs.readFileSync(path.join(dir, 'in', file), 'latin1');
    await page.evaluate(([m, t, f]) => window.plannerPage.load(m, t, 0, f), [makefile, caseTimes(name), file]);
    await page.waitForFunction(() => window.plannerPage.timelineData);  // the walk's warnings come then
    const expected = fs.readFileSync(path.join(dir, 'stderr'), 'utf8').trim().split('\n');
    assert.equal(await text('#warnings-count'), String(expected.length), name);
    assert.deepEqual((await page.locator('#warnings .text').allInnerTexts()).map((t) => `planner: warning: ${t}`), expected, name);
    for (const [i, said] of expected.entries()) {
      const item = page.locator('#warnings li').nth(i);
      await item.locator('button').first().click();
      const place = said.match(/:(\d+):(\d+): /);
      if (!place) {
        // The walk's: the step where the name it speaks of is first active.
        assert.equal(await text('#stack1 li:first-child .name'), said.match(/'([^']+)'/)[1], said);
        continue;
      }
      assert.match(await text('#explain'), new RegExp(`at line ${place[1]}, column ${place[2]}\\b`), said);
      await item.locator('button', { hasText: `${file}:` }).click();
      const before = await page.evaluate(() => { const e = document.activeElement; return e.id === 'editor' && e.value.slice(0, e.selectionStart); });
      assert.deepEqual([before.split('\n').length, before.length - before.lastIndexOf('\n')], [Number(place[1]), Number(place[2])], said);
    }
  }
  // The marks layer holds the editor's text: bands over the lines a warning
  // speaks of, the bytes dropped underlined.
  const marks = await page.evaluate(() => {
    const m = document.getElementById('marks');
    return [m.textContent === `${document.getElementById('editor').value}\n`, Array.from(m.querySelectorAll('.warned'), (b) => b.textContent.split('\n').length - 1),
      Array.from(m.querySelectorAll('.dropped'), (d) => d.textContent).join('')];
  });
  assert.deepEqual(marks, [true, [6], '_==_&&"">/=/__=_']);
});

// What each step of the run in the page did, as stepping through shows it,
// and whether an event of the run-until menu happens there.
const stepThrough = () => page.evaluate(() => {
  const { run } = window.plannerPage;
  const steps = [null];
  let [todo, size1] = [0, 0];
  for (run.seek(0); run.step();) {
    const v = run.view();
    steps.push({ v, commands: run.todoLines() - todo, mark: v.action === 'z7' || (v.action === 'z5' && run.stackSize(2) > 0),
      active: run.stackSize(1) !== size1 && run.stackSize(1) ? run.stack(1, 1)[0].name : null });
    [todo, size1] = [run.todoLines(), run.stackSize(1)];
  }
  return steps;
});
const happens = (e, s, vertex) => ({
  state: () => (s.v.phase === 1 || s.v.phase === 4) && s.v.automaton === e.automaton && s.v.state === e.state,
  condition: () => s.v.automaton === e.automaton && s.v.evaluated.some((c) => c.name === e.condition && c.value === e.value),
  command: () => s.commands > 0,
  mark: () => s.mark,
  active: () => s.active === vertex,
})[e.kind]();

test('run until lands, forward and back, on each step where stepping through finds the event', async () => {
  await chooseExample('diamond');
  const steps = await stepThrough();
  const menu = await page.evaluate(() => [...document.querySelectorAll('#until-event option')].map((o) => o.value));
  const names = await page.evaluate(() => window.plannerPage.run.graph().names);
  assert.equal(menu.length, 7 + 6 + 2 * 5 + 2 * 8 + 3);
  for (const value of menu) {
    const event = JSON.parse(value);
    for (const vertex of event.kind === 'active' ? names : ['']) {
      const expected = steps.flatMap((s, n) => (s && happens(event, s, vertex) ? [n] : []));
      // Clicked through until it says there is none, from either end.
      const landed = await page.evaluate(([v, name]) => {
        const $ = (id) => document.getElementById(id);
        const { run } = window.plannerPage;
        $('until-event').value = v;
        $('until-event').onchange();
        $('until-vertex').value = name;
        return ['until-next', 'until-back'].map((button) => {
          const stops = [];
          for (run.seek(button === 'until-next' ? 0 : run.total); ; stops.push(run.at)) {
            $(button).click();
            if ($('until-note').textContent.startsWith('none')) return stops;
            if (Number($('at').value) !== run.at) return 'the step shown is not the step';
          }
        });
      }, [value, vertex]);
      assert.deepEqual(landed, [expected, expected.filter((n) => n < steps.length - 1).reverse()], `${value} ${vertex}`);
    }
  }
});

test('the timeline marks each line written and mark set, and goes there', async () => {
  for (const example of ['diamond', 'c-program']) {
    await chooseExample(example);
    await page.waitForFunction(() => window.plannerPage.timelineData);
    const steps = await stepThrough();
    const { buckets, readEnd } = await page.evaluate(() => window.plannerPage.timelineData);
    assert.equal(readEnd, steps.findIndex((s) => s?.v.phase === 2));
    assert.deepEqual(buckets, steps.slice(readEnd + 1).map((s, i) => ({ first: readEnd + 1 + i, last: readEnd + 1 + i, commands: s.commands, marks: s.mark ? 1 : 0 })), example);
  }
  // A click goes to the first event under it: in the worked example, step
  // 69 writes `cc main.c` and marks app.
  await page.selectOption('#examples', 'worked');
  const box = await page.locator('#timeline').boundingBox();
  await page.mouse.click(box.x + (box.width * 69) / 72, box.y + box.height / 2);
  assert.match(await text('#explain'), /^Step 69 of 72 /);
});

test('a pasted find or stat listing replays a case directory byte for byte', async () => {
  // Whole seconds from the digits (a double would make the first 1700000001);
  // before 1970 as GNU find prints them (-0.5 s is -1.5000000000), or plain.
  assert.deepEqual(parseListing('1700000000.9999999999 ./a\n-1.5000000000 ./b\n-0.5 c d\n7 ./файл\nno time').entries.map((e) => [e.name, e.seconds]),
    [['a', 1700000000], ['b', -1], ['c d', -1], ['\xe4\xa0\xa9\xab', 7]]);
  const listings = { times_before_1970_and_after_2038: "find . -printf '%T@ %p\\n'", example_c_program: "stat -c '%Y %n' *" };
  for (const [name, command] of Object.entries(listings)) {
    const dir = path.join(root, 'tests/cases', name);
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'planner-listing-'));
    try {
      if (name.startsWith('example_')) execFileSync(path.join(root, 'examples/lay_out.sh'), [path.join(root, 'examples/c-program'), work]);
      else fs.cpSync(path.join(dir, 'in'), work, { recursive: true });
      for (const [file, time] of caseTimes(name)) execFileSync('touch', ['-d', `@${time}`, path.join(work, file)]);
      const makefile = fs.readdirSync(work).find((f) => f.endsWith('.mk'));
      await load(fs.readFileSync(path.join(work, makefile), 'latin1'), [['stale', 1]]);
      await page.click('#paste-times');
      await page.fill('#listing', execFileSync('sh', ['-c', command], { cwd: work, encoding: 'utf8' }));
      await page.click('#listing-apply');
      assert.match(await text('#listing-report'), new RegExp(`line.? matched no name: .*${makefile}`), name);
      const stdout = fs.readFileSync(path.join(dir, 'stdout'), 'utf8').replace(/\n/g, '\r\n');
      assert.deepEqual(await downloaded('#download-trace'), Buffer.from(encode(stdout)), name);
      assert.deepEqual(await downloaded('#download-todo'), fs.readFileSync(path.join(dir, 'todo.bat')), name);
    } finally {
      fs.rmSync(work, { recursive: true, force: true });
    }
  }
});

test('a shared link reopens the same view, from file:// and from a static host; an oversize one is refused', async () => {
  await load('app: main.obj\n\tlink main.obj\nmain.obj: main.c\n\tcc main.c\n', [['main.obj', 200], ['main.c', 150]]);
  await press('End');
  await press('ArrowLeft', 3);
  const shown = await seen();
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-link').value);
  const link = await page.inputValue('#share-link');
  assert.equal(page.url(), link);
  const dir = path.dirname(path.resolve(process.env.PLANNER_PAGE));
  const server = http.createServer((request, response) => {
    const file = path.join(dir, path.basename(new URL(request.url, 'http://host').pathname));
    const type = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' }[path.extname(file)];
    if (fs.existsSync(file)) response.writeHead(200, { 'Content-Type': type }).end(fs.readFileSync(file));
    else response.writeHead(404).end();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  try {
    for (const base of [link.split('#')[0], `http://127.0.0.1:${server.address().port}/index.html`]) {
      const other = await browser.newPage();
      try {
        await other.goto(base + link.slice(link.indexOf('#')));
        await other.waitForSelector('body[data-ready=yes]');
        assert.deepEqual(await seen(other), shown, base);
      } finally {
        await other.close();
      }
    }
    // A damaged link says so, and the page stays on the worked example.
    const damaged = await browser.newPage();
    try {
      await damaged.goto(`${link.split('#')[0]}#run=${'A'.repeat(40)}`);
      await damaged.waitForSelector('body[data-ready=yes]');
      assert.match(await damaged.locator('#share-note').innerText(), /^This link cannot be read/);
      assert.match(await damaged.locator('#explain').innerText(), /^Step 0 of 72:/);
    } finally {
      await damaged.close();
    }
  } finally {
    server.close();
  }
  // 48 KB that do not compress: too long a link.
  await load(`app: ${Array.from(crypto.randomBytes(48000), (b) => 'abcdefghijklmnopqrstuvwxyz0123456789'[b % 36]).join('')}\n`);
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-note').textContent.includes('too large'));
  assert.match(await text('#share-note'), /^This makefile is too large for a link: the link would be [\d,]+ characters, over the 32,768/);
  assert.equal(await page.locator('#share-link').isVisible(), false);
  assert.ok(!page.url().includes('#'));
});

// Both goals of every level depend on both goals of the next: 17 levels walk
// 1,703,938 steps and print about 6 million lines.
function ladder(levels) {
  let text = 'g: a0 b0\n\tbuild g\n';
  for (let i = 0; i < levels; ++i) {
    for (const side of 'ab') text += `${side}${i}: ${i + 1 < levels ? `a${i + 1} b${i + 1}` : 'leaf'}\n\tbuild ${side}${i}\n`;
  }
  return text;
}

test('a walk of over a million steps: seek, scroll, figures', async () => {
  await load(ladder(17));
  const total = await page.evaluate(() => window.plannerPage.run.total);
  assert.ok(total > 1_000_000);
  // From the step number typed to the frame that shows it, timed in the page.
  const seek = (n) => page.evaluate(async (m) => {
    const began = performance.now();
    const at = document.getElementById('at');
    at.value = m;
    at.dispatchEvent(new Event('change'));
    await new Promise(requestAnimationFrame);
    return Math.round(performance.now() - began);
  }, n);
  const cold = await seek(total);
  assert.equal(await page.locator('#a1 .node.current').getAttribute('id'), 'a1-STOP');
  await page.waitForFunction(() => window.plannerPage.run.allLines() > 0, null, { timeout: 60000 });
  const lines = await page.evaluate(() => window.plannerPage.run.allLines());
  const seeks = [];
  for (const n of [READ + 1, total, Math.floor(total / 2), Math.floor(total / 3), total - 5]) seeks.push(await seek(n));
  assert.match(await text('#explain'), new RegExp(`^Step ${(total - 5).toLocaleString()} `));
  let slowest = 0;
  for (const share of [0.9, 0.1, 0.5, 0.99]) {
    const began = Date.now();
    await page.evaluate((s) => { const t = document.getElementById('trace'); t.scrollTop = s * t.scrollHeight; }, share);
    await page.evaluate(() => new Promise(requestAnimationFrame));
    slowest = Math.max(slowest, Date.now() - began);
  }
  console.log(`figure: ${total.toLocaleString()} steps, ${lines.toLocaleString()} trace lines; the first seek to the last step ${cold} ms (walking there), then seeks ${seeks.join(', ')} ms; slowest trace scroll ${slowest} ms; renderer memory ${rendererMemory()}`);

  // Run until, from the click to the frame that shows the step found.
  const until = (event, from, forward, vertex = '') => page.evaluate(async ([e, n, f, v]) => {
    const $ = (id) => document.getElementById(id);
    window.plannerPage.run.seek(n);
    $('until-event').value = JSON.stringify(e);
    $('until-event').onchange();
    $('until-vertex').value = v;
    const began = performance.now();
    $(f ? 'until-next' : 'until-back').click();
    await new Promise(requestAnimationFrame);
    const { run } = window.plannerPage;
    return [Math.round(performance.now() - began), run.at, run.view().action, run.stack(1, 1)[0]?.name];
  }, [event, from, forward, vertex]);
  const searches = [
    [{ kind: 'state', automaton: 'A1', state: 'STOP' }, 0, true, (at) => at === total],
    [{ kind: 'command' }, total, false, (at) => at === total - 1],
    [{ kind: 'mark' }, Math.floor(total / 2), false, (at, action) => action === 'z7' || action === 'z5'],
    [{ kind: 'active' }, Math.floor(total / 3), true, (at, action, top) => top === 'a16', 'a16'],
    [{ kind: 'condition', automaton: 'A1', condition: 'x7', value: false }, 1, true, (at) => at === 1],
    [{ kind: 'state', automaton: 'A0', state: 'COMMAND' }, total, false, (at, action) => action === 'z2'],
  ];
  const found = [];
  for (const [event, from, forward, holds, vertex] of searches) {
    const [ms, ...landed] = await until(event, from, forward, vertex);
    assert.ok(holds(...landed), JSON.stringify(event));
    found.push(`${ms} ms`);
  }
  // The timeline, tallied from the index: every line of todo.bat and every
  // mark in it, the busiest bucket as stepping through counts it.
  const [ms, buckets, commands, busiest, stepped] = await page.evaluate(() => {
    const { run, timeline } = window.plannerPage;
    const began = performance.now();
    const data = run.timeline(document.getElementById('timeline').clientWidth);
    timeline.set(data);
    const took = Math.round(performance.now() - began);
    const b = data.buckets.reduce((x, y) => (y.marks > x.marks ? y : x));
    let [todo, marks] = [0, 0];
    run.seek(b.first - 1);
    const before = run.todoLines();
    while (run.at < b.last && run.step()) marks += run.view().action === 'z7' || (run.view().action === 'z5' && run.stackSize(2) > 0) ? 1 : 0;
    todo = run.todoLines() - before;
    run.seek(run.total);
    return [took, data.buckets, run.todoLines(), b, { ...b, commands: todo, marks }];
  });
  assert.equal(buckets.reduce((n, b) => n + b.commands, 0), commands);
  assert.deepEqual(stepped, busiest);
  console.log(`figure: run until on that walk, from the click to the frame: ${found.join(', ')}; its timeline tallied and drawn in ${ms} ms, ${buckets.length} bars of ${(buckets[0].last - buckets[0].first + 1).toLocaleString()} steps`);
});

test('playing a graph of 200 vertices: redraws a second', async () => {
  // A ladder of 10 levels over 180 files: 201 vertices, a walk of 190,000 steps.
  const list = (from, n) => Array.from({ length: n }, (_, i) => ` f${from + i}`).join('');
  const makefile = ladder(10).replace(/^(a9:).*$/m, `$1${list(0, 90)}`).replace(/^(b9:).*$/m, `$1${list(90, 90)}`);
  await load(makefile, [], makefile.length + 1);
  const figures = [];
  for (const speed of ['30/s', 'max']) {
    const before = await page.evaluate(() => [window.plannerPage.redraws, window.plannerPage.run.at]);
    await page.locator('#speed').fill(speed === 'max' ? '14' : '6');
    assert.equal(await text('#speed-label'), speed);
    await press(' ');
    await page.waitForTimeout(2000);
    const rate = await text('#rate');
    assert.match(rate, /^[\d,]+ steps\/s$/);
    if ((await text('#play')) !== 'Play ▶') await press(' ');  // a fast machine may have reached the end
    assert.equal(await text('#play'), 'Play ▶');
    const [redraws, steps] = await page.evaluate(([r, a]) => [window.plannerPage.redraws - r - 1, window.plannerPage.run.at - a], before);
    const seconds = Math.min(2, steps / Number(rate.replace(/\D/g, '')));  // less if it reached the end
    figures.push(`at ${speed}: ${Math.round(steps / seconds)} steps and ${Math.round(redraws / seconds)} redraws a second`);
  }
  console.log(`figure: playing a graph of ${await page.evaluate(() => window.plannerPage.graph.drawing.n)} vertices, ${figures.join('; ')}`);
});

