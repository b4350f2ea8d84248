// Blocking Unix-socket helpers shared by the socket library, the core daemon
// stand-in and the test and bench programs that wait for it.
#pragma once
#include <cstddef>
#include <string>

// Connects a stream socket (close-on-exec) to the Unix socket at path; the
// descriptor, or -1 when the path is too long or nothing listens there.
int unix_connect(const std::string& path);

// True when something accepts connections at path (connects and closes).
bool unix_socket_ready(const std::string& path);

// Sends all len bytes (no SIGPIPE; retried after signals); false on error.
bool send_all(int fd, const void* buf, size_t len);

// Receives exactly len bytes (retried after signals); false at the end of
// the stream or on error.
bool recv_exact(int fd, void* buf, size_t len);
