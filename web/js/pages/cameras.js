// Cameras: the channel list ("/2001") and one channel's settings ("/2000"
// to read, "/2003" to save).
import { callJson, callOk } from "../api.js";
import { h, field, table, act, intOf, showMessage } from "../ui.js";

export const PROTOCOLS = ["ONVIF", "RTSP", "Own protocol", "Protocol 3", "Protocol 4", "Protocol 5", "Protocol 6", "Protocol 7"];
const TRANSPORTS = ["UDP", "TCP", "TCP (2)", "RTSP over HTTPS"];
// Channels whose settings "/2000" reads.
export const EDITABLE_CHANNELS = 8;

function stateText(state) {
  if (state === 1) return "online";
  if (state === 0) return "offline";
  return state === undefined ? "" : `state ${state}`;
}

export async function camerasPage(view) {
  const list = await callJson("/2001", "");
  const cams = Array.isArray(list.IPC) ? list.IPC : [];
  const rows = cams.map((c) =>
    h(
      "tr",
      { "data-channel": c.id },
      h("td", {}, c.id + 1),
      h("td", { class: "cam-name" }, c.name),
      h("td", {}, c.ipAddr),
      h("td", {}, c.model || ""),
      h("td", {}, PROTOCOLS[c.camProtocol] ?? c.camProtocol),
      h("td", { class: "state-" + stateText(c.state).split(" ")[0] }, stateText(c.state)),
      h(
        "td",
        {},
        c.id < EDITABLE_CHANNELS ? h("a", { href: `#/camera/${c.id}`, class: "button", id: `edit-${c.id}` }, "Edit") : "",
        " ",
        h("a", { href: `#/motion/${c.id}`, class: "button" }, "Motion"),
      ),
    ),
  );
  view.replaceChildren(
    h("h2", {}, "Cameras"),
    h("p", { class: "hint" }, `${cams.length} of ${list.maxIPCNums ?? "?"} channels in use.`),
    cams.length
      ? table(["Channel", "Name", "Address", "Model", "Protocol", "State", ""], rows, { id: "camera-list" })
      : h("p", { class: "card" }, "No cameras."),
  );
}

function select(id, options, value) {
  return h(
    "select",
    { id },
    options.map((label, i) => h("option", { value: i, selected: i === value }, label)),
  );
}

export async function cameraPage(view, channel) {
  const ch = Number(channel);
  if (ch >= EDITABLE_CHANNELS) throw new Error(`Channel ${ch + 1}: the recorder edits channels 1 to ${EDITABLE_CHANNELS} here.`);
  const cam = await callJson("/2000", { chnid: ch });
  const f = {
    name: h("input", { id: "cam-name", value: cam.name, maxlength: 63 }),
    enable: h("input", { id: "cam-enable", type: "checkbox", checked: true }),
    ipAddr: h("input", { id: "cam-ip", value: cam.ipAddr, maxlength: 63 }),
    managePort: h("input", { id: "cam-port", value: cam.managePort, inputmode: "numeric" }),
    camProtocol: select("cam-protocol", PROTOCOLS, cam.model),
    transmitProtocol: select("cam-transport", TRANSPORTS, cam.transmitProtocol),
    userName: h("input", { id: "cam-user", value: cam.userName, maxlength: 63 }),
    password: h("input", { id: "cam-password", type: "password", placeholder: "unchanged", maxlength: 63 }),
    syncTime: h("input", { id: "cam-sync", type: "checkbox", checked: cam.syncTime === 1 }),
    enableSubStream: h("input", { id: "cam-sub", type: "checkbox", checked: cam.subRtspEnable === 1 }),
    mainRtspPort: h("input", { id: "cam-main-port", value: cam.mainRtspPort }),
    mainSourcePath: h("input", { id: "cam-main-path", value: cam.mainSourcePath }),
    mainrtspurl: h("input", { id: "cam-main-url", value: cam.mainRtspUrl }),
    subRtspPort: h("input", { id: "cam-sub-port", value: cam.subRtspPort }),
    subSourcePath: h("input", { id: "cam-sub-path", value: cam.subSourcePath }),
    subrtspurl: h("input", { id: "cam-sub-url", value: cam.subRtspUrl }),
    ddns: h("input", { id: "cam-ddns", value: cam.ddns }),
    httpsPort: h("input", { id: "cam-https", value: cam.httpsPort }),
  };
  const rtsp = h(
    "fieldset",
    { id: "cam-rtsp" },
    h("legend", {}, "RTSP streams"),
    field("Main port", f.mainRtspPort),
    field("Main path", f.mainSourcePath),
    field("Main URL", f.mainrtspurl),
    field("Sub port", f.subRtspPort),
    field("Sub path", f.subSourcePath),
    field("Sub URL", f.subrtspurl),
  );
  const showRtsp = () => (rtsp.hidden = Number(f.camProtocol.value) !== 1);
  f.camProtocol.addEventListener("change", showRtsp);
  showRtsp();

  const save = h("button", { id: "cam-save", type: "submit" }, "Save");
  const form = h(
    "form",
    { id: "camera-form", class: "card" },
    h("h2", {}, `Channel ${ch + 1}`),
    field("Name", f.name),
    field("Enabled", f.enable),
    field("Address", f.ipAddr),
    field("Management port", f.managePort),
    field("Protocol", f.camProtocol),
    field("Transport", f.transmitProtocol),
    field("Camera user", f.userName),
    field("Camera password", f.password),
    field("Synchronise time", f.syncTime),
    field("Sub stream", f.enableSubStream),
    rtsp,
    field("DDNS name", f.ddns),
    field("HTTPS port", f.httpsPort),
    h("div", { class: "actions" }, save, " ", h("a", { href: "#/cameras", class: "button" }, "Back to the list")),
  );
  form.addEventListener("submit", (ev) => {
    ev.preventDefault();
    act(save, async () => {
      const body = {
        id: ch,
        name: f.name.value,
        enable: f.enable.checked ? 1 : 0,
        minorid: cam.minorid,
        camProtocol: Number(f.camProtocol.value),
        ipAddr: f.ipAddr.value.trim(),
        managePort: intOf(f.managePort, "Management port"),
        transmitProtocol: Number(f.transmitProtocol.value),
        enableSubStream: f.enableSubStream.checked ? 1 : 0,
        syncTime: f.syncTime.checked ? 1 : 0,
        ddns: f.ddns.value,
        httpsPort: intOf(f.httpsPort, "HTTPS port"),
      };
      // "type" 0 takes the account from the request, any other keeps it.
      const account = f.password.value !== "" || f.userName.value !== cam.userName;
      body.type = account ? 0 : 1;
      if (account) {
        body.userName = f.userName.value;
        body.password = f.password.value !== "" ? f.password.value : cam.password;
      }
      if (body.camProtocol === 1) {
        body.mainRtspPort = intOf(f.mainRtspPort, "Main port");
        body.mainSourcePath = f.mainSourcePath.value;
        body.mainrtspurl = f.mainrtspurl.value;
        body.subRtspPort = intOf(f.subRtspPort, "Sub port");
        body.subSourcePath = f.subSourcePath.value;
        body.subrtspurl = f.subrtspurl.value;
      }
      await callOk("/2003", body);
      showMessage(`Channel ${ch + 1} saved.`, "ok");
    });
  });
  view.replaceChildren(form);
}
