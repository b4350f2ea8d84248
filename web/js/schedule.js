// The weekly schedule grid: 8 day slots (Sunday to Saturday and holidays)
// of 48 half hours. The recorder keeps a schedule as up to 12 sections a day
// of start time, end time and action type; replies carry objects
// {"startTime","endTime","actionType"}, requests carry triples.
import { h } from "./ui.js";

export const DAYS = ["Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Holiday"];
export const CELLS = 48; // half hours
export const SECTIONS = 12;

// "HH:MM" as minutes, or -1.
export function minutes(text) {
  const m = /^(\d{1,2}):(\d{2})(?::\d{2})?$/.exec(String(text || "").trim());
  if (!m) return -1;
  const v = Number(m[1]) * 60 + Number(m[2]);
  return v <= 24 * 60 ? v : -1;
}

function hhmm(cell) {
  const v = cell * 30;
  return `${String(Math.floor(v / 60)).padStart(2, "0")}:${String(v % 60).padStart(2, "0")}`;
}

// The reply's week (arrays of section objects) as 8 rows of 48 booleans,
// and the action type the sections carry.
export function cellsOfWeek(week) {
  const rows = DAYS.map(() => new Array(CELLS).fill(false));
  let actionType = null;
  (Array.isArray(week) ? week : []).slice(0, DAYS.length).forEach((day, d) => {
    (Array.isArray(day) ? day : []).forEach((s) => {
      const start = minutes(s && s.startTime);
      const end = minutes(s && s.endTime);
      if (start < 0 || end <= start) return;
      if (actionType === null) actionType = s.actionType ?? 1;
      for (let c = Math.floor(start / 30); c < Math.ceil(end / 30) && c < CELLS; c++) rows[d][c] = true;
    });
  });
  return { rows, actionType: actionType ?? 1 };
}

// 8 rows of cells as the request's week: 8 days of 12 triples, runs of
// marked half hours as sections, the rest empty. Throws when a day needs
// more than 12 sections.
export function weekOfCells(rows, actionType = 1) {
  return rows.map((cells, d) => {
    const out = [];
    for (let c = 0; c < CELLS; ) {
      if (!cells[c]) {
        c++;
        continue;
      }
      let e = c;
      while (e < CELLS && cells[e]) e++;
      out.push([hhmm(c), hhmm(e), actionType]);
      c = e;
    }
    if (out.length > SECTIONS) throw new Error(`${DAYS[d]}: at most ${SECTIONS} separate periods a day`);
    while (out.length < SECTIONS) out.push(["", "", 0]);
    return out;
  });
}

// The grid element; press and drag over half hours to mark or clear them
// (the first cell decides which). grid.readRows() reads the marks back.
export function scheduleGrid(id, rows) {
  const state = rows.map((r) => r.slice());
  let painting = null;
  const cellEls = [];
  const paint = (d, c) => {
    state[d][c] = painting;
    cellEls[d][c].classList.toggle("on", painting);
  };
  const table = h(
    "table",
    { id, class: "schedule" },
    h(
      "thead",
      {},
      h("tr", {}, h("th", {}, ""), Array.from({ length: 24 }, (_, hr) => h("th", { colspan: 2 }, hr))),
    ),
    h(
      "tbody",
      {},
      DAYS.map((day, d) => {
        cellEls[d] = [];
        return h(
          "tr",
          { "data-day": d },
          h("th", {}, day),
          state[d].map((on, c) => {
            const td = h("td", { class: on ? "cell on" : "cell", "data-day": d, "data-cell": c, title: `${day} ${hhmm(c)}-${hhmm(c + 1)}` });
            td.addEventListener("mousedown", (ev) => {
              ev.preventDefault();
              painting = !state[d][c];
              paint(d, c);
            });
            td.addEventListener("mouseenter", () => {
              if (painting !== null) paint(d, c);
            });
            cellEls[d].push(td);
            return td;
          }),
        );
      }),
    ),
  );
  window.addEventListener("mouseup", () => (painting = null));
  table.readRows = () => state.map((r) => r.slice());
  table.setAll = (on) => {
    for (let d = 0; d < state.length; d++)
      for (let c = 0; c < CELLS; c++) {
        state[d][c] = on;
        cellEls[d][c].classList.toggle("on", on);
      }
  };
  return table;
}
