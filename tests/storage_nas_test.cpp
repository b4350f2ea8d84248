// Network disks end to end: add, change, search and remove against the
// simulated core, the stored records behind them (put back when the core
// refuses), the log entries with their details, and removal by disk kind.
#include <string>
#include <vector>

#include "storage_e2e.h"

namespace {

using NasE2e = StorageE2e;

struct NasList {
  int32_t count;
  int32_t ports[33];
};
static_assert(sizeof(NasList) == 136, "");

struct NasDetail {
  char type[16];
  char address[64];
  char directory[128];
};
static_assert(sizeof(NasDetail) == 208, "");

struct Raid {
  int32_t id, enable, level, zero[2], cnt, ports[20];
};

std::string list_line(int id, std::vector<int> ports) {
  NasList l{};
  l.count = static_cast<int32_t>(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) l.ports[i] = ports[i];
  return std::to_string(id) + " " + record_hex(l);
}

std::string nas_log(int sub, int port, int kind, const std::string& type, const std::string& address,
                    const std::string& directory) {
  NasDetail d{};
  copy_field(d.type, type);
  copy_field(d.address, address);
  copy_field(d.directory, directory);
  return StorageE2e::detail_log_line(sub, 0, port, kind, &d, sizeof d);
}

const char kTwoDisks[] =
    R"({"num":2,"port":[20,21],"vendor":["v1","v2"],"address":["192.168.1.20","nas.local"],)"
    R"("directory":["/export/nvr","/share"],"userName":["us%20er","bob"],"password":["p%26w","x"]})";
const char kAccepted[] = R"({"status":0,"res":0})";
const char kRefused[] = R"({"status":0,"res":-1})";

TEST_F(NasE2e, AddStoresDecodedCredentialsLogsAndLists) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(json_body(send("/6201", kTwoDisks, &j)), kAccepted);
  EXPECT_EQ(j, (std::vector<std::string>{list_line(3507, {20, 21}),
                                         nas_log(219, 20, 101, "NFS", "192.168.1.20", "/export/nvr"),
                                         nas_log(219, 21, 101, "NFS", "nas.local", "/share")}));
  DiskRecord d = disk(20);
  EXPECT_EQ(d.id, 20);
  EXPECT_EQ(d.enable, 1);
  EXPECT_EQ(d.hddType, 3);
  EXPECT_EQ(d.property, 1);
  EXPECT_STREQ(d.vendorName, "v1");
  EXPECT_STREQ(d.userName, "us er");
  EXPECT_STREQ(d.password, "p&w");

  const std::string body = json_body(send("/6100", ""));
  EXPECT_NE(body.find(R"({"portId":20,"vendorName":"v1","address":"192.168.1.20","directory":"/export/nvr","totalSize":1048576,"usedSize":0,"freeSize":1048576,"hddType":3,"state":0,"group":0,"property":1,)"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find(R"("userName":"us%20er","password":"p%26w","raid_sata_port":0})"), std::string::npos) << body;
}

TEST_F(NasE2e, AddTakesAtMost33DisksAndPutsRecordsBackWhenRefused) {
  env_.start_sim();
  std::string ports, texts;
  for (int p = 1; p <= 35; ++p) {
    ports += (p > 1 ? "," : "") + std::to_string(p);
    texts += std::string(p > 1 ? "," : "") + "\"t\"";
  }
  std::vector<std::string> j;
  // The core has local disks on some of these ports and refuses the whole list.
  auto r = send("/6201", R"({"num":40,"type":10,"port":[)" + ports + R"(],"address":[)" + texts + "]}", &j);
  EXPECT_EQ(json_body(r), kRefused);
  std::vector<int> first33;
  for (int p = 1; p <= 33; ++p) first33.push_back(p);
  ASSERT_EQ(j.size(), 34u);
  EXPECT_EQ(j[0], list_line(3507, first33));
  EXPECT_EQ(j[33], nas_log(219, 33, 101, "SMB/CIFS", "t", ""));
  EXPECT_EQ(count("disk"), 0);

  // The shortest array bounds the count.
  EXPECT_EQ(json_body(send("/6201", R"({"num":2,"port":[20,21],"address":["a"]})", &j)), kAccepted);
  EXPECT_EQ(j.front(), list_line(3507, {20}));
}

TEST_F(NasE2e, AddRefusesBadRequestsBeforeAnyWrite) {
  env_.start_sim();
  store_disk(7, 1, 0);  // a local disk's slot
  const char* bodies[] = {
      R"({"num":1,"port":["abc"]})",          R"({"num":1,"port":[0]})",
      R"({"num":1,"port":[37]})",             R"({"num":1,"port":[]})",
      R"({"num":0,"port":[20]})",             R"({"port":[20]})",
      R"({"num":1,"port":[20],"type":4})",    R"({"num":1,"port":[20],"type":"x"})",
      R"({"num":1,"port":[20],"vendor":"v"})", R"({"num":1,"port":[7]})",
      R"({"num":1,"port":20})",               "[20]",
  };
  for (const char* body : bodies) {
    std::vector<std::string> j;
    EXPECT_EQ(send("/6201", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
  EXPECT_EQ(count("disk"), 1);
}

TEST_F(NasE2e, AddWithoutReplyAnswersTheTextErrorAndLogsNothing) {
  env_.start_sim("3507 none\n");
  std::vector<std::string> j;
  EXPECT_EQ(send("/6201", kTwoDisks, &j, "200").out, kTextError);
  EXPECT_EQ(j, (std::vector<std::string>{list_line(3507, {20, 21})}));
  EXPECT_EQ(count("disk"), 0);
  env_.start_sim("3507 reply\n");
  EXPECT_EQ(send("/6201", kTwoDisks, &j).out, kTextError);
  EXPECT_EQ(j.size(), 1u);
  EXPECT_EQ(count("disk"), 0);
}

TEST_F(NasE2e, RemovedNetworkDiskLeavesTheList) {
  env_.start_sim();
  ASSERT_EQ(json_body(send("/6201", kTwoDisks)), kAccepted);
  std::vector<std::string> j;
  EXPECT_EQ(send("/6200", R"({"num":1,"port":[20,21]})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{list_line(3508, {20}),
                                         nas_log(220, 20, 101, "NFS", "192.168.1.20", "/export/nvr")}));
  DiskRecord d = disk(20);
  EXPECT_EQ(d.id, 20);
  EXPECT_EQ(d.enable, 0);
  EXPECT_EQ(d.property, 1);
  EXPECT_STREQ(d.address, "");
  const std::string body = json_body(send("/6100", ""));
  EXPECT_EQ(body.find(R"("portId":20,)"), std::string::npos) << body;
  EXPECT_NE(body.find(R"("portId":21,)"), std::string::npos) << body;

  // A port the core does not know: "Error", and no log for a slot never stored.
  EXPECT_EQ(send("/6200", R"({"num":1,"port":[22]})", &j).out, "Content-type: text/plain\r\n\r\nError");
  EXPECT_EQ(j, (std::vector<std::string>{list_line(3508, {22})}));
  for (const char* bad : {R"({"num":1,"port":[]})", R"({"num":1,"port":["x"]})", R"({"num":"1","port":[40]})", "x"}) {
    EXPECT_EQ(send("/6200", bad, &j).out, "") << bad;
    EXPECT_TRUE(j.empty()) << bad;
  }
  env_.start_sim("3508 none\n");
  EXPECT_EQ(send("/6200", R"({"num":1,"port":[21]})", &j, "200").out, kTextError);
  EXPECT_EQ(j.size(), 1u);
  EXPECT_EQ(disk(21).enable, 1);  // put back
}

TEST_F(NasE2e, UpdateChangesOneDiskAndKeepsItsGroup) {
  env_.start_sim();
  ASSERT_EQ(json_body(send("/6201", kTwoDisks)), kAccepted);
  ASSERT_EQ(send("/6101", R"({"portId":21,"property":1,"group":4})").out, kTextOk);
  std::vector<std::string> j;
  auto r = send("/6203",
                R"({"port":21,"type":10,"vendor":"v3","address":"10.0.0.5","directory":"/rec","userName":"a%40b","password":"pw"})",
                &j);
  EXPECT_EQ(json_body(r), kAccepted);
  EXPECT_EQ(j, (std::vector<std::string>{line(3439, word_hex(21)),
                                         nas_log(221, 21, 110, "SMB/CIFS", "10.0.0.5", "/rec")}));
  DiskRecord d = disk(21);
  EXPECT_EQ(d.hddType, 10);
  EXPECT_EQ(d.group, 4);
  EXPECT_STREQ(d.userName, "a@b");
  EXPECT_NE(json_body(send("/6100", "")).find(R"({"portId":21,"vendorName":"v3","address":"10.0.0.5","directory":"/rec",)"),
            std::string::npos);

  // Unknown to the core: refused and the slot is left as it was.
  EXPECT_EQ(json_body(send("/6203", R"({"port":22,"address":"x"})", &j)), kRefused);
  EXPECT_EQ(j.back(), nas_log(221, 22, 110, "NFS", "x", ""));
  EXPECT_EQ(count("disk"), 2);
  for (const char* bad : {R"({"port":"x"})", R"({"port":0})", R"({"port":21,"type":0})", "21"}) {
    EXPECT_EQ(send("/6203", bad, &j).out, "") << bad;
    EXPECT_TRUE(j.empty()) << bad;
  }
  env_.start_sim("3439 none\n");
  EXPECT_EQ(send("/6203", R"({"port":21,"address":"y"})", &j, "200").out, kTextError);
  EXPECT_EQ(j.size(), 1u);
  EXPECT_STREQ(disk(21).address, "10.0.0.5");
}

TEST_F(NasE2e, SearchListsTheSharesOfAServer) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6202", R"({"port":20,"serverAddr":"192.168.1.20"})", &j);
  EXPECT_EQ(json_body(r), R"({"resultString":"OK","NAS":[{"filePath":"/export/nvr"},{"filePath":"/export/backup"}]})");
  std::string req = word_hex(20) + to_hex("192.168.1.20", 12) + std::string(2 * 52, '0');
  EXPECT_EQ(j, (std::vector<std::string>{line(3440, req)}));
  EXPECT_EQ(json_body(send("/6202", R"({"port":20,"serverAddr":"10.9.9.9"})")), R"({"resultString":"NO","NAS":[]})");
  EXPECT_EQ(send("/6202", R"({"port":"p","serverAddr":"10.9.9.9"})", &j).out, "");
  EXPECT_TRUE(j.empty());

  // A count above 64 lists 64 entries; a short reply is an error.
  std::string many = word_hex(100);
  for (int i = 0; i < 64; ++i) many += to_hex("/d", 2) + std::string(2 * 254, '0');
  env_.start_sim(reply_rule(3440, many));
  const std::string body = json_body(send("/6202", R"({"port":1,"serverAddr":"s"})"));
  size_t entries = 0;
  for (size_t at = body.find("filePath"); at != std::string::npos; at = body.find("filePath", at + 1)) ++entries;
  EXPECT_EQ(entries, 64u);
  env_.start_sim(reply_rule(3440, word_hex(2)));
  EXPECT_EQ(send("/6202", R"({"port":1,"serverAddr":"s"})").out, kJsonError);
}

TEST_F(NasE2e, RemoveByKind) {
  env_.start_sim();
  ASSERT_EQ(json_body(send("/6201", kTwoDisks)), kAccepted);
  std::vector<std::string> j;
  // A RAID group: its id as the port; logged without a channel.
  EXPECT_EQ(send("/6207", R"({"port":10,"hddType":4})", &j).out, kTextOk);
  Raid raid{};
  raid.id = 10;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3421, raid), plain_log_line(224, 900, 0)}));
  // A network disk: no log, and its record is reset.
  EXPECT_EQ(send("/6207", R"({"port":20,"hddType":3})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{list_line(3508, {20})}));
  EXPECT_EQ(disk(20).enable, 0);
  // A local disk: reset to its port and the default property, logged.
  store_disk(3, 1, 0, "", "", "", "", 6);
  EXPECT_EQ(send("/6207", R"({"port":3,"hddType":0})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3496, word_hex(3)), plain_log_line(224, 900, 3)}));
  DiskRecord d = disk(3);
  EXPECT_EQ(d.id, 3);
  EXPECT_EQ(d.property, 1);
  EXPECT_EQ(d.enable, 0);
  EXPECT_EQ(d.group, 0);
  const std::string body = json_body(send("/6100", ""));
  for (const char* gone : {R"("portId":3,)", R"("portId":10,)", R"("portId":20,)"})
    EXPECT_EQ(body.find(gone), std::string::npos) << gone;

  // The core refuses a slot without a disk: the stored record stays.
  store_disk(4, 1, 0, "", "", "", "", 2);
  EXPECT_EQ(send("/6207", R"({"port":4,"hddType":0})", &j).out, "Content-type: text/plain\r\n\r\nError");
  EXPECT_EQ(disk(4).group, 2);
  EXPECT_EQ(disk(4).enable, 1);

  for (const char* bad : {R"({"port":9,"hddType":4})", R"({"port":17,"hddType":4})", R"({"port":0,"hddType":0})",
                          R"({"port":"x","hddType":3})", R"({"port":3})", "3"}) {
    EXPECT_EQ(send("/6207", bad, &j).out, "") << bad;
    EXPECT_TRUE(j.empty()) << bad;
  }
}

TEST_F(NasE2e, RemoveByKindWithoutReply) {
  env_.start_sim("3421 none\n3508 none\n3496 none\n");
  store_disk(3, 1, 0, "", "", "", "", 6);
  std::vector<std::string> j;
  EXPECT_EQ(send("/6207", R"({"port":11,"hddType":4})", &j, "200").out, kTextError);
  EXPECT_EQ(j.size(), 1u);
  EXPECT_EQ(send("/6207", R"({"port":21,"hddType":10})", &j, "200").out, kTextError);
  EXPECT_EQ(send("/6207", R"({"port":3,"hddType":0})", &j, "200").out, kTextError);
  EXPECT_EQ(j.size(), 1u);
  EXPECT_EQ(disk(3).group, 6);
}

}  // namespace
