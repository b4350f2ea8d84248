// webcgi_probe: the CGI program with a small table of test handlers on top
// of the real modules, so end-to-end tests can drive the entry paths and the
// core channel before (and besides) the real handlers.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cgi/cgic.h"
#include "cgi/dispatchreq.h"
#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/download.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/tmp_file.h"

namespace {
// "/9990": answers the request text as it arrived.
void on_probe_echo(char* text) { cgi_writeback_webserver(CGI_KIND_TEXT, text); }

void on_probe_ipc_callback(void*, void* header, void* payload) {
  if (!payload) return;
  on_cgi_common_json_cb(cgi_reply_count(header, sizeof(int32_t)), payload);
}

// "/9991" {"id":N,"value":V}: sends request N with the int32 V and waits.
void on_probe_exchange(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  if (!req) return;
  int32_t value = json_get_int(req.get(), "value");
  cgi_ipc_exchange(on_probe_ipc_callback, json_get_int(req.get(), "id"), &value, sizeof value, CGI_KIND_JSON);
}

// "/9992": the notification and operation-log messages of a settings change.
void on_probe_notify(char*) {
  cgi_reply_ok();
  notify_core_changed("network");
  log_operation(204, 914, 0);
  log_operation_copy(204, 915, 3, (1ULL << 5) | (1ULL << 63));
}

// "/9993" {"text":T}: writes T to /tmp/probe_out through the shell.
void on_probe_shell(char* text) {
  JsonPtr req(get_request_tokener_json_object(text));
  char value[512];
  json_get_text(req.get(), "text", value);
  int rc = web_system("printf '%s' " + shell_quote(value) + " > " + shell_quote(nvr_path("/tmp/probe_out")));
  cgi_writeback_webserver(CGI_KIND_TEXT, rc == 0 ? "OK" : "FAIL");
}

// "/9994": an upload's request text, a line break, then the bytes of the file
// the request uploaded. With "keep=1" in the query the file also gets a
// second name, "<name>.kept", that outlives the request.
void on_probe_upload(char* text) {
  const std::string path = upload_path();
  if (std::strstr(cgiQueryString ? cgiQueryString : "", "keep=1") && !path.empty())
    link(path.c_str(), (path + ".kept").c_str());
  std::fputs("Content-type: text/plain\r\n\r\n", cgiOut);
  std::fputs(text, cgiOut);
  std::fputc('\n', cgiOut);
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) std::fwrite(buf, 1, n, cgiOut);
    std::fclose(f);
  }
  std::fflush(cgiOut);
}

// "/9995": the request text names a file in /tmp; sends it as a download
// under its own name, or answers "NO" when the name fails the check.
void on_probe_download(char* text) {
  int fd = tmp_file_open_read(text);
  if (fd < 0) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "NO");
    return;
  }
  download_send_fd(fd, download_base_name(text));
  close(fd);
}

const WebRes kProbeTable[] = {
    {"/9990", on_probe_echo},
    {"/9991", on_probe_exchange},
    {"/9992", on_probe_notify},
    {"/9993", on_probe_shell},
    {"/9994", on_probe_upload},
    {"/9995", on_probe_download},
};
}  // namespace

int main() {
  RegisterAllWebModules();
  WebResRegister(kProbeTable, static_cast<int>(std::size(kProbeTable)));
  // The echo and the upload probe take files like the real upload names.
  cgiAddUploadName("/9990", CGI_UPLOAD_FILE_MAX);
  cgiAddUploadName("/9994", CGI_UPLOAD_FILE_MAX);
  return cgi_main();
}
