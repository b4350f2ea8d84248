// Disks: the list of "/6100" with size, use and state, and the disk's
// property (read-write or read-only) and group, saved with "/6101".
import { callJson, callOk } from "../api.js";
import { h, table, act, showMessage } from "../ui.js";

const KINDS = { 3: "network", 10: "network" };

function size(mib) {
  if (typeof mib !== "number") return "";
  return mib >= 1024 ? `${(mib / 1024).toFixed(1)} GiB` : `${mib} MiB`;
}

export async function disksPage(view) {
  const list = await callJson("/6100", "");
  const disks = Array.isArray(list.HDD) ? list.HDD : [];
  const rows = disks.map((d) => {
    const property = h(
      "select",
      { id: `disk-property-${d.portId}` },
      h("option", { value: 0, selected: d.property === 0 }, "read-write"),
      h("option", { value: 1, selected: d.property === 1 }, "read-only"),
    );
    const group = h("input", { id: `disk-group-${d.portId}`, type: "number", min: 0, value: d.group });
    const save = h("button", { type: "button", id: `disk-save-${d.portId}` }, "Save");
    save.addEventListener("click", () =>
      act(save, async () => {
        await callOk("/6101", { portId: d.portId, property: Number(property.value), group: Number(group.value), private: 0 });
        showMessage(`Disk ${d.portId} saved.`, "ok");
      }),
    );
    return h(
      "tr",
      { "data-port": d.portId },
      h("td", {}, d.portId),
      h("td", {}, d.vendorName || (d.address ? `${d.address}:${d.directory}` : "")),
      h("td", {}, KINDS[d.hddType] || "local"),
      h("td", {}, size(d.totalSize)),
      h("td", {}, size(d.freeSize)),
      h("td", {}, d.state),
      h("td", {}, property),
      h("td", {}, group),
      h("td", {}, save),
    );
  });
  view.replaceChildren(
    h("h2", {}, "Disks"),
    list.resultString === "OK" && disks.length
      ? table(["Port", "Disk", "Kind", "Size", "Free", "State", "Property", "Group", ""], rows, { id: "disk-list" })
      : h("p", { class: "card" }, "No disks."),
  );
}
