// Talking to the request handler: every request is a POST of its request
// text to /cgi-bin/webcgi/<name>. What the handler answers when it refuses
// (no body at all, "CGI ERROR", 401, 403) becomes an ApiError whose message
// the pages show; a page never stays blank because a request failed.

const BASE = "/cgi-bin/webcgi";

export class ApiError extends Error {
  constructor(kind, name, message) {
    super(message);
    this.kind = kind; // "unauthorized", "forbidden", "empty", "cgi", "http", "network", "format"
    this.request = name;
  }
}

const MESSAGES = {
  unauthorized: "Not signed in, or the session has ended (401). Please sign in again.",
  forbidden: "Your account has no right to this page (403).",
  empty: "The recorder refused the request (empty reply): check the values.",
  cgi: "The recorder did not answer in time (CGI ERROR).",
};

let onUnauthorized = null;
// Called once for every 401, so the console can go back to signing in.
export function setUnauthorizedHandler(fn) {
  onUnauthorized = fn;
}

function fail(kind, name, detail) {
  const err = new ApiError(kind, name, `${name}: ${MESSAGES[kind] || detail}`);
  if (kind === "unauthorized" && onUnauthorized) onUnauthorized(err);
  return err;
}

// The handler's two error replies: the text "CGI ERROR" and the JSON-like
// {status:"CGI ERROR"} (its key is not quoted, so it is not JSON).
export function isCgiError(text) {
  const t = text.trim();
  return t === "CGI ERROR" || /^\{\s*"?status"?\s*:\s*"CGI ERROR"\s*\}$/.test(t);
}

async function exchange(name, body, contentType) {
  const init = { method: "POST", credentials: "same-origin", body };
  if (contentType) init.headers = { "Content-Type": contentType };
  let res;
  try {
    res = await fetch(BASE + name, init);
  } catch (e) {
    throw fail("network", name, `cannot reach the recorder (${e.message})`);
  }
  if (res.status === 401) throw fail("unauthorized", name);
  if (res.status === 403) throw fail("forbidden", name);
  // A handler that writes nothing at all leaves the web server without a
  // reply header: it answers 500 with a page of its own.
  if (res.status === 500) throw fail("empty", name);
  if (!res.ok) throw fail("http", name, `the web server answered ${res.status} ${res.statusText}`);
  return res;
}

function requestText(body) {
  if (body === undefined || body === null) return "";
  return typeof body === "string" ? body : JSON.stringify(body);
}

// The reply as text; an empty reply or "CGI ERROR" throws.
export async function callText(name, body) {
  const res = await exchange(name, requestText(body), "application/json");
  const text = await res.text();
  if (text.length === 0) throw fail("empty", name);
  if (isCgiError(text)) throw fail("cgi", name);
  return text;
}

// The reply parsed as JSON.
export async function callJson(name, body) {
  const text = await callText(name, body);
  try {
    return JSON.parse(text);
  } catch (e) {
    throw fail("format", name, `unexpected reply: ${text.slice(0, 80)}`);
  }
}

// A setter: true for "OK"; any other answer throws with that answer.
export async function callOk(name, body) {
  const text = (await callText(name, body)).trim();
  if (text !== "OK") throw fail("format", name, `the recorder answered "${text.slice(0, 80)}"`);
  return true;
}

// The file name of a download: Content-Disposition "attachment; filename= x".
export function attachmentName(header, fallback) {
  const m = /filename\s*=\s*"?([^";\r\n]+)"?/i.exec(header || "");
  const name = m ? m[1].trim() : "";
  return name.replace(/[\/\\]/g, "_") || fallback;
}

// A download: the reply is handed to the browser as a file. Returns the
// file name and size.
export async function download(name, body, fallbackName) {
  const res = await exchange(name, requestText(body), "application/json");
  const blob = await res.blob();
  const disposition = res.headers.get("Content-Disposition");
  if (!disposition) {
    const text = await blob.text();
    if (text.length === 0) throw fail("empty", name);
    if (isCgiError(text)) throw fail("cgi", name);
    throw fail("format", name, `no file came: ${text.slice(0, 80)}`);
  }
  const file = attachmentName(disposition, fallbackName);
  const url = URL.createObjectURL(blob);
  const a = document.createElement("a");
  a.href = url;
  a.download = file;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
  return { file, size: blob.size };
}

// An upload: the file goes as multipart form data.
export async function upload(name, file) {
  const form = new FormData();
  form.append("file", file, file.name);
  const res = await exchange(name, form, null);
  const text = await res.text();
  if (text.length === 0) throw fail("empty", name);
  if (isCgiError(text)) throw fail("cgi", name);
  return text.trim();
}

// ---- Session cookies -------------------------------------------------------
// The recorder keeps no cookie for the browser: the console stores the ones
// the handler reads ("userName", "sessionId") after a login.

export function cookie(name) {
  for (const part of document.cookie.split(";")) {
    const [k, ...v] = part.trim().split("=");
    if (k === name) return decodeURIComponent(v.join("="));
  }
  return "";
}

export function setCookie(name, value) {
  document.cookie = `${name}=${encodeURIComponent(value)}; path=/; SameSite=Strict`;
}

export function clearCookie(name) {
  document.cookie = `${name}=; path=/; max-age=0`;
}

export const SESSION_COOKIES = ["userName", "userType", "permission", "sessionId", "language"];
