// Lays graphs out in a worker, started once from the worker's code bundled
// into the page ('planner:worker'), or in the page itself where no worker
// can start. Only the latest request is answered: a graph edited before its
// layout came back is laid out afresh, and the old one is dropped.
import { layout } from './layout.js';
import { WORKER } from 'planner:worker';

export class LayoutClient {
  constructor() {
    this.id = 0;
    this.waiting = null;  // {id, resolve}
    try {
      this.worker = new Worker(URL.createObjectURL(new Blob([WORKER], { type: 'text/javascript' })));
      this.worker.onmessage = ({ data }) => {
        if (this.waiting?.id !== data.id) return;
        const { resolve } = this.waiting;
        this.waiting = null;
        resolve(data);
      };
    } catch {
      this.worker = null;
    }
  }

  // A promise of the layout of `graph` ({n, offsets, targets}) with box
  // `widths`, or of null when a later request came first.
  lay(graph, widths, aspect) {
    const id = ++this.id;
    this.waiting?.resolve(null);
    if (!this.worker) {
      this.waiting = null;
      return new Promise((resolve) => setTimeout(() => {
        if (id !== this.id) return resolve(null);
        const began = performance.now();
        return resolve({ ...layout(graph, widths, aspect), ms: performance.now() - began });
      }, 0));
    }
    return new Promise((resolve) => {
      this.waiting = { id, resolve };
      this.worker.postMessage({ id, graph, widths, aspect });
    });
  }

  // Drops the request waiting, if any.
  cancel() {
    ++this.id;
    this.waiting?.resolve(null);
    this.waiting = null;
  }
}
