// zrcore-sim: status. Answers the interface states (3301) and traffic
// (3302) of one interface "eth0", the stream state of channels 0 and 1
// (3300), the alarm states (3305: motion on channel 1, recorder input 0 and
// output 1 active), the memory figures (3306), the channel support table
// (3263: channels 0 and 1 supported, of types 1 and 2) and one logged-in
// user (1719).
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

void channel_status(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes b(2 * 72, 0);
  for (int c = 0; c < 2; ++c) {
    const size_t at = static_cast<size_t>(c) * 72;
    put_i32(&b, at + 0, 1920);
    put_i32(&b, at + 4, 1080);
    put_i32(&b, at + 8, 25);
    put_i32(&b, at + 12, 4096);
    put_i32(&b, at + 16, 1);
    put_i32(&b, at + 24, 1);
    put_i32(&b, at + 28, 640);
    put_i32(&b, at + 32, 360);
    put_i32(&b, at + 36, 15);
    put_i32(&b, at + 40, 512);
    put_i32(&b, at + 44, 1);
    put_i32(&b, at + 52, 1);
    put_i32(&b, at + 56, 1);
    put_i32(&b, at + 64, c);
  }
  sim_reply(r, req, b);
}

void alarm_status(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes b(68296, 0);
  put_i32(&b, 2 * 4, 1 << 1);  // motion on channel 1
  put_i32(&b, 4 * 4, 1 << 1);  // recorder output 1
  put_i32(&b, 5 * 4, 1 << 0);  // recorder input 0
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
    {3300, channel_status}, {3301, netif_status},    {3302, netif_speed},  {3305, alarm_status},
    {3306, usage},          {3263, channel_support}, {1719, online_users},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
