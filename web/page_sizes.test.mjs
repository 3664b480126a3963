// The page at real sizes and for every reader (page_fixture.test.mjs): graphs
// of thousands of vertices laid out while the page steps, three screen
// sizes, axe-core's checks, the keyboard, a makefile opened, the files table.
// Prints the graphs' figures (time to a drawn graph, a step's redraw, memory).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { project } from './project.test.mjs';
import { root, page, shots, text, load, rendererMemory } from './page_fixture.test.mjs';

const WORKED = ['app: main.obj\n\tlink main.obj\nmain.obj: main.c\n\tcc main.c\n', [['app', 250], ['main.obj', 200], ['main.c', 300]]];
// A makefile written as for make, with its warnings.
const FOR_MAKE = [fs.readFileSync(path.join(root, 'tests/cases/makefile_written_as_for_make/in/Makefile'), 'latin1'), []];
// Loads a makefile and waits for its graph to be drawn; goes `into` the walk
// (a fraction of it, 1 for its end).
async function loadDrawn(makefile, times, into = null) {
  await load(makefile, times);
  await page.waitForFunction(() => window.plannerPage.graph.drawing, null, { timeout: 30000 });
  if (into !== null) {
    await page.evaluate((f) => {
      const { run } = window.plannerPage;
      run.seek(run.readEnd + Math.floor((run.total - run.readEnd) * f));
      window.plannerPage.render();
    }, into);
  }
}

test('graphs of real size: laid out while the page steps, every vertex drawn, the marks the step\'s', async () => {
  const figures = [];
  for (const n of [500, 1600, 2000, 4990]) {
    const p = project(n);
    const r = await page.evaluate(async ([m, t]) => {
      const P = window.plannerPage;
      const frame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
      const began = performance.now();
      P.load(m, t);
      // The layout is made in a worker: the page steps meanwhile.
      const whilePending = [];
      for (let i = 0; i < 3 && P.graph.pending; ++i) {
        document.getElementById('forward').click();
        whilePending.push(document.getElementById('explain').textContent.startsWith(`Step ${P.run.at} of`) && P.graph.pending);
        await frame();
      }
      while (!P.graph.drawing) await new Promise((resolve) => setTimeout(resolve, 5));
      await frame();
      const drawnMs = performance.now() - began;
      // Every vertex placed, no two boxes overlapping, every one drawn when fitted.
      const { layout, widths } = P.graph.drawing;
      const rows = new Map();
      for (let v = 0; v < P.graph.drawing.n; ++v) rows.set(layout.y[v], [...(rows.get(layout.y[v]) ?? []), v]);
      let overlaps = 0;
      for (const row of rows.values()) {
        row.sort((a, b) => layout.x[a] - layout.x[b]);
        for (let i = 1; i < row.length; ++i) if (layout.x[row[i]] - widths[row[i]] / 2 < layout.x[row[i - 1]] + widths[row[i - 1]] / 2) ++overlaps;
      }
      P.graph.fit();
      const drawn = P.graph.stats.drawn;
      // The marks follow the walk: a step's stacks and the vertices written so far.
      const { run } = P;
      run.seek(run.readEnd + Math.floor((run.total - run.readEnd) / 2));
      P.render();
      const steps = [];
      for (let i = 0; i < 10; ++i) {
        await frame();
        const s = performance.now();
        document.getElementById('forward').click();
        await frame();
        steps.push(performance.now() - s);
      }
      const mk = P.graph.marks;
      const todo = run.todo(0, run.todoLines()).map((l) => l.vertex);
      return {
        whilePending, drawnMs, layoutMs: P.graph.stats.layoutMs, arrivedMs: P.graph.stats.laidOutMs, overlaps, drawn, vertices: run.vertexCount(), placed: P.graph.drawing.n,
        marks: [mk.on1, mk.on2, mk.active, mk.rebuilt, mk.complete],
        expected: [run.stack(1, 1e4).map((e) => e.vertex), run.stack(2, 1e4).map((e) => e.vertex), run.stack(1, 1).map((e) => e.vertex), [...new Set(todo)], true],
        stepMs: steps.sort((a, b) => a - b)[5],
      };
    }, [p.makefile, p.times]);
    assert.equal(r.vertices, p.vertices);
    assert.deepEqual([r.placed, r.drawn, r.overlaps], [p.vertices, p.vertices, 0], `${n} vertices`);
    assert.ok(r.whilePending.length > 0 && r.whilePending.every(Boolean), `${n}: steps shown while laid out`);
    assert.deepEqual(r.marks, r.expected, `${n} vertices`);
    figures.push(`${p.vertices.toLocaleString()} vertices and ${p.edges.toLocaleString()} edges drawn ${Math.round(r.drawnMs)} ms after loading `
      + `(laid out in ${Math.round(r.layoutMs)} ms in the worker, there and back in ${Math.round(r.arrivedMs)} ms), a step to its frame ${Math.round(r.stepMs)} ms, renderer ${rendererMemory()}`);
  }
  console.log(`figure: graphs: ${figures.join('; ')}`);
  // A vertex found by name is centred, readable, and ringed.
  await page.fill('#graph-find', 'config.h');
  await page.press('#graph-find', 'Enter');
  assert.deepEqual(await page.evaluate(() => {
    const g = window.plannerPage.graph;
    const v = window.plannerPage.run.vertexOf('config.h');
    const [x, y] = [g.drawing.layout.x[v] * g.view.scale + g.view.tx, g.drawing.layout.y[v] * g.view.scale + g.view.ty];
    return [g.marks.found[0] === v, Math.abs(x - g.size.width / 2) < 1 && Math.abs(y - g.size.height / 2) < 1, g.view.scale >= 1];
  }), [true, true, true]);
  // A layout that comes back for a makefile no longer shown is dropped.
  await load(project(2000).makefile);
  await load(...WORKED);
  await page.waitForTimeout(1500);
  assert.equal(await page.evaluate(() => window.plannerPage.graph.drawing?.n), 3);
  // Above 5,000 vertices: the active vertex, the path down the stacks, its children.
  const big = project(8000);
  await load(big.makefile, big.times);
  const near = await page.evaluate(() => {
    const { run, graph } = window.plannerPage;
    run.seek(run.readEnd + Math.floor((run.total - run.readEnd) / 3));
    window.plannerPage.render();
    const shown = new Set(graph.drawing.ids);
    const [top] = run.stack(1, 1);
    const wanted = [top.vertex, ...run.stack(2, 1e4).map((e) => e.vertex), ...run.graph().children[top.vertex].slice(0, 60)];
    return [graph.drawing.ids.length < run.vertexCount(), wanted.filter((v) => !shown.has(v)), document.getElementById('graph-note').textContent];
  });
  assert.deepEqual(near.slice(0, 2), [true, []]);
  assert.match(near[2], /^8,0\d\d vertices, [\d,]+ edges: more than 5,000 vertices or 20,000 edges, so only \d+ are drawn/);
});

// What breaks a small screen: sideways scrolling, a control off it, a label
// too small to read, panels on top of each other or too small to show anything.
const screenProblems = () => page.evaluate(() => {
  const problems = [];
  const [w, h] = [innerWidth, innerHeight];
  if (document.documentElement.scrollWidth > w) problems.push(`the page is ${document.documentElement.scrollWidth} px wide`);
  const desktop = w >= 1100;
  if (desktop && document.documentElement.scrollHeight > h) problems.push(`the page is ${document.documentElement.scrollHeight} px tall`);
  // Controls in a panel that scrolls are checked by their panel.
  for (const e of document.querySelectorAll('button, input, select, textarea, a[href], [tabindex="0"], .scroll, #automata-panel')) {
    const scrolls = '.scroll, #automata-panel, #todo, #warnings';
    if (!e.checkVisibility() || (e !== e.closest(scrolls) && e.closest(scrolls))) continue;
    const r = e.getBoundingClientRect();
    if (r.left < -1 || r.right > w + 1 || (desktop && r.bottom > h + 1)) problems.push(`${e.id || e.outerHTML.slice(0, 60)} lies outside`);
  }
  for (const t of document.querySelectorAll('figure svg text')) {
    const px = parseFloat(getComputedStyle(t).fontSize) * t.getScreenCTM().a;
    if (px < 8.99) problems.push(`"${t.textContent}" drawn at ${px.toFixed(1)} px`);
  }
  const { smallestLabel } = window.plannerPage.graph.stats;
  if (smallestLabel !== null && smallestLabel < 9) problems.push(`graph labels at ${smallestLabel} px`);
  const boxes = [...document.querySelectorAll('main > section')].map((s) => [s.id, s.getBoundingClientRect()]);
  for (const [i, [a, ra]] of boxes.entries()) {
    for (const [b, rb] of boxes.slice(i + 1)) {
      if (Math.min(ra.right, rb.right) - Math.max(ra.left, rb.left) > 1 && Math.min(ra.bottom, rb.bottom) - Math.max(ra.top, rb.top) > 1) problems.push(`${a} overlaps ${b}`);
    }
  }
  const tall = { editor: 100, '.scroll': 8 * 21, '#warnings': 40, '#graph': 140, '#trace': 150, '#todo': 60, '#stack1': 60 };
  for (const [selector, least] of Object.entries(tall)) {
    const e = document.querySelector(selector.startsWith('#') || selector.startsWith('.') ? selector : `#${selector}`);
    if (e.clientHeight < Math.min(least, e.scrollHeight)) problems.push(`${selector} is ${e.clientHeight} px tall`);
  }
  return problems;
});

test('at 1600x1000, 1280x720 and 390x844: nothing sideways, every control on screen, no label under 9 px', async () => {
  const p = project(1600);
  await page.evaluate(() => { document.getElementById('share-box').hidden = true; });
  try {
    for (const [width, height] of [[1600, 1000], [1280, 720], [390, 844]]) {
      await page.setViewportSize({ width, height });
      for (const [name, makefile, times] of [['the worked example', ...WORKED], ['warnings', ...FOR_MAKE], ['1,600 vertices', p.makefile, p.times]]) {
        await loadDrawn(makefile, times, 0.5);
        await page.waitForTimeout(100);  // the resized panels' own sizes, observed
        assert.deepEqual(await screenProblems(), [], `${name} at ${width}x${height}`);
        await page.screenshot({ path: path.join(shots, `page_${width}x${height}_${name.replace(/\W+/g, '_')}.png`) });
      }
    }
  } finally {
    await page.setViewportSize({ width: 1600, height: 1000 });
  }
});

test('axe-core finds no serious or critical violation, at the start, during the walk and at the end', async () => {
  await page.addScriptTag({ path: path.join(root, 'web/node_modules/axe-core/axe.min.js') });
  const p = project(2000);
  for (const [name, makefile, times] of [['the worked example', ...WORKED], ['warnings', ...FOR_MAKE], ['2,000 vertices', p.makefile, p.times]]) {
    await loadDrawn(makefile, times);
    for (const [at, into] of [['the start', null], ['the walk', 0.5], ['the end', 1]]) {
      if (into !== null) await loadDrawn(makefile, times, into);
      const found = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] })).violations
        .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => `${v.id}: ${v.nodes.length} (${v.nodes[0].target})`));
      assert.deepEqual(found, [], `${name} at ${at}`);
    }
  }
});

test('every control is reached by Tab, shows its focus, and works from the keyboard', async () => {
  await page.selectOption('#examples', 'worked');
  await page.waitForFunction(() => window.plannerPage.graph.drawing);
  const count = await page.evaluate(() => {
    const all = [...document.querySelectorAll('button, input, select, textarea, a[href], [tabindex="0"]')].filter((e) => e.checkVisibility() && !e.disabled);
    all.forEach((e, i) => { e.dataset.k = i; });
    return all.length;
  });
  const reached = new Set();
  const unseen = [];
  await page.evaluate(() => document.activeElement?.blur());
  for (let i = 0; i < count + 10 && reached.size < count; ++i) {
    await page.keyboard.press(await page.evaluate(() => document.activeElement?.id === 'editor') ? 'Escape' : 'Shift');
    await page.keyboard.press('Tab');
    const [k, shown] = await page.evaluate(() => {
      const e = document.activeElement;
      // An SVG state shows its focus on its outline; the file field on its label.
      const styled = e.matches('g') ? e.querySelector('path, polygon') : e.id === 'open' ? e.parentElement : e;
      const s = getComputedStyle(styled);
      return [e.dataset.k, e.matches('g') ? parseFloat(s.strokeWidth) >= 4 : s.outlineStyle !== 'none' && parseFloat(s.outlineWidth) >= 2];
    });
    if (k === undefined) continue;
    reached.add(k);
    if (!shown) unseen.push(k);
  }
  const names = (ks) => page.evaluate((list) => list.map((k) => document.querySelector(`[data-k="${k}"]`)).map((e) => e.id || e.textContent || e.outerHTML.slice(0, 50)), ks);
  assert.deepEqual(await names(Array.from({ length: count }, (_, i) => String(i)).filter((k) => !reached.has(k))), [], 'not reached by Tab');
  assert.deepEqual(await names(unseen), [], 'focused without a visible focus');
  // The graph pans with the arrow keys, and the step stays.
  await page.focus('#graph-marks');
  const before = await page.evaluate(() => [window.plannerPage.run.at, window.plannerPage.graph.view.tx]);
  await page.keyboard.press('ArrowRight');
  const after = await page.evaluate(() => [window.plannerPage.run.at, window.plannerPage.graph.view.tx]);
  assert.deepEqual([after[0], after[1] < before[1]], [before[0], true]);
  // A state of a diagram is chosen for run until with Enter; Open… opens with Space.
  await page.focus('[id="a0-GOAL"]');
  await page.keyboard.press('Enter');
  assert.deepEqual(JSON.parse(await page.inputValue('#until-event')), { kind: 'state', automaton: 'A0', state: 'GOAL' });
  await page.focus('#open');
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.keyboard.press(' ')]);
  assert.ok(chooser);
});

test('a makefile opened starts from missing files; long names, large times and a filter in the files table; a tab is →', async () => {
  await page.selectOption('#examples', 'worked');
  await page.setInputFiles('#open', { name: 'mine.mk', mimeType: 'text/plain', buffer: Buffer.from(WORKED[0]) });
  await page.waitForFunction(() => window.plannerPage.fileName === 'mine.mk');
  assert.deepEqual(await page.evaluate(() => [window.plannerPage.times.size, [...document.querySelectorAll('#times input[type=checkbox]')].map((c) => c.checked)]), [0, [false, false, false]]);
  assert.match(await text('#listing-report'), /^mine\.mk: its 3 names start as missing files; type their times here, or Paste times/);
  // However a tab gets into the editor, it shows as →, and is a tab.
  await page.fill('#editor', 'app: x\n\tcc x\n');
  await page.focus('#editor');
  await page.keyboard.insertText('\t');
  assert.match(await page.inputValue('#editor'), /^app: x\n→cc x\n.*→/s);
  await page.waitForFunction(() => window.plannerPage.makefile.includes(9));
  const p = project(2000, { longName: true });
  await load(p.makefile, p.times);
  const long = p.times.find(([name]) => name.includes('far-longer'))[0];
  await page.fill('#times-filter', long);
  assert.match(await text('#times-note'), /^1 of 2,00\d names match$/);
  const cells = await page.evaluate(() => [...document.querySelector('#times tbody tr').cells].map((c) => [c.title, c.scrollWidth > c.clientWidth, c.getBoundingClientRect().right <= document.getElementById('times').getBoundingClientRect().right + 1]));
  assert.deepEqual(cells, [[long, true, true], ['', false, true], ['', false, true]]);
  for (const [typed, shown] of [['-12345678901', '-12345678901'], ['123456789012345', '123456789012345'], ['99999999999999999999999', '9200000000000000000']]) {
    await page.fill('#times tbody input[inputmode=numeric]', typed);
    await page.press('#times tbody input[inputmode=numeric]', 'Enter');
    await page.waitForFunction((t) => document.querySelector('#times tbody input[inputmode=numeric]').value === t, shown);
    assert.ok(await page.evaluate(() => { const i = document.querySelector('#times tbody input[inputmode=numeric]'); return i.scrollWidth <= i.clientWidth; }), typed);
  }
  // The filter searches every name, not only the rows shown.
  const last = p.times.at(-1)[0];
  await page.fill('#times-filter', last);
  assert.ok((await page.locator('#times tbody td:first-child').allInnerTexts()).includes(last));
  await page.fill('#times-filter', '');
});
