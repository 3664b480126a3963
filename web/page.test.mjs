// The page in a real browser: Debian's chromium, driven by playwright-core,
// the page opened from file:// with the network off. Prints the figures it
// measures (ready time, seek and scroll on a long walk, redraw rate, memory);
// it never judges them.
//   PLANNER_PAGE=build/wasm/web/page/index.html PLANNER_CHROMIUM=/usr/bin/chromium \
//   PLANNER_SHOTS=build/wasm/web node --test web/page.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

import { encode } from './cp866.js';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'planner-chromium-'));
let browser;
let page;

before(async () => {
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.PLANNER_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1600, height: 1000 },
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  page = browser.pages()[0] ?? (await browser.newPage());
  page.on('pageerror', (e) => assert.fail(`the page failed: ${e.message}`));
  // Opened in a fresh browser, then once more as a browser already running opens it.
  const ready = [];
  for (const _ of [0, 1]) {
    await page.goto(pathToFileURL(path.resolve(process.env.PLANNER_PAGE)).href);
    await page.waitForSelector('body[data-ready=yes]');
    ready.push((await page.evaluate(() => window.plannerPage.readyMs)).toFixed(0));
  }
  console.log(`figure: page ready ${ready.join(' ms, then ')} ms after it began to load`);
});

after(async () => {
  await browser?.close();
  fs.rmSync(profile, { recursive: true, force: true });
});

const text = (selector) => page.locator(selector).innerText();
const load = (makefile, times = [], at = 0) =>
  page.evaluate(([m, t, n]) => window.plannerPage.load(m, t, n), [makefile, times, at]);
async function press(key, times = 1) {
  await page.evaluate(() => document.activeElement?.blur());
  for (let i = 0; i < times; ++i) await page.keyboard.press(key);
}
// Everything the views show, as one value.
const seen = () => page.evaluate(() => ['explain', 'refusal', 'position', 'goal-buffer', 'item-buffer', 'stack1', 'stack2', 'todo', 'trace']
  .map((id) => document.getElementById(id).innerText)
  .concat(Array.from(document.querySelectorAll('.current, .taken, .on1, .on2, .active, .rebuilt, .unread, mark'), (e) => `${e.id}.${e.className.baseVal ?? e.className}`)));

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

  await page.fill('#at', String(READ + 9));
  await page.press('#at', 'Enter');
  assert.match(await text('#explain'), /A1 LEAF → MAIN · x5 · z7/);
  assert.equal(await page.locator('#a1 .edge.taken').getAttribute('id'), 'a1-LEAF>MAIN/z7');
  assert.deepEqual((await page.locator('#stack2 li').allInnerTexts()).map((s) => s.replace(/\s+/g, ' ')),
    ['main.obj 1/1 marked at 67', 'app 1/1']);
  assert.equal(await page.locator('#todo li').count(), 0);

  await press('ArrowRight', 2);
  assert.match(await text('#explain'), /Step 69 .* TOPS → MAIN · x4 x4 · z5/);
  assert.deepEqual(await page.locator('#todo li').allInnerTexts(),
    ['cc main.c\nwritten at step 69: main.obj was marked at step 67 by newer leaf main.c (x5, z7)']);
  assert.deepEqual((await page.locator('#stack2 li').allInnerTexts()).map((s) => s.replace(/\s+/g, ' ')), ['app 1/1 marked at 69']);
  assert.equal(await page.locator('#graph .rebuilt').count(), 1);

  await press('ArrowRight', 2);
  assert.deepEqual(await page.locator('#todo li').allInnerTexts(), [
    'cc main.c\nwritten at step 69: main.obj was marked at step 67 by newer leaf main.c (x5, z7)',
    'link main.obj\nwritten at step 71: app was marked at step 69 by rebuilt child main.obj (z5)']);
  assert.equal(await page.locator('#stack1 li').count(), 0);
  const shots = process.env.PLANNER_SHOTS ?? os.tmpdir();
  await page.screenshot({ path: path.join(shots, 'page_worked_example.png') });
  console.log(`screenshot: ${path.join(shots, 'page_worked_example.png')}`);

  await press('End');
  assert.equal(await page.locator('#a1 .node.current').getAttribute('id'), 'a1-STOP');
  assert.match(await text('#trace'), /STOP\s+\d+\s*Aвтомат A1 закончил работу/);
  // A todo.bat line leads to the step that wrote it.
  await page.locator('#todo a', { hasText: 'written at step 69' }).click();
  assert.match(await text('#explain'), /^Step 69 /);
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

// A case's file times: its `time` lines, or its example's files list.
function caseTimes(name) {
  const times = [];
  for (const line of fs.readFileSync(path.join(root, 'tests/cases', name, 'case'), 'utf8').split('\n')) {
    const [key, a, b] = line.split(/\s+/);
    if (key === 'time') times.push([a, Number(b)]);
    if (key !== 'example') continue;
    for (const file of fs.readFileSync(path.join(root, 'examples', a, 'files'), 'utf8').split('\n')) {
      const [n, day, clock] = file.split(/\s+/);
      if (n && !n.startsWith('#')) times.push([n, Date.parse(`${day}T${clock}Z`) / 1000]);
    }
  }
  return times;
}

async function downloaded(button) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  return fs.readFileSync(await download.path());
}

test('downloads are the program\'s bytes', async () => {
  const cases = { worked_example: 'in/app.mk', example_diamond: '../../../examples/diamond/diamond.mk',
    crlf_lone_cr_and_sub: 'in/crlf.mk', nul_bytes: 'in/m.mk', missing_equal_and_zero_times: 'in/m.mk' };
  for (const [name, makefile] of Object.entries(cases)) {
    const dir = path.join(root, 'tests/cases', name);
    await load(fs.readFileSync(path.join(dir, makefile), 'latin1'), caseTimes(name));
    const stdout = fs.readFileSync(path.join(dir, 'stdout'), 'utf8').replace(/\n/g, '\r\n');
    assert.deepEqual(await downloaded('#download-trace'), Buffer.from(encode(stdout)), name);
    assert.deepEqual(await downloaded('#download-todo'), fs.readFileSync(path.join(dir, 'todo.bat')), name);
  }
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

function rendererMemory() {
  const ps = execFileSync('ps', ['-eo', 'rss=,args='], { encoding: 'utf8' });
  const rss = ps.split('\n').filter((l) => l.includes('--type=renderer') && l.includes(profile)).map((l) => Number(l.trim().split(' ')[0]));
  return rss.length ? `${Math.max(...rss) >> 10} MiB` : 'unknown';
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
});

test('playing a graph of 200 vertices: redraws a second', async () => {
  // A ladder of 10 levels over 180 files: 201 vertices, a walk of 190,000 steps.
  const list = (from, n) => Array.from({ length: n }, (_, i) => ` f${from + i}`).join('');
  const makefile = ladder(10).replace(/^(a9:).*$/m, `$1${list(0, 90)}`).replace(/^(b9:).*$/m, `$1${list(90, 90)}`);
  await load(makefile, [], makefile.length + 1);
  const figures = [];
  for (const speed of ['30', '1000']) {
    const before = await page.evaluate(() => [window.plannerPage.redraws, window.plannerPage.run.at]);
    await page.selectOption('#speed', speed);
    await press(' ');
    await page.waitForTimeout(2000);
    await press(' ');
    assert.equal(await text('#play'), 'Play ▶');
    const [redraws, steps] = await page.evaluate(([r, a]) => [window.plannerPage.redraws - r - 1, window.plannerPage.run.at - a], before);
    figures.push(`at ${speed} steps a second: ${steps / 2} steps and ${redraws / 2} redraws a second`);
  }
  console.log(`figure: playing a graph of ${await page.locator('#graph .node').count()} vertices, ${figures.join('; ')}`);
});
