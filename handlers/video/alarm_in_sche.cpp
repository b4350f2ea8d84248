// Action schedules of the recorder's alarm inputs as the event pages edit
// them: audible, e-mail, PTZ and effective schedules with their list setters.
// Serves "/6125", "/6126", "/6128", "/6129", "/6167", "/6168", "/6169", "/6170".
#include "handlers/video/video.h"

namespace video {

namespace {

constexpr int REQ_ALARM_IN_SCHEDULE = 1404;

// "/6125" and "/6126": one schedule and the trigger fields for a list of
// alarm inputs.
void set_alarmin_list_sche(char* text, bool email) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  RequestChannels targets;
  int32_t enable = 0, interval = 0;
  const bool has_enable = json_has(q, "enable"), has_interval = json_has(q, "interval");
  const bool has_pictures = email && json_has(q, "triSnapshot");
  if (!q || !take_list_targets(q, NVR_ALARM_INPUTS, &targets) || !json_plain_int(q, "enable", &enable) ||
      !json_plain_int(q, "interval", &interval) || !json_texts_readable(q, {"triSnapshot"}) ||
      !event_schedule_readable(q, "schedule"))
    return;
  const char* pictures = member_text(q, "triSnapshot");
  auto s = request_schedule(q);
  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  for (int i = 0; ok && i < targets.n; ++i) {
    const int id = targets.channels[i];
    AlarmInRecord r;
    std::memset(&r, 0, sizeof r);
    ok &= read_alarm_in(ZRDB_PATH, &r, id) == 0;
    const AlarmInRecord before = r;
    r.id = id;
    if (has_enable) *(email ? &r.email_flag : &r.enable) = enable;
    if (has_interval) *(email ? &r.email_interval : &r.interval) = interval;
    if (has_pictures) set_text_field({r.tri_snapshot, sizeof r.tri_snapshot, 64}, pictures);
    if (ok && std::memcmp(&before, &r, sizeof r) != 0) ok &= write_alarm_in(ZRDB_PATH, &r, id) == 0;
  }
  ok &= write_schedule_to(email ? ALARMIN_EMAIL_SCHEDULE : ALARMIN_AUDIBLE_SCHEDULE, s.get(), targets.mask);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  notify_core(REQ_ALARM_IN_COPIED, &targets.mask, sizeof targets.mask);
  cgi_reply_ok();
}

}  // namespace

void on_set_alarmin_audible_sche(char* text) { set_alarmin_list_sche(text, false); }
void on_set_alarmin_email_sche(char* text) { set_alarmin_list_sche(text, true); }

void on_get_alarmin_email_sche(char* text) { answer_bare_schedule(text, ALARMIN_EMAIL_SCHEDULE); }
void on_get_alarmin_audible_sche(char* text) { answer_bare_schedule(text, ALARMIN_AUDIBLE_SCHEDULE); }
void on_get_alarmin_ptz_sche(char* text) { answer_bare_schedule(text, ALARMIN_PTZ_SCHEDULE); }
void on_get_alarmin_effective_sche(char* text) { answer_bare_schedule(text, ALARMIN_EFFECTIVE_SCHEDULE); }

void on_set_alarmin_ptz_sche(char* text) {
  set_list_ptz_sche(text, PTZ_TYPE_ALARM_IN, ALARMIN_PTZ_SCHEDULE, NVR_ALARM_INPUTS, REQ_ALARM_IN_COPIED);
}

void on_set_alarmin_effective_sche(char* text) {
  JsonPtr req(parse_request_object(text));
  json_object* q = req.get();
  if (!q) return;
  int id = 0;
  auto s = request_schedule(q);
  if (!json_strict_int_in(q, "camId", 0, NVR_ALARM_INPUTS - 1, &id) || !s) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  if (!finish_event_writes(txn, write_event_schedule(ALARMIN_EFFECTIVE_SCHEDULE, id, *s), CGI_KIND_TEXT)) return;
  notify_core_int(REQ_ALARM_IN_SCHEDULE, id);
  cgi_reply_ok();
}

}  // namespace video
