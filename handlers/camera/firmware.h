// Camera firmware upgrade of several channels at once ("/2078" to "/2082"):
// the records this page group exchanges with the core daemon, its handlers
// and reply writers. Private to the camera module.
#pragma once
#include <cstddef>
#include <cstdint>

namespace camera {

constexpr int REQ_IPC_UPGRADE_ONLINE = 3379;
constexpr int REQ_IPC_UPGRADE = 3385;
constexpr int REQ_IPC_UPGRADE_STATUS = 3386;
constexpr int REQ_IPC_UPGRADE_STOP = 3390;
// Channels that take part in an upgrade.
constexpr int kUpgradeChannels = 8;
constexpr char kIpcImagePath[] = "/dev/shm/updateIPCFM.bin";

// 3385: upgrade with the uploaded image.
struct IpcUpgradeStart {
  uint64_t chn_mask;
  uint64_t reset_inv;  // complement of the channels to reset
  int32_t file_size;
  uint8_t zero20[260];
};
static_assert(sizeof(IpcUpgradeStart) == 280, "upgrade start is 280 bytes");
static_assert(offsetof(IpcUpgradeStart, reset_inv) == 8, "upgrade start: reset mask at 8");
static_assert(offsetof(IpcUpgradeStart, file_size) == 16, "upgrade start: file size at 16");

// 3379: upgrade from a URL the core downloads into the camera image file.
struct IpcUpgradeOnline {
  uint64_t chn_mask;
  int64_t reset;
  int32_t zero16;
  char url[128];
  char path[132];
};
static_assert(sizeof(IpcUpgradeOnline) == 280, "upgrade from URL is 280 bytes");
static_assert(offsetof(IpcUpgradeOnline, reset) == 8, "upgrade from URL: reset at 8");
static_assert(offsetof(IpcUpgradeOnline, url) == 20, "upgrade from URL: url at 20");
static_assert(offsetof(IpcUpgradeOnline, path) == 148, "upgrade from URL: path at 148");

// 8386, 8379: progress per channel.
struct IpcUpgradeStatus {
  uint64_t chn_mask;
  int32_t status[kUpgradeChannels];
};
static_assert(sizeof(IpcUpgradeStatus) == 40, "upgrade status is 40 bytes");
static_assert(offsetof(IpcUpgradeStatus, status) == 8, "upgrade status: statuses at 8");

void on_set_ipc_upgrade(char* text);          // "/2078"
void on_get_ipc_upgrade_status(char* text);   // "/2079"
void on_set_ipc_upgrade_online(char* text);   // "/2080"
void on_set_ipc_upgrade_stop(char* text);     // "/2081"
void on_check_ipc_upgrade(char* text);        // "/2082"

int on_set_ipc_upgrade_cb(const uint8_t* data, size_t len);         // 8385
int on_get_ipc_upgrade_status_cb(const uint8_t* data, size_t len);  // 8386
int on_set_ipc_upgrade_online_cb(const uint8_t* data, size_t len);  // 8379

}  // namespace camera
