// Field tables: a fixed-layout record's fields listed once with the JSON
// keys they are answered as and read from, so a page that maps keys onto a
// record (a camera relay, a settings page of the core daemon) writes the
// table and one line per direction instead of a line per key:
//
//   const FieldDesc kImageFields[] = {FIELD(Image, brightness), FIELD_AS(Image, wdr, "wdrMode")};
//   add_fields(obj, &rec, kImageFields);       // answer every field
//   take_fields(req, &rec, kImageFields);      // present keys only; absent keeps the stored value
//   read_fields(req, &rec, kImageFields);      // plain getters: absent counts as 0 / ""
//   set_unchanged(&rec, kImageFields);         // int fields -1: "leave as it is" for a camera
//
// Int fields are 32-bit integers; text fields are char arrays, answered up
// to their terminator or the end of the field (a record from the core may
// hold no terminator) and taken cut to leave room for the terminator. Any
// other field type fails to compile.
#pragma once
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

struct FieldDesc {
  const char* key;
  uint32_t offset;
  uint32_t size;
  bool text;
};

template <typename M>
constexpr FieldDesc make_field_desc(const char* key, size_t offset) {
  static_assert(std::is_same<std::remove_cv_t<std::remove_extent_t<M>>, char>::value
                    ? std::is_array<M>::value
                    : std::is_integral<M>::value && sizeof(M) == 4,
                "a field table holds int32 fields and char arrays only");
  return FieldDesc{key, static_cast<uint32_t>(offset), static_cast<uint32_t>(sizeof(M)), std::is_array<M>::value};
}
#define FIELD_AS(S, f, key) make_field_desc<decltype(S::f)>(key, offsetof(S, f))
#define FIELD(S, f) FIELD_AS(S, f, #f)

// Adds every field to the object under its key.
void add_fields(json_object* obj, const void* rec, const FieldDesc* fields, size_t n);
// Takes the keys present in the request (checked getters); absent keys, and
// a null request, leave the field as stored.
// False when a present key holds a value its strict reader refuses (a text
// key a number or list, an int key "x"): that field is left as it was and
// callers refuse the request.
bool take_fields(json_object* req, void* rec, const FieldDesc* fields, size_t n);
// True when no present key holds a value its reader refuses: a setter
// checks with it before any write.
bool fields_readable(json_object* req, const FieldDesc* fields, size_t n);
// Reads every key with the plain getters: an absent key gives 0 or "".
void read_fields(json_object* req, void* rec, const FieldDesc* fields, size_t n);
// Sets the int fields to -1 (a camera leaves those parameters unchanged);
// text fields stay.
void set_unchanged(void* rec, const FieldDesc* fields, size_t n);

template <size_t N>
inline void add_fields(json_object* obj, const void* rec, const FieldDesc (&fields)[N]) {
  add_fields(obj, rec, fields, N);
}
template <size_t N>
inline bool take_fields(json_object* req, void* rec, const FieldDesc (&fields)[N]) {
  return take_fields(req, rec, fields, N);
}
template <size_t N>
inline bool fields_readable(json_object* req, const FieldDesc (&fields)[N]) {
  return fields_readable(req, fields, N);
}
template <size_t N>
inline void read_fields(json_object* req, void* rec, const FieldDesc (&fields)[N]) {
  read_fields(req, rec, fields, N);
}
template <size_t N>
inline void set_unchanged(void* rec, const FieldDesc (&fields)[N]) {
  set_unchanged(rec, fields, N);
}

// The int32 at p (any alignment).
int32_t read_i32(const uint8_t* p);

// A reply record from len bytes of payload: a short payload leaves the rest
// zero, a long one is cut to the record.
template <typename T>
T reply_record(const uint8_t* data, size_t len) {
  static_assert(std::is_trivially_copyable<T>::value, "reply records are plain bytes");
  T rec;
  std::memset(&rec, 0, sizeof rec);
  if (data) std::memcpy(&rec, data, len < sizeof rec ? len : sizeof rec);
  return rec;
}
