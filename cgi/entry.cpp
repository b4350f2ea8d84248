// The three entry paths (GET, POST, upload), the release step and the
// request's main line.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cgi/cgic.h"
#include "cgi/dispatchreq.h"
#include "core/access.h"
#include "core/cgi_log.h"
#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/strutil.h"

namespace {
constexpr size_t kNameSize = 128;
constexpr size_t kGetTextSize = 1024;
constexpr size_t kPostTextSize = 30720;
constexpr int kPostMaxLines = 128;
constexpr size_t kUploadTextSize = 1088;
constexpr size_t kParamMax = 255;

// Copies cgiPathInfo into the name buffer; false when it is empty.
bool take_request_name(char (&name)[kNameSize]) {
  copy_field(name, cgiPathInfo ? cgiPathInfo : "");
  return name[0] != '\0';
}

bool is_name(const char* name, const char* want) { return std::strcmp(name, want) == 0; }
}  // namespace

char* strrpl(char* dst, const char* src, const char* find, const char* repl) {
  if (!dst) return dst;
  if (!src) {
    *dst = '\0';
    return dst;
  }
  size_t find_len = find ? std::strlen(find) : 0;
  size_t repl_len = repl ? std::strlen(repl) : 0;
  char* out = dst;
  while (*src) {
    if (find_len && std::strncmp(src, find, find_len) == 0) {
      std::memcpy(out, repl, repl_len);
      out += repl_len;
      src += find_len;
    } else {
      *out++ = *src++;
    }
  }
  *out = '\0';
  return dst;
}

bool cgiIsRawUploadPath(const char* name) {
  return name && (is_name(name, "/1010") || is_name(name, "/6082") || is_name(name, "/2079"));
}

bool cgiQueryParamAfter(const char* query, char* out, size_t size) {
  if (!query || !out || size == 0) return false;
  const char* p = std::strstr(query, "param:");
  if (!p) return false;
  p += 6;
  size_t n = std::strcspn(p, "&");
  if (n > kParamMax) n = kParamMax;
  copy_text(out, size, std::string_view(p, n));
  return true;
}

void cgiDealGet() {
  char name[kNameSize];
  if (!take_request_name(name)) return;
  char query[kGetTextSize];
  copy_field(query, cgiQueryString ? cgiQueryString : "");
  char text[kGetTextSize];
  strrpl(text, query, "%22", "\"");
  DispatchWebReq(name, text);
}

void cgiDealPost() {
  char name[kNameSize];
  if (!take_request_name(name)) return;
  // Released by the process exit, like the request itself.
  static std::unique_ptr<char[]> text;
  text.reset(new (std::nothrow) char[kPostTextSize]());
  if (!text) return;
  // Never read past CONTENT_LENGTH when the web server gives one: a server
  // that keeps standard input open must not hang the handler.
  const bool bounded = std::getenv("CONTENT_LENGTH") && *std::getenv("CONTENT_LENGTH");
  size_t budget = bounded ? static_cast<size_t>(cgiContentLength) : kPostTextSize;
  size_t consumed = 0;
  for (int line = 0; line < kPostMaxLines; ++line) {
    size_t used = std::strlen(text.get());  // a NUL byte in the body ends the text
    if (used + 1 >= kPostTextSize) break;
    size_t room = kPostTextSize - used - 1;
    size_t n = 0;
    int c = 0;
    while (n < room && consumed < budget && (c = std::getc(cgiIn)) != EOF) {
      text[used + n++] = static_cast<char>(c);
      ++consumed;
      if (c == '\n') break;
    }
    if (n == 0) break;  // end of input, read error or CONTENT_LENGTH reached
    // A NUL byte ends the text: later lines must not be joined on at the NUL.
    if (std::memchr(text.get() + used, '\0', n)) break;
  }
  DispatchWebReq(name, text.get());
}

void cgiDealUpload() {
  char name[kNameSize];
  if (!take_request_name(name)) return;
  const bool raw = cgiIsRawUploadPath(name);
  char client_name[128] = "";
  if (!raw && cgiFormFileName("file", client_name, sizeof client_name) != cgiFormSuccess) return;

  // Base name: after the last '/' or '\'.
  const char* base = client_name;
  for (const char* p = client_name; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  char base_name[128];
  copy_field(base_name, base);

  const char* temp_file = cgiFormEntryTempFile("file");
  if (!raw && !temp_file) return;

  const char* query = cgiQueryString ? cgiQueryString : "";
  char text[kUploadTextSize];
  if (raw) {
    std::snprintf(text, sizeof text, "%s & %s", "temp", query);
  } else if (is_name(name, "/1019") || is_name(name, "/oem")) {
    std::snprintf(text, sizeof text, "%s & %s", temp_file, query);
  } else {
    // Only names that reach a handler get their file moved; the base names
    // "", "." and ".." are refused like a missing file name.
    if (!FindWebRes(name) || base_name[0] == '\0' || is_name(base_name, ".") || is_name(base_name, ".."))
      return;
    std::string target(temp_file);
    size_t slash = target.rfind('/');
    target.erase(slash == std::string::npos ? 0 : slash + 1);
    target += base_name;
    // A plain rename: whatever the client's file name holds, no shell sees it.
    if (std::rename(temp_file, target.c_str()) != 0)
      CGI_LOG("upload move %s failed: %s", temp_file, std::strerror(errno));
    char param[kParamMax + 1];
    if (cgiQueryParamAfter(query, param, sizeof param))
      std::snprintf(text, sizeof text, "%s & %s", target.c_str(), param);
    else
      copy_field(text, target);
  }
  DispatchWebReq(name, text);
}

void cgiReleaseRequest() {
  cgiFreeFormEntries();
  cgiRestored = false;
}

int cgi_main() {
  RegisterAllWebModules();
  cgiCaptureEnvironment();

  // Access control: without a live session (or the right the name needs)
  // no handler runs and no body or upload is read.
  if (!cgi_access_allowed(cgiPathInfo)) {
    std::fflush(cgiOut);
    return 0;
  }

  const char* method = cgiRequestMethod;
  if (cgiEqualsNoCase(method, "post")) {
    if (cgiEqualsNoCase(cgiContentType, "application/x-www-form-urlencoded") ||
        cgiEqualsNoCase(cgiContentType, "application/json")) {
      cgiDealPost();
    } else if (cgiEqualsNoCase(cgiContentType, "multipart/form-data")) {
      if (std::strcmp(cgiPathInfo, "/1010") != 0 && cgiDecodeMultipartBody() != cgiParseSuccess) {
        // Parts decoded before the failure leave no files behind.
        cgiFreeFormEntries();
        return -1;
      }
      cgiDealUpload();
    }
  } else if (cgiEqualsNoCase(method, "get")) {
    cgiContentLength = static_cast<int>(std::strlen(cgiQueryString));
    cgiDealGet();
  }
  cgiReleaseRequest();
  std::fflush(cgiOut);
  return 0;
}
