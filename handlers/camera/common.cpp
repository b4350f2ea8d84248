// Helpers shared by the camera module's page files.
#include "handlers/camera/camera.h"

namespace camera {

RequestContext g_ctx;

// ---- Request helpers --------------------------------------------------------------
// A channel member present and in 0..63.
bool get_channel(json_object* req, const char* key, int* ch) {
  int32_t v = -1;
  if (!json_take_int(req, key, &v) || !channel_in_range(v)) return false;
  *ch = v;
  return true;
}

bool int_in(json_object* req, const char* key, int lo, int hi) {
  int32_t v;
  return json_take_int(req, key, &v) && v >= lo && v <= hi;
}

bool text_present(json_object* req, const char* key, bool non_empty) {
  std::string_view text;
  return json_text_member(req, key, &text) == JSON_TEXT_OK && (!non_empty || !text.empty());
}

int max_cameras() {
  int n = get_param_int(ZRDB_PATH, "max_cameras", kDefaultMaxCameras);
  return n < 0 ? 0 : n > MAX_CHANNELS ? MAX_CHANNELS : n;
}

// 64 '0'/'1' characters, character n for bit n.
std::string mask_text(uint64_t mask) {
  std::string s(64, '0');
  for (int i = 0; i < 64; ++i)
    if (mask & (1ULL << i)) s[static_cast<size_t>(i)] = '1';
  return s;
}

// Channel mask from a '0'/'1' text: bit n for each character n that is '1'
// (at most 64 characters).
uint64_t mask_from_text(std::string_view text) {
  uint64_t mask = 0;
  for (size_t i = 0; i < text.size() && i < 64; ++i)
    if (text[i] == '1') mask |= 1ULL << i;
  return mask;
}

std::string request_text(json_object* req, const char* key) {
  std::string_view text;
  if (json_text_member(req, key, &text) != JSON_TEXT_OK) return std::string();
  return std::string(text);
}

json_object* array_element(json_object* arr, size_t i) {
  return i < json_array_size(arr) ? json_object_array_get_idx(arr, i) : nullptr;
}

bool is_object(json_object* o) { return o && json_object_is_type(o, json_type_object); }

// One waiting exchange with this module's reply dispatcher.
int exchange(int req_id, const void* payload, size_t len, int error_kind) {
  return cgi_ipc_exchange(on_camera_ipc_callback, req_id, payload, static_cast<int>(len), error_kind);
}

// A fire-and-forget camera set request answered "OK" at once.
void send_and_answer_ok(int req_id, const void* payload, size_t len) {
  notify_core(req_id, payload, static_cast<int>(len));
  cgi_reply_ok();
}

int write_json(json_object* obj) {
  cgi_write_json(obj);
  return 1;
}

int write_text(const char* text) {
  cgi_writeback_webserver(CGI_KIND_TEXT, text);
  return 1;
}

// {"res": first word}
int on_res_word_cb(const uint8_t* data, size_t) {
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "res", read_i32(data));
  return write_json(obj.get());
}

// "OK" when the first word is 0, else "ERROR".
int on_ok_error_cb(const uint8_t* data, size_t) { return write_text(read_i32(data) == 0 ? "OK" : "ERROR"); }

}  // namespace camera
