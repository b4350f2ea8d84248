#include "core/cgi_json.h"

#include <climits>
#include <cstring>

#include "core/cgi_reply.h"
#include "core/strutil.h"

json_object* get_request_tokener_json_object(const char* text) {
  if (!text) return nullptr;
  return json_tokener_parse(text);
}

json_object* parse_request_object(const char* text) {
  if (!text || !*text) return nullptr;
  json_object* obj = json_tokener_parse(text);
  if (obj && !json_object_is_type(obj, json_type_object)) {
    json_object_put(obj);
    return nullptr;
  }
  return obj;
}

int on_cgi_get_value_by_json(const char* text, const char* key, int* out) {
  if (!text || !key || !out) return -1;
  JsonPtr obj(get_request_tokener_json_object(text));
  if (!obj) return -1;
  return on_cgi_get_int_from_json(obj.get(), key, out);
}

int on_cgi_get_int_from_json(json_object* obj, const char* key, int* out) {
  json_object* v = nullptr;
  if (!obj || !key || !json_object_is_type(obj, json_type_object) ||
      !json_object_object_get_ex(obj, key, &v))
    return -1;
  if (out) *out = json_object_get_int(v);
  return 0;
}

int on_cgi_get_string_from_json(json_object* obj, const char* key, char* buf, size_t size) {
  json_object* v = nullptr;
  if (!obj || !key || !json_object_is_type(obj, json_type_object) ||
      !json_object_object_get_ex(obj, key, &v))
    return -1;
  const char* s = json_object_get_string(v);
  copy_text(buf, size, s ? s : "");
  return 0;
}

int on_cgi_is_zr_lpr(int aitype) { return aitype >= 11 && aitype <= 14 ? 1 : 0; }

int json_get_int(json_object* obj, const char* key) {
  int v = 0;
  if (on_cgi_get_int_from_json(obj, key, &v) != 0) return 0;
  return v;
}

void json_get_text(json_object* obj, const char* key, char* buf, size_t size) {
  if (on_cgi_get_string_from_json(obj, key, buf, size) != 0) copy_text(buf, size, "");
}

bool json_take_int(json_object* obj, const char* key, int32_t* stored) {
  int v = 0;
  if (on_cgi_get_int_from_json(obj, key, &v) != 0) return false;
  if (stored) *stored = v;
  return true;
}

bool json_take_text(json_object* obj, const char* key, char* stored, size_t size) {
  return on_cgi_get_string_from_json(obj, key, stored, size) == 0;
}

bool json_value_int(json_object* v, int32_t* out) {
  if (!v) return false;
  if (json_object_is_type(v, json_type_int)) {
    const int64_t n = json_object_get_int64(v);
    if (n < INT32_MIN || n > INT32_MAX) return false;
    if (out) *out = static_cast<int32_t>(n);
    return true;
  }
  int n = 0;
  if (!json_object_is_type(v, json_type_string) || !parse_int_strict(json_object_get_string(v), &n)) return false;
  if (out) *out = n;
  return true;
}

JsonIntState json_int_member(json_object* obj, const char* key, int32_t* out) {
  json_object* v = nullptr;
  if (!obj || !key || !json_object_is_type(obj, json_type_object) || !json_object_object_get_ex(obj, key, &v))
    return JSON_INT_ABSENT;
  return json_value_int(v, out) ? JSON_INT_OK : JSON_INT_BAD;
}

bool json_strict_int_in(json_object* obj, const char* key, int lo, int hi, int32_t* out) {
  int32_t v = 0;
  if (!json_strict_int(obj, key, &v) || v < lo || v > hi) return false;
  if (out) *out = v;
  return true;
}

bool json_plain_int(json_object* obj, const char* key, int32_t* out) {
  int32_t v = 0;
  const JsonIntState st = json_int_member(obj, key, &v);
  if (st == JSON_INT_BAD) return false;
  if (out) *out = st == JSON_INT_OK ? v : 0;
  return true;
}

json_object* json_member(json_object* obj, const char* key, json_type type) {
  json_object* v = nullptr;
  if (!obj || !key || !json_object_is_type(obj, json_type_object) ||
      !json_object_object_get_ex(obj, key, &v) || !json_object_is_type(v, type))
    return nullptr;
  return v;
}

json_object* json_array_member(json_object* obj, const char* key) {
  return json_member(obj, key, json_type_array);
}

size_t json_array_size(json_object* arr) {
  if (!arr || !json_object_is_type(arr, json_type_array)) return 0;
  return json_object_array_length(arr);
}

const char* cgi_json_text(json_object* obj) {
  return json_object_to_json_string_ext(obj, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
}

int cgi_write_json(json_object* obj) {
  if (!obj) return -1;
  return cgi_writeback_webserver(CGI_KIND_JSON, cgi_json_text(obj));
}

void json_add_int(json_object* obj, const char* key, int64_t v) {
  json_object_object_add(obj, key, json_object_new_int64(v));
}

void json_add_text(json_object* obj, const char* key, std::string_view text) {
  json_object_object_add(obj, key, json_object_new_string_len(text.data(), static_cast<int>(text.size())));
}
