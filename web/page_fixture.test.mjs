// The page in a real browser, for the page's tests: Debian's chromium, driven
// by playwright-core, the page opened from file:// with the network off, and
// what the tests do with it. `page` and `browser` are set before the tests
// of the file that imports this one.
import { before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'planner-chromium-'));
export let browser;
export let page;

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

export const shots = process.env.PLANNER_SHOTS ?? os.tmpdir();
export const text = (selector) => page.locator(selector).innerText();
export const load = (makefile, times = [], at = 0) =>
  page.evaluate(([m, t, n]) => window.plannerPage.load(m, t, n), [makefile, times, at]);
export async function press(key, times = 1) {
  await page.evaluate(() => document.activeElement?.blur());
  for (let i = 0; i < times; ++i) await page.keyboard.press(key);
}
// Everything the views show, as one value.
export const seen = (p = page) => p.evaluate(() => ['explain', 'refusal', 'position', 'goal-buffer', 'item-buffer', 'stack1', 'stack2', 'todo', 'trace']
  .map((id) => document.getElementById(id).innerText)
  .concat(Array.from(document.querySelectorAll('.current, .taken, mark'), (e) => `${e.id}.${e.className.baseVal ?? e.className}`))
  .concat(JSON.stringify(window.plannerPage.graph.marks), window.plannerPage.graph.readKey));

export async function downloaded(button) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  return fs.readFileSync(await download.path());
}

// The renderer process's resident memory.
export function rendererMemory() {
  const ps = execFileSync('ps', ['-eo', 'rss=,args='], { encoding: 'utf8' });
  const rss = ps.split('\n').filter((l) => l.includes('--type=renderer') && l.includes(profile)).map((l) => Number(l.trim().split(' ')[0]));
  return rss.length ? `${Math.max(...rss) >> 10} MiB` : 'unknown';
}
