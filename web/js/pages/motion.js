// Motion detection of one channel: "/6010" reads the page; saving writes
// enable, hold time and the effective schedule with "/6117" (which changes
// only the fields it is given) and the sensitivity with "/6114".
import { callJson, callOk } from "../api.js";
import { h, field, act, intOf, showMessage } from "../ui.js";
import { cellsOfWeek, weekOfCells, scheduleGrid } from "../schedule.js";

async function channelNames() {
  try {
    const r = await callJson("/2012", "");
    return Array.isArray(r.IPC) ? r.IPC : [];
  } catch (e) {
    if (e.kind === "unauthorized") throw e;
    return [];
  }
}

export async function motionPage(view, channel) {
  const ch = Number(channel);
  const [names, m] = await Promise.all([channelNames(), callJson("/6010", { chnid: ch })]);
  const picker = h(
    "select",
    { id: "motion-channel" },
    (names.length ? names : [{ id: ch, name: `CAM${ch + 1}` }]).map((c) =>
      h("option", { value: c.id, selected: c.id === ch }, `${c.id + 1}: ${c.name}`),
    ),
  );
  picker.addEventListener("change", () => (location.hash = `#/motion/${picker.value}`));

  const enable = h("input", { id: "motion-enable", type: "checkbox", checked: m.enable !== 0 });
  const sensitivity = h("input", { id: "motion-sensitivity", type: "number", min: 0, max: 100, value: m.sensitivity });
  const interval = h("input", { id: "motion-interval", type: "number", min: 0, value: m.interval });
  const { rows, actionType } = cellsOfWeek(m.effective);
  const grid = scheduleGrid("motion-schedule", rows);
  const save = h("button", { id: "motion-save", type: "button" }, "Save");
  save.addEventListener("click", () =>
    act(save, async () => {
      const sens = intOf(sensitivity, "Sensitivity");
      const hold = intOf(interval, "Hold time");
      if (sens < 0 || hold < 0) throw new Error("Sensitivity and hold time cannot be negative.");
      const effective = weekOfCells(grid.readRows(), actionType);
      if (sens !== m.sensitivity) {
        await callOk("/6114", {
          camId: ch,
          sensitivity: sens,
          triChannels: m.triChannels,
          triAlarms: m.triAlarms,
          interval: hold,
          enableMS: m.enableMS,
        });
        m.sensitivity = sens;
      }
      await callOk("/6117", { chnid: ch, enable: enable.checked ? 1 : 0, interval: hold, effective });
      showMessage(`Motion settings of channel ${ch + 1} saved.`, "ok");
    }),
  );
  view.replaceChildren(
    h("h2", {}, "Motion detection"),
    h(
      "div",
      { class: "card" },
      field("Channel", picker),
      field("Detection on", enable),
      field("Sensitivity", sensitivity),
      field("Hold time (s)", interval),
    ),
    h(
      "div",
      { class: "card" },
      h("h3", {}, "When detection is armed"),
      h("p", { class: "hint" }, "Press and drag over the half hours to mark or clear them."),
      grid,
      h(
        "div",
        { class: "actions" },
        h("button", { type: "button", id: "motion-all", onclick: () => grid.setAll(true) }, "Whole week"),
        " ",
        h("button", { type: "button", id: "motion-none", onclick: () => grid.setAll(false) }, "Clear"),
        " ",
        save,
      ),
    ),
  );
}
