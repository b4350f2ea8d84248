// JSON helpers over json-c: an owner for parsed and built objects, the
// getters handlers read request keys with, and the reply text writer.
#pragma once
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string_view>

struct JsonPut {
  void operator()(json_object* o) const { json_object_put(o); }
};
// Owns one reference of a json-c object.
using JsonPtr = std::unique_ptr<json_object, JsonPut>;

// ---- Getters ------------------------------------------------------------------
// The parsed request text, or null for a null text or a parse error.
json_object* get_request_tokener_json_object(const char* text);
// The request text as a JSON object; null when it is empty, does not parse
// or is not an object. The tree keeps one reference more until the next
// request parsed (or the exit): the caller releases its own as usual.
json_object* parse_request_object(const char* text);
inline JsonPtr parse_request(const char* text) { return JsonPtr(parse_request_object(text)); }
// Parses the text and reads one integer member: 0, or -1 for a null
// argument, a parse error, a missing key or a value json_value_int refuses.
int on_cgi_get_value_by_json(const char* text, const char* key, int* out);
// 0 and the integer member, or -1 when missing or refused by json_value_int.
int on_cgi_get_int_from_json(json_object* obj, const char* key, int* out);
// Reads an id or channel member into *out; false when it is absent, refused
// or outside lo..hi (*out is then left alone). The same as
// json_strict_int_in, under the name the event pages use.
inline bool json_id_in_range(json_object* obj, const char* key, int lo, int hi, int* out);
// 0 and the text member cut to size-1 bytes (at a character boundary), or
// -1 when missing or refused by json_value_text (buf is then left alone).
int on_cgi_get_string_from_json(json_object* obj, const char* key, char* buf, size_t size);
// 1 for the licence plate recognition AI types 11 to 14.
int on_cgi_is_zr_lpr(int aitype);

// Plain getters: an absent member (or one the strict readers refuse)
// counts as 0 / "". Ids and channels are never read this way: they go
// through json_id_in_range / json_strict_int_in or json_plain_int.
int json_get_int(json_object* obj, const char* key);
// Copies the text member (or "") into buf, cut to size-1 bytes at a
// character boundary, the rest of buf cleared.
void json_get_text(json_object* obj, const char* key, char* buf, size_t size);
template <size_t N>
inline void json_get_text(json_object* obj, const char* key, char (&buf)[N]) {
  json_get_text(obj, key, buf, N);
}

// Checked getters: an absent member (or a value the strict readers
// refuse) keeps the stored value; they report whether a value was taken.
bool json_take_int(json_object* obj, const char* key, int32_t* stored);
bool json_take_text(json_object* obj, const char* key, char* stored, size_t size);
template <size_t N>
inline bool json_take_text(json_object* obj, const char* key, char (&stored)[N]) {
  return json_take_text(obj, key, stored, N);
}

// Strict integers: a number from a request is a JSON integer within the
// int32 range or a decimal text such as "4"; anything else ("x", 1.5, true,
// null, arrays) is refused, never read as 0.
bool json_value_int(json_object* v, int32_t* out);
enum JsonIntState { JSON_INT_ABSENT, JSON_INT_OK, JSON_INT_BAD };
// The member read strictly; *out is set only for JSON_INT_OK.
JsonIntState json_int_member(json_object* obj, const char* key, int32_t* out);
// Present and read strictly.
inline bool json_strict_int(json_object* obj, const char* key, int32_t* out) {
  return json_int_member(obj, key, out) == JSON_INT_OK;
}
// Present, read strictly and within lo..hi.
bool json_strict_int_in(json_object* obj, const char* key, int lo, int hi, int32_t* out);
inline bool json_id_in_range(json_object* obj, const char* key, int lo, int hi, int* out) {
  return json_strict_int_in(obj, key, lo, hi, out);
}
// Absent counts as 0 (the plain getter's rule), a present value must read
// strictly: false for a refused value.
bool json_plain_int(json_object* obj, const char* key, int32_t* out);

// True when none of the keys holds a value the strict reader refuses
// (absent keys are fine): setters check a request with it before writing.
bool json_ints_readable(json_object* obj, std::initializer_list<const char*> keys);

// Texts: only a JSON string is a text. A number, list, object, true or
// null where a text is due is refused, never read as its printed form
// ([1] is not the text "[ 1 ]").
bool json_value_text(json_object* v, std::string_view* out);
enum JsonTextState { JSON_TEXT_ABSENT, JSON_TEXT_OK, JSON_TEXT_BAD };
// The member read as a text; *out is set only for JSON_TEXT_OK.
JsonTextState json_text_member(json_object* obj, const char* key, std::string_view* out);
// True when none of the keys holds a value the text reader refuses
// (absent keys are fine): the texts' counterpart of json_ints_readable.
bool json_texts_readable(json_object* obj, std::initializer_list<const char*> keys);

// The member when it exists and has the given type, else null. json-c
// aborts on array calls on non-arrays, so arrays are only reached this way.
json_object* json_member(json_object* obj, const char* key, json_type type);
json_object* json_array_member(json_object* obj, const char* key);
// True when the object has the member (of any type, null included).
inline bool json_has(json_object* obj, const char* key) {
  return obj && json_object_object_get_ex(obj, key, nullptr);
}
// Number of elements of an array member, 0 when absent or not an array.
size_t json_array_size(json_object* arr);

// ---- Builders -------------------------------------------------------------------
void json_add_int(json_object* obj, const char* key, int64_t v);
void json_add_text(json_object* obj, const char* key, std::string_view text);
// A fixed text field: up to its terminator, never beyond its size.
template <size_t N>
inline void json_add_field(json_object* obj, const char* key, const char (&text)[N]) {
  json_add_text(obj, key, std::string_view(text, strnlen(text, N)));
}

// ---- Replies --------------------------------------------------------------------
// The reply text of a JSON object: compact, no escaping of '/', byte for
// byte what json-c writes with those flags. Valid until the next call on
// the same thread.
const char* cgi_json_text(json_object* obj);
// Writes the object as a kind 1 (application/json) reply. The object keeps
// one reference more until the next reply (or the exit): the caller still
// releases its own reference as usual.
int cgi_write_json(json_object* obj);
