// The core daemon channel: send one request, wait for its reply callback.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/zrsocket.h"

// 0 until a reply callback has written its reply; callbacks set it non-zero.
extern std::atomic<int> g_callback_done;

// Sends one request. Unless no_wait is 1, waits until a callback sets
// g_callback_done or the request's wait limit passes. -1 for a null
// callback, else 0. Once the wait has run out, a late reply is dropped, and
// so is any reply after the first one a callback handled.
//
// A reply callback runs on the socket library's thread while the channel is
// locked: it writes the reply and sets g_callback_done, nothing more. Every
// call below made from inside a callback (a send, a notification, an
// operation log, a close) is refused with a line in the debug log: it gives
// -1 (cgi_ipc_exchange: 0 and no error reply; notify_core and log_operation:
// nothing sent). Follow-up messages go from the handler after the exchange.
//
// A waiting request (no_wait not 1) is refused, -1 with a line in the debug
// log and nothing sent, while this process holds a store write transaction
// (ZrdbTransaction not yet committed or rolled back): the wait would keep
// every other save out. Commit before the exchange.
int cgi_start_ipc(ZrSockCallback cb, int req_id, int len, const void* payload, int no_wait);
// The streaming form, for a reply that comes as many messages (a recording
// download): the same send and wait, but the reply window stays open until
// cgi_stop_ipc, so every message reaches the callback, those after the wait
// limit and after g_callback_done was set included.
int cgi_start_ipc_stream(ZrSockCallback cb, int req_id, int len, const void* payload, int no_wait);
// Closes the connection and the reply window: 0 (-1 from a callback).
int cgi_stop_ipc();
// True once the connection of the current exchange has ended (the daemon
// closed it or sent something unreadable): no further reply can come.
bool cgi_ipc_link_lost();

// Poll limit of a request id (the wait is N x 40 ms; 1000 when not listed).
int cgi_ipc_poll_limit(int req_id);
// The wait of a request id in milliseconds, after the NVR_IPC_WAIT_MS cap.
long cgi_ipc_wait_ms(int req_id);

// One waiting exchange: start, write the error reply of the given kind when
// no reply came (or the request was refused), stop. Returns the final
// g_callback_done (0: no reply).
int cgi_ipc_exchange(ZrSockCallback cb, int req_id, const void* payload, int len, int error_kind);

// Fire-and-forget request on a connection of its own.
void notify_core(int req_id, const void* payload, int len);
// The same with a single 32-bit value (a channel or an id) as payload.
inline void notify_core_int(int req_id, int32_t value) { notify_core(req_id, &value, sizeof value); }
// Notification 1702 with a 32-byte text naming what changed ("network"...).
void notify_core_changed(const char* what);
// Main type of operation-log records, the one the record's preparation gives.
constexpr int LOG_MAIN_OPERATION = 4;
// Operation-log record: request 3485 (channel counted from 1, 0 for none),
// main type LOG_MAIN_OPERATION.
void log_operation(int64_t sub_type, int param, int channel);
// The same with a main type of the caller's choosing (network settings log
// main type 32): log_operation_main(32, 204, 914, 0).
void log_operation_main(int main_type, int64_t sub_type, int param, int channel);
// Operation-log record followed by the copy mask: request 3509.
void log_operation_copy(int64_t sub_type, int param, int channel, uint64_t copy_mask);

// Number of whole records of rec_size bytes in a reply, from its header.
int cgi_reply_count(const void* header, size_t rec_size);
// Message type and payload length of a reply header.
int cgi_reply_type(const void* header);
uint32_t cgi_reply_length(const void* header);

// One reply type of a module's dispatcher: the writer (its result becomes
// g_callback_done) and the shortest payload it reads; a shorter payload
// answers the error reply of empty_kind at once.
using CgiReplyWriter = int (*)(const uint8_t* data, size_t len);
struct CgiReplyRow {
  int type;
  size_t min_len;
  int empty_kind;
  CgiReplyWriter write;
};
// Writes the reply of the row for the header's type; other types, a null
// payload and replies after the first are ignored.
void cgi_dispatch_reply(const CgiReplyRow* rows, size_t n, const void* header, const void* payload);
template <size_t N>
inline void cgi_dispatch_reply(const CgiReplyRow (&rows)[N], const void* header, const void* payload) {
  cgi_dispatch_reply(rows, N, header, payload);
}

// A callback that writes nothing, for fire-and-forget requests.
void cgi_ignore_reply_cb(void* ctx, void* header, void* payload);
