// The stored camera record: one per channel, read and written whole through
// the configuration store. Used by the camera module and the aging switches.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/zrdb.h"

struct CameraRecord {
  int32_t id;               // channel id
  int32_t removed;          // set to 1 when the channel is cleared
  int32_t enable;           // 0 or 1
  int32_t minorid;          // sub-channel index of a multi-channel camera
  int32_t poechannel;       // PoE channel binding
  int32_t physicalport;     // physical PoE port
  int32_t retained;         // kept as it is when the channel is cleared
  char userName[64];
  char password[64];
  char ipAddr[64];
  char mainSourcePath[256];
  char subSourcePath[256];
  int32_t mainRtspPort;
  int32_t subRtspPort;
  int32_t enableSubStream;
  int32_t managePort;
  int32_t camProtocol;      // model id 0..7 (0 after a quick set: ONVIF)
  int32_t transmitProtocol; // 0 UDP, 1 and 2 TCP, 3 RTSP over HTTPS
  int32_t syncTime;
  char mainrtspurl[256];
  char subrtspurl[256];
  char mac_addr[32];
  char ddns[64];
  int32_t httpsPort;
  int32_t recordStreamType;  // column "record_stream": 0 main, 1 sub, 2 third stream
  int32_t cameraAnr;         // column "anr": fill recording gaps from the camera's card
  uint8_t reserved[84];
};
static_assert(sizeof(CameraRecord) == 1464, "camera record is 1464 bytes");
static_assert(offsetof(CameraRecord, id) == 0, "id at 0");
static_assert(offsetof(CameraRecord, removed) == 4, "second word at 4");
static_assert(offsetof(CameraRecord, enable) == 8, "enable at 8");
static_assert(offsetof(CameraRecord, userName) == 28, "userName at 28");
static_assert(offsetof(CameraRecord, password) == 92, "password at 92");
static_assert(offsetof(CameraRecord, ipAddr) == 156, "ipAddr at 156");
static_assert(offsetof(CameraRecord, managePort) == 744, "managePort at 744");
static_assert(offsetof(CameraRecord, camProtocol) == 748, "the word after managePort at 748");
static_assert(offsetof(CameraRecord, httpsPort) == 1368, "httpsPort at 1368");
static_assert(offsetof(CameraRecord, recordStreamType) == 1372, "recording stream at 1372");
static_assert(offsetof(CameraRecord, cameraAnr) == 1376, "ANR flag at 1376");

ZRDB_RECORD_FAMILY(camera, CameraRecord, "camera")

// Channels a recorder can hold at most.
constexpr int MAX_CHANNELS = 64;
inline bool channel_in_range(int ch) { return ch >= 0 && ch < MAX_CHANNELS; }

// Channels the recorder is configured for ("max_cameras", default 32),
// bounded to 0..64.
inline int configured_camera_count() {
  const int n = get_param_int(ZRDB_PATH, "max_cameras", 32);
  return n < 0 ? 0 : n > MAX_CHANNELS ? MAX_CHANNELS : n;
}
// A channel 0..63 that lies below the configured camera count.
inline bool channel_configured(int ch, int count) { return ch >= 0 && ch < count && ch < MAX_CHANNELS; }
