// Playback: search a day of one channel's recordings ("/4000"), open a
// session at a section or a chosen time ("/4001") and steer it with the
// buttons: pause ("/4004"), play and reverse ("/4005"), one frame
// ("/4006"), faster ("/4007"), slower ("/4008"), jump ("/4009"), where it is
// ("/4002") and stop ("/4003"). The video itself comes over RTSP from the
// address the session answers; the console shows the position.
import { callJson, callOk } from "../api.js";
import { h, field, table, act, showMessage, recorderTime } from "../ui.js";
import { EDITABLE_CHANNELS } from "./cameras.js";

const RECORD_TYPES = ["continuous", "motion", "alarm"];

let session = null; // {sid, ch, rate, paused}
let ticker = 0;

async function stopSession() {
  if (!session) return;
  const sid = session.sid;
  session = null;
  await callOk("/4003", { close: 1, num: 1, sid: [sid] });
}

export async function playbackPage(view) {
  clearInterval(ticker);
  const names = await callJson("/2012", "");
  const channels = (names.IPC || []).filter((c) => c.id < EDITABLE_CHANNELS);
  const chSel = h(
    "select",
    { id: "play-channel" },
    channels.map((c) => h("option", { value: c.id }, `${c.id + 1}: ${c.name}`)),
  );
  const yesterday = new Date(Date.now() - 86400000);
  const day = h("input", { id: "play-day", type: "date", value: recorderTime(yesterday).slice(0, 10) });
  const sections = h("div", { id: "play-sections" });
  const state = h("p", { id: "play-state", class: "big" }, "No session.");
  const where = h("p", { id: "play-where", class: "hint" }, "");
  const controls = h("div", { class: "player", id: "play-controls" });
  let search = null; // last search reply

  const show = () => {
    if (!session) {
      state.textContent = "No session.";
      controls.querySelectorAll("button").forEach((b) => (b.disabled = true));
      return;
    }
    const how = session.paused ? "paused" : session.reverse ? "playing backwards" : `playing at ${session.rate}×`;
    state.textContent = `Session ${session.sid}, channel ${session.ch + 1}: ${how}`;
    controls.querySelectorAll("button").forEach((b) => (b.disabled = false));
  };
  const position = async () => {
    if (!session) return;
    const r = await callJson("/4002", String(session.sid));
    if (r.status === "OK") where.textContent = `At ${r.curPlayTime}`;
  };
  const open = async (playTime) => {
    await stopSession();
    const ch = Number(chSel.value);
    const date = day.value;
    const sid = search ? search.sid : -1;
    if (sid < 0) throw new Error("Search the day first.");
    const r = await callJson("/4001", {
      channelId: ch,
      sid,
      playTime,
      startTime: `${date} 00:00:00`,
      endTime: `${date} 23:59:59`,
    });
    session = { sid: r.sessionId ?? sid, ch, rate: 1, paused: false, reverse: false };
    where.textContent = `At ${r.realPlayTime}; stream rtsp port ${r.port}, path ${r.sourcePath}`;
    show();
  };
  const doSearch = async () => {
    await stopSession();
    show();
    const date = day.value;
    if (!date) throw new Error("Choose a day.");
    const r = await callJson("/4000", {
      channelId: Number(chSel.value),
      sid: -1,
      streamType: 0,
      time: `${date} 00:00:00`,
      endTime: `${date} 23:59:59`,
    });
    if (r.status === "NO MATCHES") {
      search = null;
      sections.replaceChildren(h("p", { class: "card" }, "No recordings that day."));
      return;
    }
    search = r;
    const rows = (r.section || []).map((s, i) => {
      const play = h("button", { type: "button", id: `play-section-${i}` }, "Play");
      play.addEventListener("click", () => act(play, () => open(s.startTime)));
      return h(
        "tr",
        {},
        h("td", {}, s.startTime),
        h("td", {}, s.endTime),
        h("td", {}, RECORD_TYPES[s.recordType] || `type ${s.recordType}`),
        h("td", {}, s.lock ? "locked" : ""),
        h("td", {}, play),
      );
    });
    sections.replaceChildren(
      h("p", { class: "hint" }, `${r.sectionNum} recordings (first page).`),
      table(["From", "To", "Kind", "", ""], rows, { id: "play-list" }),
    );
  };

  const button = (id, label, fn) => {
    const b = h("button", { type: "button", id, disabled: true }, label);
    b.addEventListener("click", () =>
      act(b, async () => {
        if (!session) throw new Error("No session.");
        await fn(session);
        show();
        await position();
      }),
    );
    return b;
  };
  const jumpAt = h("input", { id: "play-jump-time", placeholder: "HH:MM:SS", value: "12:30:00", size: 8 });
  controls.append(
    button("play-pause", "Pause", async (s) => {
      await callOk("/4004", { num: 1, sid: [s.sid] });
      s.paused = true;
    }),
    button("play-resume", "Play", async (s) => {
      await callOk("/4005", { sid: s.sid, direction: 0 });
      Object.assign(s, { paused: false, reverse: false });
    }),
    button("play-reverse", "Backwards", async (s) => {
      await callOk("/4005", { sid: s.sid, direction: 1 });
      Object.assign(s, { paused: false, reverse: true });
    }),
    button("play-step", "One frame", async (s) => {
      await callOk("/4006", { num: 1, sid: [s.sid] });
      s.paused = true;
    }),
    button("play-faster", "Faster", async (s) => {
      const rate = Math.min(s.rate >= 1 ? s.rate * 2 : s.rate * 2, 16);
      if (rate >= 1) await callOk("/4007", { chind: 0, num: 1, sessionId: [s.sid], speed: [rate] });
      else await callOk("/4008", { chind: [s.sid], num: 1, speed: Math.round(1 / rate) });
      s.rate = rate;
    }),
    button("play-slower", "Slower", async (s) => {
      const rate = Math.max(s.rate / 2, 1 / 16);
      if (rate >= 1) await callOk("/4007", { chind: 0, num: 1, sessionId: [s.sid], speed: [rate] });
      else await callOk("/4008", { chind: [s.sid], num: 1, speed: Math.round(1 / rate) });
      s.rate = rate;
    }),
    jumpAt,
    button("play-jump", "Jump", async (s) => {
      const t = jumpAt.value.trim();
      if (!/^\d{2}:\d{2}:\d{2}$/.test(t)) throw new Error("Jump to: a time HH:MM:SS is needed.");
      const r = await callJson("/4009", { jumpTime: `${day.value} ${t}`, sid: [s.sid], chnid: [s.ch], num: 1 });
      if (r.status !== "OK") throw new Error("The recorder could not jump there.");
    }),
    button("play-stop", "Stop", async () => {
      await stopSession();
      where.textContent = "";
    }),
  );
  const searchButton = h("button", { id: "play-search", type: "submit" }, "Search");
  const form = h("form", { class: "card", id: "play-form" }, field("Channel", chSel), field("Day", day), h("div", { class: "actions" }, searchButton));
  form.addEventListener("submit", (ev) => {
    ev.preventDefault();
    act(searchButton, doSearch);
  });
  view.replaceChildren(
    h("h2", {}, "Playback"),
    form,
    sections,
    h("section", { class: "card" }, h("h3", {}, "Session"), state, where, controls),
  );
  show();
  // The position while the page is shown; leaving the page stops the session.
  ticker = setInterval(() => {
    if (!view.isConnected) {
      clearInterval(ticker);
      stopSession().catch(() => {});
      return;
    }
    if (session && !session.paused) position().catch(() => {});
  }, 1000);
}
