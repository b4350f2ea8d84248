import { h } from "../ui.js";
export async function usersPage(view) {
  view.replaceChildren(h("p", { class: "card" }, "Not built yet."));
}
