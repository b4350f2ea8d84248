// Scheduled snapshots: schedules and settings for lists of channels and the
// start/stop command.
// Serves "/6174", "/6175", "/6176", "/6177", "/6178".
#include <new>

#include "handlers/video/video.h"

namespace video {

namespace {

constexpr int REQ_SNAPSHOT_SETTINGS = 1311;
constexpr int REQ_SNAPSHOT_SCHEDULES = 1312;
constexpr int REQ_SNAPSHOT_COMMAND = 1313;

// The schedule record of one channel with the store's trailing word.
struct SnapshotSchedule {
  ScheduleRecord schedule;
  int32_t tail;
};
static_assert(sizeof(SnapshotSchedule) == 26180, "snapshot schedule is 26180 bytes");
ZRDB_RECORD_FAMILY(snapshot_schedule, SnapshotSchedule, "snapshot_schedule")

// Channel list of 1311 and 1312: the used entries first.
struct SnapshotChannelList {
  int32_t channels[64];
  int32_t count;
};
static_assert(sizeof(SnapshotChannelList) == 260, "snapshot channel list is 260 bytes");

struct SnapshotSettings {
  int32_t lead[2];
  int32_t quality;
  int32_t interval;
  int32_t interval_unit;
  int32_t middle[2];
  int32_t expiration_date;
  int32_t resolution;
};
static_assert(sizeof(SnapshotSettings) == 36, "snapshot settings record is 36 bytes");
static_assert(offsetof(SnapshotSettings, expiration_date) == 28, "expiry at 28");
ZRDB_RECORD_FAMILY(snapshot, SnapshotSettings, "snapshot")

struct SnapshotCommand {
  int32_t action;  // 1 start, 0 stop
  int32_t flags[64];
};
static_assert(sizeof(SnapshotCommand) == 260, "snapshot command is 260 bytes");

SnapshotChannelList channel_list(const RequestChannels& targets) {
  SnapshotChannelList list;
  std::memset(&list, 0, sizeof list);
  for (int i = 0; i < targets.n; ++i) list.channels[i] = targets.channels[i];
  list.count = targets.n;
  return list;
}

// The table of 64 slots goes to the store for the listed channels only.
int write_snapshot_schedules(const SnapshotSchedule* table, const SnapshotChannelList& list) {
  ZrdbTransaction txn(ZRDB_PATH);
  for (int i = 0; i < list.count; ++i) {
    const int ch = list.channels[i];
    if (write_snapshot_schedule(ZRDB_PATH, &table[ch], ch) != 0) return -1;
  }
  return txn.ok() ? txn.commit() : -1;
}

// The request text as a whole number; "CGI ERROR" otherwise.
bool take_bare_number(const char* text, int* out) {
  if (text && parse_int_strict(text, out)) return true;
  cgi_error_to_webserver(CGI_KIND_TEXT);
  return false;
}

}  // namespace

void on_get_snapshot_schedule(char* text) {
  int ch = 0;
  if (!take_bare_number(text, &ch)) return;
  std::unique_ptr<SnapshotSchedule> s(new SnapshotSchedule);
  std::memset(s.get(), 0, sizeof *s);
  read_snapshot_schedule(ZRDB_PATH, s.get(), ch);
  JsonPtr out(get_schedule_json_object(&s->schedule));
  cgi_write_json(out.get());
}

void on_set_snapshot_schedule(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  RequestChannels targets;
  auto s = request_schedule(q);
  // A save without a schedule is refused rather than clearing every channel.
  if (!q || !s || !take_list_targets(q, NVR_CHANNELS, &targets)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  std::unique_ptr<SnapshotSchedule[]> table(new (std::nothrow) SnapshotSchedule[NVR_CHANNELS]);
  if (!table) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const SnapshotChannelList list = channel_list(targets);
  for (int i = 0; i < list.count; ++i) {
    SnapshotSchedule& slot = table[list.channels[i]];
    std::memset(&slot, 0, sizeof slot);
    slot.schedule = *s;
  }
  if (write_snapshot_schedules(table.get(), list) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  table.reset();
  notify_core(REQ_SNAPSHOT_SCHEDULES, &list, sizeof list);
  cgi_reply_ok();
}

void on_get_snapshot_setting_params(char* text) {
  int ch = 0;
  if (!take_bare_number(text, &ch)) return;
  SnapshotSettings r;
  std::memset(&r, 0, sizeof r);
  read_snapshot(ZRDB_PATH, &r, ch);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "resolution", r.resolution);
  json_add_int(out.get(), "quality", r.quality);
  json_add_int(out.get(), "interval", r.interval);
  json_add_int(out.get(), "interval_unit", r.interval_unit);
  json_add_int(out.get(), "expiration_date", r.expiration_date);
  cgi_write_json(out.get());
}

void on_set_snapshot_setting_params(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  RequestChannels targets;
  SnapshotSettings in;
  std::memset(&in, 0, sizeof in);
  if (!q || !take_list_targets(q, NVR_CHANNELS, &targets) || !json_plain_int(q, "resolution", &in.resolution) ||
      !json_plain_int(q, "quality", &in.quality) || !json_plain_int(q, "interval", &in.interval) ||
      !json_plain_int(q, "interval_unit", &in.interval_unit) ||
      !json_plain_int(q, "expiration_date", &in.expiration_date)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  // The five page fields go to every listed channel; the integers only the
  // store knows stay as each channel has them.
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  for (int i = 0; ok && i < targets.n; ++i) {
    const int ch = targets.channels[i];
    SnapshotSettings r;
    std::memset(&r, 0, sizeof r);
    ok &= read_snapshot(ZRDB_PATH, &r, ch) == 0;
    const SnapshotSettings before = r;
    r.resolution = in.resolution;
    r.quality = in.quality;
    r.interval = in.interval;
    r.interval_unit = in.interval_unit;
    r.expiration_date = in.expiration_date;
    if (ok && std::memcmp(&before, &r, sizeof r) != 0) ok &= write_snapshot(ZRDB_PATH, &r, ch) == 0;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  const SnapshotChannelList list = channel_list(targets);
  notify_core(REQ_SNAPSHOT_SETTINGS, &list, sizeof list);
  cgi_reply_ok();
}

void on_set_snapshot_batch_setting(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  int32_t start_cnt = 0, stop_cnt = 0;
  if (!q || !json_plain_int(q, "snapshotCnt", &start_cnt) || !json_plain_int(q, "stopCnt", &stop_cnt)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  const RequestChannels start = take_request_channels(q, "snapshotChnId", start_cnt, NVR_CHANNELS);
  const RequestChannels stop = take_request_channels(q, "stopChnId", stop_cnt, NVR_CHANNELS);
  SnapshotCommand cmd;
  if (start_cnt > 0) {
    std::memset(&cmd, 0, sizeof cmd);
    cmd.action = 1;
    for (int i = 0; i < start.n; ++i) cmd.flags[start.channels[i]] = 1;
    notify_core(REQ_SNAPSHOT_COMMAND, &cmd, sizeof cmd);
  }
  if (stop_cnt > 0) {
    std::memset(&cmd, 0, sizeof cmd);
    for (int i = 0; i < stop.n; ++i) cmd.flags[stop.channels[i]] = 1;
    notify_core(REQ_SNAPSHOT_COMMAND, &cmd, sizeof cmd);
  }
  cgi_reply_ok();
}

}  // namespace video
