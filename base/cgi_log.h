// The debug log "/mnt/nand/cgi_log.txt": one line per call, appended. When
// it passes 256 KiB it is renamed to "cgi_log.txt.1" and a new one begins,
// so the log never fills the flash.
#pragma once

constexpr long CGI_LOG_MAX_BYTES = 256 * 1024;

int cgi_log(const char* source, int line, const char* func, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

#define CGI_LOG(...) cgi_log(__FILE__, __LINE__, __func__, __VA_ARGS__)
