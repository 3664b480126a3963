// The trace of the whole run in a scrolled window, over millions of lines:
// only the visible lines exist, made again from the run in blocks, and a
// tall trace is scrolled on a scale (browsers cap an element's height).
// Hovering a line says in English what it means.
import { lineGloss } from './automata.js';

const LINE = 16;            // px per line, as page.css sets it
const BLOCK = 128;          // lines fetched at once
const KEEP = 64;            // blocks kept
const MAX_HEIGHT = 4000000; // px of scrolling, whatever the trace's length

export class TraceView {
  // `onPick(line)` when a line is clicked.
  constructor(scroller, onPick) {
    this.scroller = scroller;
    this.spacer = scroller.appendChild(document.createElement('div'));
    this.window = scroller.appendChild(document.createElement('div'));
    this.window.className = 'window';
    this.onPick = onPick;
    this.follow = true;
    this.run = null;
    // The view's height, read when it changes rather than on every step.
    this.height = scroller.clientHeight;
    new ResizeObserver(() => {
      this.height = scroller.clientHeight;
      this.draw();
    }).observe(scroller);
    // A scroll to anywhere but where update() put it is the reader's own.
    // scrollTop is kept here too: reading it would lay the page out on every step.
    this.target = 0;
    this.scrollTop = 0;
    scroller.addEventListener('scroll', () => {
      this.scrollTop = scroller.scrollTop;
      if (Math.abs(this.scrollTop - this.target) > 1) this.follow = false;
      this.draw();
    });
    this.window.addEventListener('click', (e) => {
      const line = e.target.closest('[data-line]');
      if (line) this.onPick(Number(line.dataset.line));
    });
  }

  setRun(run) {
    this.run = run;
    this.blocks = new Map();
    this.follow = true;
  }

  // Lines of the trace known: the whole run's once prepared.
  lines() {
    return Math.max(this.run.allLines(), this.run.traceLines());
  }

  // After a step: the current step's lines brought into view unless the
  // reader has scrolled away; draw() shows them.
  update() {
    const total = this.lines();
    const height = Math.min(total * LINE, MAX_HEIGHT);
    this.scale = height > 0 ? (total * LINE) / height : 1;
    this.spacer.style.height = `${height}px`;
    this.current = this.run.currentLines();
    if (this.follow) {
      const top = Math.round(Math.min(Math.max(0, this.current[0] - 3) * LINE / this.scale, height - this.height));
      if (top !== this.scrollTop) this.scroller.scrollTop = Math.max(0, top);
      this.target = this.scrollTop = Math.max(0, top);
    }
  }

  block(b) {
    let lines = this.blocks.get(b);
    if (!lines) {
      lines = this.run.traceWindow(b * BLOCK, BLOCK);
      if (this.blocks.size >= KEEP) this.blocks.delete(this.blocks.keys().next().value);
      this.blocks.set(b, lines);
    }
    return lines;
  }

  draw() {
    if (!this.run) return;
    const total = this.lines();
    const first = Math.min(Math.floor((this.scrollTop * this.scale) / LINE), Math.max(0, total - 1));
    const count = Math.min(Math.ceil(this.height / LINE) + 1, total - first);
    // As tall as the view, so that it never stretches what there is to scroll.
    this.window.style.top = `${this.scrollTop}px`;
    this.window.style.height = `${Math.min(this.height, total * LINE)}px`;
    // Rows are reused and changed only where their line changed.
    while (this.window.children.length < count) {
      const row = this.window.appendChild(document.createElement('div'));
      row.append(document.createElement('span'), document.createTextNode(''));
      row.firstChild.className = 'n';
    }
    while (this.window.children.length > Math.max(count, 0)) this.window.lastChild.remove();
    for (let i = 0; i < count; ++i) {
      const line = first + i;
      const row = this.window.children[i];
      const current = line >= this.current[0] && line < this.current[1] ? 'current' : '';
      if (row.className !== current) row.className = current;
      if (row.dataset.line === String(line)) continue;
      row.dataset.line = line;
      row.firstChild.textContent = line + 1;
      const text = this.block(Math.floor(line / BLOCK))[line % BLOCK] ?? '';
      row.lastChild.data = text.replace(/\t/g, '→');
      row.title = lineGloss(text);
    }
  }
}
