// The makefile's editor: its bytes shown one character each (control bytes
// as the DOS code page's pictures, a tab as →, however it got in: typed,
// pasted, dropped), the character A0 reads at the step highlighted on the
// layer under the text, with its line, and A0's two token buffers.
import { showBytes, showControls, readBytes, stringBytes } from './cp866.js';
import { $, setText, html } from './dom.js';

export const EDIT_LIMIT = 1 << 18;  // makefile bytes edited, and drawn with the cursor
const BUFFER_SHOWN = 80;            // bytes of a token buffer shown, its last
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
      // The text shown is the layer under the editor: it follows every key.
      $('highlight').textContent = `${editor.value}\n`;
      clearTimeout(timer);
      timer = setTimeout(() => onEdit(readBytes(editor.value)), 250);
    });
    editor.addEventListener('scroll', () => { $('highlight').scrollTop = editor.scrollTop; });
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
    const shown = (from, to) => showBytes(text.subarray(from, to));
    const line = html('span', undefined, 'line');
    line.append(shown(lineStart, r.offset), html('mark', shown(r.offset, r.offset + 1)), shown(r.offset + 1, lineEnd));
    pre.replaceChildren(shown(0, lineStart), line, `${shown(lineEnd, text.length)}\n`);
    const mk = pre.querySelector('mark');
    const editor = $('editor');
    const top = mk.offsetTop - editor.clientHeight / 2;
    if (mk.offsetTop < editor.scrollTop || mk.offsetTop > editor.scrollTop + editor.clientHeight - 20) editor.scrollTop = Math.max(0, top);
    pre.scrollTop = editor.scrollTop;
  }
}
