// The IP access filter of the web interface, the diagnostic package, the
// encrypted OEM package, batch camera addresses and the disabled download.
// Serves "/6300", "/6301", "/6310", "/6311", "/oem", "/ipc", "/dw.cgi".
#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "core/archive.h"
#include "core/camera_record.h"
#include "core/download.h"
#include "core/event_actions.h"
#include "core/text_codecs.h"
#include "core/tmp_file.h"
#include "core/web_utils.h"
#include "platform/textutil.h"
#include "handlers/system/log_records.h"
#include "handlers/system/system.h"

namespace sysadmin {

namespace {

constexpr int REQ_FILTER_CHANGED = 1722;
constexpr int REQ_DIAGNOSIS = 3528;
constexpr char kDiagnosisMarker[] = "/tmp/tmp_diagnostic";
constexpr char kOemDir[] = "/mnt/nand2";
constexpr char kOemMarker[] = "/mnt/nand2/oem_upload";
constexpr size_t kOemPackageMax = 16u << 20;

// ---- Access filter record ----
constexpr int kFilterEntries = 100;
struct AccessFilterEntry {
  int32_t address_type;
  char address[32];
};
struct AccessFilterList {
  int32_t count;
  AccessFilterEntry entries[kFilterEntries];
};
static_assert(sizeof(AccessFilterEntry) == 36, "filter entry is 36 bytes");
static_assert(sizeof(AccessFilterList) == 3604, "filter list is 3604 bytes");

int read_access_filter(const char* db, AccessFilterList* list) {
  std::memset(list, 0, sizeof *list);
  if (zrdb_read_record(db, "access_filter", 0, list, sizeof *list) < 0) return -1;
  if (list->count < 0 || list->count > kFilterEntries) list->count = 0;
  return 0;
}
int write_access_filter(const char* db, const AccessFilterList* list) {
  return zrdb_write_record(db, "access_filter", 0, list, sizeof *list);
}

// ---- OEM package ----
// An OEM package holds a few pictures, pages and texts.
constexpr ArchiveLimits kOemLimits = {4096, 64u << 20};

// The key text behind "aes=" (up to '&' or the end, at most 32 characters).
bool oem_key(std::string_view text, std::string* key) {
  const size_t at = text.find("aes=");
  if (at == std::string_view::npos) return false;
  std::string_view k = text.substr(at + 4);
  k = k.substr(0, k.find('&'));
  if (k.empty() || k.size() > 32) return false;
  key->assign(k);
  return true;
}

bool ipv4_of(const char* text, uint8_t (&octets)[4]) {
  in_addr a{};
  if (inet_pton(AF_INET, text, &a) != 1) return false;
  std::memcpy(octets, &a, 4);
  return true;
}

}  // namespace

// "/6300"
void on_get_access_filter(char*) {
  AccessFilterList list;
  read_access_filter(ZRDB_PATH, &list);
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "filterEnable", get_param_int(ZRDB_PATH, "access_filter_enable", 0));
  json_add_int(out.get(), "filterType", get_param_int(ZRDB_PATH, "access_filter_type", 1));
  json_object* arr = json_object_new_array();
  for (int i = 0; i < list.count; ++i) {
    json_object* e = json_object_new_object();
    json_add_int(e, "address_type", list.entries[i].address_type);
    json_add_field(e, "address", list.entries[i].address);
    json_object_array_add(arr, e);
  }
  json_object_object_add(out.get(), "filterList", arr);
  cgi_write_json(out.get());
}

// "/6301": absent switches keep their stored values; the list is required
// (an absent list would erase every entry).
void on_set_access_filter(char* text) {
  JsonPtr req = parse_request(text);
  json_object* arr = json_array_member(req.get(), "filterList");
  if (!req || !arr) return;
  // What is stored is read in the write transaction: the comparisons below
  // are against the values this save replaces.
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok()) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  int32_t enable = get_param_int(ZRDB_PATH, "access_filter_enable", 0);
  int32_t type = get_param_int(ZRDB_PATH, "access_filter_type", 1);
  const int32_t old_enable = enable, old_type = type;
  if ((json_has(req.get(), "filterEnable") && !json_strict_int(req.get(), "filterEnable", &enable)) ||
      (json_has(req.get(), "filterType") && !json_strict_int(req.get(), "filterType", &type)))
    return;
  AccessFilterList old, list;
  read_access_filter(ZRDB_PATH, &old);
  std::memset(&list, 0, sizeof list);
  const size_t n = std::min<size_t>(json_array_size(arr), kFilterEntries);
  for (size_t i = 0; i < n; ++i) {
    json_object* e = json_array_at(arr, i);
    if (!e || !json_object_is_type(e, json_type_object)) return;
    AccessFilterEntry& d = list.entries[i];
    if (json_has(e, "address_type") && !json_strict_int(e, "address_type", &d.address_type)) return;
    if (!json_texts_readable(e, {"address"})) return;
    json_get_text(e, "address", d.address);
  }
  list.count = static_cast<int32_t>(n);
  bool ok = true;
  if (ok && enable != old_enable) ok = set_param_int(ZRDB_PATH, "access_filter_enable", enable) == 0;
  if (ok && type != old_type) ok = set_param_int(ZRDB_PATH, "access_filter_type", type) == 0;
  if (ok && std::memcmp(&old, &list, sizeof list) != 0) ok = write_access_filter(ZRDB_PATH, &list) == 0;
  if (ok) ok = txn.commit() == 0;
  if (!ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core(REQ_FILTER_CHANGED, nullptr, 0);
  cgi_reply_ok();
}

// Reply 8528: "OK/<encoded path>\r\n" or "Failed".
void on_export_diagnosis_cb(const void* payload, uint32_t length) {
  DiagnosisReply rep{};
  std::memcpy(&rep, payload, length < sizeof rep ? length : sizeof rep);
  const size_t path_len = length > offsetof(DiagnosisReply, path)
                              ? strnlen(rep.path, std::min<size_t>(sizeof rep.path, length - offsetof(DiagnosisReply, path)))
                              : 0;
  char encoded[1024];
  if (length < offsetof(DiagnosisReply, path) || rep.result < 0 || path_len == 0 ||
      get_url_encode(std::string(rep.path, path_len).c_str(), encoded, sizeof encoded) == 0) {
    reply_text("Failed");
  } else {
    reply_text(("OK/" + std::string(encoded) + "\r\n").c_str());
  }
  g_callback_done = 1;
}

// "/6310"
void on_export_diagnosis(char*) {
  if (access(nvr_path(kDiagnosisMarker).c_str(), F_OK) == 0) {
    reply_text("Failed");
    return;
  }
  char dir[64] = {};
  copy_field(dir, "/tmp");
  if (cgi_ipc_exchange(on_system_ipc_callback, REQ_DIAGNOSIS, dir, sizeof dir, -1) == 0) reply_text("Failed");
}

// "/6311": the package is sent and removed; only a plain file directly in
// /tmp is ever sent or removed.
void on_download_diagnosis(char* text) {
  char path[256];
  std::string full;
  // A decoded text is never longer than its source, so a source that fits
  // is never cut.
  if (!text || std::strlen(text) >= sizeof path) return;
  get_url_decode(text, path, sizeof path);
  if (tmp_file_check(path, &full) != 0) return;
  const int fd = tmp_file_open_read(path);
  if (fd < 0) return;
  if (download_send_fd(fd, download_base_name(full.c_str())) != 0)
    CGI_LOG("Error copying input file [%d] to output file [%d]\n", fd, fileno(cgiOut ? cgiOut : stdout));
  close(fd);
  unlink(full.c_str());
}

namespace {

// Decodes, decrypts, checks and installs an OEM package read from file
// (the upload): Base64 text of the AES-encrypted ZIP archive. The archive is
// unpacked into a staging folder and its files are moved into /mnt/nand2
// only when every entry has been unpacked whole; a refused or damaged
// package leaves every installed file as it was. 0 or -1.
int install_oem_package(const std::string& file, const std::string& key) {
  size_t len = 0;
  char* data = zr_get_file_data(file.c_str(), &len);
  std::vector<uint8_t> cipher, plain;
  const bool decoded = data && len <= 4 * (kOemPackageMax / 3) + 4096 &&
                       zr_base64_decode(std::string_view(data, len), &cipher, kOemPackageMax) > 0 &&
                       aesDecryWeb(cipher.data(), cipher.size(), key, &plain) > 0;
  std::free(data);
  if (!decoded || archive_install(plain.data(), plain.size(), ArchiveFormat::Zip, nvr_path(kOemDir), kOemLimits) != 0) {
    CGI_LOG("oem package refused");
    return -1;
  }
  const int fd = open(nvr_path(kOemMarker).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  close(fd);
  return 0;
}

}  // namespace

// "/oem": "<upload path> & <query>" with "aes=<key>" in the query.
void on_upload_oem(char* text) {
  // The package is the file this request uploaded (the release step removes
  // it); the text only carries the query.
  const std::string_view all(text ? text : "");
  const size_t sep = all.find(" & ");
  std::string key, full;
  if (sep == std::string_view::npos || !oem_key(all.substr(sep + 3), &key) || upload_take(&full) != 0) {
    reply_text("ERROR");
    return;
  }
  const int rc = install_oem_package(full, key);
  unlink(full.c_str());
  reply_text(rc == 0 ? "OK" : "ERROR");
}

// "/ipc" {"startip", "chnNum", "chnFre"}: chnNum consecutive addresses,
// each for chnFre channels in turn, up to the recorder's camera count.
// chnFre 0 is refused (no address would ever take a channel); chnNum is
// bounded by the camera count, since each address takes a channel at least.
void on_set_camera_ips(char* text) {
  JsonPtr req = parse_request(text);
  char start[64] = {};
  json_get_text(req.get(), "startip", start);
  int32_t num = 0, per = 0;
  uint8_t ip[4];
  if (!req || !ipv4_of(start, ip) || !json_strict_int(req.get(), "chnNum", &num) ||
      !json_strict_int(req.get(), "chnFre", &per) || num < 0 || per < 1)
    return;
  const int max = configured_camera_count();
  if (num > max) num = max;
  bool ok = true;
  {
    ZrdbTransaction txn(ZRDB_PATH);
    ok = txn.ok();
    int ch = 0;
    for (int i = 0; ok && i < num && ch < max; ++i) {
      char addr[16];
      std::snprintf(addr, sizeof addr, "%u.%u.%u.%u", ip[0], ip[1], ip[2], static_cast<unsigned>((ip[3] + i) & 0xff));
      for (int k = 0; ok && k < per && ch < max; ++k, ++ch) {
        CameraRecord cam;
        std::memset(&cam, 0, sizeof cam);
        // A camera that cannot be read is not written back as zeros.
        if (read_camera(ZRDB_PATH, &cam, ch) != 0) {
          ok = false;
          break;
        }
        cam.id = ch;
        copy_field(cam.ipAddr, addr);
        ok = write_camera(ZRDB_PATH, &cam, ch) == 0;
      }
    }
    if (ok) ok = txn.commit() == 0;
  }
  if (!ok) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
}

// "/dw.cgi"
void on_disabled_download(char*) { reply_text("NG download"); }

}  // namespace sysadmin
