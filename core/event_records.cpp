#include "core/event_records.h"

#include <cstring>

#include "core/strutil.h"

int get_smart_event_ptz_type(int event) {
  return event >= 0 && event <= 8 ? PTZ_TYPE_SMART_BASE + event : -1;
}

int converse_chn_alarmid_to_event_in(int index) {
  return index >= 0 && index < CAM_ALARM_INPUTS ? PTZ_TYPE_CAM_ALARM_IN_BASE + index : -1;
}

std::string cam_alarm_in_table(int index, const char* what) {
  if (index < 0 || index >= CAM_ALARM_INPUTS || !what) return std::string();
  return string_printf("alarm_chnIn%d_%s", index, what);
}

std::string cam_alarm_out_table(int index, const char* what) {
  if (index < 0 || index >= CAM_ALARM_OUTPUTS || !what) return std::string();
  return string_printf("alarm_chnOut%d_%s", index, what);
}

namespace {
template <typename NameRec>
int read_names(const std::string& family, NameRec* names) {
  std::memset(names, 0, sizeof(NameRec) * NVR_CHANNELS);
  if (family.empty()) return -1;
  return zrdb_read_record_range(ZRDB_PATH, family.c_str(), 0, names, sizeof(NameRec), NVR_CHANNELS) == 0 ? 0 : -1;
}
}  // namespace

int read_alarm_chnIn_event_names(int index, CamAlarmInName names[NVR_CHANNELS]) {
  return read_names(cam_alarm_in_table(index, "name"), names);
}

int read_alarm_chnOut_event_names(int index, CamAlarmOutName names[NVR_CHANNELS]) {
  return read_names(cam_alarm_out_table(index, "name"), names);
}
