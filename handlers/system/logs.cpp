// Log pages: search page by page, one entry's detail, the CSV export and its
// state, the catalogue of log types with translated names.
// Serves "/1002", "/1003", "/1015", "/1021", "/1022".
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>

#include "core/download.h"
#include "core/event_actions.h"
#include "core/tmp_file.h"
#include "handlers/system/log_records.h"
#include "handlers/system/system.h"
#include "platform/translate.h"
#include "platform/zrfs.h"

namespace sysadmin {

namespace {

constexpr int REQ_LOG_SEARCH = 3495;
constexpr int REQ_LOG_EXPORT = 3494;
constexpr int REQ_LOG_DETAIL = 3488;
constexpr char kExportMarkerDir[] = "/tmp/log";
constexpr char kExportMarker[] = "/tmp/log/log_web";

// What the reply writers need of the request.
struct LogContext {
  char language[32];
  int page;
  int main_type;
};
LogContext g_log{};

struct MainTypeRow {
  int type;
  int trans_id;
  const char* word;
};
const MainTypeRow kMainTypes[] = {
    {1, 1, "All"}, {2, 2, "Event"}, {4, 3, "Operation"}, {8, 4, "Information"}, {32, 5, "Exception"}, {64, 6, "Debug"},
};

const MainTypeRow* main_type_row(int type) {
  for (const MainTypeRow& r : kMainTypes)
    if (r.type == type) return &r;
  return nullptr;
}

const char* main_type_name(int type) {
  const MainTypeRow* r = main_type_row(type);
  return r ? trans_get_value(r->trans_id) : "";
}

// Translations stay open while one reply is written.
struct Translation {
  explicit Translation(const char* language) { trans_init(language); }
  ~Translation() { trans_deinit(); }
};

// The client address as a page shows it: an IPv4-mapped address without
// its prefix, a scoped IPv6 address without its zone.
std::string shown_address(const char* ip, size_t size) {
  std::string a(ip, strnlen(ip, size));
  if (a.rfind("::ffff:", 0) == 0 && a.find('.') != std::string::npos) return a.substr(7);
  const size_t pct = a.find('%');
  return pct == std::string::npos ? a : a.substr(0, pct);
}

std::string local_time_text(int32_t t) {
  const time_t tt = t;
  struct tm tm {};
  localtime_r(&tt, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

// A local time text in the given format, or false.
bool parse_time(json_object* req, const char* key, const char* format, int32_t* out) {
  json_object* v = json_member(req, key, json_type_string);
  if (!v) return false;
  struct tm tm {};
  const char* end = strptime(json_object_get_string(v), format, &tm);
  if (!end || *end != '\0') return false;
  tm.tm_isdst = -1;
  const time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return false;
  *out = static_cast<int32_t>(t);
  return true;
}

// The checks "/1002" and "/1003" share, and the payload both send.
bool build_search(json_object* req, const char* time_format, LogSearch* s) {
  std::memset(s, 0, sizeof *s);
  json_object* lang = json_member(req, "language", json_type_string);
  int32_t main_type = 0, page = 0;
  json_object* subs = json_array_member(req, "subTypeArr");
  if (!lang || !json_strict_int(req, "mainType", &main_type) || main_type < 1 || main_type > 64 || !subs ||
      json_array_size(subs) == 0 || !json_has(req, "curPageNum") || !json_strict_int(req, "curPageNum", &page))
    return false;
  int32_t first = 0;
  json_object* f = json_array_at(subs, 0);
  if (!f || !json_value_int(f, &first) || first <= 9) return false;
  if (!parse_time(req, "startTime", time_format, &s->start_time) ||
      !parse_time(req, "endTime", time_format, &s->end_time))
    return false;
  copy_field(g_log.language, json_object_get_string(lang));
  g_log.page = page;
  g_log.main_type = main_type;
  s->main_type = main_type;
  const size_t n = std::min<size_t>(json_array_size(subs), LOG_SEARCH_SUB_TYPES);
  for (size_t i = 0; i < n; ++i) {
    int32_t v = 0;
    if (!json_value_int(json_array_at(subs, i), &v)) return false;
    s->sub_types[i] = v;
  }
  s->sub_type_count = static_cast<int32_t>(n);
  s->page = page;
  return true;
}

// Operation logs of an export: the first three sub-type entries, minus 10,
// are bit sets over the sub-types from 101, 131 and 200.
void expand_operation_sub_types(LogSearch* s) {
  static const int kBase[3] = {101, 131, 200};
  int64_t sets[3] = {};
  for (int g = 0; g < 3 && g < s->sub_type_count; ++g) sets[g] = s->sub_types[g] - 10;
  int count = 0;
  for (int g = 0; g < 3; ++g) {
    if (sets[g] <= 0) continue;
    for (int i = 0; i < 30 && count < LOG_SEARCH_SUB_TYPES; ++i)
      if (sets[g] & (1LL << i)) s->sub_types[count++] = kBase[g] + i;
  }
  for (int i = count; i < LOG_SEARCH_SUB_TYPES; ++i) s->sub_types[i] = 0;
  s->sub_type_count = count;
}

json_object* log_element(int no, const LogRecord& r) {
  json_object* e = json_object_new_object();
  json_add_int(e, "no", no);
  json_add_int(e, "mainTypeValue", r.main_type);
  json_add_text(e, "mainType", main_type_name(r.main_type));
  json_add_int(e, "subTypeValue", r.sub_type);
  json_add_text(e, "subType", trans_get_value(static_cast<int>(r.sub_type)));
  json_add_int(e, "pts", r.pts);
  json_add_text(e, "ptc", local_time_text(r.pts));
  json_add_int(e, "parameterValue", r.param);
  json_add_text(e, "parameter", trans_get_value(r.param));
  json_add_int(e, "remote", r.remote);
  json_add_int(e, "chanNo", r.channel);
  json_add_int(e, "disk", log_channo_is_disk(r.main_type, r.sub_type));
  json_add_int(e, "size", r.size);
  json_add_text(e, "detail",
                std::string_view(reinterpret_cast<const char*>(r.detail), strnlen(reinterpret_cast<const char*>(r.detail), sizeof r.detail)));
  json_object* d2 = json_object_new_array();
  for (size_t k = 0; k < sizeof r.detail / 4; ++k) {
    const uint8_t* p = r.detail + 4 * k;
    const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                                           static_cast<uint32_t>(p[2]) << 8 | p[3]);
    json_object_array_add(d2, json_object_new_int(v));
  }
  json_object_object_add(e, "detail2", d2);
  json_add_text(e, "ip", shown_address(r.ip, sizeof r.ip));
  json_add_field(e, "user", r.user);
  return e;
}

// A CSV field in double quotes, inner quotes doubled, then the comma.
void csv_quoted(std::string* row, std::string_view text) {
  row->push_back('"');
  for (char c : text) {
    if (c == '"') row->push_back('"');
    if (c == '\r' || c == '\n') c = ' ';
    row->push_back(c);
  }
  row->append("\",");
}

std::string or_na(const char* text) { return text && *text ? text : "N/A"; }

void write_export_rows(int fd) {
  int32_t n = 0;
  if (read(fd, &n, sizeof n) != static_cast<ssize_t>(sizeof n)) return;
  auto detail = std::make_unique<char[]>(LOG_EXPORT_DETAIL + 1);
  FILE* out = cgiOut ? cgiOut : stdout;
  for (int32_t i = 0; i < n; ++i) {
    LogRecord r;
    if (read(fd, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) break;
    if (read(fd, detail.get(), LOG_EXPORT_DETAIL) != static_cast<ssize_t>(LOG_EXPORT_DETAIL)) break;
    detail[LOG_EXPORT_DETAIL] = '\0';
    std::string row = std::to_string(i + 1) + "," + local_time_text(r.pts) + ",";
    csv_quoted(&row, or_na(main_type_name(r.main_type)));
    csv_quoted(&row, or_na(trans_get_value(static_cast<int>(r.sub_type))));
    csv_quoted(&row, or_na(trans_get_value(r.param)));
    csv_quoted(&row, std::string_view(r.user, strnlen(r.user, sizeof r.user)));
    csv_quoted(&row, shown_address(r.ip, sizeof r.ip));
    row += std::to_string(r.channel) + ",";
    csv_quoted(&row, or_na(detail.get()));
    row += "\r\n";
    std::fwrite(row.data(), 1, row.size(), out);
  }
}

}  // namespace

// Reply 8495: one page of entries.
void on_get_log_info_cb(const void* payload, uint32_t length) {
  if (length < sizeof(LogPage)) {
    cgi_writeback_webserver(CGI_KIND_JSON, "ERROR");
    g_callback_done = 1;
    return;
  }
  auto page = std::make_unique<LogPage>();
  std::memcpy(page.get(), payload, sizeof(LogPage));
  const int num = page->num < 0 ? 0 : page->num > LOG_PAGE_ENTRIES ? LOG_PAGE_ENTRIES : page->num;
  Translation tr(g_log.language);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "count", page->total < 0 ? 0 : page->total);
  json_add_int(out.get(), "num", num);
  json_add_int(out.get(), "curPageNum", g_log.page);
  json_object* list = json_object_new_array();
  for (int i = 0; i < num; ++i) json_object_array_add(list, log_element(i, page->records[i]));
  json_object_object_add(out.get(), "log", list);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// Reply 8494: the CSV download of the file the core daemon wrote.
void on_download_logfile_cb(const void* payload, uint32_t length) {
  LogExportReply rep{};
  std::memcpy(&rep, payload, length < sizeof rep ? length : sizeof rep);
  const std::string core_path(rep.path, strnlen(rep.path, sizeof rep.path));
  const time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%4d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  const MainTypeRow* row = main_type_row(g_log.main_type);
  char mac[64] = {};
  char eth1[18];
  get_mac_addr(mac, eth1);
  char name[192];
  std::snprintf(name, sizeof name, "%s_log_%s_%s.csv", row ? row->word : "All", mac, stamp);
  Translation tr(g_log.language);
  download_write_headers(name);
  FILE* out = cgiOut ? cgiOut : stdout;
  std::fputs("Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n", out);
  // The core daemon's file is read and removed only when it is a plain file
  // directly in /tmp.
  std::string full;
  if (!core_path.empty() && tmp_file_check(core_path, &full) == 0) {
    const int fd = tmp_file_open_read(core_path);
    if (fd >= 0) {
      write_export_rows(fd);
      close(fd);
    }
    if (unlink(full.c_str()) != 0) CGI_LOG("log export: cannot remove %s", full.c_str());
  } else if (!core_path.empty()) {
    CGI_LOG("log export: refused file %s", core_path.c_str());
  }
  std::fflush(out);
  g_callback_done = 1;
}

// Reply 8488: the detail text.
void on_get_log_details_cb(const void* payload, uint32_t length) {
  const char* text = static_cast<const char*>(payload);
  const std::string detail(text, strnlen(text, length));
  cgi_writeback_webserver(CGI_KIND_TEXT, detail.empty() ? "N/A" : detail.c_str());
  g_callback_done = 1;
}

// "/1002"
void on_get_log_info(char* text) {
  JsonPtr req = parse_request(text);
  LogSearch s;
  if (!req || !build_search(req.get(), "%Y-%m-%d %H:%M:%S", &s) || !json_texts_readable(req.get(), {"chnMask"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* mask = json_member(req.get(), "chnMask", json_type_string);
  if (mask) s.channel_mask = channel_mask_from_text(json_object_get_string(mask));
  int32_t no_chn = 0;
  json_strict_int(req.get(), "searchNoChn", &no_chn);
  s.no_channel = no_chn;
  cgi_ipc_exchange(on_system_ipc_callback, REQ_LOG_SEARCH, &s, sizeof s, CGI_KIND_JSON);
}

// "/1003"
void on_download_logfile(char* text) {
  JsonPtr req = parse_request(text);
  LogSearch s;
  if (!req || !build_search(req.get(), "%Y-%m-%dT%H:%M:%S", &s) || !json_texts_readable(req.get(), {"ch"})) return;
  s.page = 1;
  json_object* ch = json_member(req.get(), "ch", json_type_string);
  if (ch) {
    const char* t = json_object_get_string(ch);
    char* end = nullptr;
    errno = 0;
    const unsigned long long m = std::strtoull(t, &end, 10);
    if (std::strlen(t) > 64 || end == t || *end != '\0' || errno == ERANGE) return;
    s.channel_mask = m;
  }
  int32_t na = 0;
  json_strict_int(req.get(), "na", &na);
  s.no_channel = na;
  if (s.main_type == 4 && s.sub_types[0] != 10) expand_operation_sub_types(&s);
  mkdir(nvr_path(kExportMarkerDir).c_str(), 0755);
  const std::string marker = nvr_path(kExportMarker);
  FILE* m = std::fopen(marker.c_str(), "w");
  if (m) std::fclose(m);
  cgi_ipc_exchange(on_system_ipc_callback, REQ_LOG_EXPORT, &s, sizeof s, CGI_KIND_JSON);
  unlink(marker.c_str());
}

// "/1015"
void on_get_log_types(char* text) {
  JsonPtr req = parse_request(text);
  if (!req || !json_texts_readable(req.get(), {"lan"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  char lan[16] = {};
  json_get_text(req.get(), "lan", lan);
  const bool oem90 = get_param_int(ZRDB_PATH, "oem_type", 0) == 90;
  Translation tr(lan);
  auto entry = [](int id, const char* name) {
    json_object* e = json_object_new_object();
    json_add_int(e, "key", id);
    json_add_text(e, "name", name);
    return e;
  };
  JsonPtr out(json_object_new_object());
  json_object* mains = json_object_new_array();
  json_object* subs = json_object_new_array();
  for (const MainTypeRow& r : kMainTypes) {
    json_object_array_add(mains, entry(r.type, trans_get_value(r.trans_id)));
    json_object* list = json_object_new_array();
    auto add = [&](int id) { json_object_array_add(list, entry(id, trans_get_value(id))); };
    add(10);
    switch (r.type) {
      case 2:
        for (int id = 11; id <= 36; ++id)
          if (id != 31 && id != 32 && ((id != 15 && id != 16) || oem90)) add(id);
        for (int id = 38; id <= 41; ++id) add(id);
        add(43);
        add(44);
        break;
      case 4:
        for (int id = 101; id <= 143; ++id) add(id);
        for (int id = 200; id <= 225; ++id) add(id);
        break;
      case 8:
        for (int id = 500; id <= 519; ++id)
          if (id < 507 || id > 510) add(id);
        break;
      case 32:
        for (int id = 400; id <= 413; ++id)
          if (id != 408) add(id);
        break;
      case 64:
        for (int id = 600; id <= 603; ++id) add(id);
        break;
      default:
        break;
    }
    json_object_array_add(subs, list);
  }
  json_object_object_add(out.get(), "mainType", mains);
  json_object_object_add(out.get(), "subType", subs);
  cgi_write_json(out.get());
}

// "/1021"
void on_get_log_details(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  LogRecord r;
  std::memset(&r, 0, sizeof r);
  int32_t sub = 0;
  const bool ok = json_plain_int(req.get(), "mainTypeValue", &r.main_type) &&
                  json_plain_int(req.get(), "subTypeValue", &sub) && json_plain_int(req.get(), "pts", &r.pts) &&
                  json_plain_int(req.get(), "parameterValue", &r.param) &&
                  json_plain_int(req.get(), "remote", &r.remote) && json_plain_int(req.get(), "chanNo", &r.channel) &&
                  json_plain_int(req.get(), "size", &r.size);
  if (!ok || !json_texts_readable(req.get(), {"ip", "user"})) return;
  r.sub_type = sub;  // sign-extended
  json_object* d2 = json_array_member(req.get(), "detail2");
  for (size_t k = 0; k < json_array_size(d2) && k < sizeof r.detail / 4; ++k) {
    int32_t v = 0;
    json_value_int(json_array_at(d2, k), &v);
    const uint32_t u = static_cast<uint32_t>(v);
    r.detail[4 * k] = static_cast<uint8_t>(u >> 24);
    r.detail[4 * k + 1] = static_cast<uint8_t>(u >> 16);
    r.detail[4 * k + 2] = static_cast<uint8_t>(u >> 8);
    r.detail[4 * k + 3] = static_cast<uint8_t>(u);
  }
  json_get_text(req.get(), "ip", r.ip);
  json_get_text(req.get(), "user", r.user);
  cgi_ipc_exchange(on_system_ipc_callback, REQ_LOG_DETAIL, &r, sizeof r, CGI_KIND_TEXT);
}

// "/1022"
void on_check_download_log(char*) {
  struct stat st {};
  reply_text(stat(nvr_path(kExportMarker).c_str(), &st) == 0 ? "OK" : "NO");
}

}  // namespace sysadmin
