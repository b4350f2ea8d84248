// Copy of alarm-input triggers.
// Serves "/6127".
#include "handlers/video/video.h"

namespace video {

// ---- Alarm-input trigger copy -------------------------------------------------------

void on_set_alarm_others(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) return;
  json_object* q = req.get();
  int src = 0;
  if (!json_id_in_range(q, "camId", 0, NVR_ALARM_INPUTS - 1, &src)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  RequestInts n;
  const int type = n.plain(q, "type");
  const int cnt = n.plain(q, "cnt");
  json_object* targets = json_array_member(q, "chnid");
  const int listed = static_cast<int>(json_array_size(targets));
  uint64_t mask = 0;
  // Inputs outside the range and the source itself are skipped; an entry
  // that is not a number refuses the request.
  for (int i = 0; i < cnt && i < listed; ++i) {
    int id = -1;
    if (!json_value_int(json_array_at(targets, i), &id)) n.ok = false;
    if (id >= 0 && id < NVR_ALARM_INPUTS && id != src) mask |= 1ULL << id;
  }
  int32_t tri_alarms = 0;
  const JsonIntState alarms = json_int_member(q, "triAlarms", &tri_alarms);
  if (!n.ok || alarms == JSON_INT_BAD || !json_texts_readable(q, {"triChannels"})) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }

  bool ok = true;
  ZrdbTransaction txn(ZRDB_PATH);
  // The source's stored triggers, or the ones the page sends with it.
  AlarmInRecord source;
  std::memset(&source, 0, sizeof source);
  ok &= read_alarm_in(ZRDB_PATH, &source, src) == 0;
  if (json_has(q, "triChannels"))
    set_text_field({source.tri_channels, sizeof source.tri_channels, 64}, member_text(q, "triChannels"));
  if (alarms == JSON_INT_OK) source.tri_alarms = tri_alarms;
  for (int id = 0; id < NVR_ALARM_INPUTS; ++id) {
    if (!(mask & (1ULL << id))) continue;
    AlarmInRecord r;
    std::memset(&r, 0, sizeof r);
    ok &= read_alarm_in(ZRDB_PATH, &r, id) == 0;
    r.id = id;
    if (type == 0) {
      set_text_field({r.tri_channels, sizeof r.tri_channels, 64}, field_view(source.tri_channels));
      r.chn_mask = chn_text_mask32(r.tri_channels, sizeof r.tri_channels);
    } else {
      r.tri_alarms = source.tri_alarms;
    }
    ok &= write_alarm_in(ZRDB_PATH, &r, id) == 0;
  }
  if (mask)
    ok &= zrdb_copy_record(ZRDB_PATH, ALARMIN_EFFECTIVE_SCHEDULE, src, mask, sizeof(ScheduleRecord)) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core(REQ_ALARM_IN_COPIED, &mask, sizeof mask);
  log_operation_copy(LOG_SUB_EVENT, LOG_PARAM_MOTION, 0, mask);
  cgi_reply_ok();
}

}  // namespace video
