// The bodies of the fuzz targets, shared by the libFuzzer programs and by the
// regression test that replays every input a fuzzer once failed on. Each
// returns "" when the input passed its checks, else what went wrong.
#pragma once
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cgi/cgic.h"
#include "cgi/cgic_entries.h"
#include "base/strutil.h"
#include "cgi/dispatchreq.h"
#include "core/paths.h"
#include "tests/temp_dir.h"

namespace fuzz {

// A private NVR_ROOT (with /tmp) for the whole process.
inline const std::string& root() {
  static std::string dir = [] {
    std::string d = make_temp_dir("nvr-fuzz");
    if (d.empty()) std::abort();
    mkdir((d + "/tmp").c_str(), 0755);
    return d;
  }();
  setenv("NVR_ROOT", dir.c_str(), 1);
  nvr_root_reset();
  return dir;
}

inline std::vector<std::string> tmp_files() {
  std::vector<std::string> names;
  if (DIR* d = opendir((root() + "/tmp").c_str())) {
    while (dirent* de = readdir(d))
      if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
        names.push_back(de->d_name);
    closedir(d);
  }
  return names;
}

inline std::string slurp(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

inline FILE* open_bytes(std::string& bytes) {
  return bytes.empty() ? std::fopen("/dev/null", "rb") : fmemopen(&bytes[0], bytes.size(), "rb");
}

inline long file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Input: one byte n, a boundary of n % 72 bytes, one byte choosing
// CONTENT_LENGTH (the body's size, less, or more than is sent), the body.
inline std::string multipart_one(const uint8_t* data, size_t size) {
  root();
  if (size < 2) return "";
  size_t blen = data[0] % 72;
  if (size < 2 + blen) return "";
  static std::string boundary;
  boundary.assign(reinterpret_cast<const char*>(data + 1), blen);
  boundary = std::string(boundary.c_str());  // the environment holds no NUL
  uint8_t mode = data[1 + blen];
  std::string body(reinterpret_cast<const char*>(data + 2 + blen), size - 2 - blen);
  long length = static_cast<long>(body.size());
  if (mode & 0x80) length -= mode & 0x7f;
  else if (mode & 0x40) length += 1 + (mode & 0x3f);
  if (length < 0) length = 0;

  cgiMultipartBoundary = boundary.c_str();
  cgiContentLength = static_cast<int>(length);
  FILE* in = open_bytes(body);
  cgiIn = in;
  int r = cgiDecodeMultipartBody();
  std::string err;
  if (r != cgiParseSuccess && r != cgiParseIO && r != cgiParseMemory) err = "unknown decoder result";
  if (std::ftell(in) > length) err = "read beyond CONTENT_LENGTH";
  std::fclose(in);
  cgiIn = nullptr;

  // Every part's content stands in the body as it is, ended by the boundary.
  std::string marker = boundary;
  if (marker.size() >= 2 && marker.front() == '"' && marker.back() == '"')
    marker = marker.substr(1, marker.size() - 2);
  marker = "\r\n--" + marker;
  const std::string sent = body.substr(0, static_cast<size_t>(length));

  size_t files = 0;
  for (const FormEntry* e = cgiFormEntryList(); e && err.empty(); e = e->next) {
    std::string content = e->temp_file.empty() ? e->value : slurp(e->temp_file);
    if (sent.find(content + marker) == std::string::npos) err = "part content not found in the body";
    char text[64];
    cgiFormString(e->name.c_str(), text, sizeof text);
    if (std::strlen(text) >= sizeof text) err = "form string not terminated";
    cgiFormFileName(e->name.c_str(), text, sizeof text);
    if (e->temp_file.empty()) {
      if (static_cast<size_t>(e->value_length) != e->value.size()) err = "value length differs";
      continue;
    }
    ++files;
    if (!e->value.empty()) err = "file part with a value";
    if (file_size(e->temp_file) != e->value_length) err = "file size differs from value length";
    if (e->temp_file.compare(0, root().size() + 9, root() + "/tmp/cgic") != 0)
      err = "temporary file outside <root>/tmp";
  }
  if (err.empty() && tmp_files().size() != files) err = "temporary file of a failed part left";
  char** names = nullptr;
  if (cgiFormEntries(&names) == cgiFormSuccess) cgiStringArrayFree(names);
  cgiFreeFormEntries();
  if (err.empty() && !tmp_files().empty()) err = "temporary file left after release";
  return err;
}

// Input: the wanted name up to the first NUL, then the cookie text.
inline std::string cookie_one(const uint8_t* data, size_t size) {
  const char* p = reinterpret_cast<const char*>(data);
  size_t n = strnlen(p, size);
  std::string name(p, n);
  std::string cookie = n < size ? std::string(p + n + 1, size - n - 1) : "";
  cookie = cookie.c_str();  // the environment holds no NUL
  cgiCookie = cookie.c_str();
  std::string err;
  for (int max : {1, 2, 8, 256}) {
    std::vector<char> out(static_cast<size_t>(max), 'X');
    int r = cgiCookieString(name.c_str(), out.data(), max);
    size_t len = strnlen(out.data(), out.size());
    if (len >= out.size()) err = "cookie value not terminated";
    else if (r == cgiFormSuccess || r == cgiFormTruncated) {
      if (cookie.find(std::string(out.data(), len)) == std::string::npos) err = "value not from the cookie";
      if (std::memchr(out.data(), ';', len)) err = "value runs past ';'";
    } else if (r != cgiFormNotFound) {
      err = "unknown cookie result";
    }
  }
  int v = 0;
  cgiCookieInteger(name.c_str(), &v, 7);
  char** names = nullptr;
  if (cgiCookies(&names) == cgiFormSuccess) {
    for (char** q = names; *q; ++q)
      if (std::strchr(*q, ';')) err = "cookie name holds ';'";
    cgiStringArrayFree(names);
  }
  cgiCookie = "";
  return err;
}

// ---- Request texts -----------------------------------------------------------------

inline std::string& handed_over() {
  static std::string text;
  return text;
}
inline bool& handler_called() {
  static bool called = false;
  return called;
}
inline void on_fuzz_request(char* text) {
  handler_called() = true;
  handed_over() = text;
}
inline void register_fuzz_handler() {
  static bool done = false;
  static const WebRes table[] = {{"/8888", on_fuzz_request}};
  if (!done) WebResRegister(table, 1);
  done = true;
}

// Input: a mode byte, then the query (GET), the body (POST) or a client file
// name up to the first NUL followed by the query (upload).
inline std::string request_text_one(const uint8_t* data, size_t size) {
  root();
  register_fuzz_handler();
  if (size < 1) return "";
  const uint8_t mode = data[0];
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  handler_called() = false;
  handed_over().clear();
  cgiPathInfo = "/8888";
  std::string err;
  switch (mode % 3) {
    case 0: {  // GET
      std::string query = rest.c_str();
      cgiQueryString = query.c_str();
      cgiDealGet();
      // The query is cut to 1023 bytes at a character boundary.
      std::string want(utf8_head(query, 1023));
      for (size_t at; (at = want.find("%22")) != std::string::npos;) want.replace(at, 3, "\"");
      if (!handler_called() || handed_over() != want) err = "GET text differs from the query";
      char param[256];
      if (cgiQueryParamAfter(query.c_str(), param, sizeof param) && std::strlen(param) > 255)
        err = "param text too long";
      cgiQueryString = "";
      break;
    }
    case 1: {  // POST
      const bool with_length = mode & 0x10;
      long length = static_cast<long>(rest.size());
      if (mode & 0x20) length -= (mode >> 6) * 7;
      if (mode & 0x08) length += 100;
      if (length < 0) length = 0;
      if (with_length) setenv("CONTENT_LENGTH", std::to_string(length).c_str(), 1);
      else unsetenv("CONTENT_LENGTH");
      cgiContentLength = static_cast<int>(length);
      cgiContentLengthGiven = with_length;  // what the environment capture decides
      FILE* in = open_bytes(rest);
      cgiIn = in;
      cgiDealPost();
      const size_t limit = with_length ? static_cast<size_t>(length) : rest.size();
      if (with_length && std::ftell(in) > length) err = "read beyond CONTENT_LENGTH";
      std::fclose(in);
      cgiIn = nullptr;
      unsetenv("CONTENT_LENGTH");
      cgiContentLengthGiven = false;
      const std::string& got = handed_over();
      if (!handler_called()) err = "POST not handed over";
      else if (got.size() > 30719 || got.size() > limit) err = "POST text too long";
      else if (rest.compare(0, got.size(), got) != 0) err = "POST text is not the body's start";
      break;
    }
    default: {  // upload: the move of the file to its client base name
      size_t n = strnlen(rest.c_str(), rest.size());
      std::string client = rest.substr(0, n);
      std::string query = n < rest.size() ? std::string(rest.c_str() + n + 1) : "";
      auto* e = new FormEntry;
      e->name = "file";
      e->file_name = client;
      FILE* f = cgiCreateTempFile(&e->temp_file);
      if (!f) {
        delete e;
        return "temporary file not created";
      }
      std::fclose(f);
      cgiAppendFormEntry(e);
      cgiQueryString = query.c_str();
      cgiDealUpload();
      cgiQueryString = "";
      cgiFreeFormEntries();
      // Whatever the name, the file stays directly in <root>/tmp and nothing
      // appears anywhere else.
      const std::string dir = root() + "/tmp/";
      if (handler_called() && handed_over().compare(0, dir.size(), dir) != 0)
        err = "upload moved outside <root>/tmp";
      if (DIR* d = opendir(root().c_str())) {
        while (dirent* de = readdir(d)) {
          std::string name = de->d_name;
          if (name != "." && name != ".." && name != "tmp" && name != "mnt") err = "stray file " + name;
        }
        closedir(d);
      }
      for (const std::string& name : tmp_files()) unlink((dir + name).c_str());
      break;
    }
  }
  cgiPathInfo = "";
  return err;
}

// ---- Capture file ---------------------------------------------------------------------

inline std::string capture_one(const uint8_t* data, size_t size) {
  const std::string path = root() + "/capture.bin";
  const std::string again = root() + "/capture2.bin";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return "capture file not written";
  }
  std::string err;
  int r = cgiReadEnvironment(path.c_str());
  if (r < cgiEnvironmentIO || r > cgiEnvironmentWrongVersion) err = "unknown capture result";
  if (r != cgiEnvironmentSuccess && cgiFormEntryList()) err = "entries kept after a failed load";
  if (r == cgiEnvironmentSuccess) {
    size_t files = 0;
    for (const FormEntry* e = cgiFormEntryList(); e; e = e->next) {
      if (e->temp_file.empty()) continue;
      ++files;
      if (file_size(e->temp_file) != e->value_length) err = "restored file size differs";
    }
    if (tmp_files().size() != files) err = "stray temporary files";
    // What was loaded saves and loads again.
    if (cgiWriteEnvironment(again.c_str()) != cgiEnvironmentSuccess) err = "restored request not saved";
    else if (cgiReadEnvironment(again.c_str()) != cgiEnvironmentSuccess) err = "saved request not loaded";
  }
  cgiReleaseRequest();
  unlink(path.c_str());
  unlink(again.c_str());
  if (err.empty() && !tmp_files().empty()) err = "temporary file left after release";
  return err;
}

// The end of one libFuzzer run: a failed check aborts with its message, so
// the fuzzer keeps the input.
inline int finish_run(const std::string& err) {
  if (!err.empty()) {
    fprintf(stderr, "check failed: %s\n", err.c_str());
    abort();
  }
  return 0;
}

}  // namespace fuzz
