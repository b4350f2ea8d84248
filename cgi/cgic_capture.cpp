// Capture file: the whole request (environment, form entries and uploaded
// files) saved to one file and loaded back, for replaying a request.
//
// Layout, native byte order: texts are an int32 length and that many bytes
// (no terminator), integers an int32. The version text "CGIC2.0", the
// environment texts in a fixed order, CONTENT_LENGTH, the server address,
// then per entry: name, value, file name, content type, value length, and
// a flag 1 followed by the file's bytes, or 0.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "cgi/cgic.h"
#include "cgi/cgic_entries.h"

namespace {
constexpr char kVersion[] = "CGIC2.0";
constexpr size_t kChunk = 1024;

// The environment texts in file order (the content type is handled apart,
// it is not a const text).
const char** const kEnvTexts[] = {
    &cgiServerSoftware, &cgiServerName,  &cgiGatewayInterface, &cgiServerProtocol,
    &cgiServerPort,     &cgiRequestMethod, &cgiPathInfo,       &cgiPathTranslated,
    &cgiScriptName,     &cgiQueryString, &cgiRemoteHost,       &cgiRemoteAddr,
    &cgiAuthType,       &cgiRemoteUser,  &cgiRemoteIdent,
};
constexpr size_t kEnvCount = sizeof kEnvTexts / sizeof kEnvTexts[0];
const char** const kEnvTextsAfterType[] = {&cgiAccept, &cgiUserAgent, &cgiReferrer, &cgiCookie};
constexpr size_t kEnvAfterCount = sizeof kEnvTextsAfterType / sizeof kEnvTextsAfterType[0];

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// ---- Writing --------------------------------------------------------------------

bool write_int(FILE* f, int32_t v) { return std::fwrite(&v, sizeof v, 1, f) == 1; }

bool write_text(FILE* f, const char* data, size_t len) {
  if (len > 0x7fffffff) return false;
  if (!write_int(f, static_cast<int32_t>(len))) return false;
  return len == 0 || std::fwrite(data, 1, len, f) == len;
}

bool write_text(FILE* f, const std::string& s) { return write_text(f, s.data(), s.size()); }
bool write_text(FILE* f, const char* s) { return write_text(f, s ? s : "", s ? std::strlen(s) : 0); }

// Copies exactly len bytes of a temporary file.
bool copy_file_bytes(FILE* out, const std::string& path, int len) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (!in) return false;
  char buf[kChunk];
  size_t left = static_cast<size_t>(len);
  while (left > 0) {
    size_t want = left < kChunk ? left : kChunk;
    size_t got = std::fread(buf, 1, want, in.get());
    if (got != want || std::fwrite(buf, 1, got, out) != got) return false;
    left -= got;
  }
  return true;
}

bool write_all(FILE* f) {
  if (!write_text(f, kVersion)) return false;
  for (const char** v : kEnvTexts)
    if (!write_text(f, *v)) return false;
  if (!write_text(f, cgiContentType)) return false;
  for (const char** v : kEnvTextsAfterType)
    if (!write_text(f, *v)) return false;
  if (!write_int(f, cgiContentLength) || !write_text(f, cgiServerAddr)) return false;
  for (const FormEntry* e = cgiFormEntryList(); e; e = e->next) {
    if (!write_text(f, e->name) || !write_text(f, e->value) || !write_text(f, e->file_name) ||
        !write_text(f, e->content_type) || !write_int(f, e->value_length))
      return false;
    if (e->temp_file.empty()) {
      if (!write_int(f, 0)) return false;
    } else if (!write_int(f, 1) || !copy_file_bytes(f, e->temp_file, e->value_length)) {
      return false;
    }
  }
  return true;
}

// ---- Reading --------------------------------------------------------------------

enum class Got { Ok, End, Bad };

Got read_int(FILE* f, int32_t* v) {
  size_t n = std::fread(v, 1, sizeof *v, f);
  if (n == sizeof *v) return Got::Ok;
  return n == 0 ? Got::End : Got::Bad;
}

// Reads a text in pieces, so a length the file cannot back never turns
// into one large allocation.
Got read_text(FILE* f, std::string* out) {
  int32_t len = 0;
  Got g = read_int(f, &len);
  if (g != Got::Ok) return g;
  if (len < 0) return Got::Bad;
  out->clear();
  char buf[4096];
  size_t left = static_cast<size_t>(len);
  while (left > 0) {
    size_t want = left < sizeof buf ? left : sizeof buf;
    size_t got = std::fread(buf, 1, want, f);
    out->append(buf, got);
    if (got != want) return Got::Bad;
    left -= got;
  }
  return Got::Ok;
}

// Creates a temporary file holding exactly len bytes from the capture file.
bool restore_file(FILE* in, int len, std::string* path) {
  FILE* out = cgiCreateTempFile(path);
  if (!out) return false;
  char buf[kChunk];
  size_t left = static_cast<size_t>(len);
  bool ok = true;
  while (ok && left > 0) {
    size_t want = left < kChunk ? left : kChunk;
    size_t got = std::fread(buf, 1, want, in);
    ok = got == want && std::fwrite(buf, 1, got, out) == got;
    left -= got;
  }
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    cgiRemoveTrackedFile(path->c_str());
    path->clear();
  }
  return ok;
}

// Reads the entries up to the end of the file, appending each to the list.
int read_entries(FILE* f) {
  for (;;) {
    std::unique_ptr<FormEntry> e(new FormEntry);
    Got g = read_text(f, &e->name);
    if (g == Got::End) return cgiEnvironmentSuccess;
    if (g == Got::Bad) return cgiEnvironmentIO;
    int32_t len = 0, flag = 0;
    if (read_text(f, &e->value) != Got::Ok || read_text(f, &e->file_name) != Got::Ok ||
        read_text(f, &e->content_type) != Got::Ok || read_int(f, &len) != Got::Ok || len < 0 ||
        read_int(f, &flag) != Got::Ok || (flag != 0 && flag != 1))
      return cgiEnvironmentIO;
    e->value_length = len;
    if (flag == 1 && !restore_file(f, len, &e->temp_file)) return cgiEnvironmentIO;
    cgiAppendFormEntry(e.release());
  }
}

// Texts the request layer keeps are never released, so an unchanged text
// is not copied again.
void set_text(const char** var, const std::string& value) {
  if (*var && std::strlen(*var) == value.size() && value == *var) return;
  cgiSetEnvText(var, value);
}

// The content type keeps a modifiable copy of its own.
std::string& restored_content_type() {
  static std::string text;
  return text;
}

int read_all(FILE* f) {
  std::string version;
  if (read_text(f, &version) != Got::Ok) return cgiEnvironmentIO;
  if (version != kVersion) return cgiEnvironmentWrongVersion;

  // The environment changes only once the whole file has been read.
  std::string env[kEnvCount], content_type, after[kEnvAfterCount], server_addr;
  for (std::string& s : env)
    if (read_text(f, &s) != Got::Ok) return cgiEnvironmentIO;
  if (read_text(f, &content_type) != Got::Ok) return cgiEnvironmentIO;
  for (std::string& s : after)
    if (read_text(f, &s) != Got::Ok) return cgiEnvironmentIO;
  int32_t content_length = 0;
  if (read_int(f, &content_length) != Got::Ok || content_length < 0) return cgiEnvironmentIO;
  if (read_text(f, &server_addr) != Got::Ok) return cgiEnvironmentIO;

  int r = read_entries(f);
  if (r != cgiEnvironmentSuccess) return r;

  for (size_t i = 0; i < kEnvCount; ++i) set_text(kEnvTexts[i], env[i]);
  for (size_t i = 0; i < kEnvAfterCount; ++i) set_text(kEnvTextsAfterType[i], after[i]);
  set_text(&cgiServerAddr, server_addr);
  restored_content_type() = content_type;
  cgiContentType = restored_content_type().data();
  cgiContentLength = content_length;
  cgiRestored = true;
  return cgiEnvironmentSuccess;
}
}  // namespace

int cgiWriteEnvironment(const char* filename) {
  if (!filename) return cgiEnvironmentIO;
  FILE* f = std::fopen(filename, "wb");
  if (!f) return cgiEnvironmentIO;
  bool ok = write_all(f);
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    unlink(filename);
    return cgiEnvironmentIO;
  }
  return cgiEnvironmentSuccess;
}

int cgiReadEnvironment(const char* filename) {
  cgiReleaseRequest();
  if (!filename) return cgiEnvironmentIO;
  FilePtr f(std::fopen(filename, "rb"));
  if (!f) return cgiEnvironmentIO;
  int r;
  try {
    r = read_all(f.get());
  } catch (const std::bad_alloc&) {
    r = cgiEnvironmentMemory;
  }
  if (r != cgiEnvironmentSuccess) cgiReleaseRequest();
  return r;
}
