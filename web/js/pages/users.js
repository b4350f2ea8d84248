// Users and rights: the accounts of "/6070"; adding ("/6071"), changing
// ("/6072") and deleting ("/6073") one. Passwords travel as MD5 digests.
import { callJson, callText, callOk } from "../api.js";
import { md5Hex } from "../md5.js";
import { h, field, table, act, showMessage } from "../ui.js";

export const AREAS = ["LiveView", "Playback", "Retrieve", "SmartAnalysis", "Event", "Camera", "Storage", "Settings", "Status", "Shutdown"];
const AREA_LABELS = ["Live view", "Playback", "Search and download", "Smart analysis", "Events", "Cameras", "Storage", "Settings", "Status", "Shut down"];
const LEVELS = ["Administrator", "Operator", "Viewer"];
const CHANNEL_TEXTS = [
  ["localliveview", "Local live view"],
  ["localplayback", "Local playback"],
  ["remoteliveview", "Remote live view"],
  ["remoteplayback", "Remote playback"],
];

// A channel text with character n set to '1' or '0' for the n shown channels,
// the characters behind them kept.
export function channelText(old, marks) {
  const chars = String(old || "").split("");
  marks.forEach((on, n) => {
    while (chars.length <= n) chars.push("0");
    chars[n] = on ? "1" : "0";
  });
  return chars.join("").slice(0, 64);
}

function editor(user, channels, onDone) {
  const fresh = !user;
  const u = user || { id: -1, name: "", type: 2, permission: 0, remotePermission: 0 };
  const name = h("input", { id: "user-name", value: u.name, maxlength: 31 });
  const password = h("input", { id: "user-password", type: "password", placeholder: fresh ? "" : "unchanged" });
  const level = h(
    "select",
    { id: "user-level" },
    LEVELS.map((l, i) => h("option", { value: i, selected: i === u.type }, l)),
  );
  const rights = {};
  const rightRows = AREAS.map((area, a) => {
    const cells = ["local", "remote"].map((side) => {
      const key = side + area;
      const box = h("input", { type: "checkbox", id: `right-${key}`, checked: fresh ? side === "remote" && a < 2 : !!u[key] });
      rights[key] = box;
      return h("td", {}, box);
    });
    return h("tr", {}, h("td", {}, AREA_LABELS[a]), cells);
  });
  const chanBoxes = {};
  const chanRows = CHANNEL_TEXTS.map(([key, label]) => {
    const text = String(u[key] || "");
    chanBoxes[key] = channels.map((c, n) => h("input", { type: "checkbox", title: `${c.id + 1}: ${c.name}`, checked: fresh ? true : text[n] === "1" }));
    return h("tr", {}, h("td", {}, label), chanBoxes[key].map((b) => h("td", {}, b)));
  });
  const save = h("button", { id: "user-save", type: "submit" }, fresh ? "Add user" : "Save");
  const form = h(
    "form",
    { id: "user-form", class: "card" },
    h("h3", {}, fresh ? "New user" : `User ${u.name}`),
    field("Name", name),
    field("Password", password),
    field("Level", level),
    table(["Right", "Local", "Remote"], rightRows, { class: "rights", id: "user-rights" }),
    channels.length
      ? table(["Channels", ...channels.map((c) => String(c.id + 1))], chanRows, { class: "rights", id: "user-channels" })
      : "",
    h("div", { class: "actions" }, save, " ", h("button", { type: "button", onclick: () => onDone(false) }, "Cancel")),
  );
  form.addEventListener("submit", (ev) => {
    ev.preventDefault();
    act(save, async () => {
      if (!name.value.trim()) throw new Error("A user needs a name.");
      if (fresh && !password.value) throw new Error("A new user needs a password.");
      const body = { name: name.value.trim(), type: Number(level.value) };
      if (password.value) body.password = md5Hex(password.value);
      for (const [key, box] of Object.entries(rights)) body[key] = box.checked ? u[key] || 1 : 0;
      for (const [key] of CHANNEL_TEXTS) body[key] = channelText(u[key], chanBoxes[key].map((b) => b.checked));
      if (fresh) {
        body.permission = u.permission;
        body.remotePermission = u.remotePermission;
        const reply = (await callText("/6071", body)).trim();
        if (reply === "SAMEUSER") throw new Error(`A user named "${body.name}" exists already.`);
        if (reply === "FAILED_FULL") throw new Error("The recorder holds no more users.");
        if (!reply.startsWith("id=")) throw new Error(`/6071: the recorder answered "${reply}"`);
        showMessage(`User ${body.name} added.`, "ok");
      } else {
        body.id = u.id;
        const reply = (await callText("/6072", body)).trim();
        if (reply === "SAMEUSER") throw new Error(`A user named "${body.name}" exists already.`);
        if (reply !== "OK") throw new Error(`/6072: the recorder answered "${reply}"`);
        showMessage(`User ${body.name} saved.`, "ok");
      }
      onDone(true);
    });
  });
  return form;
}

export async function usersPage(view) {
  const [users, names] = await Promise.all([
    callJson("/6070", ""),
    callJson("/2012", "").catch((e) => {
      if (e.kind === "unauthorized") throw e;
      return { IPC: [] };
    }),
  ]);
  const channels = (names.IPC || []).slice(0, 64);
  const list = Array.isArray(users) ? users : [];
  const slot = h("div", { id: "user-editor" });
  const reload = async (changed) => {
    if (changed) await usersPage(view);
    else slot.replaceChildren();
  };
  const rows = list.map((u) => {
    const edit = h("button", { type: "button", id: `user-edit-${u.id}` }, "Edit");
    edit.addEventListener("click", () => slot.replaceChildren(editor(u, channels, reload)));
    const del = h("button", { type: "button", id: `user-delete-${u.id}` }, "Delete");
    del.addEventListener("click", () =>
      act(del, async () => {
        if (!window.confirm(`Delete the user ${u.name}?`)) return;
        await callOk("/6073", { id: u.id, type: u.type });
        showMessage(`User ${u.name} deleted.`, "ok");
        await usersPage(view);
      }),
    );
    const remote = AREAS.filter((a) => u["remote" + a]).length;
    return h(
      "tr",
      { "data-user": u.name },
      h("td", {}, u.name),
      h("td", {}, LEVELS[u.type] || `level ${u.type}`),
      h("td", {}, u.type === 0 ? "all" : `${remote} of ${AREAS.length} areas`),
      h("td", {}, edit, " ", del),
    );
  });
  const add = h("button", { type: "button", id: "user-add" }, "Add user");
  add.addEventListener("click", () => slot.replaceChildren(editor(null, channels, reload)));
  view.replaceChildren(
    h("h2", {}, "Users and rights"),
    table(["Name", "Level", "Remote rights", ""], rows, { id: "user-list" }),
    h("div", { class: "actions" }, add),
    slot,
  );
}
