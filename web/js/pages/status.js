// Device and channel status: device facts ("/1009"), memory figures
// ("/8008"), network interfaces ("/8000"), channel streams ("/8002") and
// signed-in users ("/8011"). Each part shows its own failure; the page
// stays usable when one request fails.
import { callJson } from "../api.js";
import { h, table } from "../ui.js";

// The results of several requests; a 401 ends the page (sign in again),
// other failures stay with their part.
export async function settle(requests) {
  const results = await Promise.allSettled(requests);
  for (const r of results) if (r.status === "rejected" && r.reason && r.reason.kind === "unauthorized") throw r.reason;
  return results;
}

export function part(title, id, result, draw) {
  const body = result.status === "fulfilled" ? draw(result.value) : h("p", { class: "failed" }, result.reason.message);
  return h("section", { class: "card", id }, h("h3", {}, title), body);
}

function stream(s) {
  if (!s || typeof s !== "object") return "--";
  const res = s.res && typeof s.res === "object" ? `${s.res.width}×${s.res.height}` : s.res;
  return `${res} ${s.framerate} fps ${s.bitrate} kb/s`;
}

export async function statusPage(view) {
  const [device, usage, netif, channels, users] = await settle([
    callJson("/1009", ""),
    callJson("/8008", ""),
    callJson("/8000", ""),
    callJson("/8002", ""),
    callJson("/8011", ""),
  ]);
  view.replaceChildren(
    h("h2", {}, "Status"),
    part("Device", "status-device", device, (d) =>
      table(
        ["Model", "Serial number", "Software", "Hardware", "MAC address", "Up"],
        [h("tr", {}, [d.deviceName, d.sn, d.software, d.hwver, d.macAddress, d.uptime].map((v) => h("td", {}, v ?? "")))],
      ),
    ),
    part("Memory", "status-usage", usage, (u) =>
      h("p", {}, `total ${u.total}, used ${u.used}, free ${u.free}`),
    ),
    part("Network interfaces", "status-netif", netif, (n) =>
      table(
        ["Interface", "State", "Address", "Netmask", "Gateway", "MAC"],
        (n.netif || []).map((i) =>
          h("tr", {}, [i.ifname, i.state === 1 ? "up" : `state ${i.state}`, i.ipAddr, i.netmask, i.gateway, i.MAC].map((v) => h("td", {}, v))),
        ),
      ),
    ),
    part("Channels", "status-channels", channels, (c) =>
      table(
        ["Channel", "Name", "Address", "Recording", "Alarm", "Main stream", "Sub stream"],
        (c.IPC || []).map((ch) =>
          h(
            "tr",
            { "data-channel": ch.id },
            [ch.id + 1, ch.name, ch.ipAddr, ch.recordOn === 1 ? "yes" : ch.recordOn === 0 ? "no" : ch.recordOn, ch.alarmOn, stream(ch.main), stream(ch.sub)].map(
              (v) => h("td", {}, v),
            ),
          ),
        ),
      ),
    ),
    part("Signed-in users", "status-users", users, (list) =>
      table(
        ["User", "Level", "Address", "Since"],
        (Array.isArray(list) ? list : []).map((u) => h("tr", {}, [u.userName, u.userLevel, u.ipaddr, u.loginTime].map((v) => h("td", {}, v)))),
      ),
    ),
  );
}
