// Camera firmware upgrade: "/2078", "/2079", "/2080", "/2081", "/2082".
//
// The core daemon upgrades the selected channels (0..7) from the camera
// image already uploaded to the recorder or from a URL it downloads into
// that image file, reports progress per channel and can stop.
#include "handlers/camera/firmware.h"

#include <sys/stat.h>

#include "core/paths.h"
#include "handlers/camera/camera.h"

namespace camera {
namespace {
constexpr size_t kMaxUrl = 127;
constexpr size_t kStatusTextMax = 2047;

// Bit n for each of the first 8 characters of the text that is '1'; a
// shorter text ends where it ends.
uint64_t upgrade_mask_from_text(const std::string& text) {
  return mask_from_text(std::string_view(text).substr(0, kUpgradeChannels));
}

// Character n '1' when bit n is set, for channels 0..7.
std::string upgrade_mask_text(uint64_t mask) { return mask_text(mask).substr(0, kUpgradeChannels); }

bool ipc_image_present() {
  struct stat st {};
  return lstat(nvr_path(kIpcImagePath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

IpcUpgradeStatus status_record(const uint8_t* data) {
  IpcUpgradeStatus s;
  std::memcpy(&s, data, sizeof s);
  return s;
}
}  // namespace

// 8385
int on_set_ipc_upgrade_cb(const uint8_t* data, size_t len) { return on_res_word_cb(data, len); }

// 8386
int on_get_ipc_upgrade_status_cb(const uint8_t* data, size_t) {
  const IpcUpgradeStatus s = status_record(data);
  std::string text = "chnid=" + std::to_string(static_cast<long long>(s.chn_mask)) + "\r\n";
  for (int n = 0; n < kUpgradeChannels; ++n)
    if (s.chn_mask & (1ULL << n)) text += "status" + std::to_string(n) + "=" + std::to_string(s.status[n]) + "\r\n";
  text += "chnMask=" + upgrade_mask_text(s.chn_mask) + "\r\n";
  if (text.size() > kStatusTextMax) text.resize(kStatusTextMax);
  return write_text(text.c_str());
}

// 8379
int on_set_ipc_upgrade_online_cb(const uint8_t* data, size_t) {
  const IpcUpgradeStatus s = status_record(data);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "chnid", static_cast<int32_t>(static_cast<uint32_t>(s.chn_mask)));
  json_object* list = json_object_new_array();
  for (int n = 0; n < kUpgradeChannels; ++n)
    if (s.chn_mask & (1ULL << n)) json_object_array_add(list, json_object_new_int(s.status[n]));
  json_object_object_add(obj.get(), "status", list);
  json_add_text(obj.get(), "chnMask", upgrade_mask_text(s.chn_mask));
  return write_json(obj.get());
}

// "/2078"
void on_set_ipc_upgrade(char* text) {
  JsonPtr req = parse_request(text);
  int32_t file_size = 0;
  if (!req || !json_plain_int(req.get(), "fileSize", &file_size) ||
      !json_texts_readable(req.get(), {"chnMask", "resetMask"}) || !ipc_image_present()) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  IpcUpgradeStart rec{};
  rec.chn_mask = upgrade_mask_from_text(request_text(req.get(), "chnMask"));
  rec.reset_inv = ~upgrade_mask_from_text(request_text(req.get(), "resetMask"));
  rec.file_size = file_size;
  exchange(REQ_IPC_UPGRADE, &rec, sizeof rec, CGI_KIND_JSON);
}

// "/2079": the request text (an upload's, on this name) is not read.
void on_get_ipc_upgrade_status(char*) { exchange(REQ_IPC_UPGRADE_STATUS, nullptr, 0, CGI_KIND_JSON); }

// "/2080"
void on_set_ipc_upgrade_online(char* text) {
  JsonPtr req = parse_request(text);
  int32_t reset = 0;
  if (!req || !json_plain_int(req.get(), "reset", &reset)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  IpcUpgradeOnline rec{};
  json_object* ids = json_array_member(req.get(), "chnAry");
  for (size_t i = 0; i < json_array_size(ids); ++i) {
    int32_t ch = -1;
    if (!json_value_int(json_object_array_get_idx(ids, i), &ch) || ch < 0 || ch >= kUpgradeChannels) {
      cgi_error_to_webserver(CGI_KIND_JSON);
      return;
    }
    rec.chn_mask |= 1ULL << ch;
  }
  const std::string url = request_text(req.get(), "url");
  if (url.size() > kMaxUrl || !json_texts_readable(req.get(), {"url"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.reset = reset;
  copy_text(rec.url, sizeof rec.url, url.c_str());
  copy_text(rec.path, sizeof rec.path, kIpcImagePath);
  exchange(REQ_IPC_UPGRADE_ONLINE, &rec, sizeof rec, CGI_KIND_JSON);
}

// "/2081": nothing is written to the browser.
void on_set_ipc_upgrade_stop(char* text) {
  JsonPtr req = parse_request(text);
  int32_t stop = 0;
  if (!req || !json_plain_int(req.get(), "stop", &stop)) return;
  notify_core_int(REQ_IPC_UPGRADE_STOP, stop);
}

// "/2082"
void on_check_ipc_upgrade(char* text) {
  if (!text) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_writeback_webserver(CGI_KIND_TEXT, "CGI SUCCESS");
}

}  // namespace camera
