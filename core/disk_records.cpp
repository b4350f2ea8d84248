#include "core/disk_records.h"

#include <cstring>

#include "core/cgi_json.h"
#include "core/strutil.h"

int read_disk_slots(DiskRecord slots[DISK_SLOTS]) {
  std::memset(slots, 0, sizeof(DiskRecord) * DISK_SLOTS);
  return zrdb_read_record_range(ZRDB_PATH, "disk", 1, slots, sizeof(DiskRecord), DISK_SLOTS);
}

int read_disk_groups(GroupRecord groups[DISK_GROUPS]) {
  std::memset(groups, 0, sizeof(GroupRecord) * DISK_GROUPS);
  const int rc = zrdb_read_record_range(ZRDB_PATH, "disk_group", 0, groups, sizeof(GroupRecord), DISK_GROUPS);
  const GroupRecord blank{};
  for (int i = 0; i < DISK_GROUPS; ++i)
    if (std::memcmp(&groups[i], &blank, sizeof blank) == 0) groups[i].id = i;
  return rc;
}

void read_disk_group_view(DiskGroupView* view) {
  std::memset(view, 0, sizeof *view);
  GroupRecord groups[DISK_GROUPS];
  read_disk_groups(groups);
  for (int i = 0; i < DISK_GROUPS; ++i) copy_field(view->channel[i], field_view(groups[i].channel));
  DiskRecord slots[DISK_SLOTS];
  read_disk_slots(slots);
  for (int i = 0; i < DISK_SLOTS; ++i) view->disk[i] = slots[i].enable == 1 ? slots[i].group + 1 : 0;
  view->max_chan = get_param_int(ZRDB_PATH, "max_cameras", 32);
  view->group_enable = get_param_int(ZRDB_PATH, "group_mode", 0);
}

void add_disk_group_view(json_object* obj, const DiskGroupView& view) {
  json_object* channels = json_object_new_array();
  for (const auto& text : view.channel) {
    json_object_array_add(channels, json_object_new_string_len(text, static_cast<int>(strnlen(text, sizeof text))));
  }
  json_object_object_add(obj, "channel", channels);
  json_object* disks = json_object_new_array();
  for (int32_t d : view.disk) json_object_array_add(disks, json_object_new_int(d));
  json_object_object_add(obj, "disk", disks);
  json_add_int(obj, "max_chan", view.max_chan);
  json_add_int(obj, "group_enable", view.group_enable);
}
