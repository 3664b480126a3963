// The layout's worker: a large graph is laid out here, so that the page
// keeps stepping meanwhile. build.mjs bundles this file into page.js as
// text, which the page starts from a Blob URL (from file://, the only way).
import { layout } from './layout.js';

self.onmessage = ({ data }) => {
  const began = performance.now();
  const result = layout(data.graph, data.widths, data.aspect);
  result.id = data.id;
  result.ms = performance.now() - began;
  self.postMessage(result, [result.x.buffer, result.y.buffer, result.edgeStart.buffer, result.edgePoints.buffer]);
};
