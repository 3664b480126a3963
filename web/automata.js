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

// What each condition tests, for the step's explanation.
export const CONDITIONS = {
  A0: { x1: 'a name character', x2: 'a colon', x3: 'a space', x4: 'a line end', x5: 'a tab' },
  A1: {
    e1: 'the start event',
    x1: 'top 1 has children',
    x2: 'top 2 has children not yet pushed',
    x3: 'the tops are the same vertex',
    x4: 'top 2 is marked',
    x5: "top 1's file is newer than top 2's",
    x6: 'both stacks are empty',
    x7: "top 2's file is missing",
  },
};

// What each action does, for the step's explanation.
export const ACTIONS = {
  A0: {
    z1: 'appends the character to the goal name',
    z2: 'appends the character to the item',
    z3: 'registers the goal',
    z4: 'adds the edge goal → item',
    z5: 'adds the item as a command of the goal',
    z6: 'starts a new rule',
  },
  A1: {
    z1: 'pushes the first goal on stack 1',
    z2: 'copies top 1 onto stack 2',
    z3: "pushes top 2's next child on stack 1",
    z4: 'pops both stacks: up to date',
    z5: "writes top 1's commands to todo.bat, pops both, marks the parent",
    z6: 'pops a leaf that is not newer',
    z7: 'pops a newer leaf and marks top 2',
  },
};

export const edgeKey = ([from, to, action]) => `${from}>${to}/${action}`;
