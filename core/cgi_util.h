// Utilities every module uses: the operation-log record, the user name from
// the cookie, the one way to run shell commands, MAC addresses and lock files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Operation-log record, 672 bytes little-endian; sent as request 3485, or as
// request 3509 followed by the 64-bit mask of the channels a change was
// copied to.
#pragma pack(push, 4)
struct OperationLogInfo {
  int32_t main_type;      // 4 after preparation
  int32_t reserved4;
  int64_t sub_type;       // 201 login, 202 logout, ...
  uint8_t reserved16[8];
  int32_t param;          // parameter code
  int32_t one;            // 1 after preparation
  int32_t channel;        // counted from 1, or 0
  char client_addr[46];   // cgiRemoteAddr
  char user_name[64];     // "userName" cookie
  uint8_t detail[526];
};
#pragma pack(pop)
static_assert(sizeof(OperationLogInfo) == 672, "operation-log record is 672 bytes");
static_assert(offsetof(OperationLogInfo, sub_type) == 8, "sub-type at 8");
static_assert(offsetof(OperationLogInfo, param) == 24, "parameter at 24");
static_assert(offsetof(OperationLogInfo, one) == 28, "flag at 28");
static_assert(offsetof(OperationLogInfo, channel) == 32, "channel at 32");
static_assert(offsetof(OperationLogInfo, client_addr) == 36, "client address at 36");
static_assert(offsetof(OperationLogInfo, user_name) == 82, "user name at 82");
static_assert(offsetof(OperationLogInfo, detail) == 146, "detail at 146");

constexpr int REQ_OPERATION_LOG = 3485;
constexpr int REQ_OPERATION_LOG_COPY = 3509;

int cgi_init_log_info(OperationLogInfo* info);
// 0 and the user name (at most 63 characters), or -1.
int get_current_username(char* dst);

// Runs the command with /bin/sh -c: 0 when it exited with status 0, -1 when
// the shell could not start, the command was killed or exited non-zero.
// The command's standard output is /dev/null, never the reply; every
// command a handler runs goes through here.
// Values from requests, uploads, files or the core must be shell_quote()d.
int web_system(const char* command);
int web_system(const std::string& command);
// Runs a fixed command with /bin/sh -c and keeps at most size-1 bytes of
// what it writes to standard output (terminated; the rest is drained): the
// number of bytes kept, or -1 when the shell could not start or the
// command failed. No request text may reach this command line.
int web_read_command(const char* command, char* buf, size_t size);

// Hardware addresses of eth0 and eth1 as "%02X:..." texts (18 bytes each);
// a fixed fallback when an address cannot be read. Always 0.
int get_mac_addr(char* eth0, char* eth1);

// Exclusive lock on a lock file (created when missing): the descriptor, or -1.
int file_lock(const char* path);
int file_unlock(int fd);
