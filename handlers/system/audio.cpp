// Alarm audio files: the list the core daemon keeps, upload, registration
// under a display name, rename, delete and the per-file command.
// Serves "/6320", "/6321", "/6322", "/6323", "/6324", "/6325".
#include <unistd.h>

#include "core/text_codecs.h"
#include "core/tmp_file.h"
#include "core/web_utils.h"
#include "handlers/system/log_records.h"
#include "handlers/system/system.h"

namespace sysadmin {

int g_audio_status = -1;

namespace {

constexpr int REQ_AUDIO_LIST = 4012;
constexpr int REQ_AUDIO_ADD = 4013;
constexpr int REQ_AUDIO_DELETE = 4014;
constexpr int REQ_AUDIO_RENAME = 4015;
constexpr int REQ_AUDIO_COMMAND = 4016;
constexpr int LOG_PARAM_AUDIO = 925;
constexpr int kAudioNameMax = 127;  // encoded display name, terminator apart
constexpr int kAudioIds = AUDIO_FILE_ENTRIES;

// The URL-safe Base64 form of a display name: false when the name is empty
// or its encoding would not fit the 128-byte field.
bool encode_name(std::string_view name, char (&out)[128]) {
  std::memset(out, 0, sizeof out);
  return !name.empty() && base64EncodeUrl(name.data(), name.size(), out, kAudioNameMax + 1) > 0;
}

// One waiting audio request; the operation log follows a reply of status 0.
void audio_exchange(int req_id, const void* payload, size_t len, bool log) {
  g_audio_status = -1;
  if (cgi_ipc_exchange(on_system_ipc_callback, req_id, payload, static_cast<int>(len), CGI_KIND_JSON) == 0) return;
  if (log && g_audio_status == 0) log_operation(LOG_USER_CHANGE, LOG_PARAM_AUDIO, 0);
}

// An audio id of the request (0..9), or false.
bool take_audio_id(json_object* req, int32_t* id) {
  return json_strict_int(req, "id", id) && *id >= 0 && *id < kAudioIds;
}

}  // namespace

// Reply 9012: the entries in use, display names decoded.
void on_get_audio_file_list_cb(const void* payload, uint32_t length) {
  const size_t count = std::min<size_t>(length / sizeof(AudioFileReply), 64);
  JsonPtr out(json_object_new_object());
  json_object* list = json_object_new_array();
  for (size_t i = 0; i < count; ++i) {
    AudioFileReply e;
    std::memcpy(&e, static_cast<const uint8_t*>(payload) + i * sizeof e, sizeof e);
    if (e.enable != 1) continue;
    json_object* item = json_object_new_object();
    json_add_int(item, "id", e.id);
    json_add_int(item, "enable", e.enable);
    uint8_t name[kAudioNameMax + 1];
    const int n = base64DecodeUrl(field_view(e.name), name, kAudioNameMax);
    if (n > 0) json_add_text(item, "name", std::string_view(reinterpret_cast<char*>(name), static_cast<size_t>(n)));
    json_object_array_add(list, item);
  }
  json_object_object_add(out.get(), "audioFileList", list);
  json_add_int(out.get(), "status", 0);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// Replies 9013 to 9016: {"status": n}; the handler logs a success.
void on_audio_status_cb(const void* payload, uint32_t length) {
  if (length < sizeof g_audio_status) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  std::memcpy(&g_audio_status, payload, sizeof g_audio_status);
  on_cgi_common_json_cb(1, payload);
}

// "/6320"
void on_get_audio_file_list(char*) {
  cgi_ipc_exchange(on_system_ipc_callback, REQ_AUDIO_LIST, nullptr, 0, CGI_KIND_JSON);
}

// "/6321": the file this request uploaded becomes "/tmp/" plus the encoded
// form of its own name. Only that one file is moved or removed; a request
// that uploaded none (a path in a GET or POST) changes nothing.
void on_upload_audio_file(char*) {
  std::string full;
  const std::string name = tmp_file_name_of(upload_path());
  char encoded[128] = {};
  int status = -1;
  if (!name.empty() && upload_take(&full) == 0 && access(full.c_str(), R_OK) == 0) {
    const bool wav = name.find(".wav") != std::string::npos || name.find(".WAV") != std::string::npos;
    if (!wav) {
      const int rc = unlink(full.c_str());
      CGI_LOG("audio upload: not a WAV file, removed (%d) %s %s", rc, full.c_str(), name.c_str());
    } else if (encode_name(name, encoded) && tmp_file_name_ok(encoded)) {
      status = rename(full.c_str(), nvr_path(std::string("/tmp/") + encoded).c_str()) == 0 ? 0 : -1;
      if (status != 0) unlink(full.c_str());
    } else {
      unlink(full.c_str());
    }
  }
  on_cgi_common_text_cb(1, status, encoded);
}

// "/6322" {"uploadName", "name"}
void on_add_audio_file(char* text) {
  JsonPtr req = parse_request(text);
  char upload[256] = {}, display[256] = {};
  json_get_text(req.get(), "uploadName", upload);
  json_get_text(req.get(), "name", display);
  std::string full;
  struct {
    char name[128];
  } payload;
  if (!req || !json_texts_readable(req.get(), {"uploadName", "name"}) || tmp_file_check_name(upload, &full) != 0 ||
      access(full.c_str(), R_OK) != 0 ||
      !encode_name(display, payload.name) || !tmp_file_name_ok(payload.name) ||
      rename(full.c_str(), nvr_path(std::string("/tmp/") + payload.name).c_str()) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  audio_exchange(REQ_AUDIO_ADD, &payload, sizeof payload, true);
}

// "/6323" {"idMask"}: at least one of the ten files.
void on_delete_audio_files(char* text) {
  JsonPtr req = parse_request(text);
  int32_t mask = 0;
  if (!req || !json_strict_int(req.get(), "idMask", &mask) || (mask & 0x3ff) == 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  audio_exchange(REQ_AUDIO_DELETE, &mask, sizeof mask, true);
}

// "/6324" {"id", "name"}
void on_rename_audio_file(char* text) {
  JsonPtr req = parse_request(text);
  AudioFileReply rec;
  std::memset(&rec, 0, sizeof rec);
  char display[256] = {};
  json_get_text(req.get(), "name", display);
  if (!req || !json_texts_readable(req.get(), {"name"}) || !take_audio_id(req.get(), &rec.id) ||
      !encode_name(display, rec.name)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.enable = 1;
  audio_exchange(REQ_AUDIO_RENAME, &rec, sizeof rec, true);
}

// "/6325" {"id"}
void on_audio_file_command(char* text) {
  JsonPtr req = parse_request(text);
  int32_t id = -1;
  if (!req || !take_audio_id(req.get(), &id)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  audio_exchange(REQ_AUDIO_COMMAND, &id, sizeof id, false);
}

}  // namespace sysadmin
