// zrcore-sim: maintenance. 3400 answers the device information of a 32
// channel recorder (its camera and alarm counts from the store, as the
// recorder's own settings give them); 1713 (firmware upgrade) answers
// result 0, which the handler counts as success. Tests script other
// results with "1713 reply hex=01000000" (1), "1713 reply hex=05000000" (5)
// or "1713 none".
#include <string>

#include "core/strutil.h"
#include "handlers/system/maintenance_records.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

SystemInfoRecord device_record() {
  SystemInfoRecord r;
  std::memset(&r, 0, sizeof r);
  r.deviceId = 255;
  r.maxCameras = get_param_int(ZRDB_PATH, "max_cameras", 32);
  r.maxSensor = get_param_int(ZRDB_PATH, "alarm_in", 16);
  r.maxAlarm = get_param_int(ZRDB_PATH, "alarm_out", 4);
  r.maxAudioOut = 1;
  r.displayNum = 2;
  r.maxRs485 = 1;
  r.maxNetworkLan = 2;
  r.oemVersion = 0;
  r.zrddns = 1;
  copy_field(r.sn, "N32A0B7C4D2E9F1026");
  copy_field(r.prefix, "N32A");
  copy_field(r.model, "NVR-3208");
  copy_field(r.software, "V3.2.1.20261130");
  copy_field(r.hwver, "V1.0");
  copy_field(r.mac, "00:1E:A8:00:00:10");
  r.supportTalk = 1;
  return r;
}

void system_info(int req, const Bytes&, std::vector<SimReply>* out) { sim_reply(out, req, sim_bytes(device_record())); }

void upgrade(int req, const Bytes&, std::vector<SimReply>* out) { sim_reply_status(out, req, 0); }

const SimRow kRows[] = {
    {REQ_SYSTEM_INFO, system_info},
    {REQ_UPGRADE, upgrade},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
