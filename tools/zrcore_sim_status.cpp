// zrcore-sim: status. Answers the interface states (3301) and traffic
// (3302) of one interface "eth0", the memory figures (3306), the channel
// support table (3263: channels 0 and 1 supported, of types 1 and 2) and one
// logged-in user (1719).
#include <cstring>

#include "tools/zrcore_sim.h"

namespace {

void put_text(Bytes* b, size_t at, const char* text) { std::memcpy(b->data() + at, text, std::strlen(text)); }
void put_i32(Bytes* b, size_t at, int32_t v) { std::memcpy(b->data() + at, &v, sizeof v); }

void netif_status(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes b(320, 0);
  put_text(&b, 0, "eth0");
  put_i32(&b, 16, 1);
  put_i32(&b, 28, 1);
  put_text(&b, 36, "192.168.1.100");
  put_text(&b, 60, "00:11:22:33:44:55");
  put_text(&b, 132, "192.168.1.1");
  put_text(&b, 156, "255.255.255.0");
  put_i32(&b, 180, 1500);
  sim_reply(r, req, b);
}

void netif_speed(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes b(24, 0);
  put_text(&b, 0, "eth0");
  put_i32(&b, 12, 120);
  put_i32(&b, 16, 80);
  sim_reply(r, req, b);
}

void usage(int req, const Bytes&, std::vector<SimReply>* r) {
  const int32_t figures[3] = {1024, 768, 256};
  sim_reply(r, req, sim_bytes(figures));
}

void channel_support(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes b(64 * 44, 0);
  for (int c = 0; c < 2; ++c) {
    put_i32(&b, static_cast<size_t>(c) * 44 + 4, 1);
    put_i32(&b, static_cast<size_t>(c) * 44 + 8, c + 1);
  }
  sim_reply(r, req, b);
}

void online_users(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes b(152, 0);
  put_text(&b, 0, "admin");
  put_text(&b, 68, "192.168.1.20");
  put_text(&b, 132, "2026-01-02 03:04:05");
  sim_reply(r, req, b);
}

const SimRow kRows[] = {
    {3301, netif_status}, {3302, netif_speed}, {3306, usage}, {3263, channel_support}, {1719, online_users},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
