// A layered layout of the dependency graph, goals above what they depend on,
// made for graphs of thousands of vertices in a few hundred milliseconds:
// ranks by the longest path from the goals no one depends on, the order
// within each rank by barycentre sweeps, and x by weighted isotonic
// regression towards the neighbours (each rank's order kept, boxes apart).
// A rank too wide for the drawing's shape is wrapped into staggered rows,
// its i-th vertex in row i mod rows, so that every row spans the rank's
// whole width in order and edges stay short. A graph that needs no
// wrapping gets a vertex per rank for each long edge, and its edges are
// routed through them; a wrapped one draws its edges straight.
// Plain data in and out, for a worker (layout_worker.js) or the page.

export const NODE_HEIGHT = 22;
const GAP = 14;          // between two boxes of a row
const ROW_GAP = 12;      // between two rows of a rank
const RANK_GAP = 34;     // between two ranks
const SWEEPS = 4;        // down and up, each
const DUMMY_BUDGET = 4;  // long-edge vertices allowed, per vertex of the graph

// `graph`: {n, offsets: Int32Array(n + 1), targets: Int32Array} (the
// children of v are targets[offsets[v]..offsets[v + 1]]), `widths`: box
// widths. `aspect`: the width over the height of the box it is shown in.
// Returns {x, y (box centres), width, height, wrapped, edgeStart,
// edgePoints}: edge k's polyline is edgePoints[2 * edgeStart[k] ..
// 2 * edgeStart[k + 1]] as x, y pairs, from the goal to the dependency
// (none for a vertex's edge to itself).
export function layout({ n, offsets, targets }, widths, aspect = 1.4) {
  const m = targets.length;
  const reversed = breakCycles(n, offsets, targets);
  const rank = ranks(n, offsets, targets, reversed);
  const up = (k, v) => (reversed[k] ? targets[k] : v);  // an edge's upper end
  const down = (k, v) => (reversed[k] ? v : targets[k]);
  let ranksCount = 0;
  for (let v = 0; v < n; ++v) ranksCount = Math.max(ranksCount, rank[v] + 1);

  // Wrap when the widest rank is much wider than the drawing's shape wants.
  const rankWidth = new Float64Array(ranksCount);
  let area = 0;
  for (let v = 0; v < n; ++v) {
    rankWidth[rank[v]] += widths[v] + GAP;
    area += (widths[v] + GAP) * (NODE_HEIGHT + ROW_GAP);
  }
  const widest = widths.reduce((a, b) => Math.max(a, b), 0);
  const target = Math.max(widest + GAP, Math.sqrt(area * aspect) * 1.2);
  const wrapped = rankWidth.some((w) => w > target * 1.5);

  // The vertices of the layered graph: the graph's own, then one per rank
  // crossed by a long edge when routing them (chains[k] lists edge k's).
  let spans = 0;
  for (let v = 0; v < n; ++v) {
    for (let k = offsets[v]; k < offsets[v + 1]; ++k) spans += Math.max(0, rank[down(k, v)] - rank[up(k, v)] - 1);
  }
  const route = !wrapped && spans <= DUMMY_BUDGET * n + 1000;
  const total = n + (route ? spans : 0);
  const rankOf = new Int32Array(total);
  rankOf.set(rank);
  const width = new Float64Array(total);
  width.set(widths);
  const chains = route ? new Int32Array(m + 1) : null;
  const links = [];  // [upper, lower] pairs of the layered graph
  let next = n;
  for (let v = 0; v < n; ++v) {
    for (let k = offsets[v]; k < offsets[v + 1]; ++k) {
      const [a, b] = [up(k, v), down(k, v)];
      if (route) chains[k] = next;
      if (a === b) continue;
      let last = a;
      if (route) {
        for (let r = rank[a] + 1; r < rank[b]; ++r, ++next) {
          rankOf[next] = r;
          links.push(last, next);
          last = next;
        }
      }
      links.push(last, b);
    }
  }
  if (route) chains[m] = next;
  const [above, below] = [adjacency(total, links, 1, 0), adjacency(total, links, 0, 1)];

  // Order: first as a depth-first walk from the goals meets them, then sweeps.
  const layers = Array.from({ length: ranksCount }, () => []);
  for (const v of depthFirst(n, offsets, targets, reversed)) layers[rankOf[v]].push(v);
  for (let v = n; v < total; ++v) layers[rankOf[v]].push(v);
  const pos = new Float64Array(total);
  const number = () => layers.forEach((layer) => layer.forEach((v, i) => { pos[v] = (i + 0.5) / layer.length; }));
  number();
  let best = route ? crossings(layers, below) : 0;
  let bestOrder = layers.map((l) => l.slice());
  for (let sweep = 0; sweep < SWEEPS; ++sweep) {
    for (let r = 1; r < ranksCount; ++r) sortLayer(layers[r], above, pos);
    for (let r = ranksCount - 2; r >= 0; --r) sortLayer(layers[r], below, pos);
    if (route) {
      const c = crossings(layers, below);
      if (c < best) [best, bestOrder] = [c, layers.map((l) => l.slice())];
    }
  }
  if (route) {
    bestOrder.forEach((l, r) => { layers[r] = l; });
    number();
  }

  // Rows: a rank, or a wrapped rank's staggered parts.
  const rows = [];
  const rowOf = new Int32Array(total);
  for (const layer of layers) {
    const w = layer.reduce((s, v) => s + width[v] + GAP, 0);
    const parts = wrapped ? Math.max(1, Math.ceil(w / target)) : 1;
    const first = rows.length;
    for (let p = 0; p < parts; ++p) rows.push([]);
    layer.forEach((v, i) => {
      rowOf[v] = first + (i % parts);
      rows[first + (i % parts)].push(v);
    });
  }

  // x: rows packed about the middle, then moved towards their neighbours.
  const x = new Float64Array(total);
  const span = wrapped ? target : rows.reduce((most, row) => Math.max(most, row.reduce((s, v) => s + width[v] + GAP, 0)), 0);
  for (const row of rows) {
    if (wrapped) {
      // Where the vertex falls along its whole rank, so that rows agree.
      const layer = layers[rankOf[row[0]]];
      row.forEach((v) => { x[v] = pos[v] * span; });
      place(row, width, x, new Float64Array(row.length).fill(1), layer.length > row.length);
    } else {
      let at = (span - row.reduce((s, v) => s + width[v] + GAP, 0)) / 2;
      for (const v of row) {
        x[v] = at + width[v] / 2;
        at += width[v] + GAP;
      }
    }
  }
  const pull = (row, sides) => {
    const desired = new Float64Array(row.length);
    const weight = new Float64Array(row.length);
    row.forEach((v, i) => {
      let [sum, count] = [0, 0];
      for (const side of sides) {
        for (let j = side.start[v]; j < side.start[v + 1]; ++j) {
          const u = side.list[j];
          // Long-edge vertices hold on harder, so that long edges run straight.
          const w = v >= n && u >= n ? 8 : v >= n || u >= n ? 2 : 1;
          sum += w * x[u];
          count += w;
        }
      }
      desired[i] = count ? sum / count : x[v];
      weight[i] = count || 0.05;
    });
    row.forEach((v, i) => { x[v] = desired[i]; });
    place(row, width, x, weight, false);
  };
  for (let pass = 0; pass < 3; ++pass) {
    for (const row of rows) pull(row, [above]);
    for (let i = rows.length - 1; i >= 0; --i) pull(rows[i], [below]);
  }
  for (const row of rows) pull(row, [above, below]);

  // y by row, ranks further apart than the rows of one rank.
  const rowY = new Float64Array(rows.length);
  let y = NODE_HEIGHT / 2;
  rows.forEach((row, i) => {
    if (i > 0) y += NODE_HEIGHT + (rankOf[row[0]] !== rankOf[rows[i - 1][0]] ? RANK_GAP : ROW_GAP);
    rowY[i] = y;
  });
  let [left, right] = [Infinity, -Infinity];
  for (let v = 0; v < total; ++v) {
    left = Math.min(left, x[v] - width[v] / 2);
    right = Math.max(right, x[v] + width[v] / 2);
  }
  if (total === 0) [left, right] = [0, 0];
  const out = { x: new Float32Array(n), y: new Float32Array(n), width: right - left + 12, height: y + NODE_HEIGHT / 2 + 6, wrapped };
  const X = (v) => x[v] - left + 6;
  const Y = (v) => rowY[rowOf[v]] + 6;
  for (let v = 0; v < n; ++v) [out.x[v], out.y[v]] = [X(v), Y(v)];

  // Edges: from the goal's box to the dependency's, through the long-edge
  // vertices of its ranks.
  out.edgeStart = new Int32Array(m + 1);
  const points = [];
  for (let v = 0; v < n; ++v) {
    for (let k = offsets[v]; k < offsets[v + 1]; ++k) {
      out.edgeStart[k] = points.length / 2;
      const w = targets[k];
      if (w === v) continue;
      const via = route ? Array.from({ length: chains[k + 1] - chains[k] }, (_, i) => chains[k] + i) : [];
      if (reversed[k]) via.reverse();
      const sign = reversed[k] ? -1 : 1;
      points.push(X(v), Y(v) + (sign * NODE_HEIGHT) / 2);
      for (const d of via) points.push(X(d), Y(d));
      points.push(X(w), Y(w) - (sign * NODE_HEIGHT) / 2);
    }
  }
  out.edgeStart[m] = points.length / 2;
  out.edgePoints = Float32Array.from(points);
  return out;
}

// Edges that close a cycle, found by a depth-first walk from the vertices no
// edge enters (then from any left): drawn reversed, so that ranks exist.
function breakCycles(n, offsets, targets) {
  const reversed = new Uint8Array(targets.length);
  const state = new Uint8Array(n);  // 0 new, 1 on the walk's path, 2 done
  const entered = new Int32Array(n);
  for (const w of targets) ++entered[w];
  const stack = [];
  const walk = (root) => {
    stack.push(root, offsets[root]);
    state[root] = 1;
    while (stack.length) {
      const k = stack.pop();
      const v = stack[stack.length - 1];
      if (k === offsets[v + 1]) {
        stack.pop();
        state[v] = 2;
        continue;
      }
      stack.push(k + 1);
      const w = targets[k];
      if (state[w] === 1) reversed[k] = 1;
      else if (state[w] === 0) {
        state[w] = 1;
        stack.push(w, offsets[w]);
      }
    }
  };
  for (let v = 0; v < n; ++v) if (!entered[v] && !state[v]) walk(v);
  for (let v = 0; v < n; ++v) if (!state[v]) walk(v);
  return reversed;
}

// Each vertex one rank below the lowest of the goals that depend on it.
function ranks(n, offsets, targets, reversed) {
  const rank = new Int32Array(n);
  const entered = new Int32Array(n);
  const edges = [];  // [upper, lower] of every edge, cycles broken
  for (let v = 0; v < n; ++v) {
    for (let k = offsets[v]; k < offsets[v + 1]; ++k) {
      const w = targets[k];
      if (w === v) continue;
      const [a, b] = reversed[k] ? [w, v] : [v, w];
      edges.push(a, b);
      ++entered[b];
    }
  }
  const lower = adjacency(n, edges, 0, 1);
  const ready = [];
  for (let v = 0; v < n; ++v) if (!entered[v]) ready.push(v);
  while (ready.length) {
    const v = ready.pop();
    for (let j = lower.start[v]; j < lower.start[v + 1]; ++j) {
      const w = lower.list[j];
      rank[w] = Math.max(rank[w], rank[v] + 1);
      if (--entered[w] === 0) ready.push(w);
    }
  }
  return rank;
}

// For each vertex, the other ends of `pairs` whose `from` end it is: pairs
// is a flat [a, b, a, b, ...], `from` and `to` 0 or 1 of each pair.
function adjacency(n, pairs, from, to) {
  const start = new Int32Array(n + 1);
  for (let i = 0; i < pairs.length; i += 2) ++start[pairs[i + from] + 1];
  for (let v = 0; v < n; ++v) start[v + 1] += start[v];
  const fill = start.slice(0, n);
  const list = new Int32Array(pairs.length / 2);
  for (let i = 0; i < pairs.length; i += 2) list[fill[pairs[i + from]]++] = pairs[i + to];
  return { start, list };
}

// The graph's vertices in the order a depth-first walk from its top goals
// first meets them (children in their order), every vertex once.
function depthFirst(n, offsets, targets, reversed) {
  const seen = new Uint8Array(n);
  const order = [];
  const entered = new Int32Array(n);
  targets.forEach((w, k) => { if (!reversed[k]) ++entered[w]; });
  const walk = (root) => {
    const stack = [root];
    while (stack.length) {
      const v = stack.pop();
      if (seen[v]) continue;
      seen[v] = 1;
      order.push(v);
      for (let k = offsets[v + 1] - 1; k >= offsets[v]; --k) if (!seen[targets[k]]) stack.push(targets[k]);
    }
  };
  for (let v = 0; v < n; ++v) if (!entered[v]) walk(v);
  for (let v = 0; v < n; ++v) walk(v);
  return order;
}

// Sorts a rank by the mean place of each vertex's neighbours on one side,
// as a fraction of their rank; one without any keeps its place.
function sortLayer(layer, side, pos) {
  const key = new Map();
  for (const v of layer) {
    let [sum, count] = [0, 0];
    for (let j = side.start[v]; j < side.start[v + 1]; ++j) {
      sum += pos[side.list[j]];
      ++count;
    }
    key.set(v, count ? sum / count : pos[v]);
  }
  layer.sort((a, b) => key.get(a) - key.get(b) || pos[a] - pos[b]);
  layer.forEach((v, i) => { pos[v] = (i + 0.5) / layer.length; });
}

// Edge crossings between each pair of adjacent ranks, counted with a
// Fenwick tree over the lower rank's places.
function crossings(layers, below) {
  let count = 0;
  for (let r = 0; r + 1 < layers.length; ++r) {
    const lower = layers[r + 1];
    const index = new Map(lower.map((v, i) => [v, i]));
    const tree = new Int32Array(lower.length + 1);
    let seen = 0;
    for (const v of layers[r]) {
      const ends = [];
      for (let j = below.start[v]; j < below.start[v + 1]; ++j) {
        const i = index.get(below.list[j]);
        if (i !== undefined) ends.push(i);
      }
      ends.sort((a, b) => a - b);
      for (const i of ends) {
        let before = 0;
        for (let t = i + 1; t > 0; t -= t & -t) before += tree[t];
        count += seen - before;
      }
      for (const i of ends) {
        for (let t = i + 1; t <= lower.length; t += t & -t) ++tree[t];
        ++seen;
      }
    }
  }
  return count;
}

// Moves a row's vertices as near their x as they can go, in its order and
// with boxes apart: weighted isotonic regression (pool adjacent violators)
// on x less each vertex's least offset from the first. `loose`: a wrapped
// row, whose boxes stand further apart.
function place(row, width, x, weight, loose) {
  const len = row.length;
  if (!len) return;
  const offset = new Float64Array(len);
  for (let i = 1; i < len; ++i) offset[i] = offset[i - 1] + (width[row[i - 1]] + width[row[i]]) / 2 + GAP * (loose ? 2 : 1);
  const value = [];
  const mass = [];
  const count = [];
  for (let i = 0; i < len; ++i) {
    value.push(x[row[i]] - offset[i]);
    mass.push(weight[i]);
    count.push(1);
    while (value.length > 1 && value[value.length - 2] > value[value.length - 1]) {
      const [v, w, c] = [value.pop(), mass.pop(), count.pop()];
      const t = value.length - 1;
      value[t] = (value[t] * mass[t] + v * w) / (mass[t] + w);
      mass[t] += w;
      count[t] += c;
    }
  }
  let i = 0;
  value.forEach((v, b) => {
    for (let c = 0; c < count[b]; ++c, ++i) x[row[i]] = v + offset[i];
  });
}
