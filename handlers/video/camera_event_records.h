// Camera-side event records the video module exchanges with the core daemon
// (camera alarm I/O, volume detection, OSD configuration, privacy masks),
// shared with zrcore-sim.
#pragma once
#include <cstddef>
#include <cstdint>

// Stored camera alarm I/O and volume detection settings (one per channel).
struct CameraEventRecord {
  int32_t channel;
  int32_t enable;
  uint32_t chn_mask;        // bit n: character n (n < 32) of tri_channels is '1'
  int32_t tri_actions;
  char tri_channels[68];    // at most 64 characters
};
static_assert(sizeof(CameraEventRecord) == 84, "camera event record is 84 bytes");

// 3214: camera alarm I/O changed.
struct CameraIoChange {
  int32_t channel, enable, type;
};
static_assert(sizeof(CameraIoChange) == 12, "camera I/O change is 12 bytes");

// 3216: volume detection changed.
struct VolumeDetectChange {
  int32_t channel, enable, type, volume, duration, on_event, off_event, ongoing_event;
};
static_assert(sizeof(VolumeDetectChange) == 32, "volume detection change is 32 bytes");

// Reply 8213: the camera's alarm I/O settings.
struct CameraIoReply {
  int32_t result;
  int32_t cam_id;
  int32_t enable;
  int32_t type;
  int32_t tri_actions;
  int32_t reserved;
  char tri_channels[68];
};
static_assert(sizeof(CameraIoReply) == 92, "camera I/O reply is 92 bytes");
static_assert(offsetof(CameraIoReply, tri_channels) == 24, "triggered channels at 24");

// Reply 8215: the camera's volume detection settings.
struct VolumeDetectReply {
  int32_t result;
  int32_t cam_id;
  int32_t enable;
  int32_t type;
  int32_t volume;
  int32_t duration;
  int32_t on_event;
  int32_t off_event;
  int32_t ongoing_event;
  int32_t tri_actions;
  int32_t reserved;
  char tri_channels[68];
};
static_assert(sizeof(VolumeDetectReply) == 112, "volume detection reply is 112 bytes");
static_assert(offsetof(VolumeDetectReply, tri_actions) == 36, "triggered actions at 36");
static_assert(offsetof(VolumeDetectReply, tri_channels) == 44, "triggered channels at 44");

constexpr char CAMERA_IO_FAMILY[] = "cameraio";
constexpr char VOLUME_DETECT_FAMILY[] = "volumedetect";
