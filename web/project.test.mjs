// Makefiles like a C project's, for the page's tests and figures: a program
// linked from libraries of objects, each object made from its source and
// about four headers that many objects share (a few, config.h among them,
// nearly all), some headers generated from a template; about 2.6 edges a
// vertex, as the makefiles of real projects have. Deterministic for a size.
//   project(vertices) -> {makefile, times: [[name, seconds]], vertices, edges}
export function project(vertices, { longName = false } = {}) {
  let seed = vertices;
  const random = () => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
  };
  // vertices ~ 1 + libs + 2 objects + headers + generated templates
  const objects = Math.max(2, Math.round(vertices / 2.36));
  const libs = Math.max(1, Math.round(objects / 24));
  const headers = Math.max(1, vertices - 1 - libs - 2 * objects - Math.round(objects * 0.25 * 0.1));
  const word = (i) => ['net', 'io', 'util', 'parse', 'core', 'db', 'ui', 'auth', 'cache', 'log'][i % 10];
  const header = (h) => (h === 0 ? 'config.h' : `${word(h)}-${word(h >> 2)}${h}.h`);
  const generated = (h) => h % 10 === 3;
  const lines = [`app: ${Array.from({ length: libs }, (_, l) => `lib${word(l)}${l}.a`).join(' ')}`, '\tlink -o app'];
  const objectName = (o) => `${word(o)}${o}${longName && o === 1 ? '-with-a-name-far-longer-than-a-column-is-wide' : ''}.obj`;
  let edges = libs;
  for (let l = 0; l < libs; ++l) {
    const mine = Array.from({ length: objects }, (_, o) => o).filter((o) => o % libs === l);
    lines.push(`lib${word(l)}${l}.a: ${mine.map(objectName).join(' ')}`, `\tar rcs lib${word(l)}${l}.a`);
    edges += mine.length;
  }
  for (let o = 0; o < objects; ++o) {
    // Popularity falls off as a power: the first headers are in almost every object.
    const used = new Set([0]);
    const count = 1 + Math.floor(random() * 7);
    while (used.size < Math.min(count, headers)) used.add(Math.floor(headers * random() ** 2.2));
    const deps = [`${objectName(o).slice(0, -4)}.c`, ...[...used].map(header)];
    lines.push(`${objectName(o)}: ${deps.join(' ')}`, `\tcc -c ${deps[0]}`);
    edges += deps.length;
  }
  for (let h = 0; h < headers; ++h) {
    if (!generated(h)) continue;
    lines.push(`${header(h)}: ${header(h)}.in`, `\tgen ${header(h)}`);
    edges += 1;
  }
  const makefile = `${lines.join('\n')}\n`;
  // Every file exists, older than the sources; some sources changed since.
  const times = [];
  const names = new Set(lines.filter((l) => !l.startsWith('\t')).flatMap((l) => l.split(/:? /)));
  for (const name of names) times.push([name, name.endsWith('.c') && random() < 0.1 ? 2000 : 1000 + Math.floor(random() * 500)]);
  return { makefile, times, vertices: names.size, edges };
}
