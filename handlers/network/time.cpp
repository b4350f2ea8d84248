// System time and NTP: "/7000" current local time and the time settings,
// "/7001" write the time settings and set the clock.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/clock.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "handlers/network/network.h"

namespace {
constexpr int kFailoverNtp = 2;

void add_printf(json_object* o, const char* key, const char* fmt, int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, fmt, v);
  json_add_text(o, key, buf);
}

bool digits(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// A real local time written "YYYY-MM-DD HH:MM:SS" (the date must exist).
bool valid_manual_time(const char* s) {
  if (std::strlen(s) != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':') return false;
  if (!digits(s, 4) || !digits(s + 5, 2) || !digits(s + 8, 2) || !digits(s + 11, 2) || !digits(s + 14, 2) ||
      !digits(s + 17, 2))
    return false;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
  if (std::sscanf(s, "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &se) != 6) return false;
  if (y < 1970 || y > 2099 || mo < 1 || mo > 12 || h > 23 || mi > 59 || se > 59 || d < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[mo - 1] + (mo == 2 && leap ? 1 : 0);
}
}  // namespace

int read_time(const char* db, TimeRecord* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  return zrdb_read_record(db, "time", 0, rec, sizeof *rec) < 0 ? -1 : 0;
}

int write_time(const char* db, const TimeRecord* rec) {
  if (!rec) return -1;
  return zrdb_write_record(db, "time", 0, rec, sizeof *rec) == 0 ? 0 : -1;
}

void on_get_time_info(char*) {
  TimeRecord rec;
  if (read_time(ZRDB_PATH, &rec) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  const time_t now = nvr_time();
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  localtime_r(&now, &tm);
  char server_time[32] = {};
  std::strftime(server_time, sizeof server_time, "%Y-%m-%d %H:%M:%S", &tm);
  JsonPtr out(json_object_new_object());
  json_object* o = out.get();
  add_printf(o, "dateYear", "%.4d", tm.tm_year + 1900);
  add_printf(o, "dateMon", "%.2d", tm.tm_mon + 1);
  add_printf(o, "dateDay", "%.2d", tm.tm_mday);
  add_printf(o, "dateHour", "%.2d", tm.tm_hour);
  add_printf(o, "dateMin", "%.2d", tm.tm_min);
  add_printf(o, "dateSec", "%.2d", tm.tm_sec);
  json_add_text(o, "serverTime", server_time);
  json_add_int(o, "ntpEnable", rec.ntpEnable);
  json_add_int(o, "dstEnable", rec.dstEnable);
  json_add_field(o, "timeZone", rec.timeZone);
  json_add_field(o, "timeZoneName", rec.timeZoneName);
  json_add_field(o, "ntpServer", rec.ntpServer);
  json_add_int(o, "syncEnable", rec.syncEnable);
  json_add_int(o, "syncInterval", rec.syncInterval);
  json_add_int(o, "syncPc", rec.syncPc);
  cgi_write_json(o);
}

int on_set_systime_cb(const uint8_t*, size_t) { return 1; }

void on_set_time_info(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  TimeRecord rec;
  std::memset(&rec, 0, sizeof rec);
  int32_t failover = 0;
  if (!json_strict_int_in(r, "ntpEnable", 0, 1, &rec.ntpEnable) ||
      !json_strict_int_in(r, "dstEnable", 0, 1, &rec.dstEnable) || !json_has(r, "timeZone") ||
      !json_has(r, "timeZoneName") || !json_strict_int(r, "syncEnable", &rec.syncEnable) ||
      !json_strict_int(r, "syncInterval", &rec.syncInterval) || !json_strict_int(r, "syncPc", &rec.syncPc) ||
      !json_plain_int(r, "failoverMode", &failover) ||
      !json_texts_readable(r, {"timeZone", "timeZoneName", "ntpServer", "manualTime"}))
    return;
  json_get_text(r, "timeZone", rec.timeZone);
  json_get_text(r, "timeZoneName", rec.timeZoneName);
  json_get_text(r, "ntpServer", rec.ntpServer);
  if (!clean_field(rec.timeZone) || !clean_field(rec.timeZoneName) || !clean_field(rec.ntpServer)) return;

  // The clock is set by hand only when NTP is off and not the failover
  // source, and only to a time the request gives: without "manualTime"
  // (the getter's answer posted back) the settings are saved and the clock
  // is left alone.
  char payload[32] = {};
  if (rec.ntpEnable == 0 && failover != kFailoverNtp && json_has(r, "manualTime")) {
    // Room for more than the 19 characters of a time, so a longer text
    // stays too long instead of being cut into a valid one.
    char manual[24] = {};
    json_get_text(r, "manualTime", manual);
    if (!valid_manual_time(manual)) return;
    std::snprintf(payload, sizeof payload, "\"%s\"", manual);
  }
  if (write_time(ZRDB_PATH, &rec) != 0) {
    CGI_LOG("time settings not stored");
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
  // The answer is written: a missing reply adds nothing to it.
  cgi_start_ipc(on_network_ipc_callback, REQ_SET_TIME, sizeof payload, payload, 0);
  const int done = g_callback_done.load();
  cgi_stop_ipc();
  if (done) notify_core(REQ_TIME_CHANGED, nullptr, 0);
  log_operation(LOG_SUB_SET_TIME, LOG_PARAM_REBOOT, 0);
}
