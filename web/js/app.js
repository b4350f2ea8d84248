// The console's shell: signing in and out, the page router (the part of the
// address after "#"), and the message line.
import { callJson, callText, cookie, setCookie, clearCookie, SESSION_COOKIES, setUnauthorizedHandler } from "./api.js";
import { md5Hex } from "./md5.js";
import { h, field, showMessage, showError, clearMessage, act } from "./ui.js";
import { camerasPage, cameraPage } from "./pages/cameras.js";
import { motionPage } from "./pages/motion.js";
import { usersPage } from "./pages/users.js";
import { statusPage } from "./pages/status.js";
import { disksPage } from "./pages/disks.js";
import { logsPage } from "./pages/logs.js";
import { maintenancePage } from "./pages/maintenance.js";
import { playbackPage } from "./pages/playback.js";

const ROUTES = [
  [/^\/cameras$/, camerasPage],
  [/^\/camera\/(\d+)$/, cameraPage],
  [/^\/motion\/(\d+)$/, motionPage],
  [/^\/users$/, usersPage],
  [/^\/status$/, statusPage],
  [/^\/disks$/, disksPage],
  [/^\/logs$/, logsPage],
  [/^\/maintenance$/, maintenancePage],
  [/^\/playback$/, playbackPage],
];

const LEVELS = ["administrator", "operator", "viewer"];

function signedIn() {
  return cookie("sessionId") !== "" && cookie("userName") !== "";
}

function dropSession() {
  for (const c of SESSION_COOKIES) clearCookie(c);
}

function showChrome(on) {
  document.getElementById("nav").hidden = !on;
  document.getElementById("sign-out").hidden = !on;
  const level = LEVELS[Number(cookie("userType"))] || "";
  document.getElementById("who").textContent = on ? `${cookie("userName")}${level ? " (" + level + ")" : ""}` : "";
}

function currentPath() {
  return (location.hash || "").replace(/^#/, "") || "/cameras";
}

function signInPage(main, note) {
  showChrome(false);
  const user = h("input", { id: "login-user", name: "user", autocomplete: "username", value: "admin" });
  const pass = h("input", { id: "login-password", name: "password", type: "password", autocomplete: "current-password" });
  const button = h("button", { id: "login-submit", type: "submit" }, "Sign in");
  const form = h(
    "form",
    { id: "login-form", class: "card narrow" },
    h("h2", {}, "Sign in"),
    field("User name", user),
    field("Password", pass),
    button,
  );
  form.addEventListener("submit", (ev) => {
    ev.preventDefault();
    act(button, () => signIn(user.value.trim(), pass.value));
  });
  main.replaceChildren(form);
  if (note) showMessage(note, "error");
  pass.focus();
}

async function signIn(user, password) {
  if (!user) throw new Error("Enter a user name.");
  const reply = await callJson("/1000", { userName: user, md5: md5Hex(password) });
  if (reply.type === -1 || reply.type === undefined) throw new Error("Wrong user name or password.");
  if (reply.type === -2) throw new Error("This account may not sign in.");
  if (!/^\d{32}$/.test(reply.sessionId || "")) throw new Error("The recorder started no session.");
  setCookie("userName", reply.userName || user);
  setCookie("userType", String(reply.type));
  setCookie("permission", String(reply.permission ?? ""));
  setCookie("sessionId", reply.sessionId);
  setCookie("language", "en-US");
  clearMessage();
  if (location.hash === "" || location.hash === "#/login") location.hash = "#/cameras";
  else render();
}

async function signOut(button) {
  await act(button, async () => {
    try {
      await callText("/1014", "");
    } finally {
      dropSession();
    }
    location.hash = "#/login";
    showMessage("Signed out.", "info");
  });
}

let rendering = 0;

async function render() {
  const main = document.getElementById("page");
  const path = currentPath();
  if (!signedIn()) {
    signInPage(main);
    return;
  }
  if (path === "/login") {
    location.hash = "#/cameras";
    return;
  }
  showChrome(true);
  for (const a of document.querySelectorAll("#nav a"))
    a.classList.toggle("current", path.startsWith(a.getAttribute("href").slice(1).replace(/\/\d+$/, "")));
  const route = ROUTES.find(([re]) => re.test(path));
  const ticket = ++rendering;
  clearMessage();
  if (!route) {
    main.replaceChildren(h("p", { class: "card" }, `No page "${path}".`));
    return;
  }
  const args = path.match(route[0]).slice(1);
  const view = h("div", { class: "page-body", "data-page": path.split("/")[1] }, h("p", { class: "loading" }, "Loading…"));
  main.replaceChildren(view);
  try {
    await route[1](view, ...args);
    if (ticket === rendering) view.dataset.ready = "1";
  } catch (e) {
    if (ticket !== rendering) return;
    if (e.kind === "unauthorized") {
      signInPage(main, e.message);
      return;
    }
    // A page whose first request failed shows why instead of staying blank.
    view.replaceChildren(h("p", { class: "card failed" }, e.message || String(e)));
    view.dataset.ready = "1";
    showError(e);
  }
}

setUnauthorizedHandler(() => {
  dropSession();
  showChrome(false);
});

window.addEventListener("hashchange", render);
window.addEventListener("DOMContentLoaded", () => {
  document.getElementById("sign-out").addEventListener("click", (ev) => signOut(ev.currentTarget));
  render();
});
