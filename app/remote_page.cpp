// The remote page, served at "/": the board's grid for a phone held upright.
// It takes the token from its own URL's fragment (which no server sees) and
// sends it as a bearer token; without one it says it is not paired and
// sends nothing that acts. It asks for the board three times a second, so
// what plays is marked within half a second. Captions go in as text, never
// as markup.
#include "app/remote.h"

static const char page[] = R"HTML(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, user-scalable=no">
<title>Soundboard remote</title>
<style>
html,body{margin:0;background:#000;color:#ccc;font:16px sans-serif;height:100%}
#bar{display:flex;gap:6px;padding:6px;flex-wrap:wrap}
#bar button{flex:1;min-height:40px;background:#222;color:#ccc;border:1px solid #444;border-radius:6px;font-size:15px}
#bar button.shown{background:#555;color:#fff}
#stop{background:#522!important;color:#fff!important}
#grid{display:grid;gap:6px;padding:6px}
#grid button{aspect-ratio:1;background:#404040;color:#aaa;border:2px solid #333;border-radius:10px;
font-size:15px;white-space:pre-line;overflow:hidden;padding:2px;touch-action:manipulation}
#grid button.playing{border-color:#6c6;color:#fff;background:#2f4f2f}
#note{padding:12px;text-align:center}
</style></head><body>
<div id="bar"></div><div id="grid"></div><div id="note"></div>
<script>
"use strict";
const token = decodeURIComponent(location.hash.slice(1));
const note = document.getElementById("note");
const grid = document.getElementById("grid");
const bar = document.getElementById("bar");
let board = null, page = 1, busy = false;
function say(text) { note.textContent = text; }
function api(method, path) {
  return fetch("/api/" + path, {method: method, cache: "no-store",
    headers: {"Authorization": "Bearer " + token}});
}
function columnsFor(n) {
  // The device's own rule: the split whose shape is nearest its 2:3 screen.
  let best = 3.4e38, cols = Math.ceil(Math.sqrt(n));
  for (let c = 1; c < n; c++) {
    const m = Math.ceil(n / c);
    const d = Math.abs(2 / 3 - c / m);
    if (d < best) { best = d; cols = c; }
  }
  return Math.max(cols, 1);
}
function draw() {
  bar.textContent = "";
  board.pages.forEach((p, i) => {
    if (board.pages.length < 2) return;
    const b = document.createElement("button");
    b.textContent = p.name || ("Page " + (i + 1));
    if (i + 1 === page) b.className = "shown";
    b.onclick = () => { page = i + 1; api("POST", "page/" + page).then(refresh); draw(); };
    bar.appendChild(b);
  });
  const s = document.createElement("button");
  s.id = "stop"; s.textContent = "Stop all";
  s.onclick = () => api("POST", "stop").then(refresh);
  bar.appendChild(s);
  const buttons = board.pages[page - 1].buttons;
  grid.style.gridTemplateColumns = "repeat(" + columnsFor(buttons.length) + ", 1fr)";
  while (grid.children.length > buttons.length) grid.removeChild(grid.lastChild);
  buttons.forEach((b, i) => {
    let e = grid.children[i];
    if (!e) {
      e = document.createElement("button");
      e.onclick = () => api("POST", "press/" + page + "/" + (i + 1)).then(refresh);
      grid.appendChild(e);
    }
    if (e.textContent !== b.caption) e.textContent = b.caption;
    e.className = b.playing ? "playing" : "";
    e.setAttribute("aria-pressed", b.playing ? "true" : "false");
  });
}
function refresh() {
  if (busy) return;
  busy = true;
  api("GET", "board").then(r => {
    if (r.status === 401) { say("Not paired: open the address the board shows (scan its code)."); return null; }
    return r.ok ? r.json() : null;
  }).then(b => {
    if (!b) return;
    const first = board === null;
    board = b;
    if (first) page = b.page;
    if (page > b.pages.length) page = b.pages.length;
    document.title = b.name;
    say("");
    draw();
  }).catch(() => say("The board does not answer.")).finally(() => { busy = false; });
}
if (!token) {
  say("Not paired: open the address the board shows (scan its code).");
} else {
  refresh();
  setInterval(refresh, 300);
}
</script></body></html>
)HTML";

const char *remote_page_html(void) { return page; }
