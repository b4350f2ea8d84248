// Log pages against zrcore-sim's day of 300 entries: search and paging with
// translated names, the CSV export read back as CSV, the type catalogue, the
// detail text and the export state.
#include <fstream>
#include <regex>
#include <sstream>

#include "account_test_util.h"
#include "handlers/system/log_records.h"

namespace {

const std::string kDay = "\"startTime\":\"2026-12-07 00:00:00\",\"endTime\":\"2026-12-07 23:59:59\"";
const std::string kDayT = "\"startTime\":\"2026-12-07T00:00:00\",\"endTime\":\"2026-12-07T23:59:59\"";

std::string source_file(const std::string& rel) {
  std::ifstream in(std::string(NVR_SOURCE_DIR) + "/" + rel);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Splits CSV rows (CRLF) into fields, honouring quotes and doubled quotes.
std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  if (rows.back().empty() && field.empty()) rows.pop_back();
  return rows;
}

class LogsTest : public AccountsTest {
 protected:
  void SetUp() override {
    AccountsTest::SetUp();
    env_.write_file("/opt/app/trans/en.txt", source_file("deploy/trans/en.txt"));
    env_.write_file("/opt/app/trans/de.txt", source_file("deploy/trans/de.txt"));
  }
  CgiResult req(const std::string& path, const std::string& body, const std::string& wait_ms = "") {
    CgiRequest r = post(path, body, "");
    r.env["TZ"] = "UTC";
    if (!wait_ms.empty()) r.env["NVR_IPC_WAIT_MS"] = wait_ms;
    return env_.run(r);
  }
  void restart_sim(const std::string& script) {
    env_.stop_sim();
    env_.start_sim(script);
  }
  static std::string search(const std::string& extra) {
    return "{\"language\":\"en\"," + kDay + ",\"mainType\":1,\"subTypeArr\":[10],\"curPageNum\":1" + extra + "}";
  }
};

TEST_F(LogsTest, SearchAnswersOnePageWithTranslatedNamesAndShownAddresses) {
  CgiResult r = req("/1002", search(",\"chnMask\":\"" + std::string(64, '1') + "\",\"searchNoChn\":0"));
  ASSERT_EQ(r.out.rfind(kJsonHeader + "{\"count\":300,\"num\":100,\"curPageNum\":1,\"log\":[", 0), 0u) << r.out.substr(0, 300);
  // Entry 0: a login by "operator" from an IPv4 address.
  EXPECT_NE(r.out.find("{\"no\":0,\"mainTypeValue\":4,\"mainType\":\"Operation\",\"subTypeValue\":201,\"subType\":\"Login\","
                       "\"pts\":1796601600,\"ptc\":\"2026-12-07 00:00:00\",\"parameterValue\":900,\"parameter\":\"Account\","
                       "\"remote\":1,\"chanNo\":0,\"disk\":0,\"size\":15,\"detail\":\"Login (entry 1)\",\"detail2\":[1282369385,"),
            std::string::npos)
      << r.out.substr(0, 600);
  EXPECT_NE(r.out.find("\"ip\":\"192.168.1.20\",\"user\":\"operator\"}"), std::string::npos);
  // An IPv4-mapped address loses its prefix, a scoped one its zone.
  EXPECT_NE(r.out.find("\"ip\":\"192.168.1.31\",\"user\":\"admin\"}"), std::string::npos);
  EXPECT_NE(r.out.find("\"ip\":\"fe80::1\",\"user\":\"admin\"}"), std::string::npos);
  EXPECT_EQ(r.out.find("::ffff:"), std::string::npos);
  // Entry 5 is "disk full": its channel number names a disk.
  EXPECT_NE(r.out.find("{\"no\":5,\"mainTypeValue\":32,\"mainType\":\"Exception\",\"subTypeValue\":401,\"subType\":\"Disk full\""),
            std::string::npos);
  EXPECT_NE(r.out.find("\"chanNo\":6,\"disk\":1,"), std::string::npos);

  // The payload the core received.
  LogSearch s;
  std::memset(&s, 0, sizeof s);
  s.start_time = 1796601600;
  s.end_time = 1796601600 + 86399;
  s.main_type = 1;
  s.sub_types[0] = 10;
  s.sub_type_count = 1;
  s.page = 1;
  s.channel_mask = ~0ULL;
  EXPECT_EQ(env_.journal_of(3495), std::vector<std::string>{record_hex(s)});

  // Later pages; German names.
  r = req("/1002", "{\"language\":\"de\"," + kDay + ",\"mainType\":1,\"subTypeArr\":[10],\"curPageNum\":3}");
  EXPECT_EQ(r.out.rfind(kJsonHeader + "{\"count\":300,\"num\":100,\"curPageNum\":3,", 0), 0u);
  EXPECT_NE(r.out.find("\"mainType\":\"Bedienung\""), std::string::npos);
  r = req("/1002", "{\"language\":\"en\"," + kDay + ",\"mainType\":1,\"subTypeArr\":[10],\"curPageNum\":4}");
  EXPECT_EQ(r.out, kJsonHeader + "{\"count\":300,\"num\":0,\"curPageNum\":4,\"log\":[]}");
  // A language name cannot leave the language folder: English is used.
  r = req("/1002", "{\"language\":\"../../../etc/passwd\"," + kDay + ",\"mainType\":4,\"subTypeArr\":[201],\"curPageNum\":1}");
  EXPECT_NE(r.out.find("\"subType\":\"Login\""), std::string::npos) << r.out.substr(0, 300);
}

TEST_F(LogsTest, SearchRefusalsSendNothing) {
  const std::string err = kJsonHeader + "{status:\"CGI ERROR\"}";
  const std::string bodies[] = {
      "{\"language\":\"en\"," + kDay + ",\"mainType\":1,\"subTypeArr\":[9],\"curPageNum\":1}",
      "{\"language\":\"en\"," + kDay + ",\"mainType\":0,\"subTypeArr\":[10],\"curPageNum\":1}",
      "{\"language\":\"en\"," + kDay + ",\"mainType\":65,\"subTypeArr\":[10],\"curPageNum\":1}",
      "{\"language\":\"en\"," + kDay + ",\"mainType\":\"x\",\"subTypeArr\":[10],\"curPageNum\":1}",
      "{\"language\":\"en\"," + kDay + ",\"mainType\":1,\"subTypeArr\":10,\"curPageNum\":1}",
      "{\"language\":\"en\"," + kDay + ",\"mainType\":1,\"subTypeArr\":[10]}",
      "{" + kDay + ",\"mainType\":1,\"subTypeArr\":[10],\"curPageNum\":1}",
      "{\"language\":\"en\",\"startTime\":\"yesterday\",\"endTime\":\"2026-12-07 23:59:59\",\"mainType\":1,"
      "\"subTypeArr\":[10],\"curPageNum\":1}",
      "not json",
  };
  for (const std::string& b : bodies) EXPECT_EQ(req("/1002", b).out, err) << b;
  EXPECT_TRUE(env_.journal_of(3495).empty());
  // A decimal text is a number.
  EXPECT_NE(req("/1002", search("").substr(0, search("").size() - 1) + ",\"mainType\":\"1\"}").out.find("\"count\":300"),
            std::string::npos);
}

TEST_F(LogsTest, SearchShortOrMissingReply) {
  restart_sim("3495 reply hex=0100000001000000\n");
  EXPECT_EQ(req("/1002", search("")).out, kJsonHeader + "ERROR");
  restart_sim("3495 none\n");
  EXPECT_EQ(req("/1002", search(""), "300").out, kJsonHeader + "{status:\"CGI ERROR\"}");
}

TEST_F(LogsTest, ExportIsACsvDownloadThatParsesBack) {
  CgiResult r = req("/1003", "{\"language\":\"en\"," + kDayT +
                                 ",\"mainType\":2,\"subTypeArr\":[10],\"curPageNum\":7,\"ch\":\"3\",\"na\":1}");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m,
                                std::regex("^Content-Type:application/octet-stream\r\nContent-Disposition: attachment; "
                                           "filename= Event_log_[0-9A-F:]{17}_20[0-9]{12}\\.csv\r\n\r\n")))
      << r.out.substr(0, 300);
  const auto rows = parse_csv(r.out.substr(m.length()));
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Number", "Time", "Main", "Sub", "Parameter", "User", "Ip", "Channel",
                                              "Log information", ""}));
  // Event entries on channels 1 and 2 (mask 3): motion and video loss.
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 10u) << i;
    EXPECT_EQ(rows[i][0], std::to_string(i));
    EXPECT_EQ(rows[i][2], "Event");
    EXPECT_TRUE(rows[i][7] == "1" || rows[i][7] == "2") << rows[i][7];
  }
  EXPECT_EQ(rows[1][3], "Motion detection");
  EXPECT_EQ(rows[1][4], "Motion settings");
  // The payload: page 1, the mask from "ch", "na" last.
  LogSearch s = {};
  s.start_time = 1796601600;
  s.end_time = 1796601600 + 86399;
  s.main_type = 2;
  s.sub_types[0] = 10;
  s.sub_type_count = 1;
  s.page = 1;
  s.channel_mask = 3;
  s.no_channel = 1;
  EXPECT_EQ(env_.journal_of(3494), std::vector<std::string>{record_hex(s)});
  // The core's file and the marker are gone.
  EXPECT_FALSE(env_.exists("/tmp/logexport.dat"));
  EXPECT_FALSE(env_.exists("/tmp/log/log_web"));
}

TEST_F(LogsTest, ExportOfOperationSubTypesExpandsTheBitSets) {
  req("/1003", "{\"language\":\"en\"," + kDayT + ",\"mainType\":4,\"subTypeArr\":[13,10,10],\"curPageNum\":1}");
  ASSERT_EQ(env_.journal_of(3494).size(), 1u);
  LogSearch s = {};
  s.start_time = 1796601600;
  s.end_time = 1796601600 + 86399;
  s.main_type = 4;
  s.sub_types[0] = 101;
  s.sub_types[1] = 102;
  s.sub_type_count = 2;
  s.page = 1;
  EXPECT_EQ(env_.journal_of(3494)[0], record_hex(s));
  // Entries below 10 give empty sets, never negative ones.
  req("/1003", "{\"language\":\"en\"," + kDayT + ",\"mainType\":4,\"subTypeArr\":[11,3],\"curPageNum\":1}");
  ASSERT_EQ(env_.journal_of(3494).size(), 2u);
  s.sub_types[1] = 0;
  s.sub_type_count = 1;
  EXPECT_EQ(env_.journal_of(3494)[1], record_hex(s));
  // Refusals answer nothing and send nothing.
  EXPECT_EQ(req("/1003", "{\"language\":\"en\"," + kDayT + ",\"mainType\":4,\"subTypeArr\":[9],\"curPageNum\":1}").out, "");
  EXPECT_EQ(req("/1003", "{\"language\":\"en\"," + kDayT + ",\"mainType\":2,\"subTypeArr\":[10],\"curPageNum\":1,\"ch\":\"3x\"}").out, "");
  EXPECT_EQ(env_.journal_of(3494).size(), 2u);
}

TEST_F(LogsTest, ExportQuotesFieldsAndTakesOnlyAPlainTmpFile) {
  // A file of our own with a user name holding a comma and a quote.
  LogRecord rec = {};
  rec.main_type = 4;
  rec.sub_type = 201;
  rec.param = 900;
  rec.pts = 1796601600;
  rec.channel = 3;
  copy_field(rec.user, "ad,\"min");
  copy_field(rec.ip, "::ffff:10.0.0.9");
  std::string file(4, '\0');
  const int32_t n = 1;
  std::memcpy(&file[0], &n, 4);
  file.append(reinterpret_cast<const char*>(&rec), sizeof rec);
  std::string detail(LOG_EXPORT_DETAIL, '\0');
  detail.replace(0, 9, "said \"hi\"");
  file += detail;
  env_.write_file("/tmp/myexport.dat", file);
  LogExportReply rep = {};
  copy_field(rep.path, "/tmp/myexport.dat");
  restart_sim("3494 reply hex=" + record_hex(rep) + "\n");
  CgiResult r = req("/1003", "{\"language\":\"en\"," + kDayT + ",\"mainType\":4,\"subTypeArr\":[10],\"curPageNum\":1}");
  const size_t body = r.out.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  const auto rows = parse_csv(r.out.substr(body + 4));
  ASSERT_EQ(rows.size(), 2u) << r.out;
  EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "2026-12-07 00:00:00", "Operation", "Login", "Account", "ad,\"min",
                                              "10.0.0.9", "3", "said \"hi\"", ""}));
  EXPECT_FALSE(env_.exists("/tmp/myexport.dat"));
  // The core naming a file outside /tmp: the header row only, nothing removed.
  copy_field(rep.path, "/mnt/nand/app/zrdb.db");
  restart_sim("3494 reply hex=" + record_hex(rep) + "\n");
  r = req("/1003", "{\"language\":\"en\"," + kDayT + ",\"mainType\":4,\"subTypeArr\":[10],\"curPageNum\":1}");
  EXPECT_EQ(r.out.substr(r.out.find("\r\n\r\n") + 4),
            "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,\r\n");
  EXPECT_TRUE(env_.exists("/mnt/nand/app/zrdb.db"));
}

TEST_F(LogsTest, TypeCatalogue) {
  CgiResult r = req("/1015", "{\"lan\":\"en\"}");
  ASSERT_EQ(r.out.rfind(kJsonHeader + "{\"mainType\":[{\"key\":1,\"name\":\"All\"},{\"key\":2,\"name\":\"Event\"},"
                                      "{\"key\":4,\"name\":\"Operation\"},{\"key\":8,\"name\":\"Information\"},"
                                      "{\"key\":32,\"name\":\"Exception\"},{\"key\":64,\"name\":\"Debug\"}],"
                                      "\"subType\":[[{\"key\":10,\"name\":\"All sub-types\"}],[{\"key\":10,",
                        0),
            0u)
      << r.out.substr(0, 400);
  auto count_keys = [](const std::string& s) {
    size_t n = 0;
    for (size_t p = s.find("\"key\":"); p != std::string::npos; p = s.find("\"key\":", p + 1)) ++n;
    return n;
  };
  // 6 main types; sub-type lists of 1, 29, 70, 17, 14 and 5 entries.
  EXPECT_EQ(count_keys(r.out), 6u + 1 + 29 + 70 + 17 + 14 + 5);
  EXPECT_EQ(r.out.find("{\"key\":15,"), std::string::npos);
  EXPECT_EQ(r.out.find("{\"key\":31,"), std::string::npos);
  EXPECT_EQ(r.out.find("{\"key\":408,"), std::string::npos);
  ASSERT_EQ(set_param_int(ZRDB_PATH, "oem_type", 90), 0);
  r = req("/1015", "{\"lan\":\"en\"}");
  EXPECT_NE(r.out.find("{\"key\":15,\"name\":\"Face detection\"},{\"key\":16,"), std::string::npos);
  EXPECT_EQ(req("/1015", "{").out, kJsonHeader + "{status:\"CGI ERROR\"}");
}

TEST_F(LogsTest, DetailTextAndExportState) {
  CgiResult r = req("/1021", "{\"mainTypeValue\":4,\"subTypeValue\":-2,\"pts\":5,\"parameterValue\":900,\"remote\":1,"
                             "\"chanNo\":3,\"size\":4,\"detail2\":[1282371431,-1],\"ip\":\"10.1.2.3\",\"user\":\"bob\"}");
  EXPECT_EQ(r.out, kTextHeader + "bob from 10.1.2.3 on channel 3");
  LogRecord rec = {};
  rec.main_type = 4;
  rec.sub_type = -2;
  rec.pts = 5;
  rec.param = 900;
  rec.remote = 1;
  rec.channel = 3;
  rec.size = 4;
  const uint8_t d[8] = {0x4c, 0x6f, 0x6f, 0x67, 0xff, 0xff, 0xff, 0xff};  // big-endian words
  std::memcpy(rec.detail, d, sizeof d);
  copy_field(rec.ip, "10.1.2.3");
  copy_field(rec.user, "bob");
  EXPECT_EQ(env_.journal_of(3488), std::vector<std::string>{record_hex(rec)});
  EXPECT_EQ(req("/1021", "{\"chanNo\":\"x\"}").out, "");
  restart_sim("3488 reply\n");
  EXPECT_EQ(req("/1021", "{}").out, kTextHeader + "N/A");
  restart_sim("3488 none\n");
  EXPECT_EQ(req("/1021", "{}", "300").out, kTextHeader + "CGI ERROR");

  EXPECT_EQ(req("/1022", "").out, kTextHeader + "NO");
  env_.write_file("/tmp/log/log_web", "");
  EXPECT_EQ(req("/1022", "").out, kTextHeader + "OK");
}

}  // namespace
