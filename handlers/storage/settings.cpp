// Recording settings of the disks:
// "/6204" set and "/6205" read the recycle (overwrite) mode, "/6206"
// S.M.A.R.T. self-evaluation, "/6208" quotas with the disk groups, "/6209"
// set quotas, "/6210" disk group mode and the channels of the groups.
#include "core/event_actions.h"
#include "handlers/storage/storage.h"

namespace storage {

namespace {

// What "/6208" answers beside the quotas, read before the exchange.
DiskGroupView g_group_view;

}  // namespace

// ---- Reply writers ------------------------------------------------------------------

// "OK" only when the core took the mode (status word 0); a refusal is
// "Error" and an empty or short reply the page's error reply.
void on_set_recycle_cb(int count, const void* payload) {
  if (!storage_take_word(count, payload)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
  } else {
    JsonPtr out(json_object_new_object());
    json_add_text(out.get(), "status", g_storage_reply_word == 0 ? "OK" : "Error");
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

void on_get_recycle_mode_cb(int count, const void* payload) {
  if (count < 1 || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  RecycleMode m;
  std::memcpy(&m, payload, sizeof m);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "mode", m.mode);
  json_add_int(out.get(), "esata", m.esata);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_get_smart_attr_cb(int count, const void* payload) {
  if (count < 1 || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  SmartRecord rec;
  std::memcpy(&rec, payload, sizeof rec);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "selfEvaluation", field_view(rec.result).find("PASSED") != std::string_view::npos ? 1 : 0);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// The quota reply: enable and count, then as many 20-byte entries as both
// the count and the length allow.
void on_get_quota_info_cb(uint32_t length, const void* payload) {
  if (length < sizeof(QuotaReplyHead) || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  const uint8_t* p = static_cast<const uint8_t*>(payload);
  QuotaReplyHead head;
  std::memcpy(&head, p, sizeof head);
  const uint32_t room = (length - static_cast<uint32_t>(sizeof head)) / sizeof(QuotaEntry);
  const uint32_t n = head.count < 0 ? 0 : static_cast<uint32_t>(head.count) < room ? static_cast<uint32_t>(head.count) : room;

  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "enable", head.enable);
  json_object* list = json_object_new_array();
  for (uint32_t i = 0; i < n; ++i) {
    QuotaEntry e;
    std::memcpy(&e, p + sizeof head + i * sizeof e, sizeof e);
    json_object* o = json_object_new_object();
    json_add_int(o, "channel", e.channel);
    json_add_int(o, "video_used", e.video_used);
    json_add_int(o, "video_quota", e.video_quota);
    json_add_int(o, "picture_used", e.picture_used);
    json_add_int(o, "picture_quota", e.picture_quota);
    json_object_array_add(list, o);
  }
  json_object_object_add(out.get(), "quota_array", list);
  add_disk_group_view(out.get(), g_group_view);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

void on_set_quota_info_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }

// ---- Handlers -----------------------------------------------------------------------

// "/6204": {"mode", "esata"}; an absent "esata" is 0.
void on_set_recycle_mode(char* text) {
  JsonPtr req = parse_request(text);
  RecycleMode m{};
  if (!req || !json_strict_int(req.get(), "mode", &m.mode)) return;
  if (json_has(req.get(), "esata") && !json_strict_int(req.get(), "esata", &m.esata)) return;
  storage_exchange(REQ_SET_RECYCLE, &m, sizeof m, CGI_KIND_JSON);
}

// "/6205"
void on_get_recycle_mode(char*) {
  const int32_t zero = 0;
  storage_exchange(REQ_GET_RECYCLE, &zero, sizeof zero, CGI_KIND_JSON);
}

// "/6206": {"num", "port": [...]}: the last port asked for, a slot 1..36.
void on_get_smart_attr(char* text) {
  JsonPtr req = parse_request(text);
  int32_t port = 0;
  if (!req || !take_last_port(req.get(), &port) || !disk_port_valid(port)) return;
  storage_exchange(REQ_SMART_ATTR, &port, sizeof port, CGI_KIND_JSON);
}

// "/6208"
void on_get_quota_info(char*) {
  read_disk_group_view(&g_group_view);
  storage_exchange(REQ_GET_QUOTA, nullptr, 0, CGI_KIND_JSON);
}

// "/6209": {"enable", "quota_array": [{"channel" 0..63, "video_quota",
// "picture_quota"} ...]}; at most 8 entries are carried.
void on_set_quota_info(char* text) {
  JsonPtr req = parse_request(text);
  QuotaSet q{};
  if (!req || !json_strict_int(req.get(), "enable", &q.enable)) return;
  json_object* arr = json_array_member(req.get(), "quota_array");
  if (json_has(req.get(), "quota_array") && !arr) return;
  const size_t n = json_array_size(arr) < QUOTA_SET_ENTRIES ? json_array_size(arr) : QUOTA_SET_ENTRIES;
  for (size_t i = 0; i < n; ++i) {
    json_object* e = json_object_array_get_idx(arr, i);
    int32_t ch = 0;
    QuotaSetEntry& dst = q.entries[i];
    if (!json_strict_int_in(e, "channel", 0, 63, &ch) || !json_strict_int(e, "video_quota", &dst.video_quota) ||
        !json_strict_int(e, "picture_quota", &dst.picture_quota))
      return;
    dst.channel = static_cast<uint8_t>(ch);
  }
  q.count = static_cast<int32_t>(n);
  storage_exchange(REQ_SET_QUOTA, &q, sizeof q, CGI_KIND_TEXT);
}

// "/6210": {"group_enable": 0 or 1, "channel": [up to 16 channel texts]}.
// The channel texts are stored in the groups at the same index and each
// group change is sent to the core, then 1307.
void on_set_group_mode(char* text) {
  JsonPtr req = parse_request(text);
  int32_t enable = 0;
  if (!req || !json_strict_int_in(req.get(), "group_enable", 0, 1, &enable)) return;
  json_object* texts = json_array_member(req.get(), "channel");
  if (json_has(req.get(), "channel") && !texts) return;
  const size_t n = enable && json_array_size(texts) > DISK_GROUPS ? DISK_GROUPS : enable ? json_array_size(texts) : 0;
  for (size_t i = 0; i < n; ++i)
    if (!json_object_is_type(json_object_array_get_idx(texts, i), json_type_string)) return;

  GroupRecord groups[DISK_GROUPS];
  ZrdbTransaction txn(ZRDB_PATH);
  bool ok = read_disk_groups(groups) == 0;
  const int stored_mode = get_param_int(ZRDB_PATH, "group_mode", 0);
  const bool send_mode = enable == 0 || stored_mode == 0;
  if (ok && send_mode && stored_mode != enable) ok = set_param_int(ZRDB_PATH, "group_mode", enable) == 0;
  for (size_t i = 0; ok && i < n; ++i) {
    GroupRecord g = groups[i];
    copy_field(g.channel, json_object_get_string(json_object_array_get_idx(texts, i)));
    if (std::memcmp(&g, &groups[i], sizeof g) != 0) ok = write_group(ZRDB_PATH, &g, static_cast<int>(i)) == 0;
    groups[i] = g;
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  if (send_mode) notify_core_int(REQ_GROUP_MODE, enable);
  if (enable) {
    for (size_t i = 0; i < n; ++i) notify_core(REQ_GROUP_SET, &groups[i], sizeof groups[i]);
    notify_core(REQ_GROUP_CHANGED, nullptr, 0);
  }
  cgi_reply_ok();
}

}  // namespace storage
