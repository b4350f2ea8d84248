import { h } from "../ui.js";
export async function logsPage(view) {
  view.replaceChildren(h("p", { class: "card" }, "Not built yet."));
}
