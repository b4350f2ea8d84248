#include "platform/p2p.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/paths.h"
#include "base/strutil.h"

namespace {
using Clock = std::chrono::steady_clock;

// The key the recorder ships with; the registration server holds the same.
const uint8_t kShippedKey[P2P_KEY_SIZE] = {
    0x5a, 0x13, 0xc7, 0x2e, 0x91, 0x44, 0xb8, 0x0d, 0x6f, 0xe2, 0x37, 0x8a, 0x1c, 0xd5, 0x70, 0xa9,
    0x03, 0x9e, 0x4b, 0xf6, 0x28, 0x85, 0xdc, 0x61, 0xba, 0x17, 0x7c, 0xc3, 0x5e, 0x08, 0xe9, 0x32,
    0xa4, 0x4f, 0x96, 0x2b, 0xd0, 0x7d, 0x1a, 0xe5, 0x88, 0x33, 0xce, 0x69, 0x04, 0xbf, 0x52, 0xfd,
    0x21, 0x8c, 0x67, 0xda, 0x3e, 0xa1, 0x0c, 0x95, 0x78, 0xc2, 0x1d, 0xe6, 0x49, 0xb4, 0x07, 0x7a,
};

uint8_t g_key[P2P_KEY_SIZE];
bool g_have_key = false;

uint8_t mask_byte(int block, int i) {
  return static_cast<uint8_t>(g_key[(block * 131 + i) % P2P_KEY_SIZE] ^ static_cast<uint8_t>(block * 31 + i));
}

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until fd is ready for events or the deadline passes.
bool wait_ready(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const int ms = remaining_ms(deadline);
    if (ms <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, ms);
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

// Names resolve through the hosts file, then one A query per name server
// of resolv.conf over UDP, all within the caller's deadline (the C
// library's resolver has no deadline, and a static program cannot use it).
bool hosts_lookup(const std::string& name, in_addr* out) {
  std::ifstream in(nvr_path("/etc/hosts"));
  std::string line;
  while (std::getline(in, line)) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string addr, alias;
    if (!(words >> addr)) continue;
    while (words >> alias)
      if (equals_no_case(alias, name) && inet_pton(AF_INET, addr.c_str(), out) == 1) return true;
  }
  return false;
}

std::vector<in_addr> name_servers() {
  std::vector<in_addr> servers;
  std::ifstream in(nvr_path("/etc/resolv.conf"));
  std::string line;
  while (std::getline(in, line) && servers.size() < 3) {
    std::istringstream words(line);
    std::string key, addr;
    in_addr a{};
    if (words >> key >> addr && key == "nameserver" && inet_pton(AF_INET, addr.c_str(), &a) == 1)
      servers.push_back(a);
  }
  return servers;
}

// The query for an A record of name; empty when a label is empty or too long.
std::vector<uint8_t> build_query(const std::string& name, uint16_t id) {
  std::vector<uint8_t> q = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 1, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t dot = name.find('.', pos);
    if (dot == std::string::npos) dot = name.size();
    const size_t n = dot - pos;
    if (n == 0 && dot == name.size() && pos > 0) break;  // a trailing dot
    if (n == 0 || n > 63) return {};
    q.push_back(static_cast<uint8_t>(n));
    q.insert(q.end(), name.begin() + static_cast<long>(pos), name.begin() + static_cast<long>(dot));
    pos = dot + 1;
  }
  q.insert(q.end(), {0, 0, 1, 0, 1});
  return q;
}

// Skips a (possibly compressed) name at *pos; false when it runs past len.
bool skip_name(const uint8_t* m, size_t len, size_t* pos) {
  while (*pos < len) {
    const uint8_t n = m[*pos];
    if ((n & 0xc0) == 0xc0) {
      *pos += 2;
      return *pos <= len;
    }
    *pos += 1u + n;
    if (n == 0) return *pos <= len;
  }
  return false;
}

// The first A record of an answer to query id.
bool parse_answer(const uint8_t* m, size_t len, uint16_t id, in_addr* out) {
  if (len < 12 || ((m[0] << 8) | m[1]) != id || !(m[2] & 0x80) || (m[3] & 0x0f) != 0) return false;
  const int qd = (m[4] << 8) | m[5], an = (m[6] << 8) | m[7];
  size_t pos = 12;
  for (int i = 0; i < qd; ++i)
    if (!skip_name(m, len, &pos) || (pos += 4) > len) return false;
  for (int i = 0; i < an; ++i) {
    if (!skip_name(m, len, &pos) || pos + 10 > len) return false;
    const int type = (m[pos] << 8) | m[pos + 1], cls = (m[pos + 2] << 8) | m[pos + 3];
    const size_t rdlen = static_cast<size_t>((m[pos + 8] << 8) | m[pos + 9]);
    pos += 10;
    if (pos + rdlen > len) return false;
    if (type == 1 && cls == 1 && rdlen == 4) {
      std::memcpy(out, m + pos, 4);
      return true;
    }
    pos += rdlen;
  }
  return false;
}

bool dns_lookup(const std::string& name, in_addr* out, Clock::time_point deadline) {
  uint16_t id = 0;
  if (!nvr_random_bytes(&id, sizeof id)) id = static_cast<uint16_t>(getpid());
  const std::vector<uint8_t> q = build_query(name, id);
  if (q.empty()) return false;
  for (const in_addr& server : name_servers()) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(53);
    to.sin_addr = server;
    bool found = false;
    // Connected, so only this server's answers arrive; each server gets an
    // equal share of the time left.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        send(fd, q.data(), q.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(q.size())) {
      const Clock::time_point until = Clock::now() + std::chrono::milliseconds(remaining_ms(deadline) / 2 + 1);
      uint8_t answer[1500];
      while (!found && wait_ready(fd, POLLIN, until < deadline ? until : deadline)) {
        const ssize_t n = recv(fd, answer, sizeof answer, MSG_DONTWAIT);
        if (n < 0 && errno != EINTR && errno != EAGAIN) break;
        if (n > 0) found = parse_answer(answer, static_cast<size_t>(n), id, out);
      }
    }
    close(fd);
    if (found) return true;
    if (remaining_ms(deadline) <= 0) return false;
  }
  return false;
}

bool resolve(const char* host, in_addr* out, Clock::time_point deadline) {
  if (inet_pton(AF_INET, host, out) == 1) return true;
  const std::string name = host;
  if (name.size() > 253) return false;
  return hosts_lookup(name, out) || dns_lookup(name, out, deadline);
}

bool read_key_file(const char* path, uint8_t* key) {
  FILE* f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) return false;
  uint8_t buf[P2P_KEY_SIZE + 1];
  const size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  if (n != P2P_KEY_SIZE) return false;
  std::memcpy(key, buf, P2P_KEY_SIZE);
  return true;
}
}  // namespace

std::vector<uint8_t> p2p_dns_query(const std::string& name, uint16_t id) { return build_query(name, id); }

bool p2p_dns_answer(const uint8_t* msg, size_t len, uint16_t id, uint32_t* addr) {
  in_addr a{};
  if (!msg || !addr || !parse_answer(msg, len, id, &a)) return false;
  *addr = ntohl(a.s_addr);
  return true;
}

int socket_create() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

int socket_connect(int fd, const char* host, int port, int timeout_ms) {
  if (fd < 0 || !host || !*host || port <= 0 || port > 65535 || timeout_ms <= 0) return -1;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (!resolve(host, &addr.sin_addr, deadline)) return -1;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return -1;
    if (!wait_ready(fd, POLLOUT, deadline)) return -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return -1;
  }
  return 0;  // the socket stays non-blocking: every transfer has a deadline
}

void socket_destroy(int fd) {
  if (fd >= 0) close(fd);
}

int p2p_create_keyfile(const char* path) {
  if (!path || !*path) return -1;
  uint8_t key[P2P_KEY_SIZE];
  if (read_key_file(path, key)) return 0;
  // Written beside it and renamed into place: a reader never sees half a key.
  const std::string tmp = std::string(path) + ".new";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -1;
  const bool ok = write(fd, kShippedKey, sizeof kShippedKey) == static_cast<ssize_t>(sizeof kShippedKey);
  close(fd);
  if (!ok || std::rename(tmp.c_str(), path) != 0) {
    unlink(tmp.c_str());
    return -1;
  }
  return 0;
}

int p2p_cli_switch_keyfile(const char* path) {
  uint8_t key[P2P_KEY_SIZE];
  if (!read_key_file(path, key)) return -1;
  std::memcpy(g_key, key, sizeof g_key);
  g_have_key = true;
  return 0;
}

void p2p_cli_clear_key() {
  std::memset(g_key, 0, sizeof g_key);
  g_have_key = false;
}

int rsa_cal_ensize(int len) {
  if (len <= 0) return 0;
  const int64_t blocks = (static_cast<int64_t>(len) + P2P_BLOCK_DATA - 1) / P2P_BLOCK_DATA;
  return blocks * P2P_BLOCK_SIZE > INT32_MAX ? -1 : static_cast<int>(blocks * P2P_BLOCK_SIZE);
}

int p2p_encode(const void* data, int len, uint8_t* out, size_t out_size) {
  const int wire = rsa_cal_ensize(len);
  if (!g_have_key || !data || !out || wire <= 0 || static_cast<size_t>(wire) > out_size) return -1;
  const uint8_t* in = static_cast<const uint8_t*>(data);
  for (int b = 0; b * P2P_BLOCK_DATA < len; ++b) {
    const int n = len - b * P2P_BLOCK_DATA < P2P_BLOCK_DATA ? len - b * P2P_BLOCK_DATA : P2P_BLOCK_DATA;
    uint8_t* block = out + static_cast<size_t>(b) * P2P_BLOCK_SIZE;
    std::memset(block, 0, P2P_BLOCK_SIZE);
    block[0] = static_cast<uint8_t>(n);
    std::memcpy(block + 1, in + static_cast<size_t>(b) * P2P_BLOCK_DATA, static_cast<size_t>(n));
    for (int i = 0; i < P2P_BLOCK_SIZE; ++i) block[i] ^= mask_byte(b, i);
  }
  return wire;
}

int p2p_decode(const uint8_t* wire, int wire_size, void* out, size_t out_size) {
  if (!g_have_key || !wire || !out || wire_size <= 0 || wire_size % P2P_BLOCK_SIZE) return -1;
  uint8_t* dst = static_cast<uint8_t*>(out);
  size_t len = 0;
  const int blocks = wire_size / P2P_BLOCK_SIZE;
  for (int b = 0; b < blocks; ++b) {
    uint8_t block[P2P_BLOCK_SIZE];
    for (int i = 0; i < P2P_BLOCK_SIZE; ++i)
      block[i] = static_cast<uint8_t>(wire[static_cast<size_t>(b) * P2P_BLOCK_SIZE + i] ^ mask_byte(b, i));
    const int n = block[0];
    // Every block but the last is full; the padding is zeros.
    if (n < 1 || n > P2P_BLOCK_DATA || (b + 1 < blocks && n != P2P_BLOCK_DATA)) return -1;
    for (int i = 1 + n; i < P2P_BLOCK_SIZE; ++i)
      if (block[i]) return -1;
    if (len + static_cast<size_t>(n) > out_size) return -1;
    std::memcpy(dst + len, block + 1, static_cast<size_t>(n));
    len += static_cast<size_t>(n);
  }
  return static_cast<int>(len);
}

int p2p_send(int fd, const void* data, int len, int timeout_ms) {
  const int wire_size = rsa_cal_ensize(len);
  if (fd < 0 || wire_size <= 0 || timeout_ms <= 0) return -1;
  std::vector<uint8_t> wire(static_cast<size_t>(wire_size));
  if (p2p_encode(data, len, wire.data(), wire.size()) != wire_size) return -1;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t sent = 0;
  while (sent < wire.size()) {
    const ssize_t n = send(fd, wire.data() + sent, wire.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_ready(fd, POLLOUT, deadline)) continue;
    return -1;
  }
  return 0;
}

int p2p_recv(int fd, void* out, size_t out_size, int wire_size, int timeout_ms) {
  if (fd < 0 || !out || wire_size <= 0 || wire_size % P2P_BLOCK_SIZE || timeout_ms <= 0) return -1;
  // Bounded before anything is taken: at most out_size bytes of message.
  if (static_cast<size_t>(wire_size / P2P_BLOCK_SIZE) > (out_size + P2P_BLOCK_DATA - 1) / P2P_BLOCK_DATA) return -1;
  std::vector<uint8_t> wire(static_cast<size_t>(wire_size));
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t got = 0;
  while (got < wire.size()) {
    const ssize_t n = recv(fd, wire.data() + got, wire.size() - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return -1;  // the server closed the link early
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_ready(fd, POLLIN, deadline)) continue;
    return -1;
  }
  return p2p_decode(wire.data(), wire_size, out, out_size);
}
