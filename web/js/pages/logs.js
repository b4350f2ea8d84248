// The log: types from "/1015", a search page by page ("/1002"), one
// entry's detail ("/1021") and the selection as a CSV file ("/1003").
import { callJson, callText, download } from "../api.js";
import { h, field, table, act, showMessage, recorderTime, fromLocalInput, toLocalInput } from "../ui.js";

const LANGUAGE = "en-US";
const PAGE_SIZE = 100;

// The sub-type list of an export: operation sub-types 101..130 travel as
// bits of the first entry (offset by 10); any other selection as itself.
export function exportSubTypes(mainType, subType) {
  if (mainType !== 4 || subType === 10) return [subType];
  if (subType >= 101 && subType <= 130) return [10 + 2 ** (subType - 101), 10, 10];
  return [10]; // the export names only the first group one by one: all operations
}

function defaultRange() {
  const end = new Date();
  end.setHours(23, 59, 59, 0);
  const start = new Date(end);
  start.setDate(start.getDate() - 7);
  start.setHours(0, 0, 0, 0);
  return [recorderTime(start), recorderTime(end)];
}

export async function logsPage(view) {
  const types = await callJson("/1015", { lan: LANGUAGE });
  const mains = Array.isArray(types.mainType) ? types.mainType : [];
  const subs = Array.isArray(types.subType) ? types.subType : [];
  const mainSel = h(
    "select",
    { id: "log-main" },
    mains.map((m) => h("option", { value: m.key }, m.name || `type ${m.key}`)),
  );
  const subSel = h("select", { id: "log-sub" });
  const fillSubs = () => {
    const list = subs[mainSel.selectedIndex] || [{ key: 10, name: "All" }];
    subSel.replaceChildren(...list.map((s) => h("option", { value: s.key }, s.name || `sub-type ${s.key}`)));
  };
  mainSel.addEventListener("change", fillSubs);
  fillSubs();
  const [from, to] = defaultRange();
  const start = h("input", { id: "log-start", type: "datetime-local", step: 1, value: toLocalInput(from) });
  const end = h("input", { id: "log-end", type: "datetime-local", step: 1, value: toLocalInput(to) });
  const results = h("div", { id: "log-results" });
  const detail = h("pre", { id: "log-detail", class: "reply", hidden: true });
  let page = 1;

  const query = () => ({
    language: LANGUAGE,
    startTime: fromLocalInput(start.value),
    endTime: fromLocalInput(end.value),
    mainType: Number(mainSel.value),
    subTypeArr: [Number(subSel.value)],
    curPageNum: page,
    chnMask: "",
    searchNoChn: 0,
  });

  const search = async () => {
    const q = query();
    if (!q.startTime || !q.endTime) throw new Error("Choose the start and the end of the search.");
    const r = await callJson("/1002", q);
    const entries = Array.isArray(r.log) ? r.log : [];
    const pages = Math.max(1, Math.ceil((r.count || 0) / PAGE_SIZE));
    const rows = entries.map((e) => {
      const tr = h(
        "tr",
        { class: "log-row" },
        [e.ptc, e.mainType, e.subType, e.parameter, e.user, e.ip, e.chanNo || "", e.detail].map((v) => h("td", {}, v ?? "")),
      );
      tr.addEventListener("click", () =>
        act(null, async () => {
          detail.hidden = false;
          detail.textContent = await callText("/1021", e);
        }),
      );
      return tr;
    });
    const prev = h("button", { type: "button", id: "log-prev", disabled: page <= 1 }, "Previous page");
    const next = h("button", { type: "button", id: "log-next", disabled: page >= pages }, "Next page");
    prev.addEventListener("click", () => act(prev, () => ((page -= 1), search())));
    next.addEventListener("click", () => act(next, () => ((page += 1), search())));
    results.replaceChildren(
      h("p", { id: "log-count", class: "hint" }, `${r.count || 0} entries, page ${page} of ${pages}.`),
      entries.length
        ? table(["Time", "Type", "Sub-type", "Parameter", "User", "Address", "Channel", "Information"], rows, { id: "log-list" })
        : "",
      h("div", { class: "actions" }, prev, next),
    );
  };

  const searchButton = h("button", { id: "log-search", type: "submit" }, "Search");
  const csvButton = h("button", { id: "log-export", type: "button" }, "Export CSV");
  csvButton.addEventListener("click", () =>
    act(csvButton, async () => {
      const q = query();
      const mainType = q.mainType;
      const body = {
        language: LANGUAGE,
        startTime: q.startTime.replace(" ", "T"),
        endTime: q.endTime.replace(" ", "T"),
        mainType,
        subTypeArr: exportSubTypes(mainType, q.subTypeArr[0]),
        curPageNum: 1,
        ch: "0",
        na: 0,
      };
      const got = await download("/1003", body, "log.csv");
      showMessage(`Saved ${got.file} (${got.size} bytes).`, "ok");
    }),
  );
  const form = h(
    "form",
    { id: "log-form", class: "card" },
    field("Type", mainSel),
    field("Sub-type", subSel),
    field("From", start),
    field("To", end),
    h("div", { class: "actions" }, searchButton, csvButton),
  );
  form.addEventListener("submit", (ev) => {
    ev.preventDefault();
    page = 1;
    act(searchButton, search);
  });
  view.replaceChildren(h("h2", {}, "Log"), form, results, detail);
}
