// The two automata's transitions, as their state tables give them, for the
// state diagrams. An edge's key is "FROM>TO/ACTION", as Run.transition()
// names the step just taken; its label says when it is taken.

export const A0_EDGES = [
  ['LINE', 'GOAL', 'z1', 'x1 name char'],
  ['LINE', 'LINE', '-', 'x3 space'],
  ['GOAL', 'GOAL', 'z1', 'x1 name char'],
  ['GOAL', 'COLON', 'z3', 'x2 colon'],
  ['GOAL', 'GOAL', '-', 'x3 space'],
  ['COLON', 'DEPENDENCY', 'z2', 'x1 name char'],
  ['COLON', 'COLON', '-', 'x3 space'],
  ['DEPENDENCY', 'DEPENDENCY', 'z2', 'x1 name char'],
  ['DEPENDENCY', 'SPACE', 'z4', 'x3 space'],
  ['DEPENDENCY', 'DETERMINE', 'z4', 'x4 line end'],
  ['SPACE', 'DEPENDENCY', 'z2', 'x1 name char'],
  ['SPACE', 'SPACE', '-', 'x3 space'],
  ['DETERMINE', 'GOAL', 'z6', 'x1 name char'],
  ['DETERMINE', 'COMMAND', '-', 'x5 tab'],
  ['DETERMINE', 'DETERMINE', '-', 'x4 line end'],
  ['COMMAND', 'COMMAND', 'z2', 'x1/x2/x3'],
  ['COMMAND', 'DETERMINE', 'z5', 'x4 line end'],
];

export const A1_EDGES = [
  ['START', 'MAIN', 'z1', 'e1'],
  ['MAIN', 'NOT_LEAF', 'z2', 'x1 ¬x3 ¬x6'],
  ['MAIN', 'LEAF', '-', '¬x1 ¬x3 ¬x6'],
  ['MAIN', 'TOPS', '-', 'x3'],
  ['MAIN', 'STOP', '-', '¬x3 x6'],
  ['LEAF', 'MAIN', 'z7', 'x5'],
  ['LEAF', 'MAIN', 'z6', '¬x5'],
  ['NOT_LEAF', 'NOT_LEAF', 'z3', 'x2'],
  ['NOT_LEAF', 'MAIN', '-', '¬x2'],
  ['TOPS', 'MAIN', 'z5', 'x4 or x7'],
  ['TOPS', 'MAIN', 'z4', '¬x4 ¬x7'],
];

// English for the automata, the one table every view glosses from: what each
// state is, what each condition says when it holds and when it does not,
// and what each action does. The Russian texts stay as the program prints them.
export const GLOSS = {
  A0: {
    states: {
      LINE: 'the start, before the first name character',
      GOAL: 'collecting a goal name',
      COLON: "the goal's colon is read; waiting for the first dependency",
      DEPENDENCY: 'collecting a dependency name',
      SPACE: 'a space ended a dependency name; waiting for the next',
      DETERMINE: 'a line end ended a header or a command: a tab starts a command, a name character the next rule',
      COMMAND: 'collecting a command line',
    },
    conditions: {
      x1: ['the character is a name character (A-Z a-z 0-9 . - +)', 'the character is not a name character'],
      x2: ['the character is a colon', 'the character is not a colon'],
      x3: ['the character is a space', 'the character is not a space'],
      x4: ['the character is a line end', 'the character is not a line end'],
      x5: ['the character is a tab', 'the character is not a tab'],
    },
    actions: {
      z1: 'appends the character to the goal name',
      z2: 'appends the character to the item',
      z3: 'registers the goal',
      z4: 'adds the edge goal → item',
      z5: 'adds the item as a command of the goal',
      z6: 'starts a new rule',
    },
  },
  A1: {
    states: {
      START: 'waits for the start event e1',
      MAIN: 'decides what to do with the top of stack 1',
      LEAF: "top 1 has no children: compares its file's time with its parent's",
      NOT_LEAF: "pushes top 2's children onto stack 1, one a step",
      TOPS: 'both tops are the same vertex, its children done: rebuilds it or not',
      STOP: 'both stacks are empty: the walk is over',
    },
    conditions: {
      e1: ['the start event has happened', 'the start event has not happened'],
      x1: ['top 1 has children', 'top 1 has no children'],
      x2: ['top 2 has children not pushed yet', 'top 2 has no children left to push'],
      x3: ['the tops are the same vertex', 'the tops are different vertices'],
      x4: ['top 2 is marked', 'top 2 is not marked'],
      x5: ["top 1's file is newer than top 2's", "top 1's file is not newer than top 2's"],
      x6: ['both stacks are empty', 'a stack is not empty'],
      x7: ["top 2's file is missing", "top 2's file exists"],
    },
    actions: {
      z1: 'pushes the first goal on stack 1',
      z2: 'copies top 1 onto stack 2',
      z3: "pushes top 2's next child on stack 1",
      z4: 'pops both stacks: up to date',
      z5: "writes top 1's commands to todo.bat, pops both, marks the parent",
      z6: 'pops a leaf that is not newer',
      z7: 'pops a newer leaf and marks top 2',
    },
  },
};

// A condition's value in English: "x5: top 1's file is newer than top 2's".
export const conditionGloss = (automaton, name, value) =>
  `${value ? name : `¬${name}`}: ${GLOSS[automaton].conditions[name][value ? 0 : 1]}`;

// A diagram edge's label in English: the guard's conditions and the action.
export function edgeGloss(automaton, [, , action, guard]) {
  const conditions = guard.split(/[\s/]+/).map((c) => {
    const name = c.replace('¬', '');
    return GLOSS[automaton].conditions[name] ? conditionGloss(automaton, name, !c.startsWith('¬')) : null;
  }).filter(Boolean);
  const parts = [conditions.join(/\/| or /.test(guard) ? ', or ' : '; ')];
  if (action !== '-') parts.push(`${action}: ${GLOSS[automaton].actions[action]}`);
  return parts.join('; ');
}

// A line of the trace, decoded, in English; '' for none.
export function lineGloss(line) {
  let m = /^Автомат (A[01]) перешел в состояние (\w+)/.exec(line);
  if (m) return `${m[1]} is now in ${m[2]}: ${GLOSS[m[1]].states[m[2]]}`;
  m = /^Aвтомат (A[01]) закончил работу/.exec(line);
  if (m) return m[1] === 'A0' ? 'A0 has read the whole makefile' : 'A1 has finished the walk';
  m = /^(x[1-5]): / .exec(line);
  if (m) return conditionGloss('A0', m[1], true);
  m = /^(!?)(x[1-7]|e1) ?: /.exec(line);
  if (m) return conditionGloss('A1', m[2], !m[1]);
  return line === '' ? "the line end that A0's x4 line prints" : '';
}

export const edgeKey = ([from, to, action]) => `${from}>${to}/${action}`;
