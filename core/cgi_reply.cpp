#include "core/cgi_reply.h"

#include <json-c/json.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cgi/cgic.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"

namespace {
FILE* out_stream() { return cgiOut ? cgiOut : stdout; }
}  // namespace

int cgi_writeback_webserver(int kind, const char* text) {
  if (!text) return -1;
  FILE* out = out_stream();
  if (kind == CGI_KIND_TEXT)
    std::fputs("Content-type: text/plain\r\n\r\n", out);
  else if (kind == CGI_KIND_JSON)
    std::fputs("Content-type: application/json\r\n\r\n", out);
  std::fputs(text, out);
  std::fflush(out);
  return 0;
}

void cgi_error_to_webserver(int kind) {
  if (kind == CGI_KIND_TEXT)
    cgi_writeback_webserver(CGI_KIND_TEXT, "CGI ERROR");
  else if (kind == CGI_KIND_JSON)
    cgi_writeback_webserver(CGI_KIND_JSON, "{status:\"CGI ERROR\"}");
}

void on_cgi_common_json_cb(int count, const void* payload) {
  if (count < 1 || !payload) return;
  int32_t status;
  std::memcpy(&status, payload, sizeof status);
  JsonPtr obj(json_object_new_object());
  json_object_object_add(obj.get(), "status", json_object_new_int(status));
  cgi_write_json(obj.get());
  g_callback_done = 1;
}

void on_cgi_common_text_cb(int /*count*/, int status, const char* data) {
  char text[256];
  int n = std::snprintf(text, sizeof text, "%s status:[%d]", status < 0 ? "CGI ERROR" : "CGI OK", status);
  if (data && n >= 0 && static_cast<size_t>(n) < sizeof text)
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ", data:[%s]", data);
  cgi_writeback_webserver(CGI_KIND_TEXT, text);
  g_callback_done = 1;
}

void cgi_reply_ok() { cgi_writeback_webserver(CGI_KIND_TEXT, "OK"); }
