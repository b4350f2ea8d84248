// Capture of the CGI environment.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <deque>
#include <string>

#include "cgi/cgic.h"
#include "core/strutil.h"

const char* cgiServerSoftware = "";
const char* cgiServerName = "";
const char* cgiGatewayInterface = "";
const char* cgiServerProtocol = "";
const char* cgiServerPort = "";
const char* cgiRequestMethod = "";
const char* cgiPathInfo = "";
const char* cgiPathTranslated = "";
const char* cgiScriptName = "";
const char* cgiQueryString = "";
const char* cgiRemoteHost = "";
const char* cgiRemoteAddr = "";
const char* cgiAuthType = "";
const char* cgiRemoteUser = "";
const char* cgiRemoteIdent = "";
const char* cgiServerAddr = "";
char cgiContentTypeData[1024];
char* cgiContentType = cgiContentTypeData;
const char* cgiMultipartBoundary = "";
int cgiContentLength = 0;
bool cgiContentLengthGiven = false;
const char* cgiAccept = "";
const char* cgiUserAgent = "";
const char* cgiReferrer = "";
const char* cgiCookie = "";
FILE* cgiIn = nullptr;
FILE* cgiOut = nullptr;
bool cgiRestored = false;

namespace {
// Owned copies of texts set after capture; a deque never moves its elements.
std::deque<std::string>& env_store() {
  static std::deque<std::string> store;
  return store;
}

const char* env_or_empty(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// CONTENT_LENGTH is one or more decimal digits and nothing else; any other
// text ("", "12abc", "-5", " 7") counts as no length at all (false).
// Lengths past the int range stay at its largest value.
bool parse_content_length(const char* text, int* out) {
  *out = 0;
  if (!text || !*text) return false;
  long long v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    if (v <= 0x7fffffffLL) v = v * 10 + (*p - '0');
  }
  *out = v > 0x7fffffffLL ? 0x7fffffff : static_cast<int>(v);
  return true;
}
}  // namespace

void cgiSetEnvText(const char** var, std::string_view value) {
  env_store().emplace_back(value);
  *var = env_store().back().c_str();
}

bool cgiEqualsNoCase(const char* a, const char* b) {
  if (!a || !b) return false;
  return equals_no_case(a, b);
}

void cgiCaptureEnvironment() {
  cgiServerSoftware = env_or_empty("SERVER_SOFTWARE");
  cgiServerName = env_or_empty("SERVER_NAME");
  cgiGatewayInterface = env_or_empty("GATEWAY_INTERFACE");
  cgiServerProtocol = env_or_empty("SERVER_PROTOCOL");
  cgiServerPort = env_or_empty("SERVER_PORT");
  cgiRequestMethod = env_or_empty("REQUEST_METHOD");
  cgiPathInfo = env_or_empty("PATH_INFO");
  cgiPathTranslated = env_or_empty("PATH_TRANSLATED");
  cgiScriptName = env_or_empty("SCRIPT_NAME");
  cgiQueryString = env_or_empty("QUERY_STRING");
  cgiRemoteHost = env_or_empty("REMOTE_HOST");
  cgiRemoteAddr = env_or_empty("REMOTE_ADDR");
  cgiAuthType = env_or_empty("AUTH_TYPE");
  cgiRemoteUser = env_or_empty("REMOTE_USER");
  cgiRemoteIdent = env_or_empty("REMOTE_IDENT");
  cgiServerAddr = env_or_empty("HTTP_HOST");
  copy_text(cgiContentTypeData, sizeof cgiContentTypeData, env_or_empty("CONTENT_TYPE"));
  cgiContentType = cgiContentTypeData;

  // Cut the content type at its first ';' and look for "boundary=" among the
  // parameters. Quotes around the value stay part of it.
  cgiMultipartBoundary = "";
  char* p = std::strchr(cgiContentTypeData, ';');
  while (p) {
    *p++ = '\0';
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (strncasecmp(p, "boundary=", 9) == 0) {
      char* b = p + 9;
      char* e = b;
      while (*e && !std::isspace(static_cast<unsigned char>(*e))) ++e;
      *e = '\0';
      cgiMultipartBoundary = b;
      break;
    }
    p = std::strchr(p, ';');
  }

  cgiContentLengthGiven = parse_content_length(env_or_empty("CONTENT_LENGTH"), &cgiContentLength);
  cgiAccept = env_or_empty("HTTP_ACCEPT");
  cgiUserAgent = env_or_empty("HTTP_USER_AGENT");
  cgiReferrer = env_or_empty("HTTP_REFERER");
  cgiCookie = env_or_empty("HTTP_COOKIE");
  cgiIn = stdin;
  cgiOut = stdout;
  cgiRestored = false;
}
