// Configuration export and import: "/1007" exports the configuration into
// a file on the recorder, "/1013" hands that file to the browser (and
// removes it there); "/1008" imports an uploaded file.
import { callText, download, upload } from "../api.js";
import { h, field, act, showMessage } from "../ui.js";

// The file name in "OK filename=<name>", or "".
export function exportedName(reply) {
  const m = /^OK filename=(.+)$/m.exec(reply.replace(/\r/g, ""));
  return m ? m[1].trim() : "";
}

export async function maintenancePage(view) {
  const exportButton = h("button", { id: "config-export", type: "button" }, "Export the configuration");
  const exportNote = h("p", { id: "config-export-note", class: "hint" }, "");
  exportButton.addEventListener("click", () =>
    act(exportButton, async () => {
      const reply = (await callText("/1007", "")).trim();
      if (!reply.startsWith("OK")) throw new Error(`/1007: the recorder answered "${reply.slice(0, 80)}"`);
      const name = exportedName(reply) || "configuration.tar.gz";
      const got = await download("/1013", "", name);
      exportNote.textContent = `Saved ${got.file} (${got.size} bytes).`;
      showMessage(`Configuration exported as ${got.file}.`, "ok");
    }),
  );

  const file = h("input", { id: "config-file", type: "file" });
  const importButton = h("button", { id: "config-import", type: "button" }, "Import");
  importButton.addEventListener("click", () =>
    act(importButton, async () => {
      const f = file.files && file.files[0];
      if (!f) throw new Error("Choose a configuration file first.");
      if (!window.confirm(`Replace the recorder's configuration with ${f.name}?`)) return;
      const reply = await upload("/1008", f);
      if (reply !== "OK") throw new Error(`/1008: the recorder answered "${reply.slice(0, 80)}"`);
      showMessage(`Configuration imported from ${f.name}.`, "ok");
    }),
  );

  view.replaceChildren(
    h("h2", {}, "Maintenance"),
    h(
      "section",
      { class: "card", id: "config-export-card" },
      h("h3", {}, "Export"),
      h("p", { class: "hint" }, "Saves the whole configuration as one file."),
      exportButton,
      exportNote,
    ),
    h(
      "section",
      { class: "card", id: "config-import-card" },
      h("h3", {}, "Import"),
      h("p", { class: "hint" }, "Loads a file made by the export; the recorder takes its settings at once."),
      field("File", file),
      h("div", { class: "actions" }, importButton),
    ),
  );
}
