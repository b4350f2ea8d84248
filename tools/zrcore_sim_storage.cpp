// zrcore-sim: the recorder's disks. A small world of disks that the storage
// pages change and read back:
//   ports 1..3  local disks of 4, 8 and 16 TiB
//   ports 5, 6  two 2 TiB disks, members of the RAID 1 group 10
//   port 30     an eSATA backup disk of 1 TiB (the export disk)
// Network disks are added (3507) from the disk records the recorder stored,
// changed (3439) and removed (3508). A format (3434) runs in steps: each
// status query (3540) moves it on by a quarter. Quotas, recycle mode, disk
// groups and the eSATA auto backup keep what was last set.
#include <cstring>

#include "core/disk_records.h"
#include "core/strutil.h"
#include "handlers/storage/storage_records.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

constexpr uint64_t kTiB = 1ULL << 40;
constexpr int kEsataPort = 30;

struct Disk {
  bool present = false;
  bool hot_spare = false;
  DiskListRecord rec{};
};
Disk g_disks[DISK_SLOTS + 1];  // by port

struct Format {
  bool running = false;
  int port = 0;
  int percent = 0;
  uint32_t type = 0;
  uint32_t status = 0;  // 0 idle, 1 formatting, 2 done
};
Format g_format;

RecycleMode g_recycle = {1, 0};
int32_t g_quota_enable = 0;
QuotaEntry g_quota[64];
bool g_quota_set[64];
int32_t g_group_mode = 0;
bool g_backup_running = false;

void add_local(int port, const char* vendor, uint64_t size, uint64_t used) {
  Disk& d = g_disks[port];
  d = Disk{};
  d.present = true;
  d.rec.portId = port;
  copy_field(d.rec.vendorName, vendor);
  d.rec.bUsable = 1;
  d.rec.totalSize = size;
  d.rec.usedSize = used;
  d.rec.freeSize = size - used;
}

bool is_raid_member(int port) {
  for (int id = RAID_ID_FIRST; id <= RAID_ID_LAST; ++id) {
    const Disk& g = g_disks[id];
    if (!g.present || g.rec.hddType != DISK_TYPE_RAID) continue;
    for (int i = 0; i < g.rec.raid_sata_cnt && i < RAID_MEMBERS_MAX; ++i)
      if (g.rec.raid_sata_port[i] == port) return true;
  }
  return false;
}

bool is_local(int port) {
  if (!disk_port_valid(port) || !g_disks[port].present) return false;
  const int t = g_disks[port].rec.hddType;
  return t != DISK_TYPE_RAID && !disk_type_is_network(t);
}

const bool kWorld = [] {
  add_local(1, "WDC WD40PURZ", 4 * kTiB, kTiB);
  add_local(2, "ST8000VX004", 8 * kTiB, 6 * kTiB);
  add_local(3, "ST16000VE002", 16 * kTiB, 0);
  add_local(5, "ST2000VX008", 2 * kTiB, 0);
  add_local(6, "ST2000VX008", 2 * kTiB, 0);
  add_local(10, "RAID1", 2 * kTiB, kTiB / 2);
  DiskListRecord& raid = g_disks[10].rec;
  raid.hddType = DISK_TYPE_RAID;
  raid.raid_level = 1;
  raid.raid_sata_cnt = 2;
  raid.raid_sata_port[0] = 5;
  raid.raid_sata_port[1] = 6;
  add_local(kEsataPort, "eSATA Backup", kTiB, 0);
  g_disks[kEsataPort].rec.hddType = 5;
  for (int ch = 0; ch < 4; ++ch) {
    g_quota[ch] = {ch, 100, 10, 40 + ch, 2};
    g_quota_set[ch] = true;
  }
  return true;
}();

int32_t port_of(const Bytes& p) { return sim_read<int32_t>(p); }

// ---- Disks and RAID -----------------------------------------------------------------

void disk_list(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes out;
  for (int port = 1; port <= DISK_SLOTS; ++port)
    if (g_disks[port].present) sim_append(&out, g_disks[port].rec);
  sim_reply(r, req, out);
}

void format_disk(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int port = port_of(p);
  if (port != 0 && (!disk_port_valid(port) || !g_disks[port].present)) return sim_reply_status(r, req, -1);
  if (port != 0 && is_raid_member(port)) return sim_reply_status(r, req, 1);
  g_format = Format{};
  g_format.running = true;
  g_format.port = port;
  g_format.status = 1;
  g_format.type = port ? static_cast<uint32_t>(g_disks[port].rec.hddType) : 0;
  sim_reply_status(r, req, 0);
}

void format_info(int req, const Bytes&, std::vector<SimReply>* r) {
  if (g_format.running) {
    g_format.percent += 25;
    if (g_format.percent >= 100) {
      g_format.percent = 100;
      g_format.running = false;
      g_format.status = 2;
      for (int port = 1; port <= DISK_SLOTS; ++port) {
        if (!g_disks[port].present || (g_format.port && port != g_format.port)) continue;
        DiskListRecord& d = g_disks[port].rec;
        d.usedSize = 0;
        d.freeSize = d.totalSize;
      }
    }
  }
  FormatStatus s{};
  s.status = g_format.status;
  s.percent = static_cast<uint8_t>(g_format.percent);
  s.port = static_cast<uint8_t>(g_format.port);
  s.type = g_format.type;
  sim_reply(r, req, sim_bytes(s));
}

void create_raid(int req, const Bytes& p, std::vector<SimReply>* r) {
  RaidRequest q = sim_read<RaidRequest>(p);
  const int n = q.sata_cnt < 0 ? 0 : q.sata_cnt > RAID_MEMBERS_MAX ? RAID_MEMBERS_MAX : q.sata_cnt;
  bool ok = q.id >= RAID_ID_FIRST && q.id <= RAID_ID_LAST && !g_disks[q.id].present && n > 0;
  uint64_t smallest = ~0ULL;
  for (int i = 0; ok && i < n; ++i) {
    const int port = q.ports[i];
    ok = is_local(port) && !is_raid_member(port) && !g_disks[port].hot_spare;
    if (ok && g_disks[port].rec.totalSize < smallest) smallest = g_disks[port].rec.totalSize;
  }
  if (!ok) return sim_reply_status(r, req, -1);
  add_local(q.id, "RAID", q.level == 1 ? smallest : smallest * static_cast<uint64_t>(n), 0);
  DiskListRecord& g = g_disks[q.id].rec;
  g.hddType = DISK_TYPE_RAID;
  g.raid_level = q.level;
  g.raid_sata_cnt = n;
  for (int i = 0; i < n; ++i) g.raid_sata_port[i] = q.ports[i];
  sim_reply_status(r, req, 0);
}

void remove_raid(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int id = sim_read<RaidRequest>(p).id;
  if (id < RAID_ID_FIRST || id > RAID_ID_LAST || !g_disks[id].present || g_disks[id].rec.hddType != DISK_TYPE_RAID)
    return sim_reply_status(r, req, -1);
  g_disks[id] = Disk{};
  sim_reply_status(r, req, 0);
}

void hot_spare(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int port = port_of(p);
  const bool set = req == REQ_SET_HOT_SPARE;
  if (!is_local(port) || is_raid_member(port) || g_disks[port].hot_spare == set) return sim_reply_status(r, req, -1);
  g_disks[port].hot_spare = set;
  g_disks[port].rec.state = set ? 3 : 0;
  sim_reply_status(r, req, 0);
}

void rebuild_raid(int req, const Bytes& p, std::vector<SimReply>* r) {
  RaidRebuild q = sim_read<RaidRebuild>(p);
  if (!is_local(q.diskport) || is_raid_member(q.diskport) || !disk_port_valid(q.raidport) ||
      !g_disks[q.raidport].present || g_disks[q.raidport].rec.hddType != DISK_TYPE_RAID ||
      g_disks[q.raidport].rec.raid_sata_cnt >= RAID_MEMBERS_MAX)
    return sim_reply_status(r, req, -1);
  DiskListRecord& g = g_disks[q.raidport].rec;
  g.raid_sata_port[g.raid_sata_cnt++] = q.diskport;
  g.raid_state = 1;
  g.raid_progress = 0;
  sim_reply_status(r, req, 0);
}

void disk_property(int req, const Bytes& p, std::vector<SimReply>* r) {
  DiskPropertyChange c = sim_read<DiskPropertyChange>(p);
  if (disk_port_valid(c.portId) && g_disks[c.portId].present) {
    g_disks[c.portId].rec.property = c.property;
    g_disks[c.portId].rec.group = c.group;
  }
  sim_reply_status(r, req, 0);
}

void remove_disk(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int port = port_of(p);
  if (!is_local(port) || is_raid_member(port)) return sim_reply_status(r, req, -1);
  g_disks[port] = Disk{};
  sim_reply_status(r, req, 0);
}

// ---- Network disks --------------------------------------------------------------------

// Whether a port holds (or may hold) a network disk the recorder stored.
bool nas_stored(int port, DiskRecord* stored) {
  if (!disk_port_valid(port)) return false;
  if (read_disk(ZRDB_PATH, stored, port) != 0 || stored->enable != 1 || !disk_type_is_network(stored->hddType))
    return false;
  const Disk& d = g_disks[port];
  return !d.present || disk_type_is_network(d.rec.hddType);
}

// Takes a network disk's settings from the record the recorder stored.
bool load_nas(int port) {
  DiskRecord stored{};
  if (!nas_stored(port, &stored)) return false;
  Disk& d = g_disks[port];
  const uint64_t used = d.present ? d.rec.usedSize : 0;
  add_local(port, "", kTiB, used);
  d.rec.hddType = stored.hddType;
  d.rec.property = stored.property;
  d.rec.group = stored.group;
  copy_field(d.rec.vendorName, field_view(stored.vendorName));
  copy_field(d.rec.address, field_view(stored.address));
  copy_field(d.rec.directory, field_view(stored.directory));
  return true;
}

void add_nas(int req, const Bytes& p, std::vector<SimReply>* r) {
  NasPortList list = sim_read<NasPortList>(p);
  const int n = list.count < 0 ? 0 : list.count > NAS_LIST_MAX ? NAS_LIST_MAX : list.count;
  zrdb_close_all();  // see what the recorder has just committed
  // All or nothing: every port must hold a stored network disk.
  bool ok = n > 0;
  for (int i = 0; i < n && ok; ++i) {
    DiskRecord stored{};
    ok = nas_stored(list.ports[i], &stored);
  }
  for (int i = 0; i < n && ok; ++i) load_nas(list.ports[i]);
  sim_reply_status(r, req, ok ? 0 : -1);
}

void update_nas(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int port = port_of(p);
  zrdb_close_all();
  const bool known = disk_port_valid(port) && g_disks[port].present && disk_type_is_network(g_disks[port].rec.hddType);
  sim_reply_status(r, req, known && load_nas(port) ? 0 : -1);
}

void del_nas(int req, const Bytes& p, std::vector<SimReply>* r) {
  NasPortList list = sim_read<NasPortList>(p);
  const int n = list.count < 0 ? 0 : list.count > NAS_LIST_MAX ? NAS_LIST_MAX : list.count;
  auto known = [](int port) {
    return disk_port_valid(port) && g_disks[port].present && disk_type_is_network(g_disks[port].rec.hddType);
  };
  bool ok = n > 0;
  for (int i = 0; i < n && ok; ++i) ok = known(list.ports[i]);
  for (int i = 0; i < n && ok; ++i) g_disks[list.ports[i]] = Disk{};
  sim_reply_status(r, req, ok ? 0 : -1);
}

// The file server 192.168.1.20 shares two directories; other servers none.
void search_nas(int req, const Bytes& p, std::vector<SimReply>* r) {
  NasSearchRequest q = sim_read<NasSearchRequest>(p);
  static NasSearchReply reply;
  std::memset(&reply, 0, sizeof reply);
  if (field_view(q.serverAddr) == "192.168.1.20") {
    reply.count = 2;
    copy_field(reply.paths[0], "/export/nvr");
    copy_field(reply.paths[1], "/export/backup");
  }
  sim_reply(r, req, sim_bytes(reply));
}

// ---- Recycle mode, S.M.A.R.T., quotas and groups ---------------------------------------

void get_recycle(int req, const Bytes&, std::vector<SimReply>* r) { sim_reply(r, req, sim_bytes(g_recycle)); }

void set_recycle(int req, const Bytes& p, std::vector<SimReply>* r) {
  g_recycle = sim_read<RecycleMode>(p);
  sim_reply_status(r, req, 0);
}

// Local disks pass their self-evaluation except the 8 TiB disk on port 2;
// a port without a local disk gets an empty reply.
void smart(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int port = port_of(p);
  if (!is_local(port)) return sim_reply(r, req, {});
  SmartRecord s{};
  copy_field(s.result, port == 2 ? "FAILED" : "PASSED");
  sim_reply(r, req, sim_bytes(s));
}

void get_quota(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes out;
  QuotaReplyHead head{g_quota_enable, 0};
  for (bool set : g_quota_set) head.count += set ? 1 : 0;
  sim_append(&out, head);
  for (int ch = 0; ch < 64; ++ch)
    if (g_quota_set[ch]) sim_append(&out, g_quota[ch]);
  sim_reply(r, req, out);
}

void set_quota(int req, const Bytes& p, std::vector<SimReply>* r) {
  QuotaSet q = sim_read<QuotaSet>(p);
  const int n = q.count < 0 ? 0 : q.count > QUOTA_SET_ENTRIES ? QUOTA_SET_ENTRIES : q.count;
  for (int i = 0; i < n; ++i)
    if (q.entries[i].channel >= 64) return sim_reply_status(r, req, -1);
  g_quota_enable = q.enable;
  for (int i = 0; i < n; ++i) {
    const QuotaSetEntry& e = q.entries[i];
    QuotaEntry& dst = g_quota[e.channel];
    dst.channel = e.channel;
    dst.video_quota = e.video_quota;
    dst.picture_quota = e.picture_quota;
    g_quota_set[e.channel] = true;
  }
  sim_reply_status(r, req, 0);
}

void group_mode(int req, const Bytes& p, std::vector<SimReply>* r) {
  g_group_mode = sim_read<int32_t>(p);
  sim_reply_status(r, req, 0);
}

// ---- eSATA backup ------------------------------------------------------------------------

void backup_set(int req, const Bytes& p, std::vector<SimReply>* r) {
  g_backup_running = sim_read<int32_t>(p) == 0;
  sim_reply_status(r, req, 0);
}

void backup_status(int req, const Bytes&, std::vector<SimReply>* r) {
  EsataBackupStatus s{};
  s.status = g_backup_running ? 1 : 0;
  copy_field(s.last_time, "2026-12-08 03:00:00");
  s.percent = g_backup_running ? 12.345f : 100.0f;
  s.capacity = 931;
  sim_reply(r, req, sim_bytes(s));
}

void backup_running(int req, const Bytes&, std::vector<SimReply>* r) {
  sim_reply_status(r, req, g_backup_running ? 1 : 0);
}

void backup_stop(int req, const Bytes&, std::vector<SimReply>* r) {
  g_backup_running = false;
  sim_reply_status(r, req, 0);
}

// A USB stick (kind 3) on port 31 comes before the eSATA export disk.
void export_disk(int req, const Bytes&, std::vector<SimReply>* r) {
  Bytes out;
  ExportDiskRecord usb{};
  usb.port = 31;
  usb.kind = 3;
  sim_append(&out, usb);
  if (g_disks[kEsataPort].present) {
    ExportDiskRecord esata{};
    esata.port = kEsataPort;
    esata.kind = EXPORT_DISK_KIND;
    sim_append(&out, esata);
  }
  sim_reply(r, req, out);
}

void format_esata(int req, const Bytes& p, std::vector<SimReply>* r) {
  const int port = port_of(p);
  if (port != kEsataPort || !g_disks[port].present) return sim_reply_status(r, req, -1);
  g_disks[port].rec.usedSize = 0;
  g_disks[port].rec.freeSize = g_disks[port].rec.totalSize;
  sim_reply_status(r, req, 0);
}

const SimRow kRows[] = {
    {REQ_ESATA_BACKUP_SET, backup_set},
    {REQ_ESATA_BACKUP_STATUS, backup_status},
    {REQ_SMART_ATTR, smart},
    {REQ_CREATE_RAID, create_raid},
    {REQ_REMOVE_RAID, remove_raid},
    {REQ_SET_HOT_SPARE, hot_spare},
    {REQ_REMOVE_HOT_SPARE, hot_spare},
    {REQ_REBUILD_RAID, rebuild_raid},
    {REQ_GET_RECYCLE, get_recycle},
    {REQ_DISK_LIST, disk_list},
    {REQ_FORMAT_DISK, format_disk},
    {REQ_DISK_PROPERTY, disk_property},
    {REQ_UPDATE_NAS, update_nas},
    {REQ_SEARCH_NAS, search_nas},
    {REQ_GROUP_MODE, group_mode},
    {REQ_EXPORT_DISK, export_disk},
    {REQ_SET_RECYCLE, set_recycle},
    {REQ_REMOVE_DISK, remove_disk},
    {REQ_ADD_NAS, add_nas},
    {REQ_DEL_NAS, del_nas},
    {REQ_GET_QUOTA, get_quota},
    {REQ_SET_QUOTA, set_quota},
    {REQ_FORMAT_ESATA, format_esata},
    {REQ_AUTO_BACKUP_STATUS, backup_running},
    {REQ_AUTO_BACKUP_STOP, backup_stop},
    {REQ_FORMAT_INFO, format_info},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
