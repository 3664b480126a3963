// A drawing saved as SVG or PNG, as the page shows it at the current step:
// a copy of the SVG with the page's styles written onto each element, since
// page.css does not travel with it.
const STYLED = ['fill', 'stroke', 'stroke-width', 'opacity', 'font-family', 'font-size', 'font-weight'];

export function svgText(svg) {
  const copy = svg.cloneNode(true);
  const originals = [svg, ...svg.querySelectorAll('*')];
  const copies = [copy, ...copy.querySelectorAll('*')];
  originals.forEach((e, i) => {
    const style = getComputedStyle(e);
    copies[i].setAttribute('style', STYLED.map((p) => `${p}:${style.getPropertyValue(p)}`).join(';'));
  });
  const box = svg.viewBox.baseVal;
  copy.setAttribute('xmlns', 'http://www.w3.org/2000/svg');
  copy.setAttribute('width', box.width);
  copy.setAttribute('height', box.height);
  copy.removeAttribute('id');
  return new XMLSerializer().serializeToString(copy);
}

// The SVG drawn at twice its size on white. A data: URL, so that the canvas
// stays readable from file://.
export async function pngOf(svg, scale = 2) {
  const box = svg.viewBox.baseVal;
  const image = new Image();
  image.src = `data:image/svg+xml;charset=utf-8,${encodeURIComponent(svgText(svg))}`;
  await image.decode();
  return pngDrawn(box.width, box.height, scale, (g, canvas) => g.drawImage(image, 0, 0, canvas.width, canvas.height));
}

// A PNG of a drawing `width` by `height` at `scale`, on white: `paint(g,
// canvas)` draws it on the canvas's context.
export function pngDrawn(width, height, scale, paint) {
  const canvas = document.createElement('canvas');
  canvas.width = Math.ceil(width * scale);
  canvas.height = Math.ceil(height * scale);
  const g = canvas.getContext('2d');
  g.fillStyle = '#fff';
  g.fillRect(0, 0, canvas.width, canvas.height);
  paint(g, canvas);
  return new Promise((resolve) => canvas.toBlob(resolve, 'image/png'));
}
