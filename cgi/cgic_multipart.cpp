// Multipart/form-data decoding: the body on cgiIn becomes a list of form
// entries, each file part its own temporary file.
//
// The reader never takes more than cgiContentLength bytes from cgiIn. Bytes
// the boundary scan has looked at but not used go back into a small ring
// and are read again first.
#include <cstdio>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

#include "cgi/cgic.h"
#include "cgi/cgic_entries.h"

namespace {
constexpr int kRingSize = 1024;
constexpr size_t kHeaderTextMax = 1023;  // header texts are cut here

struct MpReader {
  unsigned char ring[kRingSize];
  int read_pos = 0;   // next byte to read again
  int pending = 0;    // bytes waiting in the ring
  int consumed = 0;   // body bytes taken from cgiIn
};

// One byte: from the ring first, then from the body. -1 at the end of the
// body (CONTENT_LENGTH reached, end of input or read error).
int mp_getc(MpReader& r) {
  if (r.pending > 0) {
    int c = r.ring[r.read_pos];
    r.read_pos = (r.read_pos + 1) % kRingSize;
    --r.pending;
    return c;
  }
  if (r.consumed >= cgiContentLength || !cgiIn) return -1;
  int c = std::getc(cgiIn);
  if (c == EOF) return -1;
  if (++r.consumed % kBodyProgressBytes == 0) cgiBodyProgress();
  return c;
}

// Reads up to len bytes; returns how many were read.
int mp_read(MpReader& r, unsigned char* buf, int len) {
  int n = 0;
  while (n < len) {
    int c = mp_getc(r);
    if (c < 0) break;
    buf[n++] = static_cast<unsigned char>(c);
  }
  return n;
}

// Puts bytes back in front of whatever is still waiting, so they are read
// again next and in their original order. False when the ring is full.
bool mp_put_back(MpReader& r, const unsigned char* buf, int len) {
  if (len < 0 || r.pending + len > kRingSize) return false;
  for (int i = len - 1; i >= 0; --i) {
    r.read_pos = (r.read_pos + kRingSize - 1) % kRingSize;
    r.ring[r.read_pos] = buf[i];
    ++r.pending;
  }
  return true;
}

// Where the content of a part goes.
struct Sink {
  FILE* file = nullptr;         // file part
  std::string* memory = nullptr;  // ordinary field
  int64_t count = 0;
  bool failed = false;

  void put(int c) {
    ++count;
    if (file) {
      if (std::putc(c, file) == EOF) failed = true;
    } else if (memory) {
      if (memory->size() == memory->capacity()) memory->reserve(memory->capacity() * 2);
      memory->push_back(static_cast<char>(c));
    }
  }
};

enum class Scan { Found, BodyEnded, Failed };

// Copies bytes to the sink up to the pattern. After the pattern, two bytes
// are read: CR LF ends the boundary line; a '-' first means the final
// boundary and both go back so the part loop sees "--"; anything else is
// dropped.
Scan scan_to_boundary(MpReader& r, const std::string& pattern, Sink& sink) {
  const size_t len = pattern.size();
  size_t matched = 0;
  for (;;) {
    int c = mp_getc(r);
    if (c < 0) return Scan::BodyEnded;
    if (static_cast<unsigned char>(pattern[matched]) == c) {
      if (++matched < len) continue;
      unsigned char tail[2];
      if (mp_read(r, tail, 2) != 2) return Scan::Failed;
      if (!(tail[0] == '\r' && tail[1] == '\n') && tail[0] == '-' && !mp_put_back(r, tail, 2))
        return Scan::Failed;
      return sink.failed ? Scan::Failed : Scan::Found;
    }
    if (matched == 0) {
      sink.put(c);
    } else {
      // A partial match: its first byte is content; the rest of it and this
      // byte are scanned again, since a match may start inside them.
      sink.put(static_cast<unsigned char>(pattern[0]));
      unsigned char again[kRingSize];
      size_t n = 0;
      for (size_t i = 1; i < matched; ++i) again[n++] = static_cast<unsigned char>(pattern[i]);
      again[n++] = static_cast<unsigned char>(c);
      if (!mp_put_back(r, again, static_cast<int>(n))) return Scan::Failed;
      matched = 0;
    }
    if (sink.failed) return Scan::Failed;
  }
}

bool is_space(int c) { return c == ' ' || c == '\t'; }

void append_cut(std::string& s, int c) {
  if (s.size() < kHeaderTextMax) s.push_back(static_cast<char>(c));
}

// Reads one header line. Returns false at the end of the body. *empty is
// set for a line without any character (the end of the headers).
bool read_header_line(MpReader& r, std::string& name, std::string& value, bool* empty) {
  name.clear();
  value.clear();
  *empty = true;
  bool in_value = false;
  bool value_started = false;
  for (;;) {
    int c = mp_getc(r);
    if (c < 0) return !*empty;
    if (c == '\r' || c == '\n') {
      if (c == '\r') {
        int next = mp_getc(r);
        if (next >= 0 && next != '\n') {
          unsigned char b = static_cast<unsigned char>(next);
          mp_put_back(r, &b, 1);  // room is certain: the ring was just read from or empty
        }
      }
      return true;
    }
    *empty = false;
    if (!in_value) {
      if (c == ':' && !name.empty()) {
        in_value = true;
      } else if (!is_space(c) && c != ':') {
        append_cut(name, c);
      }
    } else {
      if (!value_started && is_space(c)) continue;
      value_started = true;
      append_cut(value, c);
    }
  }
}

bool is_alnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A quoted text (without its quotes) or the text up to the first ';' (end
// blanks trimmed). p is left after what was taken.
std::string take_value(const std::string& s, size_t& p) {
  std::string out;
  if (p < s.size() && s[p] == '"') {
    size_t end = s.find('"', p + 1);
    if (end == std::string::npos) end = s.size();
    out = s.substr(p + 1, end - p - 1);
    p = end < s.size() ? end + 1 : end;
    p = std::min(s.find(';', p), s.size());
  } else {
    size_t end = std::min(s.find(';', p), s.size());
    out = s.substr(p, end - p);
    while (!out.empty() && is_space(out.back())) out.pop_back();
    p = end;
  }
  if (out.size() > kHeaderTextMax) out.resize(kHeaderTextMax);
  return out;
}

// Splits a header value into its main part and the wanted parameters
// (names compared without case).
void split_header_value(const std::string& s, std::string* main_part, const char* want1,
                        std::string* out1, const char* want2, std::string* out2) {
  size_t p = 0;
  while (p < s.size() && is_space(s[p])) ++p;
  *main_part = take_value(s, p);
  while (p < s.size() && s[p] == ';') {
    ++p;
    while (p < s.size() && is_space(s[p])) ++p;
    size_t name_start = p;
    while (p < s.size() && is_alnum(s[p])) ++p;
    std::string param = s.substr(name_start, p - name_start);
    while (p < s.size() && is_space(s[p])) ++p;
    if (p >= s.size() || s[p] != '=') return;
    ++p;
    while (p < s.size() && is_space(s[p])) ++p;
    std::string v = take_value(s, p);
    if (want1 && out1 && cgiEqualsNoCase(param.c_str(), want1))
      *out1 = v;
    else if (want2 && out2 && cgiEqualsNoCase(param.c_str(), want2))
      *out2 = v;
  }
}

struct PartHeaders {
  std::string disposition;
  std::string name;
  std::string file_name;
  std::string content_type;
};

void read_part_headers(MpReader& r, PartHeaders& h) {
  std::string name, value;
  bool empty = false;
  while (read_header_line(r, name, value, &empty) && !empty) {
    if (name.empty() || value.empty()) continue;
    if (cgiEqualsNoCase(name.c_str(), "Content-Disposition")) {
      split_header_value(value, &h.disposition, "name", &h.name, "filename", &h.file_name);
    } else if (cgiEqualsNoCase(name.c_str(), "Content-Type")) {
      split_header_value(value, &h.content_type, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

// The boundary as sent; a quoted value (boundary="...") stands for the text
// inside the quotes.
std::string boundary_text() {
  std::string b = cgiMultipartBoundary ? cgiMultipartBoundary : "";
  if (b.size() >= 2 && b.front() == '"' && b.back() == '"') b = b.substr(1, b.size() - 2);
  return b;
}

int decode_parts(MpReader& r) {
  const std::string boundary = boundary_text();
  // Without a boundary no part can be told apart from its content.
  if (boundary.empty() || boundary.size() + 4 >= kRingSize) return cgiParseIO;

  Sink discard;
  switch (scan_to_boundary(r, "--" + boundary, discard)) {
    case Scan::Found: break;
    case Scan::BodyEnded: return cgiParseSuccess;
    case Scan::Failed: return cgiParseIO;
  }
  const std::string pattern = "\r\n--" + boundary;

  for (;;) {
    unsigned char two[2];
    if (mp_read(r, two, 2) < 2 || (two[0] == '-' && two[1] == '-')) return cgiParseSuccess;
    if (!mp_put_back(r, two, 2)) return cgiParseIO;

    PartHeaders h;
    read_part_headers(r, h);

    if (!cgiEqualsNoCase(h.disposition.c_str(), "form-data")) {
      // Not a form field: its content is skipped, never taken for headers.
      Sink skip;
      if (scan_to_boundary(r, pattern, skip) != Scan::Found) return cgiParseIO;
      continue;
    }

    std::unique_ptr<FormEntry> entry(new (std::nothrow) FormEntry);
    if (!entry) return cgiParseMemory;
    Sink sink;
    FILE* out = nullptr;
    if (!h.file_name.empty()) {
      out = cgiCreateTempFile(&entry->temp_file);
      if (!out) return cgiParseIO;
      sink.file = out;
    } else {
      entry->value.reserve(256);
      sink.memory = &entry->value;
    }

    Scan s = scan_to_boundary(r, pattern, sink);
    if (out && std::fclose(out) != 0) s = Scan::Failed;
    if (s != Scan::Found || sink.count > 0x7fffffff) {
      if (!entry->temp_file.empty()) cgiRemoveTrackedFile(entry->temp_file.c_str());
      return cgiParseIO;
    }
    entry->name = std::move(h.name);
    entry->value_length = static_cast<int>(sink.count);
    entry->file_name = std::move(h.file_name);
    entry->content_type = std::move(h.content_type);
    cgiAppendFormEntry(entry.release());
  }
}
}  // namespace

int cgiDecodeMultipartBody() {
  if (cgiContentLength <= 0) return cgiParseSuccess;
  auto* reader = new (std::nothrow) MpReader;
  if (!reader) return cgiParseMemory;
  int result;
  cgiBodyDeadlineStart();
  try {
    result = decode_parts(*reader);
  } catch (const std::bad_alloc&) {
    // Only an ordinary field's value grows while a part is read, so no
    // temporary file is open here.
    result = cgiParseMemory;
  }
  cgiBodyDeadlineStop();
  delete reader;
  return result;
}
