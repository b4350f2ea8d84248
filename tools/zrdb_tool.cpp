// zrdb: command-line access to the configuration database under NVR_ROOT.
//
//   zrdb get KEY            prints the value of a parameter
//   zrdb set KEY VALUE      stores a parameter and prints the stored value
//   zrdb dump [FAMILY]      one line per record of a family (or per family);
//                           the plate list of the plate database is the
//                           family "anpr_list", one line per plate
//   zrdb seed [--admin-password PW] [--demo]
//                           creates a fresh database with the demo defaults;
//                           with --admin-password also the administrator
//                           "admin" whose password is PW (stored as its MD5
//                           digest); with --demo also the four cameras
//                           zrcore-sim reports, their names and motion
//                           settings with a whole-week schedule
//   zrdb backup FILE        writes a consistent copy of the database to FILE
//   zrdb restore FILE       replaces the database's content with the copy in
//                           FILE (open connections see the new content)
//
// Exit status 0 on success, 1 on a missing key or record family, 2 on a
// broken database or wrong usage.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/camera_record.h"
#include "core/event_records.h"
#include "core/osd_record.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/user_record.h"
#include "core/web_utils.h"
#include "platform/zrdb.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: zrdb get KEY\n"
               "       zrdb set KEY VALUE\n"
               "       zrdb dump [FAMILY]\n"
               "       zrdb seed [--admin-password PW] [--demo]\n"
               "       zrdb backup FILE\n"
               "       zrdb restore FILE\n");
  return 2;
}

int broken() {
  std::fprintf(stderr, "zrdb: cannot open the database %s (missing directory or not a database)\n",
               nvr_path(ZRDB_PATH).c_str());
  return 2;
}

int cmd_get(const char* key) {
  if (zrdb_check(ZRDB_PATH) != 0) return broken();
  if (check_param_key(ZRDB_PATH, key)) {
    std::fprintf(stderr, "zrdb: no such key: %s\n", key);
    return 1;
  }
  static char value[65536];
  if (get_param_value(ZRDB_PATH, key, value, sizeof value, "") != 0) return broken();
  std::printf("%s\n", value);
  return 0;
}

// A value is stored as an integer when the key already holds one or, for a
// new key, when it is written as a plain decimal number ("007" stays text).
int cmd_set(const char* key, const char* value) {
  if (zrdb_check(ZRDB_PATH) != 0) return broken();
  int v = 0;
  bool numeric = parse_int_strict(value, &v) && std::to_string(v) == value;
  bool as_int = numeric;
  if (!check_param_key(ZRDB_PATH, key)) {
    char old[64];
    get_param_value(ZRDB_PATH, key, old, sizeof old, "");
    int ov = 0;
    as_int = numeric && parse_int_strict(old, &ov) && std::to_string(ov) == old;
  }
  int rc = as_int ? set_param_int(ZRDB_PATH, key, v) : set_param_value(ZRDB_PATH, key, value);
  if (rc != 0) {
    std::fprintf(stderr, "zrdb: cannot store %s\n", key);
    return 2;
  }
  return cmd_get(key);
}

struct DumpCtx {
  int lines = 0;
};

void dump_record(void* ctx, int id, const void* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  size_t nonzero = 0;
  for (size_t i = 0; i < size; ++i) nonzero += p[i] != 0;
  std::string hex;
  size_t shown = size < 64 ? size : 64;
  for (size_t i = 0; i < shown; ++i) {
    hex += digits[p[i] >> 4];
    hex += digits[p[i] & 15];
  }
  if (shown < size) hex += "...";
  std::printf("%d size=%zu nonzero=%zu %s\n", id, size, nonzero, hex.c_str());
  static_cast<DumpCtx*>(ctx)->lines++;
}

void dump_family(void* ctx, const char* family, int count) {
  std::printf("%s %d\n", family, count);
  static_cast<DumpCtx*>(ctx)->lines++;
}

constexpr char kPlateFamily[] = "anpr_list";

// Plates listed in the plate database (0 when it does not exist yet: a
// dump never makes one), or -1 when it cannot be read.
int plate_count() {
  if (::access(nvr_path(ANPR_DB_PATH).c_str(), F_OK) != 0) return 0;
  return count_anpr_lists(ANPR_DB_PATH);
}

int plate_db_broken() {
  std::fprintf(stderr, "zrdb: cannot read the plate list %s\n", nvr_path(ANPR_DB_PATH).c_str());
  return 2;
}

// One line per plate in plate order: "<plate> type=<list type>".
int dump_plates() {
  const int n = plate_count();
  if (n < 0) return plate_db_broken();
  if (n == 0) {
    std::fprintf(stderr, "zrdb: no records in family %s\n", kPlateFamily);
    return 1;
  }
  std::unique_ptr<AnprListEntry[]> list(new AnprListEntry[n]);
  int got = 0;
  if (read_anpr_lists(ANPR_DB_PATH, list.get(), n, &got) != 0) return plate_db_broken();
  for (int i = 0; i < got; ++i) {
    const AnprListEntry& e = list[i];
    std::printf("%.*s type=%.*s\n", static_cast<int>(strnlen(e.plate, sizeof e.plate)), e.plate,
                static_cast<int>(strnlen(e.type, sizeof e.type)), e.type);
  }
  return 0;
}

int cmd_dump(const char* family) {
  if (zrdb_check(ZRDB_PATH) != 0) return broken();
  DumpCtx ctx;
  if (family && std::strcmp(family, kPlateFamily) == 0) return dump_plates();
  if (!family) {
    if (zrdb_visit_families(ZRDB_PATH, dump_family, &ctx) != 0) return broken();
    const int plates = plate_count();
    if (plates < 0) return plate_db_broken();
    if (plates > 0) dump_family(&ctx, kPlateFamily, plates);
    return 0;
  }
  if (zrdb_visit_records(ZRDB_PATH, family, dump_record, &ctx) != 0) return broken();
  if (ctx.lines == 0) {
    std::fprintf(stderr, "zrdb: no records in family %s\n", family);
    return 1;
  }
  return 0;
}

struct IntDefault {
  const char* key;
  int value;
};
const IntDefault kIntDefaults[] = {
    {"max_cameras", 32},         {"alarm_in", 16},           {"alarm_out", 4},
    {"max_poe_num", 0},          {"ch_access", 0},           {"group_mode", 0},
    {"esata_type", 0},           {"raidmode", 0},            {"failover_mode", 0},
    {"same_channel_exist", 0},   {"stream_information", 0},  {"transport_protocol", 0},
    {"homologous", 1},           {"httpsenable", 0},         {"access_filter_enable", 0},
    {"access_filter_type", 1},   {"pushmsg_alarmin_type", 0xffff}, {"enable_push_msg", 0},
    {"video_push_stream", 0},    {"oem_type", 0},            {"oemupdateonline", 0},
};

struct TextDefault {
  const char* key;
  const char* value;
};
const TextDefault kTextDefaults[] = {
    {"software_version", "V3.2.1.20261130"},
    {"hardware_version", "V1.0"},
    {"model", "NVR-3208"},
    {"company", "Demo Security"},
    {"deviceid", "255"},
    {"display_mode", "1"},
    {"hdmihotplug", "1"},
    {"wizard_enable", "0"},
};

// The demo recorder: the cameras zrcore-sim knows (same addresses, ports
// and models), so "/2001" and "/2000" show the same cameras, and motion
// detection on for each of them with a schedule of every whole day.
struct DemoCamera {
  const char* name;
  const char* ip;
  int port;
  int protocol;  // model id: 0 ONVIF, 1 RTSP, 2 the recorder's own
  const char* mac;
  const char* main_url;
  const char* sub_url;
};
const DemoCamera kDemoCameras[] = {
    {"Front door", "192.168.1.64", 80, 0, "00:1A:2B:3C:4D:01", "", ""},
    {"Garage", "192.168.1.65", 80, 2, "00:1A:2B:3C:4D:02", "", ""},
    {"Yard PTZ", "192.168.1.66", 80, 2, "00:1A:2B:3C:4D:03", "", ""},
    {"Street", "192.168.1.70", 554, 1, "", "rtsp://192.168.1.70:554/stream1", "rtsp://192.168.1.70:554/stream2"},
};

CameraRecord demo_camera(int ch, const DemoCamera& d) {
  CameraRecord c{};
  c.id = ch;
  c.enable = 1;
  c.poechannel = -1;
  c.physicalport = -1;
  copy_field(c.userName, "admin");
  copy_field(c.password, "demo1234");
  copy_field(c.ipAddr, d.ip);
  c.mainRtspPort = 554;
  c.subRtspPort = 554;
  c.enableSubStream = 1;
  c.managePort = d.port;
  c.camProtocol = d.protocol;
  c.syncTime = 1;
  copy_field(c.mainrtspurl, d.main_url);
  copy_field(c.subrtspurl, d.sub_url);
  copy_field(c.mac_addr, d.mac);
  c.httpsPort = 443;
  return c;
}

OsdRecord demo_osd(int ch, const DemoCamera& d) {
  OsdRecord o{};
  o.camId = ch;
  copy_field(o.camName, d.name);
  o.showName = 1;
  o.showDate = 1;
  o.showWeek = 1;
  o.datePosX = 0.05;
  o.datePosY = 0.05;
  o.namePosX = 0.05;
  o.namePosY = 0.9;
  o.alpha = 128;
  return o;
}

MotionRecord demo_motion(int ch, int cameras) {
  MotionRecord m{};
  m.channel = ch;
  m.enable = 1;
  m.sensitivity = 50;
  m.interval = 10;
  // Record the channel itself.
  for (int i = 0; i < cameras && i < 64; ++i) m.tri_channels[i] = i == ch ? '1' : '0';
  m.chn_mask = 1u << ch;
  m.email_interval = 60;
  m.ptz_interval = 10;
  m.alarmout_interval = 10;
  m.white_interval = 10;
  return m;
}

// Every day of the week, the whole day in its first section.
std::unique_ptr<ScheduleRecord> whole_week() {
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord());
  for (int d = 0; d < 7; ++d) {
    copy_field(s->days[d].sections[0].start_time, "00:00");
    copy_field(s->days[d].sections[0].end_time, "24:00");
    s->days[d].valid = 1;
  }
  return s;
}

int seed_demo_recorder() {
  const int cameras = static_cast<int>(sizeof kDemoCameras / sizeof kDemoCameras[0]);
  const auto week = whole_week();
  ZrdbTransaction txn(ZRDB_PATH);
  int rc = txn.ok() ? 0 : -1;
  for (int ch = 0; ch < cameras && rc == 0; ++ch) {
    const CameraRecord cam = demo_camera(ch, kDemoCameras[ch]);
    const OsdRecord osd = demo_osd(ch, kDemoCameras[ch]);
    const MotionRecord motion = demo_motion(ch, get_param_int(ZRDB_PATH, "max_cameras", 32));
    rc = write_camera(ZRDB_PATH, &cam, ch);
    if (rc == 0) rc = write_osd(ZRDB_PATH, &osd, ch);
    if (rc == 0) rc = write_motion(ZRDB_PATH, &motion, ch);
    for (const char* table : {MOTION_EFFECTIVE_SCHEDULE, MOTION_AUDIBLE_SCHEDULE, MOTION_EMAIL_SCHEDULE})
      if (rc == 0) rc = zrdb_write_record(ZRDB_PATH, table, ch, week.get(), sizeof *week);
  }
  if (rc == 0) rc = txn.commit();
  return rc;
}

void remove_database(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

int cmd_seed(const char* admin_password, bool demo) {
  zrdb_close_all();
  for (const char* db : {ZRDB_PATH, ANPR_DB_PATH, OEM_DB_PATH}) {
    remove_database(nvr_path(db));
    if (zrdb_check(db) != 0) {
      std::fprintf(stderr, "zrdb: cannot create %s\n", nvr_path(db).c_str());
      return 2;
    }
  }
  ZrdbTransaction txn(ZRDB_PATH);
  int rc = txn.ok() ? 0 : -1;
  for (const IntDefault& d : kIntDefaults)
    if (rc == 0) rc = set_param_int(ZRDB_PATH, d.key, d.value);
  for (const TextDefault& d : kTextDefaults)
    if (rc == 0) rc = add_param_value(ZRDB_PATH, d.key, d.value);
  if (rc == 0) rc = txn.commit();
  if (rc != 0) {
    std::fprintf(stderr, "zrdb: cannot seed %s\n", nvr_path(ZRDB_PATH).c_str());
    return 2;
  }
  if (admin_password) {
    if (!*admin_password || seed_admin_user(ZRDB_PATH, admin_password) != 0) {
      std::fprintf(stderr, "zrdb: cannot store the administrator\n");
      return 2;
    }
    std::printf("administrator: admin\n");
  }
  if (demo) {
    if (seed_demo_recorder() != 0) {
      std::fprintf(stderr, "zrdb: cannot store the demo recorder\n");
      return 2;
    }
    std::printf("demo recorder: 4 cameras\n");
  }
  // Closing the last connection folds the write-ahead log into the file, so
  // the requests that follow open a compact database.
  zrdb_close_all();
  std::printf("seeded %s\n", nvr_path(ZRDB_PATH).c_str());
  return 0;
}

}  // namespace

// Copies one database into another through SQLite's online backup, which
// takes the locks a writer takes: 0, or 2 when either side cannot be opened
// or the source is no database.
int copy_database(const std::string& from, const std::string& to) {
  sqlite3* src = nullptr;
  sqlite3* dst = nullptr;
  int rc = sqlite3_open_v2(from.c_str(), &src, SQLITE_OPEN_READONLY, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_open_v2(to.c_str(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(dst, 5000);
    sqlite3_busy_timeout(src, 5000);
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
    if (!b) {
      rc = sqlite3_errcode(dst);
    } else {
      rc = sqlite3_backup_step(b, -1);
      const int fin = sqlite3_backup_finish(b);
      if (rc == SQLITE_DONE) rc = fin;
    }
  }
  if (rc != SQLITE_OK) std::fprintf(stderr, "zrdb: copy %s -> %s failed: %s\n", from.c_str(), to.c_str(), sqlite3_errstr(rc));
  sqlite3_close(src);
  sqlite3_close(dst);
  return rc == SQLITE_OK ? 0 : 2;
}

int cmd_backup(const char* file) {
  if (zrdb_check(ZRDB_PATH) != 0) return broken();
  return copy_database(nvr_path(ZRDB_PATH), file);
}

// Only a copy that is a database of this system is restored.
int cmd_restore(const char* file) {
  if (access(file, R_OK) != 0 || zrdb_check(ZRDB_PATH) != 0) return broken();
  {
    sqlite3* src = nullptr;
    sqlite3_stmt* st = nullptr;
    bool ours = sqlite3_open_v2(file, &src, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
                sqlite3_prepare_v2(src, "SELECT count(*) FROM sqlite_master WHERE name IN ('params','records')", -1, &st, nullptr) ==
                    SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 2;
    sqlite3_finalize(st);
    sqlite3_close(src);
    if (!ours) {
      std::fprintf(stderr, "zrdb: %s is no configuration database\n", file);
      return 2;
    }
  }
  zrdb_close_all();
  return copy_database(file, nvr_path(ZRDB_PATH));
}

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string cmd = argv[1];
  if (cmd == "get" && argc == 3) return cmd_get(argv[2]);
  if (cmd == "set" && argc == 4) return cmd_set(argv[2], argv[3]);
  if (cmd == "dump" && (argc == 2 || argc == 3)) return cmd_dump(argc == 3 ? argv[2] : nullptr);
  if (cmd == "backup" && argc == 3) return cmd_backup(argv[2]);
  if (cmd == "restore" && argc == 3) return cmd_restore(argv[2]);
  if (cmd == "seed") {
    const char* admin_password = nullptr;
    bool demo = false;
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--admin-password") == 0 && i + 1 < argc && !admin_password)
        admin_password = argv[++i];
      else if (std::strcmp(argv[i], "--demo") == 0 && !demo)
        demo = true;
      else
        return usage();
    }
    return cmd_seed(admin_password, demo);
  }
  return usage();
}
