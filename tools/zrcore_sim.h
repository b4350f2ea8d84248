// zrcore-sim: the core daemon stand-in. Each handler module adds a file
// tools/zrcore_sim_<module>.cpp with a table of request ids and reply
// functions, registered by a static SimModule object; a request id that no
// table knows gets the reply type id + 5000 with one int32 0 (success).
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct SimReply {
  int type = 0;
  Bytes payload;
  int delay_ms = 0;
};

// Fills the replies of one request (none for a request that gets no reply).
// Module functions run one at a time, so module state needs no lock.
using SimReplyFn = void (*)(int req_id, const Bytes& payload, std::vector<SimReply>* replies);

struct SimRow {
  int req_id;
  SimReplyFn fn;
};

struct SimModule {
  SimModule(const SimRow* rows, size_t count);
};

// A request answered by a stream of replies sent while they are made (a
// recording download), so no reply list is held: the function calls send
// once per reply (a head and a body, sent back to back as one payload) and
// stops when send gives false (the connection ended). Stream functions run
// outside the lock of the module functions and may sleep between replies.
using SimSend = std::function<bool(int type, const void* head, size_t head_len, const void* body, size_t body_len)>;
using SimStreamFn = void (*)(int req_id, const Bytes& payload, const SimSend& send);
struct SimStreamRow {
  int req_id;
  SimStreamFn fn;
};
struct SimStreamModule {
  SimStreamModule(const SimStreamRow* rows, size_t count);
};

// Helpers for reply functions.
template <typename T>
inline Bytes sim_bytes(const T& record) {
  Bytes b(sizeof(T));
  std::memcpy(b.data(), &record, sizeof(T));
  return b;
}
template <typename T>
inline void sim_append(Bytes* out, const T& record) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
  out->insert(out->end(), p, p + sizeof(T));
}
// Reads a record from a request payload (zero-filled when it is short).
template <typename T>
inline T sim_read(const Bytes& payload) {
  T rec;
  std::memset(&rec, 0, sizeof rec);
  std::memcpy(&rec, payload.data(), payload.size() < sizeof rec ? payload.size() : sizeof rec);
  return rec;
}
// The usual single reply: type id + 5000.
void sim_reply(std::vector<SimReply>* replies, int req_id, Bytes payload);
void sim_reply_status(std::vector<SimReply>* replies, int req_id, int32_t status);
