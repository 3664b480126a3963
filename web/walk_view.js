// The walk after every step: both stacks, the graph's marks, and todo.bat
// with the reason for each line.
import { Phase } from './model.js';
import { decode } from './cp866.js';
import { $, setText, html } from './dom.js';

const STACK_SHOWN = 60;     // entries of each stack shown, from the top
const TODO_SHOWN = 200;     // lines of todo.bat shown, the latest
const STACK_MARKED = 10000; // entries of each stack marked in the graph

export class WalkView {
  // `onPick(step)`: a step link in todo.bat was clicked.
  constructor(onPick) {
    this.onPick = onPick;
    this.setRun(null);
  }

  setRun(run) {
    this.run = run;
    this.todoCache = new Map();  // line -> todo line, for this run
    this.todoShown = {};         // {first, n}: the lines drawn
    $('todo').replaceChildren();
  }

  // Returns both stacks, top first, as deep as the graph marks them.
  render(run, v) {
    const planning = v.phase === Phase.PLANNING;
    // Whole stacks for the graph's marks when they are not too deep; the top shown.
    const whole = [1, 2].map((which) => (planning ? run.stack(which, STACK_MARKED) : []));
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
    this.renderTodo();
    return whole;
  }

  // Scrolling waits for the next frame, before anything is changed again:
  // a scroll in the middle of a redraw would lay the page out there.
  later(f) {
    if (!this.pending) {
      this.pending = [];
      requestAnimationFrame(() => {
        const pending = this.pending;
        this.pending = null;
        for (const g of pending) g();
      });
    }
    this.pending.push(f);
  }

  // The latest lines of todo.bat written so far, cached by line for this run.
  todoLines() {
    const run = this.run;
    const n = run.todoLines();
    const first = Math.max(0, n - TODO_SHOWN);
    let missing = first;
    while (missing < n && this.todoCache.has(missing)) ++missing;
    if (missing < n) run.todo(missing, n - missing).forEach((l, i) => this.todoCache.set(missing + i, l));
    return Array.from({ length: n - first }, (_, i) => this.todoCache.get(first + i));
  }

  // Re-drawn only as far as todo.bat changed: lines are appended while it grows.
  renderTodo() {
    const lines = this.todoLines();
    const n = this.run.todoLines();
    const list = $('todo');
    const first = n - lines.length;
    const shown = this.todoShown;
    if (shown.first === first && shown.n === n) return;
    setText('todo-size', n > lines.length ? `(${n.toLocaleString()} lines, the last ${lines.length})` : `(${n} line${n === 1 ? '' : 's'})`);
    const keep = shown.first === first && shown.n < n ? shown.n - first : 0;
    if (keep === 0) list.replaceChildren();
    list.append(...lines.slice(keep).map((l) => this.todoItem(l)));
    this.todoShown = { first, n };
    this.later(() => { list.scrollTop = list.scrollHeight; });
  }

  todoItem(l) {
    const item = html('li');
    item.append(html('code', decode(l.text) || '(empty)'));
    const why = html('span', undefined, 'why');
    why.append(this.stepLink(l.step, `written at step ${l.step}`), ': ');
    if (l.reason === 'missing') why.append(`${decode(l.name)}'s file is missing (x7)`);
    else {
      const by = l.reason === 'leaf' ? `newer leaf ${decode(l.by)} (x5, z7)` : `rebuilt child ${decode(l.by)} (z5)`;
      why.append(`${decode(l.name)} was marked at `, this.stepLink(l.markedAt, `step ${l.markedAt}`), ` by ${by}`);
      if (l.marks > 1) why.append(`, and ${l.marks - 1} more time${l.marks > 2 ? 's' : ''}`);
    }
    item.append(why);
    return item;
  }

  stepLink(step, text) {
    const a = html('a', text);
    a.href = '#';
    a.onclick = (e) => {
      e.preventDefault();
      this.onPick(step);
    };
    return a;
  }
}
