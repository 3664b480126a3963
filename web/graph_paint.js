// How the graph is painted, on a canvas or as SVG text: the boxes and
// arrows once per view, and the walk's marks over them on every step. The
// marks differ in more than colour: stack 1 a solid outline, stack 2 a
// dashed one on a tinted box, the active vertex a thick double outline on
// yellow with ▶ before it, a rebuilt one a ✓ and a bold green name.
import { NODE_HEIGHT } from './layout.js';

export const FONT_PX = 11;
export const FONT = `${FONT_PX}px "DejaVu Sans Mono", Menlo, Consolas, monospace`;
export const CHAR = 6.63;  // the font's advance, px
// Labels are drawn only where they come out at least 9 CSS px high.
export const LABEL_SCALE = 9 / FONT_PX;
const LABEL_CHARS = 28;    // longer names are shown shortened, whole on hover

export const COLORS = {
  box: '#ffffff', outline: '#6c757d', text: '#212529', edge: '#868e96', path: '#7048e8',
  on1: '#1864ab', on2: '#6741d9', on2Fill: '#ece6ff', active: '#ffd43b', activeLine: '#5c3c00',
  rebuilt: '#2b8a3e', rebuiltFill: '#d3f9d8', found: '#e8590c', focusEdge: '#c92a2a',
};

// A name as its box shows it: the middle of a long one left out.
export function label(name) {
  return name.length <= LABEL_CHARS ? name : `${name.slice(0, 13)}…${name.slice(-(LABEL_CHARS - 14))}`;
}
// Room on either side of the name for a mark's symbol, ▶ or ✓.
export const boxWidth = (name) => (label(name).length + 4) * CHAR;

// The world's rectangle a view shows: {left, top, right, bottom}.
export function visible(view, width, height) {
  return { left: -view.tx / view.scale, top: -view.ty / view.scale, right: (width - view.tx) / view.scale, bottom: (height - view.ty) / view.scale };
}

// The boxes and edges, everything faded that reading has not reached yet
// (`read`: {vertex(v), edge(v, k)}, true for what is read; null once all is).
// Returns how many boxes it drew.
export function paintBase(g, drawing, view, area, read) {
  const { layout, widths, labels, n, offsets } = drawing;
  const edges = (faded) => {
    g.beginPath();
    for (let v = 0; v < n; ++v) {
      for (let k = offsets[v]; k < offsets[v + 1]; ++k) {
        if (Boolean(read && !read.edge(v, k)) !== faded) continue;
        trace(g, layout, k, area);
      }
    }
    g.stroke();
  };
  const m = offsets[n];
  g.lineWidth = 1 / view.scale;
  g.strokeStyle = COLORS.edge;
  g.globalAlpha = m > 2000 ? 0.45 : 0.8;
  edges(false);
  if (read) {
    g.globalAlpha = 0.15;
    edges(true);
  }
  g.globalAlpha = 1;
  if (view.scale >= 0.5 && m < 4000) arrows(g, drawing, area, read);
  let drawn = 0;
  const labelled = view.scale >= LABEL_SCALE;
  g.font = FONT;
  g.textAlign = 'center';
  g.textBaseline = 'middle';
  for (let v = 0; v < n; ++v) {
    const [x, y, w] = [layout.x[v], layout.y[v], widths[v]];
    if (x + w / 2 < area.left || x - w / 2 > area.right || y + NODE_HEIGHT / 2 < area.top || y - NODE_HEIGHT / 2 > area.bottom) continue;
    ++drawn;
    g.globalAlpha = read && !read.vertex(v) ? 0.2 : 1;
    box(g, x, y, w);
    g.fillStyle = COLORS.box;
    g.fill();
    g.strokeStyle = COLORS.outline;
    g.stroke();
    if (labelled) {
      g.fillStyle = COLORS.text;
      g.fillText(labels[v], x, y + 0.5);
    }
  }
  g.globalAlpha = 1;
  return drawn;
}

// The marks of a step over the boxes: `marks` holds arrays of local
// vertices (on1, on2, rebuilt, active, found) and `path` the edges walked.
export function paintMarks(g, drawing, view, area, marks) {
  const { layout, widths, labels } = drawing;
  const px = 1 / view.scale;  // one CSS pixel in the world's units
  const inView = (v) => {
    const [x, y, w] = [layout.x[v], layout.y[v], widths[v]];
    return !(x + w / 2 < area.left || x - w / 2 > area.right || y + NODE_HEIGHT / 2 < area.top || y - NODE_HEIGHT / 2 > area.bottom);
  };
  const labelled = view.scale >= LABEL_SCALE;
  // The edges of the path down the stacks, and those of the active vertex.
  g.lineWidth = 2.5 * px;
  for (const [edges, color] of [[marks.activeEdges, COLORS.focusEdge], [marks.path, COLORS.path]]) {
    g.strokeStyle = color;
    g.beginPath();
    for (const k of edges) trace(g, layout, k, area);
    g.stroke();
  }
  g.font = FONT;
  g.textAlign = 'center';
  g.textBaseline = 'middle';
  const redraw = (v, fill, bold, color, prefix = '', suffix = '') => {
    const [x, y, w] = [layout.x[v], layout.y[v], widths[v]];
    box(g, x, y, w);
    g.fillStyle = fill;
    g.fill();
    if (!labelled) return;
    g.font = bold ? `bold ${FONT}` : FONT;
    g.fillStyle = color;
    g.fillText(labels[v], x, y + 0.5);
    g.textAlign = 'left';
    if (prefix) g.fillText(prefix, x - w / 2 + 3, y + 0.5);
    g.textAlign = 'right';
    if (suffix) g.fillText(suffix, x + w / 2 - 3, y + 0.5);
    g.textAlign = 'center';
  };
  const on1 = new Set(marks.on1);
  const on2 = new Set(marks.on2);
  const active = new Set(marks.active);
  for (const v of marks.rebuilt) {
    if (!inView(v) || on1.has(v) || on2.has(v)) continue;
    redraw(v, COLORS.rebuiltFill, true, COLORS.rebuilt, '', '✓');
    g.strokeStyle = COLORS.rebuilt;
    g.lineWidth = 1.5 * px;
    g.stroke();
  }
  const rebuilt = new Set(marks.rebuilt);
  const check = (v) => (rebuilt.has(v) ? '✓' : '');
  for (const v of marks.on2) {
    if (!inView(v) || active.has(v)) continue;
    redraw(v, COLORS.on2Fill, rebuilt.has(v), COLORS.text, '', check(v));
    g.setLineDash([5 * px, 3 * px]);
    g.strokeStyle = COLORS.on2;
    g.lineWidth = 2.5 * px;
    g.stroke();
    g.setLineDash([]);
  }
  for (const v of marks.on1) {
    if (!inView(v) || active.has(v)) continue;
    if (!on2.has(v)) redraw(v, COLORS.box, rebuilt.has(v), COLORS.text, '', check(v));
    const [x, y, w] = [layout.x[v], layout.y[v], widths[v]];
    box(g, x, y, w, on2.has(v) ? 3 * px : 0);
    g.strokeStyle = COLORS.on1;
    g.lineWidth = 2.5 * px;
    g.stroke();
  }
  for (const v of marks.active) {
    const [x, y, w] = [layout.x[v], layout.y[v], widths[v]];
    redraw(v, COLORS.active, true, COLORS.text, '▶', check(v));
    g.strokeStyle = COLORS.activeLine;
    g.lineWidth = 1.5 * px;
    box(g, x, y, w, -2 * px);
    g.stroke();
    box(g, x, y, w, 1.5 * px);
    g.stroke();
    if (!labelled) ring(g, x, y, 14 * px, COLORS.activeLine, 2 * px);
  }
  for (const v of marks.found) {
    const [x, y, w] = [layout.x[v], layout.y[v], widths[v]];
    g.setLineDash([2 * px, 2 * px]);
    box(g, x, y, w, -5 * px);
    g.strokeStyle = COLORS.found;
    g.lineWidth = 2 * px;
    g.stroke();
    g.setLineDash([]);
    if (!labelled) ring(g, x, y, 20 * px, COLORS.found, 2 * px);
  }
}

// A box's outline, grown by `out` world units (negative: inset).
function box(g, x, y, w, out = 0) {
  g.beginPath();
  g.roundRect(x - w / 2 - out, y - NODE_HEIGHT / 2 - out, w + 2 * out, NODE_HEIGHT + 2 * out, 4);
}

function ring(g, x, y, r, color, width) {
  g.beginPath();
  g.arc(x, y, r, 0, 2 * Math.PI);
  g.strokeStyle = color;
  g.lineWidth = width;
  g.stroke();
}

// Adds edge k's polyline to the path, unless it lies wholly outside `area`.
function trace(g, layout, k, area) {
  const { edgeStart, edgePoints: p } = layout;
  const [a, b] = [edgeStart[k], edgeStart[k + 1]];
  if (b - a < 2) return;
  let [l, r, t, d] = [Infinity, -Infinity, Infinity, -Infinity];
  for (let i = a; i < b; ++i) {
    l = Math.min(l, p[2 * i]);
    r = Math.max(r, p[2 * i]);
    t = Math.min(t, p[2 * i + 1]);
    d = Math.max(d, p[2 * i + 1]);
  }
  if (r < area.left || l > area.right || d < area.top || t > area.bottom) return;
  g.moveTo(p[2 * a], p[2 * a + 1]);
  for (let i = a + 1; i < b; ++i) g.lineTo(p[2 * i], p[2 * i + 1]);
}

function arrows(g, drawing, area, read) {
  const { layout: { edgeStart, edgePoints: p }, n, offsets } = drawing;
  g.fillStyle = COLORS.edge;
  g.beginPath();
  for (let v = 0; v < n; ++v) {
    for (let k = offsets[v]; k < offsets[v + 1]; ++k) {
      const b = edgeStart[k + 1] - 1;
      if (b <= edgeStart[k] || (read && !read.edge(v, k))) continue;
      const [x, y, px, py] = [p[2 * b], p[2 * b + 1], p[2 * b - 2], p[2 * b - 1]];
      if (x < area.left || x > area.right || y < area.top || y > area.bottom) continue;
      const len = Math.hypot(x - px, y - py) || 1;
      const [ux, uy] = [(x - px) / len, (y - py) / len];
      g.moveTo(x, y);
      g.lineTo(x - 7 * ux - 3.5 * uy, y - 7 * uy + 3.5 * ux);
      g.lineTo(x - 7 * ux + 3.5 * uy, y - 7 * uy - 3.5 * ux);
      g.closePath();
    }
  }
  g.fill();
}

const escape = (s) => s.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' }[c]));

// The whole drawing as SVG text, with the marks of the step.
export function svgOf(drawing, marks) {
  const { layout, widths, labels, n, names } = drawing;
  const w = Math.ceil(layout.width);
  const h = Math.ceil(layout.height);
  const out = [`<svg xmlns="http://www.w3.org/2000/svg" width="${w}" height="${h}" viewBox="0 0 ${w} ${h}" font-family="DejaVu Sans Mono, monospace" font-size="${FONT_PX}">`,
    `<rect width="${w}" height="${h}" fill="#fff"/>`, `<g fill="none" stroke="${COLORS.edge}">`];
  const { edgeStart: s, edgePoints: p } = layout;
  for (let k = 0; k + 1 < s.length; ++k) {
    if (s[k + 1] - s[k] < 2) continue;
    const d = Array.from({ length: s[k + 1] - s[k] }, (_, i) => `${i ? 'L' : 'M'}${p[2 * (s[k] + i)].toFixed(1)},${p[2 * (s[k] + i) + 1].toFixed(1)}`).join('');
    out.push(`<path d="${d}"/>`);
  }
  out.push('</g>');
  const has = (list) => new Set(list);
  const [on1, on2, active, rebuilt] = [has(marks.on1), has(marks.on2), has(marks.active), has(marks.rebuilt)];
  for (let v = 0; v < n; ++v) {
    const fill = active.has(v) ? COLORS.active : on2.has(v) ? COLORS.on2Fill : rebuilt.has(v) ? COLORS.rebuiltFill : COLORS.box;
    const stroke = active.has(v) ? COLORS.activeLine : on1.has(v) ? COLORS.on1 : on2.has(v) ? COLORS.on2 : rebuilt.has(v) ? COLORS.rebuilt : COLORS.outline;
    const dash = on2.has(v) && !on1.has(v) && !active.has(v) ? ' stroke-dasharray="5 3"' : '';
    const thick = active.has(v) || on1.has(v) || on2.has(v) ? 2.5 : 1;
    const text = `${active.has(v) ? '<tspan>▶ </tspan>' : ''}${escape(labels[v])}${rebuilt.has(v) ? '<tspan> ✓</tspan>' : ''}`;
    out.push(`<g transform="translate(${layout.x[v].toFixed(1)},${layout.y[v].toFixed(1)})"><title>${escape(names[v])}</title>`
      + `<rect x="${(-widths[v] / 2).toFixed(1)}" y="${-NODE_HEIGHT / 2}" width="${widths[v].toFixed(1)}" height="${NODE_HEIGHT}" rx="4" fill="${fill}" stroke="${stroke}" stroke-width="${thick}"${dash}/>`
      + `<text y="4" text-anchor="middle"${rebuilt.has(v) || active.has(v) ? ' font-weight="bold"' : ''} fill="${rebuilt.has(v) && !active.has(v) ? COLORS.rebuilt : COLORS.text}">${text}</text></g>`);
  }
  out.push('</svg>');
  return out.join('\n');
}
