// Disks, RAID groups and formatting end to end: the disk list merged with
// the stored records, property changes, formats with their log entries,
// RAID groups and hot spares against the simulated disks, the RAID mode.
#include <string>
#include <vector>

#include "storage_e2e.h"

namespace {

using DisksE2e = StorageE2e;

// One "HDD" entry of the disk list as the page receives it.
struct Entry {
  int port = 0;
  std::string vendor, address, directory;
  long long total = 0, used = 0, free = 0;
  int type = 0, state = 0, group = 0, property = 0, usable = 1;
  int level = 0, raid_state = 0, progress = 0, members = 0;
  std::string user, password;
  long long mask = 0;
  std::string json() const {
    auto n = [](long long v) { return std::to_string(v); };
    return "{\"portId\":" + n(port) + ",\"vendorName\":\"" + vendor + "\",\"address\":\"" + address +
           "\",\"directory\":\"" + directory + "\",\"totalSize\":" + n(total) + ",\"usedSize\":" + n(used) +
           ",\"freeSize\":" + n(free) + ",\"hddType\":" + n(type) + ",\"state\":" + n(state) + ",\"group\":" + n(group) +
           ",\"property\":" + n(property) + ",\"bUsable\":" + n(usable) + ",\"raid_id\":" + n(port) +
           ",\"raid_level\":" + n(level) + ",\"raid_state\":" + n(raid_state) + ",\"raid_progress\":" + n(progress) +
           ",\"raid_sata_cnt\":" + n(members) + ",\"raid_task\":" + n(progress) + ",\"userName\":\"" + user +
           "\",\"password\":\"" + password + "\",\"raid_sata_port\":" + n(mask) + "}";
  }
};

constexpr long long kTiBMiB = 1LL << 20;  // one TiB in MiB

Entry local(int port, const std::string& vendor, long long total_tib, long long used_mib) {
  Entry e;
  e.port = port;
  e.vendor = vendor;
  e.total = total_tib * kTiBMiB;
  e.used = used_mib;
  e.free = e.total - used_mib;
  return e;
}

std::string list_reply(const std::vector<Entry>& entries) {
  std::string s = R"({"resultString":"OK","esataType":0,"HDD":[)";
  for (size_t i = 0; i < entries.size(); ++i) s += (i ? "," : "") + entries[i].json();
  return s + R"(],"maxDiskNum":36})";
}

// The simulated world as the first disk list shows it.
std::vector<Entry> world() {
  Entry raid = local(10, "RAID1", 2, kTiBMiB / 2);
  raid.type = 4;
  raid.level = 1;
  raid.members = 2;
  raid.mask = (1 << 5) | (1 << 6);
  Entry esata = local(30, "eSATA Backup", 1, 0);
  esata.type = 5;
  return {local(1, "WDC WD40PURZ", 4, kTiBMiB), local(2, "ST8000VX004", 8, 6 * kTiBMiB),
          local(3, "ST16000VE002", 16, 0),      local(5, "ST2000VX008", 2, 0),
          local(6, "ST2000VX008", 2, 0),        raid,
          esata};
}

struct FormatDetail {
  uint8_t zero[64];
  int32_t port;
  int32_t result;
};
static_assert(sizeof(FormatDetail) == 72, "");

std::string format_log(int port, int result) {
  FormatDetail d{};
  d.port = port;
  d.result = result;
  return StorageE2e::detail_log_line(207, 900, port, 102, &d, sizeof d);
}

struct Raid {
  int32_t id, enable, level, zero[2], cnt, ports[20];
};
static_assert(sizeof(Raid) == 104, "");

TEST_F(DisksE2e, ListShowsTheSimulatedDisksWithSizesInMiB) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6100", "", &j);
  EXPECT_EQ(json_body(r), list_reply(world()));
  EXPECT_EQ(j, (std::vector<std::string>{"3433 "}));
  // 8 TiB lists as 8388608 MiB.
  EXPECT_NE(r.out.find(R"("portId":2,"vendorName":"ST8000VX004","address":"","directory":"","totalSize":8388608,)"),
            std::string::npos);
}

TEST_F(DisksE2e, ListMergesStoredNetworkDisks) {
  // Port 20: stored network disk the core does not report; port 21: one
  // the core reports without its share; port 1: a local disk whose stored
  // texts are not taken; port 22: stored but not enabled.
  store_disk(20, 1, 3, "192.168.1.20", "/export/nvr", "us er", "p&w=1", 2);
  store_disk(21, 1, 10, "nas.local", "/share", "admin", "secret");
  store_disk(1, 1, 0, "ignored", "ignored");
  store_disk(22, 0, 3, "10.0.0.9", "/gone");
  const std::string reported =
      ListRec().port(21).type(10).text(4, "core vendor").i32(260, 0).u64(272, 1ULL << 40).hex() +
      ListRec().port(1).text(4, "WDC").text(68, "core-addr").u64(272, 4ULL << 40).hex();
  env_.start_sim(reply_rule(3433, reported));
  auto r = send("/6100", "");

  Entry nas21;
  nas21.port = 21;
  nas21.vendor = "stored vendor";
  nas21.address = "nas.local";
  nas21.directory = "/share";
  nas21.total = kTiBMiB;
  nas21.type = 10;
  nas21.usable = 0;
  nas21.user = "admin";
  nas21.password = "secret";
  Entry disk1;
  disk1.port = 1;
  disk1.vendor = "WDC";
  disk1.address = "core-addr";
  disk1.total = 4 * kTiBMiB;
  disk1.usable = 0;
  Entry nas20;
  nas20.port = 20;
  nas20.vendor = "stored vendor";
  nas20.address = "192.168.1.20";
  nas20.directory = "/export/nvr";
  nas20.type = 3;
  nas20.state = 2;
  nas20.group = 2;
  nas20.property = 1;
  nas20.usable = 0;
  nas20.user = "us%20er";
  nas20.password = "p%26w%3D1";
  EXPECT_EQ(json_body(r), list_reply({disk1, nas20, nas21}));
}

TEST_F(DisksE2e, ListBoundsWhatTheCoreReports) {
  // Ports 0 and 37 are dropped; a 2^52-byte disk does not wrap; a member
  // count of 99 is read as 16 members, ports from 32 on are not in the mask.
  ListRec raid;
  raid.port(12).type(4).i32(324, 99);
  const int32_t members[16] = {1, 2, 31, 32, 40, 0, -3, 3, 4, 5, 6, 7, 8, 9, 11, 13};
  for (int i = 0; i < 16; ++i) raid.i32(328 + 4 * i, members[i]);
  const std::string reported = ListRec().port(0).hex() + ListRec().port(37).hex() +
                               ListRec().port(36).u64(272, 1ULL << 52).u64(288, (1ULL << 52) - 1).hex() + raid.hex();
  env_.start_sim(reply_rule(3433, reported));
  const std::string body = json_body(send("/6100", ""));
  EXPECT_NE(body.find(R"({"portId":36,"vendorName":"","address":"","directory":"","totalSize":4294967296,"usedSize":0,"freeSize":4294967295,)"),
            std::string::npos)
      << body;
  long long mask = 0;
  for (int p : {1, 2, 31, 3, 4, 5, 6, 7, 8, 9, 11, 13}) mask |= 1LL << p;
  EXPECT_NE(body.find("\"raid_sata_cnt\":16,\"raid_task\":0,\"userName\":\"\",\"password\":\"\",\"raid_sata_port\":" +
                      std::to_string(mask) + "}"),
            std::string::npos)
      << body;
  EXPECT_EQ(body.find("\"portId\":0,"), std::string::npos);
  EXPECT_EQ(body.find("\"portId\":37,"), std::string::npos);
}

TEST_F(DisksE2e, EmptyListAnswersNoAndMissingReplyTheJsonError) {
  env_.start_sim("3433 reply\n");
  EXPECT_EQ(json_body(send("/6100", "")), R"({"resultString":"NO","esataType":0,"HDD":[],"maxDiskNum":36})");
  // A stored network disk alone makes the list "OK".
  store_disk(25, 1, 3, "10.1.1.1", "/d");
  EXPECT_EQ(json_body(send("/6100", "")).rfind(R"({"resultString":"OK","esataType":0,"HDD":[{"portId":25,)", 0), 0u);

  env_.start_sim("3433 none\n");
  EXPECT_EQ(send("/6100", "", nullptr, "200").out, kJsonError);
}

TEST_F(DisksE2e, PropertyChangeStoresNotifiesLogsAndShowsInTheList) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6101", R"({"portId":2,"property":1,"group":3,"private":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3435, word_hex(2) + word_hex(1) + word_hex(3) + word_hex(1)),
                                         plain_log_line(204, 919, 2)}));
  DiskRecord rec = disk(2);
  EXPECT_EQ(rec.id, 2);
  EXPECT_EQ(rec.property, 1);
  EXPECT_EQ(rec.group, 3);
  EXPECT_EQ(rec.enable, 0);  // the page does not enable a slot

  // The list shows the change; posted back unchanged, it changes nothing.
  const std::string body = json_body(send("/6100", ""));
  const size_t at = body.find(R"({"portId":2,)");
  ASSERT_NE(at, std::string::npos) << body;
  const std::string entry = body.substr(at, body.find('}', at) - at + 1);
  EXPECT_NE(entry.find(R"("group":3,"property":1,)"), std::string::npos) << entry;
  EXPECT_EQ(send("/6101", entry, &j).out, kTextOk);
  EXPECT_EQ(record_hex(disk(2)), record_hex(rec));
  EXPECT_EQ(j, (std::vector<std::string>{line(3435, word_hex(2) + word_hex(1) + word_hex(3) + word_hex(0)),
                                         plain_log_line(204, 919, 2)}));

  // Slot 36 is reachable, with the port as a decimal text; an absent group
  // keeps the stored one.
  store_disk(36, 1, 3, "a", "b", "", "", 5);
  EXPECT_EQ(send("/6101", R"({"portId":"36","property":0})", &j).out, kTextOk);
  EXPECT_EQ(disk(36).group, 5);
  EXPECT_EQ(disk(36).property, 0);
}

TEST_F(DisksE2e, PropertyChangeRefusesBadValuesBeforeAnyWrite) {
  env_.start_sim();
  for (const char* body : {R"({"portId":"abc","property":1})", R"({"portId":0,"property":1})",
                           R"({"portId":37,"property":1})", R"({"portId":1.5,"property":1})",
                           R"({"property":1})", R"({"portId":3,"property":2})", R"({"portId":3,"property":"x"})",
                           R"({"portId":3,"property":1,"group":16})", R"({"portId":3,"property":1,"group":"g"})",
                           R"({"portId":3,"property":1,"private":"x"})", "3", "not json"}) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/6101", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(count("disk"), 0);

  break_store();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6101", R"({"portId":3,"property":1})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
}

TEST_F(DisksE2e, FormatAnswersEachResultAndLogsIt) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6102", "2", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3434, word_hex(2)), format_log(2, 1)}));
  // A RAID member is in use; a port without a disk fails; 0 formats all.
  EXPECT_EQ(send("/6102", "5", &j).out, "Content-type: text/plain\r\n\r\nUSING");
  EXPECT_EQ(j, (std::vector<std::string>{line(3434, word_hex(5)), format_log(5, -1)}));
  EXPECT_EQ(send("/6102", " 4\n", &j).out, "Content-type: text/plain\r\n\r\nERROR FORMAT");
  EXPECT_EQ(j.back(), format_log(4, -1));
  EXPECT_EQ(send("/6102", "0", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3434, word_hex(0)), format_log(0, 1)}));

  for (const char* bad : {"37", "-1", "abc", "", "2x", "1.0"}) {
    EXPECT_EQ(send("/6102", bad, &j).out, "") << bad;
    EXPECT_TRUE(j.empty()) << bad;
  }
}

TEST_F(DisksE2e, FormatReplyCodesFromTheCore) {
  struct Row {
    std::string script;
    std::string reply;
    int result;
  } rows[] = {
      {reply_rule(3434, word_hex(-3)), "Content-type: text/plain\r\n\r\nNAS LOW CAP", -1},
      {"3434 reply type=8402 hex=" + word_hex(0) + "\n", kTextOk, 1},
      // An unknown code answers at once: the later "OK" is not taken.
      {reply_rule(3434, word_hex(7)) + reply_rule(3434, word_hex(0)), kJsonError, -1},
      {"3434 reply\n" + reply_rule(3434, word_hex(0)), kJsonError, -1},
      {"3434 none\n", kJsonError, -1},
  };
  for (const Row& row : rows) {
    env_.start_sim(row.script);
    std::vector<std::string> j;
    EXPECT_EQ(send("/6102", "3", &j, "300").out, row.reply) << row.script;
    EXPECT_EQ(j, (std::vector<std::string>{line(3434, word_hex(3)), format_log(3, row.result)})) << row.script;
  }
}

TEST_F(DisksE2e, FormatProgressAnswersOkForPortsUpTo16) {
  for (const char* ok : {"0", "16", "7"}) EXPECT_EQ(send("/6103", ok).out, kTextOk) << ok;
  for (const char* bad : {"17", "-1", "x", ""}) EXPECT_EQ(send("/6103", bad).out, "") << bad;
}

TEST_F(DisksE2e, RaidGroupCreateRemoveAndList) {
  env_.start_sim();
  std::vector<std::string> j;
  // Bits 1 and 2: ports 1 and 2; the count is sent as given.
  EXPECT_EQ(send("/6104", R"({"id":11,"enable":1,"level":1,"sata_cnt":2,"sata_port":6})", &j).out, kTextOk);
  Raid raid{};
  raid.id = 11;
  raid.enable = 1;
  raid.level = 1;
  raid.cnt = 2;
  raid.ports[0] = 1;
  raid.ports[1] = 2;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3420, raid)}));
  std::string body = json_body(send("/6100", ""));
  EXPECT_NE(body.find(R"("portId":11,"vendorName":"RAID",)"), std::string::npos) << body;
  EXPECT_NE(body.find(R"("raid_id":11,"raid_level":1,"raid_state":0,"raid_progress":0,"raid_sata_cnt":2,"raid_task":0,"userName":"","password":"","raid_sata_port":6})"),
            std::string::npos)
      << body;
  // Ports 1 and 2 are members now: a second group over them fails.
  EXPECT_EQ(send("/6104", R"({"id":12,"enable":1,"level":0,"sata_cnt":1,"sata_port":"2"})").out,
            "Content-type: text/plain\r\n\r\nError");

  EXPECT_EQ(send("/6105", "11", &j).out, kTextOk);
  Raid remove{};
  remove.id = 11;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3421, remove)}));
  EXPECT_EQ(send("/6105", "11").out, "Content-type: text/plain\r\n\r\nError");
  EXPECT_EQ(json_body(send("/6100", "")), list_reply(world()));
}

TEST_F(DisksE2e, RaidRequestsRefuseBadValues) {
  env_.start_sim();
  const char* creates[] = {
      R"({"id":16,"enable":1,"level":1,"sata_cnt":2,"sata_port":6})",
      R"({"id":9,"enable":1,"level":1,"sata_cnt":2,"sata_port":6})",
      R"({"id":"x","enable":1,"level":1,"sata_cnt":2,"sata_port":6})",
      R"({"id":11,"level":1,"sata_cnt":2,"sata_port":6})",
      R"({"id":11,"enable":1,"level":-1,"sata_cnt":2,"sata_port":6})",
      R"({"id":11,"enable":1,"level":1,"sata_cnt":-1,"sata_port":6})",
      R"({"id":11,"enable":1,"level":1,"sata_cnt":17,"sata_port":6})",
      R"({"id":11,"enable":1,"level":1,"sata_cnt":2})",
      R"({"id":11,"enable":1,"level":1,"sata_cnt":2,"sata_port":-6})",
      "nope",
  };
  std::vector<std::string> j;
  for (const char* body : creates) {
    EXPECT_EQ(send("/6104", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  for (const char* text : {"9", "17", "abc", "", "12x", "[12]"}) {
    EXPECT_EQ(send("/6105", text, &j).out, "") << text;
    EXPECT_TRUE(j.empty()) << text;
  }
  for (const char* body : {R"({"port":"abc","hotflag":1})", R"({"port":0,"hotflag":1})", R"({"port":3})",
                           R"({"port":37,"hotflag":0})"}) {
    EXPECT_EQ(send("/6106", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  for (const char* body : {R"({"diskport":3})", R"({"diskport":0,"raidport":10})", R"({"diskport":3,"raidport":"r"})"}) {
    EXPECT_EQ(send("/6107", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
}

TEST_F(DisksE2e, HotSpareAndRebuild) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6106", R"({"port":3,"hotflag":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3423, word_hex(3))}));
  EXPECT_NE(json_body(send("/6100", "")).find(R"("hddType":0,"state":3,)"), std::string::npos);
  EXPECT_EQ(send("/6106", R"({"port":3,"hotflag":1})").out, "Content-type: text/plain\r\n\r\nError");
  EXPECT_EQ(send("/6106", R"({"port":"3","hotflag":0})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3424, word_hex(3))}));

  EXPECT_EQ(send("/6107", R"({"diskport":3,"raidport":10})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3425, word_hex(3) + word_hex(10))}));
  const std::string body = json_body(send("/6100", ""));
  EXPECT_NE(body.find(R"("raid_level":1,"raid_state":1,"raid_progress":0,"raid_sata_cnt":3,)"), std::string::npos) << body;
  EXPECT_EQ(send("/6107", R"({"diskport":3,"raidport":10})").out, "Content-type: text/plain\r\n\r\nError");
}

TEST_F(DisksE2e, RaidRequestsWithoutReplyAnswerTheTextError) {
  env_.start_sim("3420 none\n3421 none\n3423 none\n3424 reply\n3425 none\n");
  struct Row {
    const char* name;
    const char* body;
  } rows[] = {
      {"/6104", R"({"id":11,"enable":1,"level":1,"sata_cnt":2,"sata_port":6})"},
      {"/6105", "10"},
      {"/6106", R"({"port":3,"hotflag":1})"},
      {"/6106", R"({"port":3,"hotflag":0})"},  // an empty reply
      {"/6107", R"({"diskport":3,"raidport":10})"},
  };
  for (const Row& row : rows) EXPECT_EQ(send(row.name, row.body, nullptr, "200").out, kTextError) << row.name;
}

TEST_F(DisksE2e, RaidModeRoundTrip) {
  EXPECT_EQ(send("/6108", "").out, "Content-type: text/plain\r\n\r\n0");
  EXPECT_EQ(send("/6109", "1").out, kTextOk);
  EXPECT_EQ(send("/6108", "").out, "Content-type: text/plain\r\n\r\n1");
  EXPECT_EQ(send("/6109", text_body(send("/6108", ""))).out, kTextOk);
  EXPECT_EQ(send("/6108", "").out, "Content-type: text/plain\r\n\r\n1");
  EXPECT_EQ(send("/6109", "5").out, kTextOk);
  EXPECT_EQ(send("/6108", "").out, "Content-type: text/plain\r\n\r\n0");
  EXPECT_EQ(send("/6109", "1").out, kTextOk);
  for (const char* bad : {"x", "", "1x"}) EXPECT_EQ(send("/6109", bad).out, "") << bad;
  EXPECT_EQ(send("/6108", "").out, "Content-type: text/plain\r\n\r\n1");

  break_store();
  EXPECT_EQ(send("/6109", "0").out, kTextError);
}

}  // namespace
