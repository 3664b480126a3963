// The state diagrams for every reader and every screen: never drawn so small
// that a label comes out under 9 CSS px (their figures scroll instead), and
// each state a button the keyboard reaches, as the pointer has it.

// Edge labels are the smallest text, 10 px as drawn (page.css).
const LEAST_SCALE = 0.9;

// `drawings`: {a0, a1}, each {nodes: Map state -> <g>}, as the page placed
// them; a node's click makes its state the run-until event.
export function fitDiagrams(drawings) {
  for (const drawn of [drawings.a0, drawings.a1]) {
    const svg = drawn.nodes.values().next().value.ownerSVGElement;
    const box = svg.viewBox.baseVal;
    svg.style.minWidth = `${Math.ceil(box.width * LEAST_SCALE)}px`;
    svg.style.minHeight = `${Math.ceil(box.height * LEAST_SCALE)}px`;
    for (const node of drawn.nodes.values()) {
      node.setAttribute('tabindex', '0');
      node.setAttribute('role', 'button');
      node.setAttribute('aria-label', `run until ${node.querySelector('title').textContent}`);
      node.addEventListener('keydown', (e) => {
        if (e.key !== 'Enter' && e.key !== ' ') return;
        e.preventDefault();
        e.stopPropagation();
        node.onclick();
      });
    }
  }
}
