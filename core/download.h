// The one download writer: the attachment headers, then the bytes of a file
// or a buffer in chunks, then a flush. Everything goes through cgiOut (the
// standard output of the CGI program); what stdio already holds is flushed
// first, so a download never overtakes text written before it.
#pragma once
#include <cstddef>

// Chunk size of every download.
constexpr size_t DOWNLOAD_CHUNK = 4095;

// "Content-Type:application/octet-stream\r\n" and
// "Content-Disposition: attachment; filename= %s\r\n\r\n". CR, LF and other
// control characters of the name are dropped, so a name from a request or a
// file cannot add header lines.
void download_write_headers(const char* filename);

// The part of a path behind its last '/' (the whole path without one).
const char* download_base_name(const char* path);

// Headers, then the file's bytes until its end, then a flush. The file is
// opened before anything is written: -1 and no output when it cannot be
// opened (or is a symbolic link or no regular file). 0 when every byte was
// written, -1 when a read or write failed part-way. The caller checks the
// path first (core/tmp_file.h for files named by requests).
int download_send_file(const char* path, const char* filename);
// The same from a descriptor open for reading (not closed here).
int download_send_fd(int fd, const char* filename);
// Headers, then len bytes of the buffer, then a flush.
int download_send_buffer(const void* data, size_t len, const char* filename);
