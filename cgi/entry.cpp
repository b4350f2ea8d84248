// The three entry paths (GET, POST, upload), the release step and the
// request's main line.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "cgi/cgic.h"
#include "cgi/dispatchreq.h"
#include "core/access.h"
#include "core/cgi_log.h"
#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/tmp_file.h"

namespace {
constexpr size_t kNameSize = 128;
constexpr size_t kGetTextSize = 1024;
constexpr size_t kPostTextSize = 30720;
// A JSON body may be as long as the largest page a getter answers, since the
// page posts it back to its setter: a JSON text cut short never parses.
constexpr size_t kPostJsonTextSize = 1024 * 1024;
constexpr int kPostMaxLines = 128;
constexpr size_t kUploadTextSize = 1088;
constexpr size_t kParamMax = 255;

// Copies cgiPathInfo into the name buffer; false when it is empty.
bool take_request_name(char (&name)[kNameSize]) {
  copy_field(name, cgiPathInfo ? cgiPathInfo : "");
  return name[0] != '\0';
}

bool is_name(const char* name, const char* want) { return std::strcmp(name, want) == 0; }

// The names whose handlers take an uploaded file, with the largest body
// each accepts. Every other name never decodes a multipart body.
struct UploadRow {
  char name[8];
  long long limit;
};
const UploadRow kUploadTable[] = {
    {"/1008", CGI_UPLOAD_FILE_MAX},      // configuration import
    {"/1010", CGI_UPLOAD_FIRMWARE_MAX},  // recorder firmware
    {"/1019", CGI_UPLOAD_FIRMWARE_MAX},  // upload before an upgrade
    {"/2079", CGI_UPLOAD_FIRMWARE_MAX},  // camera firmware
    {"/6082", CGI_UPLOAD_FIRMWARE_MAX},  // camera firmware
    {"/6321", CGI_UPLOAD_FILE_MAX},      // audio file
    {"/7084", CGI_UPLOAD_FILE_MAX},      // certificate
    {"/oem", CGI_UPLOAD_FILE_MAX},       // OEM package
};
// Rows added by programs that put their own handlers on top (the probe).
UploadRow g_extra_uploads[4];
size_t g_extra_upload_count = 0;

// Temporary files of uploads in progress (this request's and others').
constexpr char kUploadTempPrefix[] = "cgic";

// Moves the uploaded file to target in the same folder. An existing
// regular file of that name is replaced; anything else there (a link, a
// folder, a device) is never touched. False when the move was refused or
// failed.
bool move_upload(const char* from, const std::string& target) {
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      CGI_LOG("upload refused: %s is not a regular file", target.c_str());
      return false;
    }
    if (std::rename(from, target.c_str()) == 0) return true;
  } else if (errno == ENOENT) {
    // A new name: link() never replaces what may have appeared there since.
    if (link(from, target.c_str()) == 0) {
      unlink(from);
      return true;
    }
    // A file system without hard links: a plain rename.
    if ((errno == EPERM || errno == EOPNOTSUPP) && std::rename(from, target.c_str()) == 0) return true;
  }
  CGI_LOG("upload move %s failed: %s", from, std::strerror(errno));
  return false;
}
}  // namespace

long long cgiUploadLimit(const char* name) {
  if (!name) return 0;
  for (const UploadRow& row : kUploadTable)
    if (is_name(name, row.name)) return row.limit;
  for (size_t i = 0; i < g_extra_upload_count; ++i)
    if (is_name(name, g_extra_uploads[i].name)) return g_extra_uploads[i].limit;
  return 0;
}

bool cgiAddUploadName(const char* name, long long limit) {
  if (!name || std::strlen(name) >= sizeof g_extra_uploads[0].name || limit <= 0 ||
      g_extra_upload_count >= std::size(g_extra_uploads))
    return false;
  UploadRow& row = g_extra_uploads[g_extra_upload_count++];
  copy_field(row.name, name);
  row.limit = limit;
  return true;
}

bool cgiUploadBaseNameAllowed(const char* base) {
  if (!base || !tmp_file_name_ok(base)) return false;
  return std::strncmp(base, kUploadTempPrefix, std::strlen(kUploadTempPrefix)) != 0;
}

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
  // Form bodies keep the classic 30 KiB text; a JSON body gets room for its
  // CONTENT_LENGTH, up to 1 MiB (without a length, the whole 1 MiB).
  size_t capacity = kPostTextSize;
  if (cgiEqualsNoCase(cgiContentType, "application/json")) {
    capacity = kPostJsonTextSize;
    if (cgiContentLengthGiven && static_cast<size_t>(cgiContentLength) < kPostJsonTextSize)
      capacity = std::max(kPostTextSize, static_cast<size_t>(cgiContentLength) + 1);
  }
  text.reset(new (std::nothrow) char[capacity]());
  if (!text) return;
  // Never read past CONTENT_LENGTH when the web server gives one: a server
  // that keeps standard input open must not hang the handler. A length that
  // is not a number counts as none: the body is read to its end.
  size_t budget = cgiContentLengthGiven ? static_cast<size_t>(cgiContentLength) : capacity;
  size_t consumed = 0;
  size_t used = 0;  // a NUL byte in the body ends the text (checked below)
  // A body that stops arriving ends the request unanswered.
  cgiBodyDeadlineStart();
  for (int line = 0; line < kPostMaxLines; ++line) {
    if (used + 1 >= capacity) break;
    size_t room = capacity - used - 1;
    size_t n = 0;
    int c = 0;
    while (n < room && consumed < budget && (c = std::getc(cgiIn)) != EOF) {
      text[used + n++] = static_cast<char>(c);
      if (++consumed % kBodyProgressBytes == 0) cgiBodyProgress();
      if (c == '\n') break;
    }
    if (n == 0) break;  // end of input, read error or CONTENT_LENGTH reached
    // A NUL byte ends the text: later lines must not be joined on at the NUL.
    if (std::memchr(text.get() + used, '\0', n)) break;
    used += n;
  }
  cgiBodyDeadlineStop();
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
  // The file this request uploaded reaches its handler through
  // upload_path() alone (core/tmp_file.h): the request text below is never
  // read for a path, so no client file name can point a handler elsewhere.
  std::string target;
  if (raw) {
    std::snprintf(text, sizeof text, "%s & %s", "temp", query);
  } else if (is_name(name, "/1019") || is_name(name, "/oem")) {
    upload_set_path(temp_file);
    std::snprintf(text, sizeof text, "%s & %s", temp_file, query);
  } else {
    // Only names that reach a handler get their file moved, and never onto
    // a name the system keeps in /tmp: such uploads are refused like a
    // missing file name.
    if (!FindWebRes(name) || !cgiUploadBaseNameAllowed(base_name)) return;
    target.assign(temp_file);
    size_t slash = target.rfind('/');
    target.erase(slash == std::string::npos ? 0 : slash + 1);
    target += base_name;
    // Whatever the client's file name holds, no shell sees it. No signal
    // comes between the move and the moved file's entry in the table of
    // files the signal handlers remove.
    sigset_t fatal, saved;
    sigemptyset(&fatal);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&fatal, sig);
    sigprocmask(SIG_BLOCK, &fatal, &saved);
    bool moved = move_upload(temp_file, target);
    if (moved && !cgiTrackFile(target.c_str())) {
      unlink(target.c_str());  // just moved there by this request
      moved = false;
    }
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    if (!moved) return;
    upload_set_path(target);
    char param[kParamMax + 1];
    if (cgiQueryParamAfter(query, param, sizeof param))
      std::snprintf(text, sizeof text, "%s & %s", target.c_str(), param);
    else
      copy_field(text, target);
  }
  DispatchWebReq(name, text);
  // Whatever the handler did, the upload is gone when the request ends: a
  // file it left at its upload name (and no other file of that name) goes.
  if (!target.empty()) cgiRemoveTrackedFile(target.c_str());
  upload_set_path("");
}

void cgiReleaseRequest() {
  cgiFreeFormEntries();
  cgiRestored = false;
}

int cgi_main() {
  RegisterAllWebModules();
  // Files this request makes in /tmp go with it, also when a signal ends it.
  cgiInstallSignalCleanup();
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
      // Only the names that take a file read a multipart body, and only a
      // body within their limit; for any other name the body stays unread,
      // as for a request no handler serves.
      const long long limit = cgiUploadLimit(cgiPathInfo);
      if (limit > 0 && cgiContentLength > limit) {
        cgiHeaderStatus(413, "Payload Too Large");
      } else if (limit > 0) {
        if (std::strcmp(cgiPathInfo, "/1010") != 0 && cgiDecodeMultipartBody() != cgiParseSuccess) {
          // Parts decoded before the failure leave no files behind.
          cgiFreeFormEntries();
          return -1;
        }
        cgiDealUpload();
      }
    }
  } else if (cgiEqualsNoCase(method, "get")) {
    cgiContentLength = static_cast<int>(std::strlen(cgiQueryString));
    cgiDealGet();
  }
  cgiReleaseRequest();
  std::fflush(cgiOut);
  return 0;
}
