// Disks, RAID groups and formatting:
// "/6100" disk list, "/6101" disk property and group, "/6102" format,
// "/6103" format progress, "/6104" create RAID, "/6105" remove RAID,
// "/6106" hot spare, "/6107" rebuild RAID, "/6108" and "/6109" RAID mode.
#include <string>

#include "core/account_scope.h"
#include "core/event_actions.h"
#include "handlers/storage/storage.h"
#include "platform/textutil.h"

namespace storage {

namespace {

// What the disk list merges with the core's records, read by the handler
// before the exchange.
DiskRecord g_stored_disks[DISK_SLOTS];
int g_esata_type = 0;

// Member ports of a RAID group as a mask: bit p for each non-zero port p
// below 32 among the members the record counts.
uint32_t raid_port_mask(const DiskListRecord& rec) {
  const int n = rec.raid_sata_cnt < 0 ? 0 : rec.raid_sata_cnt > RAID_MEMBERS_MAX ? RAID_MEMBERS_MAX : rec.raid_sata_cnt;
  uint32_t mask = 0;
  for (int i = 0; i < n; ++i) {
    const int32_t p = rec.raid_sata_port[i];
    if (p > 0 && p < 32) mask |= 1u << p;
  }
  return mask;
}

// A credential as the page shows it: URL-encoded, at most 127 characters.
template <size_t N>
void add_encoded(json_object* obj, const char* key, const char (&field)[N]) {
  char plain[N + 1];
  copy_text(plain, sizeof plain, field_view(field));
  char encoded[128];
  get_url_encode(plain, encoded, sizeof encoded);
  json_add_text(obj, key, encoded);
}

void copy_nas_fields(DiskListRecord* slot, const DiskRecord& stored) {
  copy_field(slot->vendorName, field_view(stored.vendorName));
  copy_field(slot->address, field_view(stored.address));
  copy_field(slot->directory, field_view(stored.directory));
  copy_field(slot->userName, field_view(stored.userName));
  copy_field(slot->password, field_view(stored.password));
}

json_object* disk_json(const DiskListRecord& d) {
  json_object* o = json_object_new_object();
  json_add_int(o, "portId", d.portId);
  json_add_field(o, "vendorName", d.vendorName);
  json_add_field(o, "address", d.address);
  json_add_field(o, "directory", d.directory);
  json_add_int(o, "totalSize", static_cast<int64_t>(d.totalSize >> 20));
  json_add_int(o, "usedSize", static_cast<int64_t>(d.usedSize >> 20));
  json_add_int(o, "freeSize", static_cast<int64_t>(d.freeSize >> 20));
  json_add_int(o, "hddType", d.hddType);
  json_add_int(o, "state", d.state);
  json_add_int(o, "group", d.group);
  json_add_int(o, "property", d.property);
  json_add_int(o, "bUsable", d.bUsable);
  json_add_int(o, "raid_id", d.portId);
  json_add_int(o, "raid_level", d.raid_level);
  json_add_int(o, "raid_state", d.raid_state);
  json_add_int(o, "raid_progress", d.raid_progress);
  json_add_int(o, "raid_sata_cnt",
               d.raid_sata_cnt < 0 ? 0 : d.raid_sata_cnt > RAID_MEMBERS_MAX ? RAID_MEMBERS_MAX : d.raid_sata_cnt);
  json_add_int(o, "raid_task", d.raid_progress);
  add_encoded(o, "userName", d.userName);
  // The network disk's password: administrators only.
  if (session_sees_secrets())
    add_encoded(o, "password", d.password);
  else
    json_add_text(o, "password", "");
  json_add_int(o, "raid_sata_port", raid_port_mask(d));
  return o;
}

}  // namespace

// ---- Reply writers ------------------------------------------------------------------

void on_get_storage_info_cb(int count, const void* payload) {
  static DiskListRecord slots[DISK_SLOTS];
  bool filled[DISK_SLOTS] = {};
  std::memset(slots, 0, sizeof slots);
  const uint8_t* p = static_cast<const uint8_t*>(payload);
  for (int i = 0; i < count; ++i) {
    DiskListRecord rec;
    std::memcpy(&rec, p + static_cast<size_t>(i) * sizeof rec, sizeof rec);
    if (!disk_port_valid(rec.portId)) continue;
    slots[rec.portId - 1] = rec;
    filled[rec.portId - 1] = true;
  }
  for (int i = 0; i < DISK_SLOTS; ++i) {
    const DiskRecord& stored = g_stored_disks[i];
    if (stored.enable != 1) continue;
    DiskListRecord& slot = slots[i];
    if (!filled[i]) {
      // A stored network disk the core does not report.
      slot.portId = i + 1;
      slot.hddType = stored.hddType;
      slot.group = stored.group;
      slot.property = stored.property;
      slot.state = 2;
      copy_nas_fields(&slot, stored);
      filled[i] = true;
    } else if (disk_type_is_network(slot.hddType)) {
      copy_nas_fields(&slot, stored);
    }
  }

  bool any = count > 0;
  JsonPtr list(json_object_new_array());
  for (int i = 0; i < DISK_SLOTS; ++i) {
    if (!filled[i]) continue;
    any = true;
    json_object_array_add(list.get(), disk_json(slots[i]));
  }
  JsonPtr out(json_object_new_object());
  json_add_text(out.get(), "resultString", any ? "OK" : "NO");
  json_add_int(out.get(), "esataType", g_esata_type);
  json_object_object_add(out.get(), "HDD", list.release());
  json_add_int(out.get(), "maxDiskNum", DISK_SLOTS);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// Result codes of a format. A code this page does not know answers the
// JSON error reply at once rather than leaving the page waiting.
void on_format_disk_cb(int count, const void* payload) {
  const char* answer = nullptr;
  if (storage_take_word(count, payload)) {
    switch (g_storage_reply_word) {
      case 0: answer = "OK"; break;
      case 1: answer = "USING"; break;
      case -1: answer = "ERROR FORMAT"; break;
      case -3: answer = "NAS LOW CAP"; break;
      default: break;
    }
  }
  if (answer) {
    cgi_writeback_webserver(CGI_KIND_TEXT, answer);
  } else {
    cgi_error_to_webserver(CGI_KIND_JSON);
  }
  g_callback_done = 1;
}

void on_create_raid_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }
void on_remove_raid_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }
void on_create_space_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }
void on_remove_space_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }
void on_rebuild_raid_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }

// ---- Handlers -----------------------------------------------------------------------

// "/6100"
void on_get_disk_info(char*) {
  read_disk_slots(g_stored_disks);
  g_esata_type = get_param_int(ZRDB_PATH, "esata_type", 0);
  storage_exchange(REQ_DISK_LIST, nullptr, 0, CGI_KIND_JSON);
}

// "/6101": {"portId": 1..36, "property": 0 or 1, "group": 0..15, "private"}.
// An absent group keeps the stored one; anything else invalid: no reply.
bool check_disk_info(json_object* req, DiskPropertyChange* c, bool* has_group) {
  if (!json_strict_int_in(req, "portId", 1, DISK_SLOTS, &c->portId)) return false;
  if (!json_strict_int_in(req, "property", 0, 1, &c->property)) return false;
  *has_group = json_has(req, "group");
  if (*has_group && !json_strict_int_in(req, "group", 0, DISK_GROUPS - 1, &c->group)) return false;
  c->is_private = 0;
  return !json_has(req, "private") || json_strict_int(req, "private", &c->is_private);
}

void on_set_disk_info(char* text) {
  JsonPtr req = parse_request(text);
  DiskPropertyChange change{};
  bool has_group = false;
  if (!req || !check_disk_info(req.get(), &change, &has_group)) return;

  ZrdbTransaction txn(ZRDB_PATH);
  DiskRecord rec{};
  bool ok = read_disk(ZRDB_PATH, &rec, change.portId) == 0;
  const DiskRecord before = rec;
  if (!has_group) change.group = rec.group;
  rec.id = change.portId;
  rec.property = change.property;
  rec.group = change.group;
  if (ok && std::memcmp(&rec, &before, sizeof rec) != 0) ok = write_disk(ZRDB_PATH, &rec, change.portId) == 0;
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;

  notify_core(REQ_DISK_PROPERTY, &change, sizeof change);
  log_operation(LOG_SUB_DISK_PROPERTY, LOG_PARAM_DISK_PROPERTY, change.portId);
  cgi_reply_ok();
}

// "/6102": the request text is the port 0..36.
void on_format_disk(char* text) {
  int port = 0;
  if (!parse_text_int(text, &port) || port < 0 || port > DISK_SLOTS) return;
  const int32_t payload = port;
  storage_exchange(REQ_FORMAT_DISK, &payload, sizeof payload, CGI_KIND_JSON);

  FormatLogDetail detail{};
  detail.port = port;
  detail.result = storage_core_accepted() ? 1 : -1;
  storage_log(LOG_SUB_FORMAT, LOG_PARAM_DISK, port, LOG_DETAIL_FORMAT, &detail, sizeof detail);
}

// "/6103": progress is read through "/6227"; this answers "OK" for a port.
void on_get_format_progress(char* text) {
  int port = 0;
  if (!parse_text_int(text, &port) || port < 0 || port > 16) return;
  cgi_reply_ok();
}

// "/6104": {"id": 10..15, "enable", "level", "sata_cnt" (0..16), "sata_port"
// (bit p: port p is a member, p = 0..15)}.
bool check_raid_info(json_object* req, RaidRequest* r) {
  int32_t mask = 0;
  if (!json_strict_int_in(req, "id", RAID_ID_FIRST, RAID_ID_LAST - 1, &r->id)) return false;
  if (!json_strict_int(req, "enable", &r->enable)) return false;
  if (!json_strict_int_in(req, "sata_port", 0, INT32_MAX, &mask)) return false;
  if (!json_strict_int_in(req, "sata_cnt", 0, RAID_MEMBERS_MAX, &r->sata_cnt)) return false;
  if (!json_strict_int_in(req, "level", 0, INT32_MAX, &r->level)) return false;
  int n = 0;
  for (int bit = 0; bit < RAID_MEMBERS_MAX; ++bit)
    if (mask & (1 << bit)) r->ports[n++] = bit;
  return true;
}

void on_create_raid(char* text) {
  JsonPtr req = parse_request(text);
  RaidRequest r{};
  if (!req || !check_raid_info(req.get(), &r)) return;
  storage_exchange(REQ_CREATE_RAID, &r, sizeof r, CGI_KIND_TEXT);
}

// "/6105": the request text is the RAID id 10..16.
void on_remove_raid(char* text) {
  int id = 0;
  if (!parse_text_int(text, &id) || id < RAID_ID_FIRST || id > RAID_ID_LAST) return;
  JsonPtr parsed(get_request_tokener_json_object(text));
  if (!parsed) return;
  RaidRequest r{};
  r.id = id;
  storage_exchange(REQ_REMOVE_RAID, &r, sizeof r, CGI_KIND_TEXT);
}

// "/6106": {"port": 1..36, "hotflag"}: a non-zero flag makes the disk a hot
// spare, 0 gives it back.
void on_set_hot_space(char* text) {
  JsonPtr req = parse_request(text);
  int32_t port = 0, hot = 0;
  if (!req || !json_strict_int_in(req.get(), "port", 1, DISK_SLOTS, &port) ||
      !json_strict_int(req.get(), "hotflag", &hot))
    return;
  storage_exchange(hot ? REQ_SET_HOT_SPARE : REQ_REMOVE_HOT_SPARE, &port, sizeof port, CGI_KIND_TEXT);
}

// "/6107": {"diskport", "raidport"}, both slots 1..36.
void on_rebuild_raid(char* text) {
  JsonPtr req = parse_request(text);
  RaidRebuild r{};
  if (!req || !json_strict_int_in(req.get(), "diskport", 1, DISK_SLOTS, &r.diskport) ||
      !json_strict_int_in(req.get(), "raidport", 1, DISK_SLOTS, &r.raidport))
    return;
  storage_exchange(REQ_REBUILD_RAID, &r, sizeof r, CGI_KIND_TEXT);
}

// "/6108"
void on_get_raid_mode(char*) {
  cgi_writeback_webserver(CGI_KIND_TEXT, std::to_string(get_param_int(ZRDB_PATH, "raidmode", 0)).c_str());
}

// "/6109": the request text is the mode; values other than 0 and 1 store 0.
void on_set_raid_mode(char* text) {
  int mode = 0;
  if (!parse_text_int(text, &mode)) return;
  if (mode != 0 && mode != 1) mode = 0;
  if (get_param_int(ZRDB_PATH, "raidmode", -1) != mode && set_param_int(ZRDB_PATH, "raidmode", mode) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
}

}  // namespace storage
