// A link that holds a whole view: the makefile, the files' times, the step
// and the file name, compressed (deflate) into the URL's fragment in
// base64url. The fragment never reaches a server, so the link works from
// file:// as from any static host, and needs nothing but the page.
import { byteString, stringBytes } from './cp866.js';

// The longest link made, in characters. Chromium's address bar shows a
// longer URL as its origin alone (its kMaxURLDisplayChars, 32 KB), so such a
// link could not be copied from there; a makefile of some 100 KB of ordinary
// text fits.
export const LINK_LIMIT = 32 * 1024;
const PREFIX = '#run=';

// Bytes a link may unpack to: more than any makefile the page runs well, and
// a bound for a link made to unpack without end.
const MOST_UNPACKED = 64 << 20;

async function through(parts, stream) {
  const reader = new Blob(parts).stream().pipeThrough(stream).getReader();
  const chunks = [];
  let size = 0;
  for (let part = await reader.read(); !part.done; part = await reader.read()) {
    size += part.value.length;
    if (size > MOST_UNPACKED) {
      reader.cancel();
      throw new Error('it unpacks to over 64 MB');
    }
    chunks.push(part.value);
  }
  return new Uint8Array(await new Blob(chunks).arrayBuffer());
}

// The fragment for a view: {makefile (bytes), times (Map of byte-string
// names to seconds), at, name}.
export async function fragmentOf({ makefile, times, at, name }) {
  const head = new TextEncoder().encode(`${JSON.stringify({ at, name, times: [...times] })}\n`);
  const packed = await through([head, makefile], new CompressionStream('deflate-raw'));
  return PREFIX + btoa(byteString(packed)).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

// The view a fragment holds; null for a fragment that is not a link's.
// Throws for one that is damaged.
export async function viewOf(fragment) {
  if (!fragment.startsWith(PREFIX)) return null;
  const packed = stringBytes(atob(fragment.slice(PREFIX.length).replace(/-/g, '+').replace(/_/g, '/')));
  const bytes = await through([packed], new DecompressionStream('deflate-raw'));
  const end = bytes.indexOf(10);
  const head = JSON.parse(new TextDecoder().decode(bytes.subarray(0, end)));
  return { makefile: bytes.slice(end + 1), times: new Map(head.times), at: head.at, name: head.name };
}
