// Camera firmware from an uploaded image and the online upgrade of the
// recorder and its cameras. Serves "/6082", "/6083", "/6084", "/6085",
// "/6086", "/6087", "/6088", "/6089".
//
// The core daemon does the transfers and the flashing; these pages pass the
// requests and its results. Images live in shared memory: kNvrImage for the
// recorder, kCameraImage for the cameras.
#include <fcntl.h>

#include <cstdlib>
#include <memory>

#include "core/camera_record.h"
#include "handlers/system/system.h"

namespace sysadmin {

namespace {

constexpr int REQ_CAMERA_UPGRADE = 3350;
constexpr int REQ_CAMERA_UPGRADE_STOP = 3351;
constexpr int REQ_UPGRADE_STARTING = 1721;
constexpr int REQ_DOWNLOAD_IMAGE = 1716;
constexpr int REQ_DELETE_CAMERA_IMAGE = 1717;
constexpr int REQ_CHECK_NVR_VERSION = 1715;
constexpr int REQ_INSTALL_NVR_IMAGE = 1713;
constexpr int REQ_REBOOT = 1703;
constexpr int REQ_CHECK_IPC_VERSIONS = 3365;

constexpr int LOG_RESTART = 200;
constexpr int LOG_UPGRADE = 203;
constexpr int LOG_PARAM_SYSTEM = 900;

constexpr char kNvrImage[] = "/dev/shm/updateFM.bin";
constexpr char kCameraImage[] = "/dev/shm/updateIPCFM.bin";
constexpr size_t kUrlMax = 127;

// Camera upgrade request (3350).
struct CameraUpgradeRequest {
  int32_t chnid;
  int32_t reset;
  char path[256];
};
static_assert(sizeof(CameraUpgradeRequest) == 264, "camera upgrade request is 264 bytes");
static_assert(offsetof(CameraUpgradeRequest, path) == 8, "image path at 8");

// One record of reply 8350.
struct CameraUpgradeStatus {
  int32_t chnid;
  int32_t status;
};
static_assert(sizeof(CameraUpgradeStatus) == 8, "camera upgrade status is 8 bytes");

// Download request (1716).
struct DownloadRequest {
  char url[128];
  char path[128];
};
static_assert(sizeof(DownloadRequest) == 256, "download request is 256 bytes");
static_assert(offsetof(DownloadRequest, path) == 128, "destination at 128");

// Version information of reply 6715 (one) and 8365 (one per channel).
struct VersionInfo {
  int32_t state;
  int32_t file_size;
  char version[64];
  char url[128];
  char description[128];
};
static_assert(sizeof(VersionInfo) == 328, "version record is 328 bytes");
static_assert(offsetof(VersionInfo, version) == 8, "version at 8");
static_assert(offsetof(VersionInfo, url) == 72, "url at 72");
static_assert(offsetof(VersionInfo, description) == 200, "description at 200");
constexpr size_t kChannelVersionsSize = MAX_CHANNELS * sizeof(VersionInfo);
static_assert(kChannelVersionsSize == 20992, "channel versions reply is 20992 bytes");

void reply_json_error() { cgi_error_to_webserver(CGI_KIND_JSON); }

json_object* version_json(const VersionInfo& v) {
  json_object* o = json_object_new_object();
  json_add_int(o, "state", v.state);
  json_add_int(o, "fileSize", v.file_size);
  json_add_field(o, "softversion", v.version);
  json_add_field(o, "url", v.url);
  json_add_field(o, "description", v.description);
  return o;
}

// {"res": n} from the first int32 of a reply.
void reply_result(const void* payload, uint32_t length) {
  if (length < sizeof(int32_t)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
  } else {
    int32_t res;
    std::memcpy(&res, payload, sizeof res);
    JsonPtr out(json_object_new_object());
    json_add_int(out.get(), "res", res);
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

// "type" of the download pages: 0 recorder, 1 camera; -1 when absent or
// anything else.
int image_type(json_object* req) {
  int32_t type = -1;
  return json_strict_int_in(req, "type", 0, 1, &type) ? type : -1;
}

bool regular_file(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Copies the whole file behind from_fd to a new file beside target and
// renames it over the target, so that the image is never seen half written.
bool copy_into(int from_fd, const std::string& target) {
  std::string part = target + ".XXXXXX";
  const int out = mkstemp(&part[0]);
  if (out < 0) return false;
  bool ok = true;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(from_fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false;
      else done += w;
    }
    if (!ok) break;
  }
  if (close(out) != 0) ok = false;
  if (ok && std::rename(part.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    CGI_LOG("camera image %s not stored: %s", target.c_str(), std::strerror(errno));
    unlink(part.c_str());
  }
  return ok;
}

// Moves the uploaded image into place: a rename where /tmp and shared
// memory are one file system, a copy elsewhere. Nothing but a regular file
// (or nothing) is ever replaced at the target.
bool store_camera_image(const char* upload) {
  const std::string target = nvr_path(kCameraImage);
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    CGI_LOG("camera image refused: %s is not a regular file", target.c_str());
    return false;
  }
  if (std::rename(upload, target.c_str()) == 0) return true;
  if (errno != EXDEV) {
    CGI_LOG("camera image rename %s: %s", upload, std::strerror(errno));
    return false;
  }
  const int fd = open(upload, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = copy_into(fd, target);
  close(fd);
  if (ok) unlink(upload);
  return ok;
}

// The file of the first form entry that holds one (the page names its file
// field as it likes); null when the upload carried none.
const char* uploaded_file() {
  char** names = nullptr;
  if (cgiFormEntries(&names) != cgiFormSuccess || !names) return nullptr;
  const char* found = nullptr;
  for (char** n = names; *n && !found; ++n) {
    const char* path = cgiFormEntryTempFile(*n);
    if (path && *path) found = path;
  }
  cgiStringArrayFree(names);
  return found;
}

}  // namespace

// ---- Reply writers ----------------------------------------------------------------------
// Reply 6713, shared with the recorder's firmware upgrade: the done flag
// becomes the core daemon's result, 1 for success (a result of 0 or 1); a
// short reply counts as the failure -1.
void on_upgrade_result_cb(const void* payload, uint32_t length) {
  if (length < sizeof(int32_t)) {
    g_callback_done = -1;
    return;
  }
  int32_t res;
  std::memcpy(&res, payload, sizeof res);
  g_callback_done = res == 0 ? 1 : res;
}

// Reply 8350: the first record.
void on_start_upgrade_camera_cb(const void* payload, uint32_t length) {
  if (length < sizeof(CameraUpgradeStatus)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
  } else {
    CameraUpgradeStatus s;
    std::memcpy(&s, payload, sizeof s);
    JsonPtr out(json_object_new_object());
    json_add_int(out.get(), "chnid", s.chnid);
    json_add_int(out.get(), "status", s.status);
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

void on_get_online_upgrade_cb(const void* payload, uint32_t length) { reply_result(payload, length); }
void on_del_online_upgrade_cb(const void* payload, uint32_t length) { reply_result(payload, length); }

// Reply 6715: one version record.
void on_check_nvr_online_upgrade_cb(const void* payload, uint32_t length) {
  if (length < sizeof(VersionInfo)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
  } else {
    VersionInfo v;
    std::memcpy(&v, payload, sizeof v);
    JsonPtr out(version_json(v));
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

// Reply 8365: the records of all 64 channels, whatever the mask asked for.
void on_check_ipc_online_upgrade_cb(const void* payload, uint32_t length) {
  if (length < kChannelVersionsSize) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
  } else {
    JsonPtr out(json_object_new_object());
    json_object* arr = json_object_new_array();
    const uint8_t* p = static_cast<const uint8_t*>(payload);
    for (int ch = 0; ch < MAX_CHANNELS; ++ch) {
      VersionInfo v;
      std::memcpy(&v, p + static_cast<size_t>(ch) * sizeof v, sizeof v);
      json_object_array_add(arr, version_json(v));
    }
    json_object_object_add(out.get(), "check", arr);
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

// ---- Handlers ---------------------------------------------------------------------------
// "/6082": the image arrives as the upload's file; it is kept as the camera
// image. "OK" when a camera image is in place; an empty upload is refused.
void on_upgrade_camera(char*) {
  const char* upload = uploaded_file();
  struct stat st {};
  // An empty file is no image and never replaces one.
  if (upload && (lstat(upload, &st) != 0 || st.st_size == 0 || !store_camera_image(upload))) {
    reply_text("Error");
    return;
  }
  reply_text(regular_file(nvr_path(kCameraImage)) ? "OK" : "Error");
}

// "/6083" {"chnid", "reset"}
void on_start_upgrade_camera(char* text) {
  JsonPtr req = parse_request(text);
  CameraUpgradeRequest msg;
  std::memset(&msg, 0, sizeof msg);
  if (!req || !json_strict_int_in(req.get(), "chnid", 0, MAX_CHANNELS - 1, &msg.chnid) ||
      !json_strict_int_in(req.get(), "reset", 0, 1, &msg.reset)) {
    reply_json_error();
    return;
  }
  copy_field(msg.path, kCameraImage);
  cgi_ipc_exchange(on_system_ipc_callback, REQ_CAMERA_UPGRADE, &msg, sizeof msg, CGI_KIND_TEXT);
}

// "/6084"
void on_stop_upgrade_camera(char*) {
  if (unlink(nvr_path(kCameraImage).c_str()) != 0 && errno != ENOENT)
    CGI_LOG("camera image not removed: %s", std::strerror(errno));
  notify_core(REQ_CAMERA_UPGRADE_STOP, nullptr, 0);
  cgi_reply_ok();
}

// "/6085" {"type", "url"}: the core daemon downloads the image.
void on_get_online_upgrade(char* text) {
  JsonPtr req = parse_request(text);
  const int type = image_type(req.get());
  json_object* url = json_member(req.get(), "url", json_type_string);
  const size_t url_len = url ? static_cast<size_t>(json_object_get_string_len(url)) : 0;
  // A longer address would reach the core daemon cut, as another address.
  if (!req || type < 0 || !url || url_len == 0 || url_len > kUrlMax) {
    reply_json_error();
    return;
  }
  DownloadRequest msg;
  std::memset(&msg, 0, sizeof msg);
  copy_field(msg.url, std::string_view(json_object_get_string(url), url_len));
  copy_field(msg.path, type == 0 ? kNvrImage : kCameraImage);
  notify_core(REQ_UPGRADE_STARTING, nullptr, 0);
  cgi_ipc_exchange(on_system_ipc_callback, REQ_DOWNLOAD_IMAGE, &msg, sizeof msg, CGI_KIND_TEXT);
}

// "/6086" {"type"}: the recorder image is removed here, the camera image by
// the core daemon.
void on_del_online_upgrade(char* text) {
  JsonPtr req = parse_request(text);
  const int type = image_type(req.get());
  if (!req || type < 0) {
    reply_json_error();
    return;
  }
  if (type == 1) {
    cgi_ipc_exchange(on_system_ipc_callback, REQ_DELETE_CAMERA_IMAGE, nullptr, 0, CGI_KIND_TEXT);
    return;
  }
  int res = 0;
  if (unlink(nvr_path(kNvrImage).c_str()) != 0 && errno != ENOENT) {
    CGI_LOG("recorder image not removed: %s", std::strerror(errno));
    res = -1;
  }
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "res", res);
  cgi_write_json(out.get());
}

// "/6087"
void on_check_nvr_online_upgrade(char*) {
  cgi_ipc_exchange(on_system_ipc_callback, REQ_CHECK_NVR_VERSION, nullptr, 0, CGI_KIND_TEXT);
}

// "/6088": installs the downloaded recorder image; on success the recorder
// restarts.
void on_nvr_online_upgrade(char*) {
  notify_core(REQ_UPGRADE_STARTING, nullptr, 0);
  log_operation(LOG_UPGRADE, LOG_PARAM_SYSTEM, 0);
  const int32_t reset = 0;
  // No reply answers "CGI ERROR": {"res": 0} would read as success.
  const int done = cgi_ipc_exchange(on_system_ipc_callback, REQ_INSTALL_NVR_IMAGE, &reset, sizeof reset, CGI_KIND_TEXT);
  if (done == 0) return;
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "res", done == 1 ? 0 : done);
  cgi_write_json(out.get());
  if (done != 1) return;
  log_operation(LOG_RESTART, LOG_PARAM_SYSTEM, 0);
  notify_core(REQ_REBOOT, nullptr, 0);
}

// "/6089" {"ch"}: '1' at position n asks for channel n, '0' skips it, any
// other character ends the list.
void on_check_ipc_online_upgrade(char* text) {
  JsonPtr req = parse_request(text);
  json_object* ch = json_member(req.get(), "ch", json_type_string);
  if (!req || !ch) {
    reply_json_error();
    return;
  }
  const std::string_view sel(json_object_get_string(ch), static_cast<size_t>(json_object_get_string_len(ch)));
  uint64_t mask = 0;
  for (size_t i = 0; i < sel.size() && i < static_cast<size_t>(MAX_CHANNELS); ++i) {
    if (sel[i] == '1') mask |= 1ULL << i;
    else if (sel[i] != '0') break;
  }
  cgi_ipc_exchange(on_system_ipc_callback, REQ_CHECK_IPC_VERSIONS, &mask, sizeof mask, CGI_KIND_TEXT);
}

}  // namespace sysadmin
