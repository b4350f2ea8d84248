// Form layer: the entry list and the operations that read it, the cookie
// readers, the header writers and the escape writers.
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "cgi/cgic.h"
#include "cgi/cgic_entries.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/strutil.h"

namespace {
FormEntry* g_first = nullptr;
FormEntry* g_last = nullptr;
bool g_cleanup_registered = false;

// The files this request has in /tmp (its part files and the upload moved
// to its client name), in a fixed table a signal handler can walk. A slot
// is filled completely before it is marked live.
struct TrackedFile {
  char path[1024];
  dev_t dev;
  ino_t ino;
  volatile sig_atomic_t live;
};
TrackedFile g_tracked[CGI_UPLOAD_PARTS_MAX + 1];

// Only the file the slot recorded is removed: a file of another request
// that took the same name since is left alone.
void remove_tracked(TrackedFile& t) {
  if (!t.live) return;
  t.live = 0;
  struct stat st;
  if (lstat(t.path, &st) == 0 && st.st_dev == t.dev && st.st_ino == t.ino) unlink(t.path);
}

// SIGTERM, SIGINT, SIGHUP, SIGPIPE: the files go, then the signal ends the
// process as it would have without the handler.
void on_fatal_signal(int sig) {
  cgiRemoveTrackedFiles();
  signal(sig, SIG_DFL);
  raise(sig);
}

// The body stopped arriving: the files go and the request ends unanswered.
void on_body_deadline(int) {
  cgiRemoveTrackedFiles();
  _exit(255);
}

long g_body_idle_ms = 0;

void arm_body_timer(long ms) {
  struct itimerval t {};
  t.it_value.tv_sec = ms / 1000;
  t.it_value.tv_usec = (ms % 1000) * 1000;
  setitimer(ITIMER_REAL, &t, nullptr);
}

// Copies text into a fixed output of max bytes (cut at a UTF-8 character
// boundary, the rest of the output cleared). 0, or cgiFormTruncated when it
// was cut.
int copy_out(std::string_view text, char* result, int max) {
  if (!result || max <= 0) return text.empty() ? cgiFormSuccess : cgiFormTruncated;
  const size_t n = copy_text(result, static_cast<size_t>(max), text);
  return n < text.size() ? cgiFormTruncated : cgiFormSuccess;
}

void clear_out(char* result, int max) {
  if (result && max > 0) result[0] = '\0';
}

// The value as a C text: an ordinary field may hold NUL bytes, which end it.
std::string_view value_text(const FormEntry* e) {
  return std::string_view(e->value.c_str());
}

// New null-ended array of copies (malloc'd, released by cgiStringArrayFree).
char** new_string_array(const std::vector<std::string_view>& items) {
  char** out = static_cast<char**>(std::calloc(items.size() + 1, sizeof(char*)));
  if (!out) return nullptr;
  for (size_t i = 0; i < items.size(); ++i) {
    out[i] = static_cast<char*>(std::malloc(items[i].size() + 1));
    if (!out[i]) {
      cgiStringArrayFree(out);
      return nullptr;
    }
    std::memcpy(out[i], items[i].data(), items[i].size());
    out[i][items[i].size()] = '\0';
  }
  return out;
}

// Copies a value with each run of CR and LF turned into as many "\n" as the
// larger count of either (or dropped).
int form_string(const char* name, char* result, int max, bool newlines) {
  const FormEntry* e = cgiFindFormEntry(name);
  clear_out(result, max);
  if (!e) return cgiFormNotFound;
  std::string_view v = value_text(e);
  std::string text;
  text.reserve(v.size());
  for (size_t i = 0; i < v.size();) {
    if (v[i] == '\r' || v[i] == '\n') {
      size_t crs = 0, lfs = 0;
      for (; i < v.size() && (v[i] == '\r' || v[i] == '\n'); ++i) (v[i] == '\r' ? crs : lfs)++;
      if (newlines) text.append(crs > lfs ? crs : lfs, '\n');
    } else {
      text += v[i++];
    }
  }
  const size_t len = result && max > 0 ? copy_text(result, static_cast<size_t>(max), text) : 0;
  const bool truncated = len < text.size();
  if (truncated) return cgiFormTruncated;
  return len == 0 ? cgiFormEmpty : cgiFormSuccess;
}

const char* skip_blanks(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\f' || *p == '\v') ++p;
  return p;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int select_single(const char* name, const char** choices, int total, int* result, int def) {
  const FormEntry* e = cgiFindFormEntry(name);
  if (result) *result = def;
  if (!e) return cgiFormNotFound;
  for (int i = 0; choices && i < total; ++i) {
    if (choices[i] && value_text(e) == choices[i]) {
      if (result) *result = i;
      return cgiFormSuccess;
    }
  }
  return cgiFormNoSuchChoice;
}

int select_multiple(const char* name, const char** choices, int total, int* flags, int* invalid) {
  if (flags)
    for (int i = 0; i < total; ++i) flags[i] = 0;
  int bad = 0, hits = 0;
  for (const FormEntry* e = cgiFormEntryList(); e && name; e = e->next) {
    if (e->name != name) continue;
    bool found = false;
    for (int i = 0; choices && i < total; ++i) {
      if (choices[i] && value_text(e) == choices[i]) {
        if (flags) flags[i] = 1;
        found = true;
        ++hits;
        break;
      }
    }
    if (!found) ++bad;
  }
  if (invalid) *invalid = bad;
  return hits ? cgiFormSuccess : cgiFormNotFound;
}

const FormEntry* file_entry(const char* name, int* status) {
  const FormEntry* e = cgiFindFormEntry(name);
  if (!e) {
    *status = cgiFormNotFound;
    return nullptr;
  }
  if (e->temp_file.empty()) {
    *status = cgiFormNotAFile;
    return nullptr;
  }
  *status = cgiFormSuccess;
  return e;
}

void cleanup_at_exit() {
  cgiFreeFormEntries();
  cgiRemoveTrackedFiles();
}

// Writes a text to cgiOut without CR and LF.
void put_header_text(const char* text) {
  if (!text || !cgiOut) return;
  for (const char* p = text; *p; ++p)
    if (*p != '\r' && *p != '\n') std::fputc(*p, cgiOut);
}
}  // namespace

// ---- Entry list -------------------------------------------------------------

FormEntry* cgiFormEntryList() { return g_first; }

void cgiAppendFormEntry(FormEntry* entry) {
  if (!entry) return;
  entry->next = nullptr;
  if (g_last)
    g_last->next = entry;
  else
    g_first = entry;
  g_last = entry;
}

FormEntry* cgiFindFormEntry(const char* name) {
  if (!name) return nullptr;
  for (FormEntry* e = g_first; e; e = e->next)
    if (e->name == name) return e;
  return nullptr;
}

bool cgiTrackFile(const char* path) {
  if (!path || std::strlen(path) >= sizeof g_tracked[0].path) return false;
  struct stat st {};
  if (lstat(path, &st) != 0) return false;
  for (TrackedFile& t : g_tracked) {
    if (t.live) continue;
    std::memcpy(t.path, path, std::strlen(path) + 1);
    t.dev = st.st_dev;
    t.ino = st.st_ino;
    t.live = 1;
    return true;
  }
  return false;
}

void cgiUntrackFile(const char* path) {
  if (!path) return;
  for (TrackedFile& t : g_tracked)
    if (t.live && std::strcmp(t.path, path) == 0) t.live = 0;
}

void cgiRemoveTrackedFile(const char* path) {
  if (!path) return;
  for (TrackedFile& t : g_tracked)
    if (t.live && std::strcmp(t.path, path) == 0) remove_tracked(t);
}

void cgiRemoveTrackedFiles() {
  for (TrackedFile& t : g_tracked) remove_tracked(t);
}

void cgiInstallSignalCleanup() {
  struct sigaction sa {};
  sa.sa_handler = on_fatal_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaction(sig, &sa, nullptr);
}

void cgiBodyDeadlineStart() {
  const char* v = std::getenv("NVR_BODY_IDLE_MS");
  char* end = nullptr;
  long ms = v && *v ? std::strtol(v, &end, 10) : 0;
  if (!v || !*v || *end != '\0' || ms <= 0 || ms > kBodyIdleMsMax) ms = kBodyIdleMsDefault;
  g_body_idle_ms = ms;
  struct sigaction sa {};
  sa.sa_handler = on_body_deadline;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGALRM, &sa, nullptr);
  arm_body_timer(ms);
}

void cgiBodyProgress() {
  if (g_body_idle_ms > 0) arm_body_timer(g_body_idle_ms);
}

void cgiBodyDeadlineStop() {
  if (g_body_idle_ms <= 0) return;
  g_body_idle_ms = 0;
  arm_body_timer(0);
  signal(SIGALRM, SIG_DFL);
}

FILE* cgiCreateTempFile(std::string* path) {
  // The whole name is built before the file exists, so nothing can fail
  // between creating the file and recording its path.
  *path = nvr_path("/tmp/cgicXXXXXX");
  if (path->size() >= sizeof g_tracked[0].path) {
    path->clear();
    return nullptr;
  }
  // One body makes at most CGI_UPLOAD_PARTS_MAX files, each known to the
  // signal handlers before a byte is written to it.
  int live = 0;
  for (const TrackedFile& t : g_tracked) live += t.live ? 1 : 0;
  if (live >= CGI_UPLOAD_PARTS_MAX) {
    path->clear();
    return nullptr;
  }
  int fd = mkstemp(&(*path)[0]);
  if (fd < 0) {
    path->clear();
    return nullptr;
  }
  if (!cgiTrackFile(path->c_str())) {
    close(fd);
    unlink(path->c_str());
    path->clear();
    return nullptr;
  }
  // A request that ends some other way still removes its files.
  if (!g_cleanup_registered) g_cleanup_registered = std::atexit(cleanup_at_exit) == 0;
  FILE* f = nullptr;
  if (fchmod(fd, S_IRUSR | S_IWUSR) == 0) f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    cgiRemoveTrackedFile(path->c_str());
    path->clear();
  }
  return f;
}

void cgiFreeFormEntries() {
  FormEntry* e = g_first;
  g_first = g_last = nullptr;
  while (e) {
    FormEntry* next = e->next;
    if (!e->temp_file.empty()) {
      cgiUntrackFile(e->temp_file.c_str());
      unlink(e->temp_file.c_str());
    }
    delete e;
    e = next;
  }
}

const char* cgiFormEntryTempFile(const char* name) {
  const FormEntry* e = cgiFindFormEntry(name);
  return e ? e->temp_file.c_str() : nullptr;
}

// ---- Form operations ----------------------------------------------------------

int cgiFormString(const char* name, char* result, int max) {
  return form_string(name, result, max, true);
}

int cgiFormStringNoNewlines(const char* name, char* result, int max) {
  return form_string(name, result, max, false);
}

int cgiFormStringSpaceNeeded(const char* name, int* length) {
  const FormEntry* e = cgiFindFormEntry(name);
  if (!e) {
    if (length) *length = 1;
    return cgiFormNotFound;
  }
  if (length) *length = static_cast<int>(value_text(e).size()) + 1;
  return cgiFormSuccess;
}

int cgiFormStringMultiple(const char* name, char*** result) {
  if (!result) return cgiFormMemory;
  std::vector<std::string_view> values;
  try {
    for (const FormEntry* e = g_first; e && name; e = e->next)
      if (e->name == name) values.push_back(value_text(e));
  } catch (const std::bad_alloc&) {
    *result = nullptr;
    return cgiFormMemory;
  }
  *result = new_string_array(values);
  if (!*result) return cgiFormMemory;
  return values.empty() ? cgiFormNotFound : cgiFormSuccess;
}

int cgiFormInteger(const char* name, int* result, int default_value) {
  const FormEntry* e = cgiFindFormEntry(name);
  if (result) *result = default_value;
  if (!e) return cgiFormNotFound;
  const char* p = skip_blanks(e->value.c_str());
  if (!*p) return cgiFormEmpty;
  if (!is_digit(*p) && *p != '-' && *p != '+') return cgiFormBadType;
  long long v = std::strtoll(p, nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  if (result) *result = static_cast<int>(v);
  return cgiFormSuccess;
}

namespace {
// The bounded readers: a value read successfully but outside min..max is
// moved to the nearer bound and reported as constrained.
template <typename T>
int constrain(int status, T v, T min, T max, T* result) {
  if (status == cgiFormSuccess) {
    if (v > max) {
      v = max;
      status = cgiFormConstrained;
    } else if (v < min) {
      v = min;
      status = cgiFormConstrained;
    }
  }
  if (result) *result = v;
  return status;
}
}  // namespace

int cgiFormIntegerBounded(const char* name, int* result, int min, int max, int default_value) {
  int v = default_value;
  const int status = cgiFormInteger(name, &v, default_value);
  return constrain(status, v, min, max, result);
}

int cgiFormDouble(const char* name, double* result, double default_value) {
  const FormEntry* e = cgiFindFormEntry(name);
  if (result) *result = default_value;
  if (!e) return cgiFormNotFound;
  const char* p = skip_blanks(e->value.c_str());
  if (!*p) return cgiFormEmpty;
  if (!is_digit(*p) && *p != '-' && *p != '+' && *p != '.') return cgiFormBadType;
  double v = std::strtod(p, nullptr);
  if (result) *result = v;
  return cgiFormSuccess;
}

int cgiFormDoubleBounded(const char* name, double* result, double min, double max,
                         double default_value) {
  double v = default_value;
  const int status = cgiFormDouble(name, &v, default_value);
  return constrain(status, v, min, max, result);
}

int cgiFormSelectSingle(const char* name, const char** choices, int choices_total, int* result,
                        int default_value) {
  return select_single(name, choices, choices_total, result, default_value);
}

int cgiFormRadio(const char* name, const char** choices, int choices_total, int* result,
                 int default_value) {
  return select_single(name, choices, choices_total, result, default_value);
}

int cgiFormSelectMultiple(const char* name, const char** choices, int choices_total, int* flags,
                          int* invalid) {
  return select_multiple(name, choices, choices_total, flags, invalid);
}

int cgiFormCheckboxMultiple(const char* name, const char** choices, int choices_total, int* flags,
                            int* invalid) {
  return select_multiple(name, choices, choices_total, flags, invalid);
}

int cgiFormCheckboxSingle(const char* name) {
  return cgiFindFormEntry(name) ? cgiFormSuccess : cgiFormNotFound;
}

int cgiFormFileName(const char* name, char* result, int max) {
  const FormEntry* e = cgiFindFormEntry(name);
  clear_out(result, max);
  if (!e) return cgiFormNotFound;
  int r = copy_out(e->file_name, result, max);
  return e->file_name.empty() ? cgiFormNoFileName : r;
}

int cgiFormFileContentType(const char* name, char* result, int max) {
  const FormEntry* e = cgiFindFormEntry(name);
  clear_out(result, max);
  if (!e) return cgiFormNotFound;
  int r = copy_out(e->content_type, result, max);
  return e->content_type.empty() ? cgiFormNoContentType : r;
}

int cgiFormFileSize(const char* name, int* size) {
  int status = cgiFormSuccess;
  const FormEntry* e = file_entry(name, &status);
  if (size) *size = e ? e->value_length : 0;
  return status;
}

struct cgiFileStruct {
  FILE* in;
};

int cgiFormFileOpen(const char* name, cgiFilePtr* file) {
  if (file) *file = nullptr;
  int status = cgiFormSuccess;
  const FormEntry* e = file_entry(name, &status);
  if (!e) return status;
  if (!file) return cgiFormIO;
  auto* f = new (std::nothrow) cgiFileStruct{nullptr};
  if (!f) return cgiFormMemory;
  f->in = std::fopen(e->temp_file.c_str(), "rb");
  if (!f->in) {
    delete f;
    return cgiFormIO;
  }
  *file = f;
  return cgiFormSuccess;
}

int cgiFormFileRead(cgiFilePtr file, char* buffer, int size, int* got) {
  if (got) *got = 0;
  if (!file || !file->in) return cgiFormOpenFailed;
  if (!buffer || size <= 0) return cgiFormSuccess;
  size_t n = std::fread(buffer, 1, static_cast<size_t>(size), file->in);
  if (got) *got = static_cast<int>(n);
  if (n > 0) return cgiFormSuccess;
  return std::ferror(file->in) ? cgiFormIO : cgiFormEOF;
}

int cgiFormFileClose(cgiFilePtr file) {
  if (!file) return cgiFormOpenFailed;
  if (file->in) std::fclose(file->in);
  delete file;
  return cgiFormSuccess;
}

int cgiFormEntries(char*** result) {
  if (!result) return cgiFormMemory;
  *result = nullptr;
  try {
    std::vector<std::string_view> names;
    std::unordered_set<std::string_view> seen;
    for (const FormEntry* e = g_first; e; e = e->next)
      if (seen.insert(e->name).second) names.push_back(e->name);
    *result = new_string_array(names);
  } catch (const std::bad_alloc&) {
    return cgiFormMemory;
  }
  return *result ? cgiFormSuccess : cgiFormMemory;
}

void cgiStringArrayFree(char** array) {
  if (!array) return;
  for (char** p = array; *p; ++p) std::free(*p);
  std::free(array);
}

// ---- Cookies ------------------------------------------------------------------

int cgiCookieText(const char* name, std::string_view* result) {
  if (result) *result = std::string_view();
  if (!name || !cgiCookie) return cgiFormNotFound;
  const size_t len = std::strlen(name);
  const char* p = cgiCookie;
  while (*p == ' ' || *p == '\t') ++p;
  while (*p) {
    if (std::strncmp(p, name, len) == 0 && p[len] == '=') {
      const char* v = p + len + 1;
      if (result) *result = std::string_view(v, std::strcspn(v, ";"));
      return cgiFormSuccess;
    }
    p = std::strchr(p, ';');
    if (!p) break;
    ++p;
    while (*p == ' ' || *p == '\t') ++p;
  }
  return cgiFormNotFound;
}

int cgiCookieString(const char* name, char* result, int max) {
  clear_out(result, max);
  std::string_view value;
  const int r = cgiCookieText(name, &value);
  return r == cgiFormSuccess ? copy_out(value, result, max) : r;
}

int cgiCookieInteger(const char* name, int* result, int default_value) {
  char text[256];
  int r = cgiCookieString(name, text, sizeof text);
  if (result) *result = default_value;
  if (r == cgiFormNotFound) return r;
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  if (result) *result = static_cast<int>(v);
  return r;
}

int cgiCookies(char*** result) {
  if (!result) return cgiFormMemory;
  *result = nullptr;
  try {
    std::vector<std::string_view> names;
    const char* p = cgiCookie ? cgiCookie : "";
    while (*p) {
      while (*p == ' ' || *p == '\t') ++p;
      if (!*p) break;
      size_t n = std::strcspn(p, "=;");
      names.emplace_back(p, n);
      p = std::strchr(p, ';');
      if (!p) break;
      ++p;
    }
    *result = new_string_array(names);
  } catch (const std::bad_alloc&) {
    return cgiFormMemory;
  }
  return *result ? cgiFormSuccess : cgiFormMemory;
}

// ---- Header writers -------------------------------------------------------------

namespace {
const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

void cgiHeaderCookieSetString(const char* name, const char* value, int seconds_to_live,
                              const char* path, const char* domain) {
  if (!cgiOut) return;
  time_t when = nvr_time() + static_cast<time_t>(seconds_to_live);
  struct tm t {};
  if (!gmtime_r(&when, &t)) {
    when = 0;
    gmtime_r(&when, &t);
  }
  std::fputs("Set-Cookie: ", cgiOut);
  put_header_text(name);
  std::fputc('=', cgiOut);
  put_header_text(value);
  std::fputs("; domain=", cgiOut);
  put_header_text(domain);
  std::fprintf(cgiOut, "; expires=%s, %02d-%s-%04d %02d:%02d:%02d GMT; path=", days[t.tm_wday % 7],
               t.tm_mday, months[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  put_header_text(path);
  // Never sent along with a request another site starts.
  std::fputs("; SameSite=Strict\r\n", cgiOut);
}

void cgiHeaderCookieSetInteger(const char* name, int value, int seconds_to_live, const char* path,
                               const char* domain) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  cgiHeaderCookieSetString(name, text, seconds_to_live, path, domain);
}

void cgiHeaderLocation(const char* url) {
  if (!cgiOut) return;
  std::fputs("Location: ", cgiOut);
  put_header_text(url);
  std::fputs("\r\n\r\n", cgiOut);
}

void cgiHeaderStatus(int status, const char* message) {
  if (!cgiOut) return;
  std::fprintf(cgiOut, "Status: %d ", status);
  put_header_text(message);
  std::fputs("\r\n\r\n", cgiOut);
}

void cgiHeaderContentType(const char* mime_type) {
  if (!cgiOut) return;
  std::fputs("Content-type: ", cgiOut);
  put_header_text(mime_type);
  std::fputs("\r\n\r\n", cgiOut);
}

// ---- Escape writers -------------------------------------------------------------

int cgiHtmlEscapeData(const char* data, int len) {
  if (!cgiOut) return cgiFormIO;
  for (int i = 0; data && i < len; ++i) {
    int r;
    switch (data[i]) {
      case '<': r = std::fputs("&lt;", cgiOut); break;
      case '&': r = std::fputs("&amp;", cgiOut); break;
      case '>': r = std::fputs("&gt;", cgiOut); break;
      default: r = std::fputc(static_cast<unsigned char>(data[i]), cgiOut); break;
    }
    if (r == EOF) return cgiFormIO;
  }
  return cgiFormSuccess;
}

int cgiHtmlEscape(const char* text) {
  return cgiHtmlEscapeData(text, text ? static_cast<int>(std::strlen(text)) : 0);
}

int cgiValueEscapeData(const char* data, int len) {
  if (!cgiOut) return cgiFormIO;
  for (int i = 0; data && i < len; ++i) {
    int r = data[i] == '"' ? std::fputs("&#34;", cgiOut)
                           : std::fputc(static_cast<unsigned char>(data[i]), cgiOut);
    if (r == EOF) return cgiFormIO;
  }
  return cgiFormSuccess;
}

int cgiValueEscape(const char* text) {
  return cgiValueEscapeData(text, text ? static_cast<int>(std::strlen(text)) : 0);
}
