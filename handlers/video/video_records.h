// Motion records the video module exchanges with the core daemon, shared
// with zrcore-sim.
#pragma once
#include <cstddef>
#include <cstdint>

// Motion map: request 3207 (area for the core) and reply 8206 (live map).
struct MotionMapRecord {
  int32_t enable;
  char map[300];
  int32_t sensitivity;
  int32_t channel;
  int32_t result;
  int32_t model_type;
  int32_t fishdisplay;
  int32_t fishtransfer;
  int32_t fishinstall;
};
static_assert(sizeof(MotionMapRecord) == 332, "motion map record is 332 bytes");
static_assert(offsetof(MotionMapRecord, sensitivity) == 304, "sensitivity at 304");
static_assert(offsetof(MotionMapRecord, channel) == 308, "channel at 308");

// Motion area copied to other channels (3251).
struct MotionAreaCopy {
  char map[300];
  int32_t sensitivity;
  int32_t channel;
  int32_t enable_ms;
  int32_t list[64];
  int32_t count;
};
static_assert(sizeof(MotionAreaCopy) == 572, "motion area copy is 572 bytes");
static_assert(offsetof(MotionAreaCopy, list) == 312, "target list at 312");
