#include "core/field_table.h"

#include <string_view>

#include "core/cgi_json.h"

int32_t read_i32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void add_fields(json_object* obj, const void* rec, const FieldDesc* fields, size_t n) {
  const uint8_t* base = static_cast<const uint8_t*>(rec);
  for (size_t i = 0; i < n; ++i) {
    const FieldDesc& f = fields[i];
    const uint8_t* p = base + f.offset;
    if (f.text) {
      const char* text = reinterpret_cast<const char*>(p);
      json_add_text(obj, f.key, std::string_view(text, strnlen(text, f.size)));
    } else {
      json_add_int(obj, f.key, read_i32(p));
    }
  }
}

bool take_fields(json_object* req, void* rec, const FieldDesc* fields, size_t n) {
  uint8_t* base = static_cast<uint8_t*>(rec);
  bool all = true;
  for (size_t i = 0; i < n; ++i) {
    const FieldDesc& f = fields[i];
    if (f.text) {
      char* field = reinterpret_cast<char*>(base + f.offset);
      if (!json_take_text(req, f.key, field, f.size)) all &= json_text_member(req, f.key, nullptr) != JSON_TEXT_BAD;
    } else {
      int32_t v;
      const JsonIntState st = json_int_member(req, f.key, &v);
      if (st == JSON_INT_OK) std::memcpy(base + f.offset, &v, sizeof v);
      all &= st != JSON_INT_BAD;
    }
  }
  return all;
}

bool fields_readable(json_object* req, const FieldDesc* fields, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const FieldDesc& f = fields[i];
    const bool bad = f.text ? json_text_member(req, f.key, nullptr) == JSON_TEXT_BAD
                            : json_int_member(req, f.key, nullptr) == JSON_INT_BAD;
    if (bad) return false;
  }
  return true;
}

void read_fields(json_object* req, void* rec, const FieldDesc* fields, size_t n) {
  uint8_t* base = static_cast<uint8_t*>(rec);
  for (size_t i = 0; i < n; ++i) {
    const FieldDesc& f = fields[i];
    if (f.text) {
      json_get_text(req, f.key, reinterpret_cast<char*>(base + f.offset), f.size);
    } else {
      int32_t v = json_get_int(req, f.key);
      std::memcpy(base + f.offset, &v, sizeof v);
    }
  }
}

void set_unchanged(void* rec, const FieldDesc* fields, size_t n) {
  uint8_t* base = static_cast<uint8_t*>(rec);
  const int32_t keep = -1;
  for (size_t i = 0; i < n; ++i)
    if (!fields[i].text) std::memcpy(base + fields[i].offset, &keep, sizeof keep);
}
