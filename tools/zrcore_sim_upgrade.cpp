// zrcore-sim: camera firmware and the online upgrade. Answers the camera
// upgrade (3350: the channel asked for, status 0), the image download
// (1716: a small image written to the destination, result 0), the removal
// of the camera image (1717), the recorder version check (1715: a newer
// version is available) and the camera version check (3365: channels of the
// mask that hold a camera have a newer version). Scripts override any of
// them (a result of 5, no reply ...).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/paths.h"
#include "tools/zrcore_sim.h"

namespace {

constexpr char kNvrImage[] = "/dev/shm/updateFM.bin";
constexpr char kCameraImage[] = "/dev/shm/updateIPCFM.bin";

struct Version {
  int32_t state;
  int32_t file_size;
  char version[64];
  char url[128];
  char description[128];
};
static_assert(sizeof(Version) == 328, "version record is 328 bytes");

void put(char* field, size_t size, const char* text) { std::snprintf(field, size, "%s", text); }

void camera_upgrade(int req, const Bytes& payload, std::vector<SimReply>* r) {
  const int32_t chnid = payload.size() >= 4 ? sim_read<int32_t>(payload) : -1;
  const int32_t rec[2] = {chnid, 0};
  sim_reply(r, req, sim_bytes(rec));
}

// Only the two image files are ever written, whatever the request names.
void download(int req, const Bytes& payload, std::vector<SimReply>* r) {
  struct Request {
    char url[128];
    char path[128];
  };
  Request msg = sim_read<Request>(payload);
  msg.path[sizeof msg.path - 1] = '\0';
  int32_t res = -1;
  if (std::strcmp(msg.path, kNvrImage) == 0 || std::strcmp(msg.path, kCameraImage) == 0) {
    mkdir(nvr_path("/dev").c_str(), 0755);
    mkdir(nvr_path("/dev/shm").c_str(), 0755);
    if (FILE* f = std::fopen(nvr_path(msg.path).c_str(), "wb")) {
      msg.url[sizeof msg.url - 1] = '\0';
      std::fprintf(f, "firmware image from %s\n", msg.url);
      res = std::fclose(f) == 0 ? 0 : -1;
    }
  }
  sim_reply_status(r, req, res);
}

void delete_camera_image(int req, const Bytes&, std::vector<SimReply>* r) {
  unlink(nvr_path(kCameraImage).c_str());
  sim_reply_status(r, req, 0);
}

void nvr_version(int req, const Bytes&, std::vector<SimReply>* r) {
  Version v{};
  v.state = 1;
  v.file_size = 48234496;
  put(v.version, sizeof v.version, "7x.7.1.2");
  put(v.url, sizeof v.url, "http://update.example.net/nvr/7x.7.1.2/update.bin");
  put(v.description, sizeof v.description, "Recording stability fixes");
  sim_reply(r, req, sim_bytes(v));
}

// The demo cameras sit on channels 0 to 3.
void camera_versions(int req, const Bytes& payload, std::vector<SimReply>* r) {
  const uint64_t mask = payload.size() >= 8 ? sim_read<uint64_t>(payload) : 0;
  Bytes out;
  for (int ch = 0; ch < 64; ++ch) {
    Version v{};
    if ((mask >> ch & 1) && ch < 4) {
      v.state = 1;
      v.file_size = 12582912;
      put(v.version, sizeof v.version, "V5.2.0");
      put(v.url, sizeof v.url, ("http://update.example.net/ipc/ch" + std::to_string(ch) + "/V5.2.0.bin").c_str());
      put(v.description, sizeof v.description, "Night image improvements");
    }
    sim_append(&out, v);
  }
  sim_reply(r, req, out);
}

const SimRow kRows[] = {
    {3350, camera_upgrade}, {1716, download}, {1717, delete_camera_image}, {1715, nvr_version}, {3365, camera_versions},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
