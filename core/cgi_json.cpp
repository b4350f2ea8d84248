#include "core/cgi_json.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/cgi_reply.h"
#include "core/strutil.h"

json_object* get_request_tokener_json_object(const char* text) {
  if (!text) return nullptr;
  return json_tokener_parse(text);
}

namespace {
// The trees of the last request parsed and the last reply written. The
// process exits right after its reply, and the exit releases them at once,
// whereas freeing a tree of thousands of nodes one at a time costs about as
// much as building it. Kept referenced here, so the leak checker sees them
// as reachable; the next request or reply of the same process (tests)
// releases the one before.
std::atomic<json_object*> g_last_request{nullptr};
std::atomic<json_object*> g_last_reply{nullptr};

void keep_until_exit(std::atomic<json_object*>* slot, json_object* obj) {
  if (json_object* old = slot->exchange(json_object_get(obj))) json_object_put(old);
}
}  // namespace

json_object* parse_request_object(const char* text) {
  if (!text || !*text) return nullptr;
  json_object* obj = json_tokener_parse(text);
  if (obj && !json_object_is_type(obj, json_type_object)) {
    json_object_put(obj);
    return nullptr;
  }
  if (obj) keep_until_exit(&g_last_request, obj);
  return obj;
}

int on_cgi_get_value_by_json(const char* text, const char* key, int* out) {
  if (!text || !key || !out) return -1;
  JsonPtr obj(get_request_tokener_json_object(text));
  if (!obj) return -1;
  return on_cgi_get_int_from_json(obj.get(), key, out);
}

int on_cgi_get_int_from_json(json_object* obj, const char* key, int* out) {
  return json_int_member(obj, key, out) == JSON_INT_OK ? 0 : -1;
}

int on_cgi_get_string_from_json(json_object* obj, const char* key, char* buf, size_t size) {
  std::string_view text;
  if (json_text_member(obj, key, &text) != JSON_TEXT_OK) return -1;
  copy_text(buf, size, text);
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

bool json_ints_readable(json_object* obj, std::initializer_list<const char*> keys) {
  for (const char* key : keys)
    if (json_int_member(obj, key, nullptr) == JSON_INT_BAD) return false;
  return true;
}

bool json_value_text(json_object* v, std::string_view* out) {
  if (!v || !json_object_is_type(v, json_type_string)) return false;
  if (out) *out = std::string_view(json_object_get_string(v), static_cast<size_t>(json_object_get_string_len(v)));
  return true;
}

JsonTextState json_text_member(json_object* obj, const char* key, std::string_view* out) {
  json_object* v = nullptr;
  if (!obj || !key || !json_object_is_type(obj, json_type_object) || !json_object_object_get_ex(obj, key, &v))
    return JSON_TEXT_ABSENT;
  return json_value_text(v, out) ? JSON_TEXT_OK : JSON_TEXT_BAD;
}

bool json_texts_readable(json_object* obj, std::initializer_list<const char*> keys) {
  for (const char* key : keys)
    if (json_text_member(obj, key, nullptr) == JSON_TEXT_BAD) return false;
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

namespace {
constexpr int kReplyFlags = JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE;

// A text as json-c writes it with kReplyFlags: '"', '\\' and the control
// characters escaped (\b \f \n \r \t by name, the others as \u00xx), '/'
// and every other byte as is. Runs of plain bytes are copied at once.
void put_text(std::string& out, const char* s, size_t n) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s + start, i - start);
    start = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        const char u[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
        out.append(u, sizeof u);
      }
    }
  }
  out.append(s + start, n - start);
  out += '"';
}

void put_uint(std::string& out, uint64_t v) {
  char buf[24];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  out.append(p, static_cast<size_t>(buf + sizeof buf - p));
}

void put_int(std::string& out, json_object* v) {
  const int64_t i = json_object_get_int64(v);
  // An integer above INT64_MAX is held unsigned: json_object_get_int64
  // answers INT64_MAX for it.
  if (i == INT64_MAX) {
    put_uint(out, json_object_get_uint64(v));
  } else if (i < 0) {
    out += '-';
    put_uint(out, 0 - static_cast<uint64_t>(i));
  } else {
    put_uint(out, static_cast<uint64_t>(i));
  }
}

// Arrays and objects already printed in this reply, by address: a node
// that several parents share (the days and sections of event schedules)
// is printed once and copied after that.
class PrintedNodes {
 public:
  struct Span {
    size_t at = 0, len = 0;
  };
  const Span* find(json_object* node) const {
    for (size_t i = hash(node), probes = 0; probes < kSlots; i = (i + 1) % kSlots, ++probes) {
      if (slots_[i].node == node) return &slots_[i].span;
      if (!slots_[i].node) return nullptr;
    }
    return nullptr;
  }
  void add(json_object* node, Span span) {
    if (used_ * 2 >= kSlots) return;  // full enough: the rest is printed in full
    size_t i = hash(node);
    while (slots_[i].node) i = (i + 1) % kSlots;
    slots_[i] = {node, span};
    ++used_;
  }

 private:
  static constexpr size_t kSlots = 512;
  static size_t hash(json_object* node) { return (reinterpret_cast<uintptr_t>(node) >> 4) % kSlots; }
  struct Slot {
    json_object* node = nullptr;
    Span span;
  };
  Slot slots_[kSlots];
  size_t used_ = 0;
};

void put_json(std::string& out, json_object* v, PrintedNodes& done);

void put_container(std::string& out, json_object* v, PrintedNodes& done) {
  if (const PrintedNodes::Span* seen = done.find(v)) {
    out.reserve(out.size() + seen->len);  // the copy below then needs no new buffer
    out.append(out.data() + seen->at, seen->len);
    return;
  }
  const size_t at = out.size();
  if (json_object_is_type(v, json_type_array)) {
    out += '[';
    const size_t n = json_object_array_length(v);
    for (size_t i = 0; i < n; ++i) {
      if (i) out += ',';
      put_json(out, json_object_array_get_idx(v, i), done);
    }
    out += ']';
  } else {
    out += '{';
    bool first = true;
    json_object_object_foreach(v, key, member) {
      if (!first) out += ',';
      first = false;
      put_text(out, key, std::strlen(key));
      out += ':';
      put_json(out, member, done);
    }
    out += '}';
  }
  done.add(v, {at, out.size() - at});
}

void put_json(std::string& out, json_object* v, PrintedNodes& done) {
  switch (json_object_get_type(v)) {
    case json_type_null:
      out += "null";
      return;
    case json_type_boolean:
      out += json_object_get_boolean(v) ? "true" : "false";
      return;
    case json_type_int:
      put_int(out, v);
      return;
    case json_type_double:
      // Kept exactly as json-c writes it (a parsed number keeps its text).
      out += json_object_to_json_string_ext(v, kReplyFlags);
      return;
    case json_type_string:
      put_text(out, json_object_get_string(v), static_cast<size_t>(json_object_get_string_len(v)));
      return;
    case json_type_array:
    case json_type_object:
      put_container(out, v, done);
      return;
  }
}
}  // namespace

const char* cgi_json_text(json_object* obj) {
  // What json_object_to_json_string_ext(obj, kReplyFlags) gives, written
  // in one pass over the tree: json-c's own writer costs several times more
  // on the large replies (event schedules) and the output is the same.
  thread_local std::string out;
  out.clear();
  std::unique_ptr<PrintedNodes> done(new PrintedNodes());
  put_json(out, obj, *done);
  return out.c_str();
}

int cgi_write_json(json_object* obj) {
  if (!obj) return -1;
  int rc = cgi_writeback_webserver(CGI_KIND_JSON, cgi_json_text(obj));
  keep_until_exit(&g_last_reply, obj);
  return rc;
}

void json_add_int(json_object* obj, const char* key, int64_t v) {
  json_object_object_add(obj, key, json_object_new_int64(v));
}

void json_add_text(json_object* obj, const char* key, std::string_view text) {
  json_object_object_add(obj, key, json_object_new_string_len(text.data(), static_cast<int>(text.size())));
}
