// Reply writers: every handler answers the browser through these.
#pragma once

constexpr int CGI_KIND_TEXT = 0;  // "Content-type: text/plain"
constexpr int CGI_KIND_JSON = 1;  // "Content-type: application/json"

int cgi_writeback_webserver(int kind, const char* text);
// "CGI ERROR" (kind 0) or {status:"CGI ERROR"} (kind 1); other kinds: nothing.
void cgi_error_to_webserver(int kind);
// {"status": n} from the payload's first int32 when count >= 1.
void on_cgi_common_json_cb(int count, const void* payload);
// "CGI ERROR status:[%d]" / "CGI OK status:[%d]" with ", data:[%s]".
void on_cgi_common_text_cb(int count, int status, const char* data);
// The plain "OK" answer of setters.
void cgi_reply_ok();
