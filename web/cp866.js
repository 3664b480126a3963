// Code page 866 both ways, for the trace, todo.bat and the makefile.
//
// The upper half comes from the platform's TextDecoder('ibm866'). The lower
// half is ASCII, taken as it is: Node's ICU decoder swaps 0x1A, 0x1C and 0x7F
// (IBM's control-code order), which would hide the 0x1A that ends a makefile.

const decoded = new TextDecoder('ibm866').decode(Uint8Array.from({ length: 128 }, (_, i) => 128 + i));
const upper = Array.from(decoded);
const byCode = new Map(upper.map((c, i) => [c.codePointAt(0), 128 + i]));

// Bytes (a Uint8Array, or a string whose char codes are bytes) to text; CR LF
// to LF when `lf` is set, as the program's output reads on a UTF-8 terminal.
export function decode(bytes, { lf = false } = {}) {
  let text = '';
  const chunk = [];
  const at = typeof bytes === 'string' ? (i) => bytes.charCodeAt(i) : (i) => bytes[i];
  for (let i = 0; i < bytes.length; ++i) {
    const b = at(i);
    if (lf && b === 13 && at(i + 1) === 10) continue;
    chunk.push(b < 128 ? String.fromCharCode(b) : upper[b - 128]);
    if (chunk.length === 8192) {
      text += chunk.join('');
      chunk.length = 0;
    }
  }
  return text + chunk.join('');
}

// Text to CP866 bytes; a character the code page lacks becomes '?'.
export function encode(text) {
  const out = [];
  for (const c of text) {
    const code = c.codePointAt(0);
    out.push(code < 128 ? code : (byCode.get(code) ?? 63));
  }
  return Uint8Array.from(out);
}

// The makefile as the editor shows it: every byte visible, one character
// each, so that an edit maps back exactly. Control bytes but the line feed
// take the DOS code page's own pictures (0x01 ☺ ... 0x1F ▼, 0x7F ⌂), except
// those a makefile holds: tab →, CR ↵, NUL ∅ and 0x1A, which ends the input, ↯.
// Fonts with the DOS set (WGL4: DejaVu, Consolas, Courier New) have them all.
const PICTURES = Array.from('∅☺☻♥♦♣♠•◘→\n♂♀↵♫☼►◄↕‼¶§▬↨↑↓↯←∟↔▲▼');
const pictured = new Map(PICTURES.map((c, b) => [c, b]).filter(([, b]) => b !== 10));
pictured.set('⌂', 127);

export function showBytes(bytes) {
  return showControls(decode(bytes));
}

// Text with its control characters, but the line feed, as their pictures:
// what the editor holds however a character got in (typed, pasted, dropped).
export function showControls(text) {
  return text.replace(/[\x00-\x09\x0b-\x1f\x7f]/g, (c) => (c === '\x7f' ? '⌂' : PICTURES[c.charCodeAt(0)]));
}

// The editor's text back to the makefile's bytes.
export function readBytes(text) {
  let plain = '';
  for (const c of text) plain += pictured.has(c) ? String.fromCharCode(pictured.get(c)) : c;
  return encode(plain);
}

// A JavaScript string whose char codes are the bytes, as the session takes
// and gives them, and back.
export function byteString(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return s;
}
export function stringBytes(s) {
  return Uint8Array.from(s, (c) => c.charCodeAt(0));
}
