// The timeline under the step slider: the whole run from step 0 to its end,
// reading shaded, the step where reading ends and planning starts, how many
// commands are written (green, above) and marks set (violet, below) along the
// walk, and a refusal (red). A walk of millions of steps is a density, one
// bar per bucket of steps, from the session's index. Hovering says what lies
// under the pointer; a click goes to the first event there.

const COLORS = { reading: '#e7f5ff', walk: '#f8f9fa', readEnd: '#1c7ed6', commands: '#2f9e44', marks: '#7048e8', refusal: '#e03131' };

export class Timeline {
  // `onGo(x)`: a click at a fraction `x` of the width, with the bucket there
  // (or null); the page decides where that leads.
  constructor(canvas, tip, cursor, onGo) {
    Object.assign(this, { canvas, tip, cursor, onGo, total: 0, data: null });
    new ResizeObserver(() => this.draw()).observe(canvas);
    canvas.addEventListener('mousemove', (e) => this.hover(e));
    canvas.addEventListener('mouseleave', () => { tip.hidden = true; });
    canvas.addEventListener('click', (e) => {
      const x = this.fraction(e);
      this.onGo(x, this.bucketAt(this.stepAt(x)));
    });
  }

  // A new run: its phases at once, its events once tallied (set()).
  reset(total, readEnd, refusal) {
    Object.assign(this, { total, readEnd, refusal, data: null });
    this.draw();
  }
  set(data) {
    this.data = data;
    this.draw();
  }

  fraction(e) {
    const box = this.canvas.getBoundingClientRect();
    return Math.min(1, Math.max(0, (e.clientX - box.left) / box.width));
  }
  stepAt(x) { return Math.round(x * this.total); }
  bucketAt(step) {
    const buckets = this.data?.buckets ?? [];
    let low = 0;
    let high = buckets.length - 1;
    while (low <= high) {
      const mid = (low + high) >> 1;
      if (buckets[mid].last < step) low = mid + 1;
      else if (buckets[mid].first > step) high = mid - 1;
      else return buckets[mid];
    }
    return null;
  }

  // The current step's marker, moved without drawing the canvas again.
  at(step) {
    const left = `${(this.total ? step / this.total : 0) * 100}%`;
    if (this.cursor.style.left !== left) this.cursor.style.left = left;
  }

  draw() {
    const c = this.canvas;
    const ratio = window.devicePixelRatio || 1;
    c.width = Math.round(c.clientWidth * ratio);
    c.height = Math.round(c.clientHeight * ratio);
    const g = c.getContext('2d');
    const [w, h] = [c.width, c.height];
    const x = (step) => (this.total ? (step / this.total) * w : 0);
    g.fillStyle = COLORS.walk;
    g.fillRect(0, 0, w, h);
    g.fillStyle = COLORS.reading;
    g.fillRect(0, 0, x(this.readEnd), h);
    g.fillStyle = COLORS.readEnd;
    g.fillRect(x(this.readEnd) - ratio, 0, 2 * ratio, h);
    if (this.refusal) {
      g.fillStyle = COLORS.refusal;
      g.fillRect(Math.min(x(this.refusal) - 3 * ratio, w - 3 * ratio), 0, 3 * ratio, h);
    }
    const buckets = this.data?.buckets ?? [];
    const most = Math.max(1, ...buckets.map((b) => Math.max(b.commands, b.marks)));
    // Heights by the logarithm: one event shows, and a dense stretch stands out.
    const height = (n) => (n ? (h / 2 - ratio) * (0.3 + (0.7 * Math.log1p(n)) / Math.log1p(most)) : 0);
    for (const b of buckets) {
      const left = x(b.first - 1);
      const width = Math.max(ratio, x(b.last) - left);
      g.fillStyle = COLORS.commands;
      g.fillRect(left, h / 2 - height(b.commands), width, height(b.commands));
      g.fillStyle = COLORS.marks;
      g.fillRect(left, h / 2, width, height(b.marks));
    }
  }

  // What lies under the pointer, in words.
  describe(step) {
    if (step === 0) return 'step 0: nothing has happened yet';
    if (step < this.readEnd) return `step ${step.toLocaleString()}: A0 reads character ${step.toLocaleString()} of the makefile`;
    if (step === this.readEnd) return `step ${step.toLocaleString()}: reading ends; ${this.refusal ? 'the program refuses the graph next' : 'planning starts'}`;
    if (this.refusal) return `step ${this.refusal.toLocaleString()}: the program refuses the graph and stops`;
    const b = this.bucketAt(step);
    if (!b) return `step ${step.toLocaleString()}: A1 walks (tallying the walk…)`;
    const steps = b.first === b.last ? `step ${b.first.toLocaleString()}` : `steps ${b.first.toLocaleString()}–${b.last.toLocaleString()}`;
    const plural = (n, what) => `${n.toLocaleString()} ${what}${n === 1 ? '' : 's'}`;
    return `${steps}: ${plural(b.commands, 'line')} of todo.bat written, ${plural(b.marks, 'mark')} set${b.commands || b.marks ? '; click for the first' : ''}`;
  }

  hover(e) {
    const x = this.fraction(e);
    this.tip.textContent = this.describe(this.stepAt(x));
    this.tip.hidden = false;
    this.tip.style.left = `${Math.min(x * 100, 70)}%`;
  }
}
