import { h } from "../ui.js";
export async function playbackPage(view) {
  view.replaceChildren(h("p", { class: "card" }, "Not built yet."));
}
