// The makefile's editor: its bytes shown one character each (control bytes
// as the DOS code page's pictures, a tab as →, however it got in: typed,
// pasted, dropped), the character A0 reads at the step highlighted on the
// layer under the text, with its line, and A0's two token buffers. Under that
// layer another marks, once a run, the lines that warnings speak of and the
// bytes A0 dropped.
import { showBytes, showControls, readBytes, stringBytes } from './cp866.js';
import { $, setText, html } from './dom.js';

export const EDIT_LIMIT = 1 << 18;  // makefile bytes edited, and drawn with the cursor
const BUFFER_SHOWN = 80;            // bytes of a token buffer shown, its last
// Marks drawn at the most, so that a makefile that drops bytes on every
// line is marked quickly, in its first part.
const MARKS_MOST = 2000;
// Characters the editor never holds as they are: all control characters
// but the line feed, which take their pictures.
const CONTROL = /[\x00-\x09\x0b-\x1f\x7f]/;

export class EditorView {
  // `onEdit(bytes)`: the makefile was edited (called once typing pauses).
  constructor(onEdit) {
    const editor = $('editor');
    let timer = null;
    editor.addEventListener('input', () => {
      if (CONTROL.test(editor.value)) {
        const [start, end] = [editor.selectionStart, editor.selectionEnd];
        // One character for one: the caret stays where it was.
        editor.value = showControls(editor.value);
        editor.setSelectionRange(start, end);
      }
      // The text shown is the layer under the editor: it follows every key;
      // the marks wait for the next run.
      $('highlight').textContent = `${editor.value}\n`;
      $('marks').textContent = `${editor.value}\n`;
      clearTimeout(timer);
      timer = setTimeout(() => {
        this.makefile = readBytes(editor.value);
        onEdit(this.makefile);
      }, 250);
    });
    editor.addEventListener('scroll', () => this.follow());
    // Tab types a tab; after Escape it moves on, as Shift+Tab always moves
    // back, so that the keyboard is never caught here.
    let leaving = false;
    editor.addEventListener('keydown', (e) => {
      if (e.key === 'Escape') leaving = true;
      if (e.key !== 'Tab' || e.shiftKey || e.ctrlKey || e.altKey || e.metaKey) return;
      if (leaving) return;
      e.preventDefault();
      document.execCommand('insertText', false, '→');
    });
    editor.addEventListener('keyup', (e) => {
      if (e.key !== 'Escape' && e.key !== 'Shift') leaving = false;
    });
    editor.addEventListener('blur', () => { leaving = false; });
  }

  // A larger makefile is run whole but shown only in part, and not edited.
  show(makefile) {
    this.makefile = makefile;
    const whole = makefile.length <= EDIT_LIMIT;
    $('editor').readOnly = !whole;
    $('editor').value = showBytes(whole ? makefile : makefile.subarray(0, EDIT_LIMIT));
    $('makefile-note').textContent = whole ? ''
      : `${makefile.length.toLocaleString()} bytes: the first ${EDIT_LIMIT.toLocaleString()} shown, not editable`;
  }

  // The layers under the editor scroll with it, both ways.
  follow() {
    const editor = $('editor');
    for (const id of ['highlight', 'marks']) {
      $(id).scrollTop = editor.scrollTop;
      $(id).scrollLeft = editor.scrollLeft;
    }
  }

  // Puts the editor's selection on the byte at `offset` and scrolls its line
  // to the middle; false when that byte is not shown.
  select(offset) {
    const editor = $('editor');
    if (!(offset < editor.value.length)) return false;
    editor.focus({ preventScroll: true });
    editor.setSelectionRange(offset, offset + 1);
    let line = 0;
    for (let i = editor.value.indexOf('\n'); i >= 0 && i < offset; i = editor.value.indexOf('\n', i + 1)) ++line;
    const height = parseFloat(getComputedStyle(editor).lineHeight);
    editor.scrollTop = Math.max(0, line * height - editor.clientHeight / 2);
    this.follow();
    return true;
  }

  // The marks of a run on the part shown: `lines`, [first, last] line numbers
  // that warnings speak of, as bands; `dropped`, a byte for each of the
  // file's, 1 where A0 dropped it, wavy-underlined (a line end as ⏎).
  // Returns the line where the marks stop short, or 0.
  mark(lines, dropped) {
    const text = this.makefile.subarray(0, EDIT_LIMIT);
    const bands = [];
    for (const [a, b] of lines.filter(([a]) => a > 0).sort((x, y) => x[0] - y[0])) {
      const last = bands.at(-1);
      if (last && a <= last[1] + 1) last[1] = Math.max(last[1], b);
      else bands.push([a, b]);
    }
    const top = document.createDocumentFragment();
    const shown = (from, to) => showBytes(text.subarray(from, to));
    let [parent, band, plain, spans, line, start] = [top, 0, 0, 0, 1, 0];
    // Plain text waits, so that unmarked lines go in as one text.
    const flush = (to) => {
      if (to > plain) parent.append(shown(plain, to));
      plain = to;
    };
    for (; start < text.length && spans < MARKS_MOST; ++line) {
      const lf = text.indexOf(10, start);
      const end = lf < 0 ? text.length : lf + 1;
      while (band < bands.length && bands[band][1] < line) ++band;
      const warned = band < bands.length && bands[band][0] <= line;
      if (warned !== (parent !== top)) {
        flush(start);
        parent = warned ? top.appendChild(html('span', undefined, 'warned')) : top;
        ++spans;
      }
      for (let i = start; i < end;) {
        const d = dropped[i] === 1;
        let j = i + 1;
        while (j < end && (dropped[j] === 1) === d) ++j;
        if (d) {
          flush(i);
          const eol = text[j - 1] === 10;
          if (j - i > 1 || !eol) parent.append(html('span', shown(i, eol ? j - 1 : j), 'dropped'));
          if (eol) parent.append(html('span', '\n', 'dropped eol'));
          plain = j;
          ++spans;
        }
        i = j;
      }
      start = end;
    }
    flush(start);
    parent = top;
    flush(text.length);
    top.append('\n');
    $('marks').replaceChildren(top);
    this.follow();
    return start < text.length ? line : 0;
  }

  render(run) {
    const r = run.reading();
    const b = run.buffers(BUFFER_SHOWN);
    const buffer = (text, length) => `${length > text.length ? `… ${length.toLocaleString()} bytes, ending ` : ''}${showBytes(stringBytes(text))}`;
    setText('goal-buffer', buffer(b.goal, b.goalLength));
    setText('item-buffer', buffer(b.item, b.itemLength));
    setText('position', r ? `line ${r.line}, column ${r.column}, byte ${r.offset}` : '');
    const pre = $('highlight');
    if (!r || this.makefile.length > EDIT_LIMIT) {
      if (pre.dataset.at !== 'none') pre.textContent = `${$('editor').value}\n`;
      pre.dataset.at = 'none';
      return;
    }
    pre.dataset.at = r.offset;
    const text = this.makefile;
    const lineStart = r.offset > 0 ? text.lastIndexOf(10, r.offset - 1) + 1 : 0;
    let lineEnd = text.indexOf(10, r.offset);
    if (lineEnd < 0) lineEnd = text.length;
    // A line feed read is its line's last character, shown once.
    lineEnd = Math.max(lineEnd, r.offset + 1);
    const shown = (from, to) => showBytes(text.subarray(from, to));
    const line = html('span', undefined, 'line');
    line.append(shown(lineStart, r.offset), html('mark', shown(r.offset, r.offset + 1)), shown(r.offset + 1, lineEnd));
    pre.replaceChildren(shown(0, lineStart), line, `${shown(lineEnd, text.length)}\n`);
    const mk = pre.querySelector('mark');
    const editor = $('editor');
    const top = mk.offsetTop - editor.clientHeight / 2;
    if (mk.offsetTop < editor.scrollTop || mk.offsetTop > editor.scrollTop + editor.clientHeight - 20) editor.scrollTop = Math.max(0, top);
    this.follow();
  }
}
