// Socket library: one connection to the core daemon over the Unix-domain
// stream socket "/var/run/zrsocket" (under NVR_ROOT).
//
// A frame, in both directions, is a 24-byte header followed by the payload:
//   0  char[4]  magic "ZRSK"
//   4  int32    frame version (1)
//   8  int32    sequence number of the request (the reply echoes it)
//   12 int32    message type: request id, or reply type
//   16 int32    sender flags (1 = request that wants no reply; else 0)
//   20 uint32   payload length in bytes (at most ZR_SOCK_MAX_PAYLOAD)
// All integers little-endian. Replies reach the callback on the library's own
// reader thread; a malformed, oversized or truncated frame closes the
// connection. When the connection ends that way, or the daemon closes it,
// the callback is called once more with a null header and a null payload
// (never while zr_sock_uninit closes it), so a waiting caller learns at once
// that no reply will come.
#pragma once
#include <cstddef>
#include <cstdint>

struct ZrMsgHeader {
  char magic[4];
  int32_t version;
  int32_t seq;
  int32_t type;
  int32_t flags;
  uint32_t length;
};
static_assert(sizeof(ZrMsgHeader) == 24, "frame header is 24 bytes");
static_assert(offsetof(ZrMsgHeader, type) == 12, "message type at 12");
static_assert(offsetof(ZrMsgHeader, length) == 20, "payload length at 20");

constexpr uint32_t ZR_SOCK_MAX_PAYLOAD = 1u << 20;
constexpr char ZR_SOCK_PATH[] = "/var/run/zrsocket";

// Reply callback: (context, header, payload).
using ZrSockCallback = void (*)(void* ctx, void* header, void* payload);

// Connects to the socket and starts the reader thread that hands each reply
// to the callback. 0, or -1 when the daemon cannot be reached (a later send
// then tries to connect again).
int zr_sock_init(ZrSockCallback cb, void* ctx, int mode, const char* path);
// Sends one message. 0 when it was written whole; non-zero: try again.
int zr_sock_send_msg(int dest, int type, const void* payload, int len, uint64_t extra);
// Closes the connection and joins the reader thread.
int zr_sock_uninit();
