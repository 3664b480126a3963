// Builds the page into a folder: index.html, page.css, planner_session.js
// (the session, WebAssembly embedded) and page.js, one classic script bundled
// by esbuild, so that the page opens from file:// with no server.
//   node web/build.mjs PLANNER_SESSION_JS OUT_DIR
// PLANNER_PAGE_DEBUG=1 leaves page.js unminified, for a profiler.
import { build } from 'esbuild';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { diagrams } from './diagrams.mjs';
import { examples } from './examples.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const [session, out] = process.argv.slice(2);
// The automata's tables, from the session module itself.
const TABLES = (await createRequire(import.meta.url)(path.resolve(session))()).automata();
fs.mkdirSync(out, { recursive: true });
const classic = { bundle: true, format: 'iife', minify: !process.env.PLANNER_PAGE_DEBUG, target: 'es2020', legalComments: 'none' };
// The layout's worker, bundled first: the page starts it from its text.
const worker = await build({ ...classic, entryPoints: [path.join(here, 'layout_worker.js')], write: false });
await build({
  ...classic,
  entryPoints: [path.join(here, 'page.js')],
  outfile: path.join(out, 'page.js'),
  plugins: [{
    // `import { A0_SVG, A1_SVG } from 'planner:diagrams'`: the state diagrams
    // laid out now; `import { TABLES } from 'planner:automata'`: the tables
    // they come from; `import { EXAMPLES } from 'planner:examples'`:
    // examples/; `import { WORKER } from 'planner:worker'`: the layout
    // worker's code.
    name: 'planner',
    setup(b) {
      const made = {
        diagrams: () => diagrams(TABLES),
        automata: () => ({ TABLES }),
        examples: () => ({ EXAMPLES: examples(path.join(here, '..', 'examples')) }),
        worker: () => ({ WORKER: worker.outputFiles[0].text }),
      };
      b.onResolve({ filter: /^planner:/ }, (a) => ({ path: a.path.slice('planner:'.length), namespace: 'planner' }));
      b.onLoad({ filter: /.*/, namespace: 'planner' }, (a) => ({ contents: JSON.stringify(made[a.path]()), loader: 'json' }));
    },
  }],
});
for (const file of ['index.html', 'page.css']) fs.copyFileSync(path.join(here, file), path.join(out, file));
fs.copyFileSync(session, path.join(out, 'planner_session.js'));
