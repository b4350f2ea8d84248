import { h } from "../ui.js";
export async function maintenancePage(view) {
  view.replaceChildren(h("p", { class: "card" }, "Not built yet."));
}
