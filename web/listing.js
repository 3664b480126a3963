// File times from a listing pasted from a shell in the makefile's directory:
//   stat -c '%Y %n' *             1767261600 main.c
//   find . -printf '%T@ %p\n'     1767261600.2500000000 ./main.c
// A time is the whole seconds the program reads, taken from the digits
// before the point: a double would round 1767261600.9999999999 up. Before
// 1970 too, as GNU find prints a time there as its floored seconds and then
// the nanoseconds after them: half a second before 1970 is "-1.5000000000",
// -1 s. Only a plain decimal can start "-0." and a nonzero fraction, and that
// is floored to -1. A leading ./ is dropped. A name is bytes: the pasted text
// is UTF-8, and its Cyrillic letters become the CP866 bytes a makefile holds.
import { encode, byteString } from './cp866.js';

// {entries: [{line, name, seconds}], unread: [lines that are not TIME NAME]}
export function parseListing(text) {
  const entries = [];
  const unread = [];
  for (const raw of text.split('\n')) {
    const line = raw.replace(/\r$/, '');
    if (!line.trim()) continue;
    const m = /^\s*(-?)(\d+)(?:\.(\d*))? (.+)$/.exec(line);
    if (!m) {
      unread.push(line);
      continue;
    }
    let seconds = BigInt(m[2]);
    if (m[1]) seconds = seconds === 0n && /[1-9]/.test(m[3] ?? '') ? -1n : -seconds;
    const name = m[4].startsWith('./') ? m[4].slice(2) : m[4];
    entries.push({ line, name: byteString(encode(name)), seconds: Number(seconds) });
  }
  return { entries, unread };
}
