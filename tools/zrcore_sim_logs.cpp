// zrcore-sim: the recorder's log, the diagnostic package and the alarm
// audio files. The log is a fixed day of 300 entries (operation, event,
// information and exception records) searched, paged and exported as the
// core daemon does; the audio list lives in the configuration store, so the
// event pages see the same files.
#include <cstdio>
#include <memory>
#include <string>

#include "core/paths.h"
#include "core/strutil.h"
#include "core/web_utils.h"
#include "handlers/system/log_records.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

constexpr int kLogEntries = 300;
constexpr int32_t kLogDay = 1796601600;  // 2026-12-07 00:00:00 UTC

struct LogKind {
  int main_type;
  int sub_type;
  int param;
  const char* detail;
};
const LogKind kKinds[] = {
    {4, 201, 900, "Login"},
    {2, 11, 909, "Motion detected"},
    {4, 204, 909, "Motion settings saved"},
    {8, 500, 0, "System started"},
    {2, 12, 0, "Video loss"},
    {32, 401, 0, "Disk full"},
    {4, 202, 900, "Logout"},
    {8, 511, 0, "Disk added"},
    {4, 204, 914, "Network settings saved"},
    {64, 600, 0, "Debug trace"},
};

LogRecord log_entry(int i) {
  LogRecord r;
  std::memset(&r, 0, sizeof r);
  const LogKind& k = kKinds[i % (sizeof kKinds / sizeof kKinds[0])];
  r.main_type = k.main_type;
  r.sub_type = k.sub_type;
  r.param = k.param;
  r.pts = kLogDay + i * 287;
  r.remote = i % 3 == 0 ? 1 : 0;
  r.channel = k.main_type == 4 && k.sub_type != 204 ? 0 : 1 + i % 8;
  static const char* const kAddrs[] = {"192.168.1.20", "::ffff:192.168.1.31", "fe80::1%eth0", "127.0.0.1"};
  copy_field(r.ip, kAddrs[i % 4]);
  copy_field(r.user, i % 5 == 0 ? "operator" : "admin");
  const std::string detail = string_printf("%s (entry %d)", k.detail, i + 1);
  r.size = static_cast<int32_t>(detail.size());
  std::memcpy(r.detail, detail.data(), detail.size());
  return r;
}

bool matches(const LogSearch& s, const LogRecord& r) {
  if (r.pts < s.start_time || r.pts > s.end_time) return false;
  if (s.main_type != 1 && s.main_type != r.main_type) return false;
  const int n = s.sub_type_count < 0 ? 0 : s.sub_type_count > LOG_SEARCH_SUB_TYPES ? LOG_SEARCH_SUB_TYPES : s.sub_type_count;
  bool sub = n == 0;
  for (int i = 0; i < n && !sub; ++i) sub = s.sub_types[i] == 10 || s.sub_types[i] == r.sub_type;
  if (!sub) return false;
  if (s.channel_mask != 0 && r.channel > 0 && !(s.channel_mask & (1ULL << ((r.channel - 1) & 63)))) return false;
  return true;
}

void log_search(int req, const Bytes& p, std::vector<SimReply>* out) {
  const LogSearch s = sim_read<LogSearch>(p);
  auto page = std::make_unique<LogPage>();
  std::memset(page.get(), 0, sizeof(LogPage));
  const int first = (s.page < 1 ? 0 : s.page - 1) * LOG_PAGE_ENTRIES;
  int total = 0;
  for (int i = 0; i < kLogEntries; ++i) {
    const LogRecord r = log_entry(i);
    if (!matches(s, r)) continue;
    if (total >= first && total < first + LOG_PAGE_ENTRIES) page->records[page->num++] = r;
    ++total;
  }
  page->total = total;
  sim_reply(out, req, sim_bytes(*page));
}

void log_export(int req, const Bytes& p, std::vector<SimReply>* out) {
  const LogSearch s = sim_read<LogSearch>(p);
  Bytes file(sizeof(int32_t));
  int32_t n = 0;
  for (int i = 0; i < kLogEntries; ++i) {
    const LogRecord r = log_entry(i);
    if (!matches(s, r)) continue;
    sim_append(&file, r);
    char detail[LOG_EXPORT_DETAIL] = {};
    std::memcpy(detail, r.detail, sizeof r.detail);
    file.insert(file.end(), detail, detail + sizeof detail);
    ++n;
  }
  std::memcpy(file.data(), &n, sizeof n);
  LogExportReply rep{};
  copy_field(rep.path, "/tmp/logexport.dat");
  if (FILE* f = std::fopen(nvr_path(rep.path).c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  sim_reply(out, req, sim_bytes(rep));
}

void log_detail(int req, const Bytes& p, std::vector<SimReply>* out) {
  const LogRecord r = sim_read<LogRecord>(p);
  const std::string text = string_printf("%s from %s on channel %d", field_view(r.user).empty() ? "system" : r.user,
                                         field_view(r.ip).empty() ? "local" : r.ip, r.channel);
  sim_reply(out, req, Bytes(text.begin(), text.end()));
}

void diagnosis(int req, const Bytes&, std::vector<SimReply>* out) {
  DiagnosisReply rep{};
  copy_field(rep.path, "/tmp/diagnosis.tar.gz");
  if (FILE* f = std::fopen(nvr_path(rep.path).c_str(), "wb")) {
    for (int i = 0; i < 200; ++i) std::fprintf(f, "diagnostic line %d\n", i);
    std::fclose(f);
  }
  sim_reply(out, req, sim_bytes(rep));
}

AudioFileList audio_list() {
  AudioFileList list{};
  read_audio_file_list(ZRDB_PATH, &list);
  return list;
}

void audio_reply(int req, const Bytes& p, std::vector<SimReply>* out) {
  AudioFileList list = audio_list();
  int32_t status = 0;
  switch (req) {
    case 4012: {
      Bytes b;
      for (int i = 0; i < AUDIO_FILE_ENTRIES; ++i) {
        AudioFileReply e{};
        e.id = i;
        e.enable = list.entries[i].used;
        std::memcpy(e.name, list.entries[i].name, sizeof e.name);
        sim_append(&b, e);
      }
      sim_reply(out, req, b);
      return;
    }
    case 4013: {
      status = -1;
      for (int i = 0; i < AUDIO_FILE_ENTRIES && status != 0; ++i) {
        if (list.entries[i].used == 1) continue;
        list.entries[i].used = 1;
        list.entries[i].id = i;
        std::memcpy(list.entries[i].name, p.data(), std::min<size_t>(p.size(), sizeof list.entries[i].name - 1));
        status = 0;
      }
      break;
    }
    case 4014: {
      const int32_t mask = sim_read<int32_t>(p);
      for (int i = 0; i < AUDIO_FILE_ENTRIES; ++i)
        if (mask & (1 << i)) list.entries[i] = AudioFileEntry{};
      break;
    }
    case 4015: {
      const AudioFileReply e = sim_read<AudioFileReply>(p);
      if (e.id < 0 || e.id >= AUDIO_FILE_ENTRIES || list.entries[e.id].used != 1) {
        status = -1;
      } else {
        std::memcpy(list.entries[e.id].name, e.name, sizeof e.name);
        list.entries[e.id].name[sizeof e.name - 1] = '\0';
      }
      break;
    }
    default:
      break;
  }
  if (req != 4016 && status == 0) write_audio_file_list(ZRDB_PATH, &list);
  sim_reply_status(out, req, status);
}

const SimRow kRows[] = {
    {3495, log_search}, {3494, log_export},  {3488, log_detail},  {3528, diagnosis},   {4012, audio_reply},
    {4013, audio_reply}, {4014, audio_reply}, {4015, audio_reply}, {4016, audio_reply},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
