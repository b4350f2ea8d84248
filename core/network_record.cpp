#include "core/network_record.h"

#include <cstring>

#include "core/strutil.h"
#include "platform/zrdb.h"

namespace {
constexpr char kMuti[] = "network_muti";
constexpr char kBond[] = "network_bond";
constexpr char kModeKey[] = "network_mode";

int read_shape(const char* db, const char* family, NetworkRecord* rec) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  return zrdb_read_record(db, family, 0, rec, sizeof *rec) < 0 ? -1 : 0;
}

// The shape and the mode that names it, both or neither.
int write_shape(const char* db, const char* family, const NetworkRecord* rec, int mode) {
  if (!rec) return -1;
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  NetworkRecord copy = *rec;
  copy.mode = mode;
  if (zrdb_write_record(db, family, 0, &copy, sizeof copy) != 0) return -1;
  if (set_param_int(db, kModeKey, mode) != 0) return -1;
  return txn.commit() == 0 ? 0 : -1;
}
}  // namespace

int read_network_muti(const char* db, NetworkRecord* rec) {
  if (read_shape(db, kMuti, rec) != 0) return -1;
  rec->mode = NETWORK_MODE_SEPARATE;
  return 0;
}

int write_network_muti(const char* db, const NetworkRecord* rec) {
  return write_shape(db, kMuti, rec, NETWORK_MODE_SEPARATE);
}

int read_network_bond(const char* db, NetworkRecord* rec) {
  if (read_shape(db, kBond, rec) != 0) return -1;
  if (!network_mode_is_bond(rec->mode)) rec->mode = NETWORK_MODE_BOND;
  return 0;
}

int write_network_bond(const char* db, const NetworkRecord* rec) {
  if (!rec || !network_mode_is_bond(rec->mode)) return -1;
  return write_shape(db, kBond, rec, rec->mode);
}

int read_network_mode(const char* db) {
  char text[16];
  if (get_param_value(db, kModeKey, text, sizeof text, "0") < 0) return -1;
  int mode = 0;
  if (!parse_int_strict(text, &mode) || mode < 0 || mode > NETWORK_MODE_BOND_PRIMARY) return -1;
  return mode;
}

int read_network(const char* db, NetworkRecord* rec) {
  const int mode = read_network_mode(db);
  if (mode < 0) return -1;
  if (mode == NETWORK_MODE_SEPARATE) return read_network_muti(db, rec);
  if (read_network_bond(db, rec) != 0) return -1;
  rec->mode = mode;
  return 0;
}

int write_network(const char* db, const NetworkRecord* rec) {
  if (!rec) return -1;
  if (rec->mode == NETWORK_MODE_SEPARATE) return write_network_muti(db, rec);
  return write_network_bond(db, rec);
}

int write_network_host_name(const char* db, const char* host) {
  if (!host) return -1;
  ZrdbTransaction txn(db);
  if (!txn.ok()) return -1;
  for (const char* family : {kMuti, kBond}) {
    NetworkRecord rec;
    if (read_shape(db, family, &rec) != 0) return -1;
    NetworkRecord changed = rec;
    std::memset(changed.hostName, 0, sizeof changed.hostName);
    copy_field(changed.hostName, host);
    if (std::memcmp(&changed, &rec, sizeof rec) != 0 &&
        zrdb_write_record(db, family, 0, &changed, sizeof changed) != 0)
      return -1;
  }
  return txn.commit() == 0 ? 0 : -1;
}
