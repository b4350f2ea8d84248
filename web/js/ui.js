// Small DOM helpers shared by the pages.

// h("div", {class: "x", onclick: fn}, child, "text", [more children])
export function h(tag, attrs, ...children) {
  const el = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (v === undefined || v === null || v === false) continue;
    if (k.startsWith("on") && typeof v === "function") el.addEventListener(k.slice(2), v);
    else if (k === "value") el.value = v;
    else if (k === "checked") el.checked = !!v;
    else el.setAttribute(k, v === true ? "" : String(v));
  }
  append(el, children);
  return el;
}

function append(el, children) {
  for (const c of children) {
    if (c === undefined || c === null || c === false) continue;
    if (Array.isArray(c)) append(el, c);
    else el.append(c instanceof Node ? c : document.createTextNode(String(c)));
  }
}

// The message line under the header: errors stay until the next page or
// action, notes fade on the next message.
export function showMessage(text, kind = "info") {
  const box = document.getElementById("message");
  box.textContent = text;
  box.className = text ? kind : "";
}

export function clearMessage() {
  showMessage("");
}

export function showError(err) {
  showMessage(err && err.message ? err.message : String(err), "error");
}

// Runs an action of a button: errors become the message, the button is
// disabled while it runs. Returns what the action returned, or undefined.
export async function act(button, fn) {
  if (button) button.disabled = true;
  try {
    return await fn();
  } catch (e) {
    showError(e);
    return undefined;
  } finally {
    if (button) button.disabled = false;
  }
}

// A labelled form field; input is any element.
export function field(label, input) {
  return h("label", { class: "field" }, h("span", {}, label), input);
}

export function table(headers, rows, attrs = {}) {
  return h(
    "table",
    attrs,
    h("thead", {}, h("tr", {}, headers.map((t) => h("th", {}, t)))),
    h("tbody", {}, rows),
  );
}

// Integer value of an input; throws a readable error for anything else.
export function intOf(input, label) {
  const t = String(input.value).trim();
  if (!/^-?\d+$/.test(t)) throw new Error(`${label}: a whole number is needed`);
  return parseInt(t, 10);
}

// "YYYY-MM-DD HH:MM:SS" of a local date.
export function recorderTime(d) {
  const p = (n) => String(n).padStart(2, "0");
  return `${d.getFullYear()}-${p(d.getMonth() + 1)}-${p(d.getDate())} ${p(d.getHours())}:${p(d.getMinutes())}:${p(d.getSeconds())}`;
}

// Value of an <input type="datetime-local"> as "YYYY-MM-DD HH:MM:SS".
export function fromLocalInput(value) {
  if (!value) return "";
  const t = value.replace("T", " ");
  return t.length === 16 ? t + ":00" : t;
}

export function toLocalInput(text) {
  return text ? text.replace(" ", "T").slice(0, 19) : "";
}
