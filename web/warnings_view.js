// The warnings the program prints on standard error for the makefile, beside
// it: each with a link to its place in the makefile and one to the step that
// met it; and, on the editor, the lines they speak of and the bytes A0
// dropped, for the part of the makefile shown.
import { EDIT_LIMIT } from './editor_view.js';
import { $, setText, html } from './dom.js';

const SHOWN = 1000;  // warnings listed; the line after them counts the rest
const BATCH = 100;   // items made at a time, the next as the list scrolls to them
const PREFIX = 'planner: warning: ';

export class WarningsView {
  // `editor`: the EditorView to mark and to select in; `onStep(step)`: a
  // warning's step link was clicked.
  constructor(editor, onStep) {
    this.editor = editor;
    this.onStep = onStep;
    this.open = true;
    $('warnings-toggle').onclick = () => {
      this.open = !this.open;
      $('warnings-toggle').setAttribute('aria-expanded', String(this.open));
      this.show();
    };
    $('warnings').addEventListener('scroll', () => {
      const list = $('warnings');
      if (list.scrollTop + list.clientHeight > list.scrollHeight - 200) this.grow();
    });
  }

  show() { $('warnings').hidden = !this.open || !$('warnings').childElementCount; }

  // A new run, of the makefile named `name`: its warnings, and its marks.
  setRun(run, name) {
    this.run = run;
    this.name = name;
    this.dropped = run.dropped(EDIT_LIMIT);
    this.refresh();
  }

  // Again, as the walk's warnings come once the run is prepared.
  refresh() {
    const { list, more } = this.run.warnings(this.name, SHOWN);
    setText('warnings-count', list.length ? `${list.length.toLocaleString()}${more ? '+' : ''}` : 'none');
    // The legend of the editor's marks, where there are any.
    $('warnings-legend').hidden = !list.length && !this.dropped.includes(1);
    Object.assign(this, { list, more, made: 0 });
    $('warnings').replaceChildren();
    this.grow();
    this.show();
    const stopped = this.editor.mark(list.map((w) => [w.line, w.lastLine]), this.dropped);
    $('warnings-count').title = stopped ? `marked up to line ${stopped.toLocaleString()}` : '';
  }

  // The next batch of items, and after the last the line that counts the rest.
  grow() {
    if (this.made >= this.list.length) return;
    const items = this.list.slice(this.made, this.made + BATCH).map((w) => this.item(w));
    this.made += items.length;
    if (this.made === this.list.length && this.more) items.push(html('li', this.more.slice(PREFIX.length).trim(), 'more'));
    $('warnings').append(...items);
  }

  // The step's link, then "FILE:LINE:COLUMN: what it says" with
  // FILE:LINE:COLUMN a link to the place (text alone beyond the part shown).
  item(w) {
    const said = w.text.trim().slice(PREFIX.length);
    const li = html('li');
    const body = html('span', undefined, 'text');
    const place = w.line > 0 ? said.indexOf(`:${w.line}:${w.column}: `) : -1;
    if (place < 0) body.append(said);
    else {
      const at = said.slice(0, place + `:${w.line}:${w.column}`.length);
      const shown = w.offset < Math.min(this.editor.makefile.length, EDIT_LIMIT);
      body.append(shown ? this.link(at, `select line ${w.line}, column ${w.column} in the makefile`, () => this.editor.select(w.offset)) : at,
        said.slice(at.length));
    }
    const step = w.step > 0 ? this.link(`step ${w.step.toLocaleString()}`, 'go to the step that read it', () => this.onStep(w.step))
      : w.vertex >= 0 ? this.link('in the walk', 'go to the first step where the walk made it active', () => {
        const found = this.run.metAt(w);
        if (found !== null) this.onStep(found);
      }) : null;
    if (step) li.append(step, ' ');
    li.append(body);
    return li;
  }

  link(text, title, onClick) {
    const button = html('button', text, 'link');
    button.title = title;
    button.onclick = onClick;
    return button;
  }
}
