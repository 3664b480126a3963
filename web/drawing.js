// Marks on drawn elements: a step only changes their classes, never the
// drawing. The state diagrams' nodes and edges are marked this way.

// Sets exactly the given classes on each drawn element: `marks` maps a class
// to the set of keys that carry it.
export function mark(elements, marks) {
  for (const [key, e] of elements) {
    for (const [cls, keys] of Object.entries(marks)) e.classList.toggle(cls, keys.has(key));
  }
}
