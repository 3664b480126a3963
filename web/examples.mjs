// The project's examples for the page's menu, read when the page is built:
// each directory of examples/ holds a makefile (*.mk) and `files`, lines of
// "NAME DAY CLOCK" (UTC) for the files that exist, after comment lines that
// say what the example shows.
import fs from 'node:fs';
import path from 'node:path';

// [{name, file, makefile (bytes as a string), times: [[name, seconds]], about}]
export function examples(dir) {
  const found = [];
  for (const name of fs.readdirSync(dir).sort()) {
    const folder = path.join(dir, name);
    if (!fs.existsSync(path.join(folder, 'files'))) continue;
    const file = fs.readdirSync(folder).find((f) => f.endsWith('.mk'));
    const times = [];
    const about = [];
    for (const line of fs.readFileSync(path.join(folder, 'files'), 'utf8').split('\n')) {
      if (line.startsWith('#')) about.push(line.slice(1).trim());
      const [n, day, clock] = line.trim().split(/\s+/);
      if (n && !n.startsWith('#')) times.push([n, Date.parse(`${day}T${clock}Z`) / 1000]);
    }
    found.push({ name, file, makefile: fs.readFileSync(path.join(folder, file), 'latin1'), times, about: about.join(' ') });
  }
  return found;
}
