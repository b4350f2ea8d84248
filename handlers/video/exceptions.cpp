// Recorder exceptions: the triggers of each exception kind and their HTTP
// notification targets.
// Serves "/6998", "/6999".
#include "handlers/video/video.h"
#include "core/account_scope.h"

namespace video {

namespace {

constexpr int REQ_EXCEPTION_TRIGGERS = 2104;
constexpr int REQ_EXCEPTION_HTTP = 3394;
constexpr int EXCEPTION_TRIGGERS = 12;
constexpr int EXCEPTION_KINDS = 14;
constexpr char EXCEPTION_HTTP_PARAMS[] = "except_http_notification_params";

// Triggers of the exception kinds, then the record-failure mail interval.
struct TriggerAlarms {
  int32_t triggers[EXCEPTION_TRIGGERS];
  int32_t record_failed_mail_interval;
};
static_assert(sizeof(TriggerAlarms) == 52, "exception trigger record is 52 bytes");
ZRDB_RECORD_FAMILY(trigger_alarms, TriggerAlarms, "trigger_alarms")

// The exception kinds in the order the store keeps them; the names are the
// members of "httpParams".
const char* const kExceptionNames[EXCEPTION_KINDS] = {
    "noDisk",       "diskFull",      "diskError",    "netDisconnect", "ipConflict",
    "illegalAccess", "recordFailed", "videoSignal",  "raidDegraded",  "raidFailed",
    "diskSmart",    "cameraOffline", "fanError",     "temperature",
};

struct ExceptionHttp {
  HttpNotifyParams kinds[EXCEPTION_KINDS];
};

bool read_http_notification_params_init(ExceptionHttp* out) {
  std::memset(out, 0, sizeof *out);
  return zrdb_read_record_range(ZRDB_PATH, EXCEPTION_HTTP_PARAMS, 0, out->kinds, sizeof out->kinds[0],
                                EXCEPTION_KINDS) == 0;
}

bool write_http_notification_params_batch(const ExceptionHttp& in) {
  bool ok = true;
  for (int i = 0; i < EXCEPTION_KINDS; ++i)
    ok &= write_http_notification_params(ZRDB_PATH, EXCEPTION_HTTP_PARAMS, i, &in.kinds[i]) == 0;
  return ok;
}

}  // namespace

const char* get_exception_name(int kind) {
  return kind >= 0 && kind < EXCEPTION_KINDS ? kExceptionNames[kind] : "";
}

void on_set_exception(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  json_object* list = json_member(q, "exception", json_type_array);
  if (!list || json_array_size(list) <= 7) return;
  // Entries beyond the list count 0; an absent mail interval stays as stored.
  int32_t triggers[EXCEPTION_TRIGGERS] = {};
  static_assert(sizeof triggers == sizeof TriggerAlarms::triggers, "one entry per trigger");
  for (int i = 0; i < EXCEPTION_TRIGGERS; ++i) {
    json_object* v = json_array_at(list, static_cast<size_t>(i));
    if (v && !json_value_int(v, &triggers[i])) return;
  }
  int32_t mail_interval = 0;
  const JsonIntState mail = json_int_member(q, "recordFailedMailInterval", &mail_interval);
  if (mail == JSON_INT_BAD) return;

  json_object* http = json_member(q, "httpParams", json_type_object);

  // Read, change and write in one transaction: a save of the other fields
  // at the same moment is not overwritten with what this one read.
  ZrdbTransaction txn(ZRDB_PATH);
  TriggerAlarms t;
  std::memset(&t, 0, sizeof t);
  ExceptionHttp params;
  if (read_trigger_alarms(ZRDB_PATH, &t, 0) != 0 || (http && !read_http_notification_params_init(&params))) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // A kind the request names takes its target; the others keep theirs, and
  // one never set is marked as not given.
  static const HttpNotifyParams kNeverSet{};
  for (int i = 0; http && i < EXCEPTION_KINDS; ++i) {
    HttpNotifyParams& p = params.kinds[i];
    // The stored target goes in: a password posted back empty by an
    // account that may not read it stays as stored.
    HttpNotifyParams named = p;
    if (get_http_params_by_json(i, &named, http, get_exception_name(i)) == 0)
      p = named;
    else if (std::memcmp(&p, &kNeverSet, sizeof p) == 0)
      p.chn_id = -1;
  }
  std::memcpy(t.triggers, triggers, sizeof t.triggers);
  if (mail == JSON_INT_OK) t.record_failed_mail_interval = mail_interval;
  bool ok = write_trigger_alarms(ZRDB_PATH, &t, 0) == 0;
  if (http) ok &= write_http_notification_params_batch(params);
  if (!finish_event_writes(txn, ok, CGI_KIND_JSON)) return;
  notify_core(REQ_EXCEPTION_TRIGGERS, nullptr, 0);
  if (http) notify_core(REQ_EXCEPTION_HTTP, nullptr, 0);
  cgi_writeback_webserver(CGI_KIND_JSON, "{\"status\":\"CGI SUCCESS\"}");
}

void on_get_exception(char*) {
  TriggerAlarms t;
  std::memset(&t, 0, sizeof t);
  ExceptionHttp params;
  if (read_trigger_alarms(ZRDB_PATH, &t, 0) != 0 || !read_http_notification_params_init(&params)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_object* out = o.get();
  json_object* http = json_object_new_object();
  for (int i = 0; i < EXCEPTION_KINDS; ++i) {
    const char* name = get_exception_name(i);
    if (!*name) continue;
    json_object* e = json_object_new_object();
    json_add_field(e, "url", params.kinds[i].url);
    json_add_field(e, "username", params.kinds[i].username);
    json_add_text(e, "password", reply_secret(params.kinds[i].password));
    json_object_object_add(http, name, e);
  }
  json_add(out, "httpParams", http);
  json_object* list = json_object_new_array();
  for (int32_t v : t.triggers) json_object_array_add(list, json_object_new_int(v));
  json_add(out, "exception", list);
  json_add_int(out, "recordFailedMailInterval", t.record_failed_mail_interval);
  cgi_write_json(out);
}

}  // namespace video
