// The files: every name of the graph, whether its file exists and its time,
// each editable; or the times of them all from a listing pasted from a shell.
import { decode, encode, byteString } from './cp866.js';
import { parseListing } from './listing.js';
import { $, html } from './dom.js';

const NAMES_SHOWN = 500;  // rows of the table


// Fills the table from `run`'s graph; `set(name, seconds or null)` changes
// one time (null: missing).
export function fillTimes(run, times, set) {
  const n = Math.min(run.vertexCount(), NAMES_SHOWN);
  const names = Array.from({ length: n }, (_, i) => run.name(i));
  const body = $('times').tBodies[0];
  body.replaceChildren();
  $('names').replaceChildren(...names.map((name) => new Option(decode(name))));
  for (const name of names) {
    const row = body.insertRow();
    row.insertCell().textContent = decode(name);
    const exists = html('input');
    exists.type = 'checkbox';
    exists.checked = times.has(name);
    exists.title = 'the file exists';
    row.insertCell().append(exists);
    const time = html('input');
    time.type = 'number';
    time.value = times.get(name) ?? '';
    time.disabled = !exists.checked;
    row.insertCell().append(time);
    const other = html('input');
    other.setAttribute('list', 'names');
    other.placeholder = 'name';
    other.size = 8;
    const newer = html('button', 'newer');
    const older = html('button', 'older');
    row.insertCell().append(newer, older, ' than ', other);
    exists.onchange = () => set(name, exists.checked ? Number(time.value || 0) : null);
    time.onchange = () => set(name, Number(time.value || 0));
    const relative = (d) => set(name, (times.get(byteString(encode(other.value))) ?? 0) + d);
    newer.onclick = () => relative(1);
    older.onclick = () => relative(-1);
  }
  $('times-note').textContent =
    run.vertexCount() > n ? `the first ${n} of ${run.vertexCount()} names` : '';
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
