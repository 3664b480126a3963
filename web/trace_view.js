// The trace of the whole run in a scrolled window, over millions of lines:
// only the visible lines exist, made again from the run in blocks, and a
// tall trace is scrolled on a scale (browsers cap an element's height).

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
    scroller.addEventListener('scroll', () => {
      if (!this.quiet) this.follow = false;
      this.quiet = false;
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
  // reader has scrolled away.
  update() {
    const total = this.lines();
    const height = Math.min(total * LINE, MAX_HEIGHT);
    this.scale = height > 0 ? (total * LINE) / height : 1;
    this.spacer.style.height = `${height}px`;
    this.current = this.run.currentLines();
    if (this.follow) {
      const top = Math.max(0, this.current[0] - 3) * LINE / this.scale;
      if (Math.abs(this.scroller.scrollTop - top) > 1) {
        this.quiet = true;
        this.scroller.scrollTop = top;
      }
    }
    this.draw();
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
    const first = Math.min(Math.floor((this.scroller.scrollTop * this.scale) / LINE), Math.max(0, total - 1));
    const count = Math.min(Math.ceil(this.scroller.clientHeight / LINE) + 1, total - first);
    this.window.style.top = `${this.scroller.scrollTop}px`;
    const rows = [];
    for (let line = first; line < first + count; ++line) {
      const text = this.block(Math.floor(line / BLOCK))[line % BLOCK] ?? '';
      const row = document.createElement('div');
      row.dataset.line = line;
      if (line >= this.current[0] && line < this.current[1]) row.className = 'current';
      const number = row.appendChild(document.createElement('span'));
      number.className = 'n';
      number.textContent = line + 1;
      row.append(text.replace(/\t/g, '→'));
      rows.push(row);
    }
    this.window.replaceChildren(...rows);
  }
}
