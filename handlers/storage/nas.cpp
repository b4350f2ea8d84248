// Network disks and removal of disks by kind:
// "/6200" remove network disks, "/6201" add network disks, "/6202" search
// the shares of a server, "/6203" change a network disk, "/6207" remove a
// disk, network disk or RAID group.
//
// A page that changes stored disk records writes them before it asks the
// core and puts the previous records back unless the core accepts, so an
// "OK" always stands on a written store and a refused change leaves no
// trace in the disk list.
#include <string>

#include "core/account_scope.h"
#include "core/cgi_log.h"
#include "core/event_actions.h"
#include "handlers/storage/storage.h"
#include "platform/textutil.h"

namespace storage {

namespace {

struct SlotChange {
  int32_t port;
  DiskRecord before;
  DiskRecord after;
};

bool blank(const DiskRecord& rec) {
  const DiskRecord zero{};
  return std::memcmp(&rec, &zero, sizeof rec) == 0;
}

bool write_slot(int port, const DiskRecord& rec) {
  if (blank(rec)) return zrdb_delete_record(ZRDB_PATH, "disk", port) == 0;
  return write_disk(ZRDB_PATH, &rec, port) == 0;
}

// The record of a removed disk: its port and the default property.
DiskRecord removed_slot(int port) {
  DiskRecord rec{};
  rec.id = port;
  rec.property = 1;
  return rec;
}

// Whether a network disk may take the slot: anything but an enabled disk of
// another kind.
bool slot_free_for_nas(const DiskRecord& stored) {
  return stored.enable != 1 || disk_type_is_network(stored.hddType);
}

// Writes the new records in txn (the transaction the stored slots were read
// in) and commits it, then sends the request and waits; unless the core
// accepts, the previous records are put back where no other save has
// changed the slot since. False (error reply written, nothing sent) when
// the store write failed.
bool exchange_with_slots(ZrdbTransaction& txn, const SlotChange* changes, int n, int req_id, const void* payload,
                         int len) {
  bool ok = true;
  for (int i = 0; i < n; ++i)
    if (std::memcmp(&changes[i].before, &changes[i].after, sizeof(DiskRecord)) != 0)
      ok = ok && write_slot(changes[i].port, changes[i].after);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return false;
  storage_exchange(req_id, payload, len, CGI_KIND_TEXT);
  if (storage_core_accepted()) return true;
  ZrdbTransaction undo(ZRDB_PATH);
  ok = undo.ok();
  for (int i = n - 1; ok && i >= 0; --i) {
    if (std::memcmp(&changes[i].before, &changes[i].after, sizeof(DiskRecord)) == 0) continue;
    DiskRecord now{};
    ok = read_disk(ZRDB_PATH, &now, changes[i].port) == 0;
    if (ok && std::memcmp(&now, &changes[i].after, sizeof now) == 0) ok = write_slot(changes[i].port, changes[i].before);
  }
  if (!ok || undo.commit() != 0) CGI_LOG("network disk records not put back");
  return true;
}

// Reads the stored slots (in the caller's open transaction) and plans one
// change per listed port: make(i, port, stored, &after) gives the new record
// or refuses the request. False when refused or when the store cannot be
// read (then with the error reply).
template <typename Make>
bool plan_changes(const ZrdbTransaction& txn, const NasPortList& list, SlotChange* changes, Make make) {
  DiskRecord slots[DISK_SLOTS];
  if (!txn.ok() || read_disk_slots(slots) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return false;
  }
  for (int i = 0; i < list.count; ++i) {
    const int port = list.ports[i];
    changes[i].port = port;
    changes[i].before = slots[port - 1];
    if (!make(i, port, slots[port - 1], &changes[i].after)) return false;
    slots[port - 1] = changes[i].after;  // a port given twice: the later entry wins
  }
  return true;
}

// Text element i of an array member ("" when the array is absent or short;
// the handler refuses elements that are not texts first).
const char* text_at(json_object* arr, size_t i) {
  json_object* v = i < json_array_size(arr) ? json_object_array_get_idx(arr, i) : nullptr;
  return json_value_text(v, nullptr) ? json_object_get_string(v) : "";
}

// The stored record of a network disk from the page's texts; the
// credentials arrive URL-encoded and are stored decoded. The disk keeps its
// stored group.
DiskRecord nas_record(int port, int type, const DiskRecord& stored, const char* vendor, const char* address,
                      const char* directory, const char* user, const char* password) {
  DiskRecord rec{};
  rec.id = port;
  rec.enable = 1;
  rec.hddType = type;
  rec.property = 1;
  rec.group = stored.enable == 1 ? stored.group : 0;
  copy_field(rec.vendorName, vendor);
  copy_field(rec.address, address);
  copy_field(rec.directory, directory);
  get_url_decode(user, rec.userName, sizeof rec.userName);
  get_url_decode(password, rec.password, sizeof rec.password);
  return rec;
}

// The network disk kind of a request: "type" (3 when absent), 3 or 10.
bool take_nas_type(json_object* req, int32_t* type) {
  *type = DISK_TYPE_NFS;
  if (!json_has(req, "type")) return true;
  return json_strict_int(req, "type", type) && disk_type_is_network(*type);
}

NasLogDetail nas_detail(const char* type_name, const DiskRecord& rec) {
  NasLogDetail d{};
  copy_field(d.type, type_name);
  copy_field(d.address, field_view(rec.address));
  copy_field(d.directory, field_view(rec.directory));
  return d;
}

// The first n ports of a "port" array, each a slot 1..36; n is the
// smallest of "num", 33 and the array's length. False for an invalid count
// or port, or when nothing remains.
bool take_port_list(json_object* req, NasPortList* list) {
  int32_t num = 0;
  if (!json_strict_int(req, "num", &num) || num < 1) return false;
  json_object* ports = json_array_member(req, "port");
  size_t n = json_array_size(ports);
  if (static_cast<size_t>(num) < n) n = static_cast<size_t>(num);
  if (n > NAS_LIST_MAX) n = NAS_LIST_MAX;
  if (n == 0) return false;
  std::memset(list, 0, sizeof *list);
  for (size_t i = 0; i < n; ++i) {
    int32_t port = 0;
    if (!json_value_int(json_object_array_get_idx(ports, i), &port) || !disk_port_valid(port)) return false;
    list->ports[i] = port;
  }
  list->count = static_cast<int32_t>(n);
  return true;
}

}  // namespace

// ---- Reply writers ------------------------------------------------------------------

// Replies 8507 and 8439.
void on_update_disk_nas_cb(int count, const void* payload) {
  if (!storage_take_word(count, payload)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
  } else {
    JsonPtr out(json_object_new_object());
    json_add_int(out.get(), "status", 0);
    json_add_int(out.get(), "res", g_storage_reply_word);
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

void on_del_disk_nas_cb(int count, const void* payload) { storage_answer_ok_or_error(count, payload); }

void on_search_disk_nas_cb(int count, const void* payload) {
  if (count < 1 || !payload) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    g_callback_done = 1;
    return;
  }
  const NasSearchReply* reply = static_cast<const NasSearchReply*>(payload);
  int32_t n = 0;
  std::memcpy(&n, &reply->count, sizeof n);
  n = n < 0 ? 0 : n > NAS_SEARCH_ENTRIES ? NAS_SEARCH_ENTRIES : n;
  JsonPtr out(json_object_new_object());
  json_add_text(out.get(), "resultString", n > 0 ? "OK" : "NO");
  json_object* list = json_object_new_array();
  for (int i = 0; i < n; ++i) {
    json_object* e = json_object_new_object();
    json_add_field(e, "filePath", reply->paths[i]);
    json_object_array_add(list, e);
  }
  json_object_object_add(out.get(), "NAS", list);
  cgi_write_json(out.get());
  g_callback_done = 1;
}

// ---- Handlers -----------------------------------------------------------------------

// "/6201": {"num", "type" (3 NFS, 10 SMB/CIFS), "port", "vendor", "address",
// "directory", "userName", "password"} with parallel arrays; every array
// present bounds the count.
void on_add_disk_nas(char* text) {
  JsonPtr req = parse_request(text);
  NasPortList list{};
  int32_t type = 0;
  if (!req || !take_nas_type(req.get(), &type) || !take_port_list(req.get(), &list)) return;
  static const char* const kTexts[] = {"vendor", "address", "directory", "userName", "password"};
  json_object* arrays[5];
  for (int k = 0; k < 5; ++k) {
    arrays[k] = json_array_member(req.get(), kTexts[k]);
    if (json_has(req.get(), kTexts[k]) && !arrays[k]) return;
    if (arrays[k] && json_array_size(arrays[k]) < static_cast<size_t>(list.count))
      list.count = static_cast<int32_t>(json_array_size(arrays[k]));
  }
  if (list.count < 1) return;
  for (int k = 0; k < 5; ++k)
    for (int i = 0; arrays[k] && i < list.count; ++i)
      if (!json_value_text(json_object_array_get_idx(arrays[k], static_cast<size_t>(i)), nullptr)) return;
  for (int i = list.count; i < NAS_LIST_MAX; ++i) list.ports[i] = 0;

  SlotChange changes[NAS_LIST_MAX];
  auto add = [&](int i, int port, const DiskRecord& stored, DiskRecord* after) {
    if (!slot_free_for_nas(stored)) return false;
    *after = nas_record(port, type, stored, text_at(arrays[0], i), text_at(arrays[1], i), text_at(arrays[2], i),
                        text_at(arrays[3], i), text_at(arrays[4], i));
    return true;
  };
  ZrdbTransaction txn(ZRDB_PATH);
  if (!plan_changes(txn, list, changes, add)) return;
  if (!exchange_with_slots(txn, changes, list.count, REQ_ADD_NAS, &list, sizeof list)) return;
  if (!g_storage_reply_taken) return;
  for (int i = 0; i < list.count; ++i) {
    const NasLogDetail d = nas_detail(nas_type_name(type, true), changes[i].after);
    storage_log(LOG_SUB_NAS_ADD, 0, changes[i].port, LOG_DETAIL_NAS, &d, sizeof d);
  }
}

// "/6200": {"num", "port": [...]}. The stored records of the removed
// network disks are reset, so they no longer show in the disk list.
void on_del_disk_nas(char* text) {
  JsonPtr req = parse_request(text);
  NasPortList list{};
  if (!req || !take_port_list(req.get(), &list)) return;
  SlotChange changes[NAS_LIST_MAX];
  auto remove = [](int, int port, const DiskRecord& stored, DiskRecord* after) {
    const bool nas = stored.enable == 1 && disk_type_is_network(stored.hddType);
    *after = nas ? removed_slot(port) : stored;
    return true;
  };
  ZrdbTransaction txn(ZRDB_PATH);
  if (!plan_changes(txn, list, changes, remove)) return;
  if (!exchange_with_slots(txn, changes, list.count, REQ_DEL_NAS, &list, sizeof list)) return;
  if (!g_storage_reply_taken) return;
  for (int i = 0; i < list.count; ++i) {
    const DiskRecord& stored = changes[i].before;
    if (stored.id == 0) continue;
    const NasLogDetail d = nas_detail(nas_type_name(stored.hddType, true), stored);
    storage_log(LOG_SUB_NAS_DEL, 0, changes[i].port, LOG_DETAIL_NAS, &d, sizeof d);
  }
}

// "/6203": {"port", "type", "vendor", "address", "directory", "userName",
// "password"} for one network disk.
void on_update_disk_nas(char* text) {
  JsonPtr req = parse_request(text);
  int32_t port = 0, type = 0;
  if (!req || !json_strict_int_in(req.get(), "port", 1, DISK_SLOTS, &port) || !take_nas_type(req.get(), &type) ||
      !json_texts_readable(req.get(), {"vendor", "address", "directory", "userName", "password"}))
    return;
  DiskRecord stored{};
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || read_disk(ZRDB_PATH, &stored, port) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (!slot_free_for_nas(stored)) return;
  auto text_of = [&](const char* key) {
    json_object* v = nullptr;
    return json_object_object_get_ex(req.get(), key, &v) && json_value_text(v, nullptr) ? json_object_get_string(v)
                                                                                          : "";
  };
  SlotChange change{port, stored,
                    nas_record(port, type, stored, text_of("vendor"), text_of("address"), text_of("directory"),
                               text_of("userName"), text_of("password"))};
  // The disk list gives the password to administrators only; posted back
  // empty by another account it stays as stored.
  if (secret_kept(req.get(), "password")) copy_field(change.after.password, field_view(stored.password));
  if (!exchange_with_slots(txn, &change, 1, REQ_UPDATE_NAS, &port, sizeof port)) return;
  if (!g_storage_reply_taken) return;
  const NasLogDetail d = nas_detail(nas_type_name(type, false), change.after);
  storage_log(LOG_SUB_NAS_UPDATE, 0, port, LOG_DETAIL_NAS_UPDATE, &d, sizeof d);
}

// "/6202": {"port" (0..36), "serverAddr"}.
void on_search_disk_nas(char* text) {
  JsonPtr req = parse_request(text);
  NasSearchRequest q{};
  if (!req || !json_strict_int_in(req.get(), "port", 0, DISK_SLOTS, &q.port) ||
      !json_texts_readable(req.get(), {"serverAddr"}))
    return;
  json_get_text(req.get(), "serverAddr", q.serverAddr);
  storage_exchange(REQ_SEARCH_NAS, &q, sizeof q, CGI_KIND_JSON);
}

// "/6207": {"port", "hddType"}: a RAID group (kind 4, port = its id
// 10..16), a network disk (kinds 3 and 10) or any other disk.
void on_del_disk(char* text) {
  JsonPtr req = parse_request(text);
  int32_t port = 0, type = 0;
  if (!req || !json_strict_int(req.get(), "hddType", &type)) return;
  if (type == DISK_TYPE_RAID) {
    if (!json_strict_int_in(req.get(), "port", RAID_ID_FIRST, RAID_ID_LAST, &port)) return;
    RaidRequest r{};
    r.id = port;
    storage_exchange(REQ_REMOVE_RAID, &r, sizeof r, CGI_KIND_TEXT);
    if (g_storage_reply_taken) log_operation(LOG_SUB_DISK_REMOVE, LOG_PARAM_DISK, 0);
    return;
  }
  if (!json_strict_int_in(req.get(), "port", 1, DISK_SLOTS, &port)) return;
  DiskRecord stored{};
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || read_disk(ZRDB_PATH, &stored, port) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (disk_type_is_network(type)) {
    NasPortList list{};
    list.count = 1;
    list.ports[0] = port;
    const bool nas = stored.enable == 1 && disk_type_is_network(stored.hddType);
    SlotChange change{port, stored, nas ? removed_slot(port) : stored};
    exchange_with_slots(txn, &change, 1, REQ_DEL_NAS, &list, sizeof list);
    return;
  }
  SlotChange change{port, stored, removed_slot(port)};
  if (!exchange_with_slots(txn, &change, 1, REQ_REMOVE_DISK, &port, sizeof port)) return;
  if (g_storage_reply_taken) log_operation(LOG_SUB_DISK_REMOVE, LOG_PARAM_DISK, port);
}

}  // namespace storage
