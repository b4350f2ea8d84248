// The stored port record: service ports and the SSH switch, one record
// (id 0) read and written whole. Used by the network settings and the aging
// switches.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/zrdb.h"

struct PortRecord {
  int32_t enableSsh;  // SSH service switch, 0 or 1
  int32_t sshPort;
  int32_t httpPort;
  int32_t rtspPort;
  int32_t servicePort;
  int32_t httpsPort;
  int32_t enableHostName;  // mail host name settings kept beside the ports
  char hostName[256];
  uint8_t reserved[28];
};
static_assert(sizeof(PortRecord) == 312, "port record is 312 bytes");
static_assert(offsetof(PortRecord, enableSsh) == 0, "SSH switch is the first int32");
static_assert(offsetof(PortRecord, hostName) == 28, "host name at 28");

ZRDB_RECORD_FAMILY(port, PortRecord, "port")
constexpr int PORT_RECORD_ID = 0;
