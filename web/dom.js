// Small helpers for the page's views.
export const $ = (id) => document.getElementById(id);
// Changes a text or a value only when it differs: an unchanged element is
// not painted again.
export const setText = (id, text) => {
  if ($(id).textContent !== text) $(id).textContent = text;
};
export const setValue = (id, key, value) => {
  if ($(id)[key] !== value) $(id)[key] = value;
};
export const html = (tag, text, cls) => {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (cls) e.className = cls;
  return e;
};
