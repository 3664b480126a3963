// The files: every name of the graph, whether its file exists and its time,
// each editable, a filter over all the names, and one name set a second
// newer or older than another; or the times of them all from a listing
// pasted from a shell.
import { decode, encode, byteString } from './cp866.js';
import { parseListing } from './listing.js';
import { $, html, setText } from './dom.js';

const ROWS_SHOWN = 200;  // rows of the table, of the names the filter leaves
// Times are whole seconds within 64 bits, as the program reads them; the
// session takes them as doubles held within ±9.2e18, and so does the page.
const MOST = 9200000000000000000n;

// A time typed: whole seconds, of any size, held within 64 bits; null for
// text that is not a whole number.
export function parseTime(text) {
  if (!/^\s*[-+]?\d+\s*$/.test(text)) return null;
  let t = BigInt(text.trim());
  if (t > MOST) t = MOST;
  if (t < -MOST) t = -MOST;
  return Number(t);
}
// A time shown whole: every digit, never an exponent.
export const showTime = (t) => BigInt(Math.trunc(t)).toString();

export class FilesView {
  // `set(name, seconds or null)` changes one time (null: missing).
  constructor(set) {
    this.set = set;
    this.names = [];
    $('times-filter').addEventListener('input', () => this.fill());
    const relative = (d) => {
      const [name, other] = ['relative-name', 'relative-other'].map((id) => byteString(encode($(id).value)));
      const missing = [name, other].find((n) => this.run.vertexOf(n) < 0);
      if (missing !== undefined) return setText('relative-note', `no vertex is named ${decode(missing) || '(empty)'}`);
      setText('relative-note', '');
      return this.set(name, (this.times.get(other) ?? 0) + d);
    };
    $('relative-newer').onclick = () => relative(1);
    $('relative-older').onclick = () => relative(-1);
  }

  // The names of `run`'s graph with `times` (a Map of name to seconds).
  setRun(run, times) {
    this.run = run;
    this.times = times;
    const n = run.vertexCount();
    this.names = Array.from({ length: n }, (_, i) => run.name(i));
    this.decoded = this.names.map((name) => decode(name));
    // One list for every field that takes a name: the whole graph's.
    $('names').replaceChildren(...this.decoded.map((name) => new Option(name)));
    this.fill();
  }

  // The rows the filter leaves, up to ROWS_SHOWN of them.
  fill() {
    const filter = $('times-filter').value.toLowerCase();
    const rows = [];
    let matching = 0;
    this.decoded.forEach((name, i) => {
      if (filter && !name.toLowerCase().includes(filter)) return;
      if (++matching <= ROWS_SHOWN) rows.push(i);
    });
    // Wide enough for the longest time shown, and never narrower than a date's.
    const digits = Math.max(11, ...rows.map((i) => (this.times.has(this.names[i]) ? showTime(this.times.get(this.names[i])).length + 1 : 0)));
    $('times').style.setProperty('--time-width', `${digits + 1}ch`);
    $('times').tBodies[0].replaceChildren(...rows.map((i) => this.row(i)));
    const all = this.names.length;
    setText('times-note', matching > rows.length ? `${rows.length} of ${matching.toLocaleString()} ${filter ? 'matching ' : ''}names shown: filter for the others`
      : filter ? `${matching.toLocaleString()} of ${all.toLocaleString()} names match` : '');
  }

  row(i) {
    const [name, shown] = [this.names[i], this.decoded[i]];
    const row = html('tr');
    const cell = row.insertCell();
    cell.textContent = shown;
    cell.title = shown;
    const exists = html('input');
    exists.type = 'checkbox';
    exists.checked = this.times.has(name);
    exists.setAttribute('aria-label', `${shown} exists`);
    row.insertCell().append(exists);
    const time = html('input');
    time.inputMode = 'numeric';
    time.value = this.times.has(name) ? showTime(this.times.get(name)) : '';
    time.disabled = !exists.checked;
    time.setAttribute('aria-label', `time of ${shown}, in seconds`);
    row.insertCell().append(time);
    exists.onchange = () => this.set(name, exists.checked ? (parseTime(time.value) ?? 0) : null);
    time.onchange = () => {
      const t = parseTime(time.value);
      time.setAttribute('aria-invalid', String(t === null));
      if (t === null) return setText('relative-note', `${shown}: a time is whole seconds, such as 1767261600`);
      return this.set(name, t);
    };
    return row;
  }
}

// The times a pasted listing gives the names of `run`'s graph: a name with
// no line is a missing file. Returns {times, report}, the report saying
// which lines matched nothing.
export function timesFromListing(run, text) {
  const { entries, unread } = parseListing(text);
  const times = new Map();
  const unmatched = [];
  for (const e of entries) {
    if (run.vertexOf(e.name) >= 0) times.set(e.name, e.seconds);
    else unmatched.push(e.line);
  }
  const missing = run.vertexCount() - times.size;
  const list = (lines) => `${lines.slice(0, 8).join(', ')}${lines.length > 8 ? `, and ${lines.length - 8} more` : ''}`;
  const report = [`${times.size.toLocaleString()} of the graph's ${run.vertexCount().toLocaleString()} names have a time`];
  if (missing) report.push(`${missing.toLocaleString()} with no line ${missing === 1 ? 'is a missing file' : 'are missing files'}`);
  if (unmatched.length) report.push(`${unmatched.length} line${unmatched.length === 1 ? '' : 's'} matched no name: ${list(unmatched)}`);
  if (unread.length) report.push(`${unread.length} line${unread.length === 1 ? ' is' : 's are'} not TIME NAME: ${list(unread)}`);
  return { times, report: `${report.join('; ')}.` };
}
