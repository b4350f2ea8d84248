// Camera channel management end to end: listing, reading, adding, editing
// and deleting channels, searches, connection tests and camera network
// changes, with the exact messages the core daemon receives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera_test_util.h"
#include "core/camera_record.h"
#include "core/cgi_util.h"
#include "core/osd_record.h"
#include "handlers/camera/camera_records.h"
#include "platform/zrfs.h"

using namespace camtest;

namespace {

std::string log_line(long long sub_type, int code, int channel, const CameraLogDetail* detail) {
  OperationLogInfo info = expected_log_record(sub_type, code, channel);
  if (detail) zrfs_log_pack_detail(info.detail, sizeof info.detail, CAMERA_LOG_DETAIL_KIND, detail, sizeof *detail);
  return line_of(REQ_OPERATION_LOG, info);
}

CameraLogDetail detail(int code, const char* ip, int port, int channel, const char* proto, const char* transport,
                       int sync) {
  CameraLogDetail d = zeroed<CameraLogDetail>();
  d.code = code;
  std::strcpy(d.ipAddr, ip);
  d.managePort = port;
  d.channel = channel;
  std::strcpy(d.protocol, proto);
  std::strcpy(d.transport, transport);
  d.syncTime = static_cast<uint8_t>(sync);
  return d;
}

void set_name(int ch, const char* name) {
  OsdRecord osd = zeroed<OsdRecord>();
  osd.camId = ch;
  std::strcpy(osd.camName, name);
  write_osd(ZRDB_PATH, &osd, ch);
}

std::string stored_name(int ch) {
  char name[64];
  read_osd_name(ZRDB_PATH, ch, name);
  return name;
}

CameraRecord stored_camera(int ch) {
  CameraRecord cam = zeroed<CameraRecord>();
  read_camera(ZRDB_PATH, &cam, ch);
  return cam;
}

}  // namespace

// ---- Listing ----

TEST_F(CameraE2e, ListAnswersEveryCameraWithItsStoredName) {
  set_name(0, "Front");
  set_param_int(ZRDB_PATH, "max_cameras", 16);
  CameraListEntry a = zeroed<CameraListEntry>();
  a.id = 0;
  a.managePort = 80;
  a.camProtocol = 2;
  a.state = 1;
  a.mainRtspPort = 554;
  std::strcpy(a.ipAddr, "10.0.0.5");
  std::strcpy(a.vendor, "V");
  std::strcpy(a.sn, "S1");
  std::strcpy(a.fwVersion, "F1");
  std::strcpy(a.mac, "M1");
  std::strcpy(a.model, "Mo");
  a.poechannel = 3;
  a.physicalport = 4;
  a.alarmin = 1;
  a.alarmout = 2;
  a.whiteLed = 1;
  a.ledManual = 1;
  a.subState = 1;
  a.connectState = 2;
  std::strcpy(a.snReal, "R1");
  std::strcpy(a.ddns, "d");
  std::strcpy(a.chipinfo, "c");
  // Out-of-range id and an address filling its field with no terminator.
  CameraListEntry b = zeroed<CameraListEntry>();
  b.id = 70;
  std::memset(b.ipAddr, 'A', sizeof b.ipAddr);
  std::strcpy(b.vendor, "V2");
  std::vector<uint8_t> bytes(sizeof a + sizeof b);
  std::memcpy(bytes.data(), &a, sizeof a);
  std::memcpy(bytes.data() + sizeof a, &b, sizeof b);
  env_.start_sim(reply_bytes_line(3201, bytes.data(), bytes.size()));

  EXPECT_EQ(post("/2001", "").out,
            kJson +
                "{\"IPC\":[{\"id\":0,\"enable\":1,\"name\":\"Front\",\"ipAddr\":\"10.0.0.5\",\"managePort\":80,"
                "\"camProtocol\":2,\"vendor\":\"V\",\"sn\":\"S1\",\"snReal\":\"R1\",\"mac\":\"M1\",\"model\":\"Mo\","
                "\"fwVersion\":\"F1\",\"state\":1,\"mainRtspPort\":554,\"physicalport\":4,\"poechannel\":3,"
                "\"alarmin\":1,\"alarmout\":2,\"whiteLed\":1,\"ledAlarm\":0,\"ledManual\":1,\"minorid\":0,"
                "\"subState\":1,\"connectState\":2,\"ddns\":\"d\",\"chipinfo\":\"c\"},"
                "{\"id\":70,\"enable\":1,\"name\":\"\",\"ipAddr\":\"" + std::string(32, 'A') +
                "\",\"managePort\":0,\"camProtocol\":0,\"vendor\":\"V2\",\"sn\":\"\",\"snReal\":\"\",\"mac\":\"\","
                "\"model\":\"\",\"fwVersion\":\"\",\"state\":0,\"mainRtspPort\":0,\"physicalport\":0,"
                "\"poechannel\":0,\"alarmin\":0,\"alarmout\":0,\"whiteLed\":0,\"ledAlarm\":0,\"ledManual\":0,"
                "\"minorid\":0,\"subState\":0,\"connectState\":0,\"ddns\":\"\",\"chipinfo\":\"\"}],"
                "\"maxIPCNums\":16}");
  EXPECT_EQ(journal(), std::vector<std::string>{"3201 "});
  // "/2007" is the same request.
  EXPECT_EQ(post("/2007", "").out.substr(0, kJson.size() + 8), kJson + "{\"IPC\":[");
}

TEST_F(CameraE2e, ListOfAnEmptyReplyIsEmptyAndALongOneStopsAt64) {
  env_.start_sim("3201 reply\n");
  EXPECT_EQ(post("/2001", "").out, kJson + "{\"IPC\":[],\"maxIPCNums\":32}");

  std::vector<uint8_t> many(70 * sizeof(CameraListEntry), 0);
  env_.start_sim(reply_bytes_line(3201, many.data(), many.size()));
  const std::string out = post("/2001", "").out;
  size_t n = 0;
  for (size_t at = out.find("\"enable\":1"); at != std::string::npos; at = out.find("\"enable\":1", at + 1)) ++n;
  EXPECT_EQ(n, 64u);
}

// ---- Reading one channel ----

TEST_F(CameraE2e, InfoAnswersTheStoredRecordOfAnyChannel) {
  set_name(9, "Dock");
  CameraRecord cam = zeroed<CameraRecord>();
  cam.id = 9;
  cam.enable = 1;
  std::strcpy(cam.userName, "admin");
  std::strcpy(cam.password, "pw");
  std::strcpy(cam.ipAddr, "10.0.0.9");
  cam.managePort = 8000;
  cam.camProtocol = 3;
  cam.transmitProtocol = 2;
  cam.mainRtspPort = 554;
  std::strcpy(cam.mainSourcePath, "/m");
  cam.enableSubStream = 1;
  cam.subRtspPort = 555;
  std::strcpy(cam.subSourcePath, "/s");
  cam.syncTime = 1;
  std::strcpy(cam.mainrtspurl, "rtsp://m");
  std::strcpy(cam.subrtspurl, "rtsp://s");
  cam.physicalport = 5;
  cam.poechannel = 6;
  std::strcpy(cam.mac_addr, "AA:BB");
  cam.minorid = 1;
  std::strcpy(cam.ddns, "dd");
  cam.httpsPort = 443;
  write_camera(ZRDB_PATH, &cam, 9);
  IpcModelRecord model{3, 2, "IPC-Dome", 1, 0};
  write_ipc_model(ZRDB_PATH, &model, 3);
  env_.start_sim();

  EXPECT_EQ(post("/2000", "{\"chnid\":9}").out,
            kJson +
                "{\"id\":9,\"name\":\"Dock\",\"ipAddr\":\"10.0.0.9\",\"managePort\":8000,\"protocol\":2,\"model\":3,"
                "\"userName\":\"admin\",\"password\":\"pw\",\"transmitProtocol\":2,\"mainRtspPort\":554,"
                "\"mainSourcePath\":\"/m\",\"subRtspEnable\":1,\"subRtspPort\":555,\"subSourcePath\":\"/s\","
                "\"syncTime\":1,\"mainRtspUrl\":\"rtsp://m\",\"subRtspUrl\":\"rtsp://s\",\"physicalport\":5,"
                "\"poechannel\":6,\"mac_addr\":\"AA:BB\",\"minorid\":1,\"ddns\":\"dd\",\"httpsPort\":443}");
  for (const char* bad : {"{\"chnid\":64}", "{\"chnid\":-1}", "{}"})
    EXPECT_EQ(post("/2000", bad).out, kJsonError) << bad;
  EXPECT_EQ(post("/2000", "not json").out, "");
}

// ---- Adding and editing ----

TEST_F(CameraE2e, AddStoresTheRequestNotifiesAndLogs) {
  CameraRecord seed = zeroed<CameraRecord>();
  seed.id = 5;
  seed.retained = 7;
  seed.minorid = 4;
  write_camera(ZRDB_PATH, &seed, 5);
  env_.start_sim();
  const std::string long_user(70, 'u');
  EXPECT_EQ(post("/2004",
                 "{\"id\":5,\"name\":\"Gate\",\"enable\":1,\"camProtocol\":1,\"ipAddr\":\"10.0.0.9\","
                 "\"managePort\":8000,\"transmitProtocol\":3,\"userName\":\"" + long_user +
                     "\",\"password\":\"pw\",\"enableSubStream\":1,\"syncTime\":1,\"mainRtspPort\":554,"
                     "\"mainSourcePath\":\"/main\",\"subRtspPort\":555,\"subSourcePath\":\"/sub\","
                     "\"mainrtspurl\":\"rtsp://a\",\"subrtspurl\":\"rtsp://b\",\"mac_addr\":\"(null)\","
                     "\"poechannel\":2,\"physicalport\":3,\"ddns\":\"cam.example\",\"httpsPort\":443,"
                     "\"otherPoe\":1}")
                .out,
            kText + "OK");

  CameraRecord want = seed;
  want.enable = 1;
  want.camProtocol = 1;
  std::strcpy(want.ipAddr, "10.0.0.9");
  want.managePort = 8000;
  want.transmitProtocol = 3;
  std::memset(want.userName, 'u', 63);  // cut to leave the terminator
  std::strcpy(want.password, "pw");
  want.enableSubStream = 1;
  want.syncTime = 1;
  want.mainRtspPort = 554;
  std::strcpy(want.mainSourcePath, "/main");
  want.subRtspPort = 555;
  std::strcpy(want.subSourcePath, "/sub");
  std::strcpy(want.mainrtspurl, "rtsp://a");
  std::strcpy(want.subrtspurl, "rtsp://b");
  want.poechannel = 2;
  want.physicalport = 3;
  std::strcpy(want.ddns, "cam.example");
  want.httpsPort = 443;
  EXPECT_EQ(record_hex(stored_camera(5)), record_hex(want));
  EXPECT_EQ(stored_name(5), "Gate");

  const ChannelPoe poe{5, 1};
  const CameraLogDetail d = detail(901, "10.0.0.9", 8000, 6, "RTSP", "RTSP Over HTTPS", 1);
  EXPECT_EQ(journal(), (std::vector<std::string>{line(1201, int_hex(5)), line_of(1206, poe), log_line(210, 901, 6, &d)}));
}

TEST_F(CameraE2e, EditKeepsAccountRtspFieldsAndAbsentKeys) {
  CameraRecord seed = zeroed<CameraRecord>();
  seed.id = 2;
  std::strcpy(seed.userName, "old");
  std::strcpy(seed.password, "oldpw");
  std::strcpy(seed.mainSourcePath, "/keep");
  std::strcpy(seed.ddns, "keep.ddns");
  seed.httpsPort = 8443;
  seed.enable = 1;
  write_camera(ZRDB_PATH, &seed, 2);
  env_.start_sim();
  EXPECT_EQ(post("/2003",
                 "{\"id\":2,\"name\":\"N\",\"enable\":0,\"camProtocol\":0,\"ipAddr\":\"10.0.0.2\",\"managePort\":80,"
                 "\"transmitProtocol\":1,\"type\":1,\"userName\":\"new\",\"password\":\"newpw\","
                 "\"mainSourcePath\":\"/ignored\",\"poechannel\":9}")
                .out,
            kText + "OK");
  CameraRecord want = seed;
  want.enable = 0;
  std::strcpy(want.ipAddr, "10.0.0.2");
  want.managePort = 80;
  want.transmitProtocol = 1;
  EXPECT_EQ(record_hex(stored_camera(2)), record_hex(want));
  const CameraLogDetail d = detail(903, "10.0.0.2", 80, 3, "ONVIF", "TCP", 0);
  EXPECT_EQ(journal(), (std::vector<std::string>{line(1203, int_hex(2)), log_line(204, 903, 3, &d)}));

  // "type" 0 takes the account.
  EXPECT_EQ(post("/2003",
                 "{\"id\":2,\"name\":\"N\",\"enable\":1,\"camProtocol\":7,\"transmitProtocol\":0,\"type\":0,"
                 "\"userName\":\"new\",\"password\":\"newpw\"}")
                .out,
            kText + "OK");
  EXPECT_STREQ(stored_camera(2).userName, "new");
  EXPECT_STREQ(stored_camera(2).password, "newpw");
}

TEST_F(CameraE2e, AddAndEditRefuseInvalidChannelsSilently) {
  env_.start_sim();
  const char* base = "\"name\":\"n\",\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"1.2.3.4\",\"managePort\":80,"
                     "\"transmitProtocol\":0";
  const std::vector<std::string> bad = {
      "x",
      std::string("{\"id\":64,") + base + "}",
      std::string("{\"id\":-1,") + base + "}",
      "{\"id\":1,\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"1.2.3.4\",\"managePort\":80,\"transmitProtocol\":0}",
      "{\"id\":1,\"name\":\"n\",\"enable\":2,\"camProtocol\":0,\"ipAddr\":\"1.2.3.4\",\"managePort\":80,"
      "\"transmitProtocol\":0}",
      "{\"id\":1,\"name\":\"n\",\"enable\":1,\"camProtocol\":8,\"transmitProtocol\":0}",
      "{\"id\":1,\"name\":\"n\",\"enable\":1,\"camProtocol\":0,\"managePort\":80,\"transmitProtocol\":0}",
      "{\"id\":1,\"name\":\"n\",\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"\",\"managePort\":80,"
      "\"transmitProtocol\":0}",
      "{\"id\":1,\"name\":\"n\",\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"1.2.3.4\",\"managePort\":-1,"
      "\"transmitProtocol\":0}",
      "{\"id\":1,\"name\":\"n\",\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"1.2.3.4\",\"managePort\":80,"
      "\"transmitProtocol\":4}",
      // Any number the strict reader refuses, not only the checked ones.
      std::string("{\"id\":\"x\",") + base + "}",
      std::string("{\"id\":1,\"httpsPort\":\"x\",") + base + "}",
      std::string("{\"id\":1,\"syncTime\":1.5,") + base + "}",
      std::string("{\"id\":1,\"otherPoe\":\"x\",") + base + "}",
      std::string("{\"id\":1,\"type\":true,") + base + "}",
      std::string("{\"id\":1,\"poechannel\":\"x\",") + base + "}",
  };
  for (const std::string& body : bad) {
    EXPECT_EQ(post("/2004", body).out, "") << body;
    EXPECT_EQ(post("/2003", body).out, "") << body;
  }
  EXPECT_TRUE(journal().empty());
  EXPECT_EQ(record_hex(stored_camera(1)), record_hex(zeroed<CameraRecord>()));
}

// ---- Deleting ----

TEST_F(CameraE2e, DeleteClearsTheChannelItsMasksAndRenamesIt) {
  CameraRecord cam = zeroed<CameraRecord>();
  cam.id = 3;
  cam.enable = 1;
  cam.retained = 11;
  std::strcpy(cam.ipAddr, "10.0.0.3");
  write_camera(ZRDB_PATH, &cam, 3);
  set_name(3, "Old");
  PrivacyMaskRecord own = zeroed<PrivacyMaskRecord>();
  own.id = 3;
  for (int i = 0; i < PRIVACY_MASK_AREAS; ++i) own.area[i] = {i, 1, 10, 20, 30, 40, 460, 260, 5, {1, 2, 3, 4}};
  write_privacy_mask(ZRDB_PATH, &own, 3);
  PrivacyMaskRecord other = own;
  other.id = 9;  // a record of another channel stays as it is
  write_privacy_mask(ZRDB_PATH, &other, 4);
  env_.start_sim();

  EXPECT_EQ(post("/2005", "{\"chnid\":3}").out, kText + "OK");
  EXPECT_EQ(post("/2005", "{\"chnid\":4}").out, kText + "OK");
  EXPECT_EQ(post("/2005", "{\"chnid\":64}").out, kJsonError);

  CameraRecord want = zeroed<CameraRecord>();
  want.id = 3;
  want.removed = 1;
  want.retained = 11;
  EXPECT_EQ(record_hex(stored_camera(3)), record_hex(want));
  EXPECT_EQ(stored_name(3), "CAM4");
  PrivacyMaskRecord cleared = own;
  for (PrivacyMaskArea& a : cleared.area) a.enable = a.start_x = a.start_y = a.area_width = a.area_height = 0;
  PrivacyMaskRecord got = zeroed<PrivacyMaskRecord>();
  read_privacy_mask(ZRDB_PATH, &got, 3);
  EXPECT_EQ(record_hex(got), record_hex(cleared));
  read_privacy_mask(ZRDB_PATH, &got, 4);
  EXPECT_EQ(record_hex(got), record_hex(other));

  const ChannelPoe poe3{3, 0}, poe4{4, 0};
  EXPECT_EQ(journal(), (std::vector<std::string>{line(1202, int_hex(3)), line_of(1206, poe3), log_line(211, 902, 4, nullptr),
                                                 line(1202, int_hex(4)), line_of(1206, poe4), log_line(211, 902, 5, nullptr)}));
}

// ---- Search ----

TEST_F(CameraE2e, SearchListsFoundCamerasAndBlanksNonAsciiNames) {
  SearchResultEntry e = zeroed<SearchResultEntry>();
  std::strcpy(e.ipAddr, "192.168.1.101");
  std::strcpy(e.macAddr, "00:11");
  e.managePort = 80;
  e.protocol = 2;
  std::strcpy(e.vendor, "V");
  std::strcpy(e.sn, "SN1");
  std::strcpy(e.fwVersion, "F");
  std::strcpy(e.model, "M");
  e.modelId = 4;
  std::strcpy(e.netmask, "255.255.255.0");
  std::strcpy(e.dns, "1.1.1.1");
  std::strcpy(e.gateway, "192.168.1.1");
  std::strcpy(e.netif, "eth0");
  e.active_status = 1;
  std::strcpy(e.name, "Caf\xc3\xa9");
  std::strcpy(e.snReal, "R");
  env_.start_sim(reply_line(3200, e));
  EXPECT_EQ(post("/2006", "{\"protocol\":2,\"nic\":\"eth0\"}").out,
            kJson +
                "{\"resultString\":\"OK\",\"IPC\":[{\"ipAddr\":\"192.168.1.101\",\"managePort\":80,\"protocol\":2,"
                "\"macAddr\":\"00:11\",\"vendor\":\"V\",\"sn\":\"SN1\",\"fwVersion\":\"F\",\"model\":\"M\","
                "\"modelId\":4,\"netmask\":\"255.255.255.0\",\"dns\":\"1.1.1.1\",\"gateway\":\"192.168.1.1\","
                "\"netif\":\"eth0\",\"active_status\":1,\"name\":\"\",\"snReal\":\"R\"}]}");
  EXPECT_EQ(journal(), std::vector<std::string>{line(3200, int_hex(2))});

  // Nothing found: a zero-length reply.
  env_.start_sim("3200 reply\n");
  EXPECT_EQ(post("/2006", "{\"protocol\":0}").out, kJson + "{\"resultString\":\"NO\",\"IPC\":[]}");
  // A protocol outside 0..7 sends nothing and answers nothing.
  EXPECT_EQ(post("/2006", "{\"protocol\":8}").out, "");
  EXPECT_EQ(post("/2006", "{}").out, "");
  EXPECT_EQ(env_.journal_of(3200).size(), 2u);
}

// ---- Connection tests ----

TEST_F(CameraE2e, ConnectionTestAnswersByTheCameraResult) {
  const struct {
    int32_t code;
    const char* answer;
  } rows[] = {{0, "OK"}, {4, "OK"}, {1, "NETWORKERROR"}, {2, "USERERROR"}, {5, "BANDWIDTHERROR"}, {3, "UNKOWNERROR"}};
  for (const auto& row : rows) {
    env_.start_sim(reply_line(3202, row.code) + reply_line(3227, row.code));
    const std::string body = "{\"ipAddr\":\"10.0.0.7\",\"managePort\":81,\"userName\":\"u\",\"password\":\"p\",\"camProtocol\":2}";
    EXPECT_EQ(post("/2014", body).out, kText + row.answer) << row.code;
    EXPECT_EQ(post("/2015", body).out, kText + row.answer) << row.code;
  }
}

TEST_F(CameraE2e, ConnectionTestRecordsCutThePasswordAndRaiseLowPorts) {
  env_.start_sim();
  const std::string pass(40, 'p');
  const std::string body = "{\"ipAddr\":\"10.0.0.7\",\"managePort\":0,\"userName\":\"u\",\"password\":\"" + pass +
                           "\",\"camProtocol\":2}";
  EXPECT_EQ(post("/2014", body).out, kText + "OK");
  EXPECT_EQ(post("/2015", body).out, kText + "OK");
  ConnectionTest t = zeroed<ConnectionTest>();
  std::strcpy(t.ipAddr, "10.0.0.7");
  std::strcpy(t.userName, "u");
  std::memset(t.password, 'p', 32);
  t.camProtocol = 2;
  WebLoginTest w = zeroed<WebLoginTest>();
  std::strcpy(w.ipAddr, "10.0.0.7");
  w.managePort = 80;
  std::strcpy(w.userName, "u");
  std::memset(w.password, 'p', 32);
  w.camProtocol = 2;
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3202, t), line_of(3227, w)}));

  for (const char* bad : {"{\"ipAddr\":\"\",\"managePort\":80,\"camProtocol\":0}",
                          "{\"ipAddr\":\"1.2.3.4\",\"managePort\":-1,\"camProtocol\":0}",
                          "{\"ipAddr\":\"1.2.3.4\",\"managePort\":80,\"camProtocol\":8}",
                          "{\"managePort\":80,\"camProtocol\":0}"}) {
    EXPECT_EQ(post("/2014", bad).out, "") << bad;
    EXPECT_EQ(post("/2015", bad).out, "") << bad;
  }
  EXPECT_EQ(journal().size(), 2u);
}

// ---- Camera network changes ----

TEST_F(CameraE2e, NetworkChangeSendsTheRecordAndMapsResults) {
  const std::string body =
      "{\"macAddr\":\"00:11:22:33:44:55\",\"oldIpcAddr\":\"192.168.1.10\",\"newIpcAddr\":\"192.168.1.20\","
      "\"netmask\":\"255.255.255.0\",\"gateway\":\"192.168.1.1\",\"primaryDNS\":\"8.8.8.8\",\"port\":80,"
      "\"username\":\"admin\",\"password\":\"" + std::string(40, 'x') + "\",\"protocol\":2,\"netif\":\"eth0:12\"}";
  const struct {
    int32_t code;
    const char* result;
  } rows[] = {{0, "OK"}, {1, "NETWORK_ERR"}, {2, "INVALID_USER"}, {3, "UNKNOWN_ERR"}, {4, "PROTO_NOT_SUPPORT"}, {9, "ERROR"}};
  for (const auto& row : rows) {
    env_.start_sim(reply_line(3205, row.code));
    EXPECT_EQ(post("/2011", body).out, kJson + "{\"resultString\":\"" + row.result + "\"}");
  }
  CameraNetworkChange rec = zeroed<CameraNetworkChange>();
  std::strcpy(rec.macAddr, "00:11:22:33:44:55");
  std::strcpy(rec.oldIpcAddr, "192.168.1.10");
  std::strcpy(rec.newIpcAddr, "192.168.1.20");
  std::strcpy(rec.netmask, "255.255.255.0");
  std::strcpy(rec.gateway, "192.168.1.1");
  std::strcpy(rec.primaryDNS, "8.8.8.8");
  rec.port = 80;
  std::strcpy(rec.username, "admin");
  std::memset(rec.password, 'x', 32);
  rec.protocol = 2;
  std::strcpy(rec.netif, "eth0:");
  EXPECT_EQ(env_.journal_of(3205), std::vector<std::string>(6, record_hex(rec)));

  for (const std::string& bad : {std::string("{\"port\":80}"),
                                 std::string(body).replace(body.find("\"port\":80"), 9, "\"port\":65536"),
                                 std::string(body).replace(body.find("\"protocol\":2"), 12, "\"protocol\":8")})
    EXPECT_EQ(post("/2011", bad).out, "") << bad;
  EXPECT_EQ(env_.journal_of(3205).size(), 6u);
}

TEST_F(CameraE2e, BatchNetworkChangeSendsEveryEntryUpToTheCount) {
  env_.start_sim();
  EXPECT_EQ(post("/2032",
                 "{\"cnt\":9,\"oIPCAddr\":[{\"macAddr\":\"m1\",\"newIpcAddr\":\"10.0.0.1\",\"channelId\":1,"
                 "\"modifynum\":2},{\"macAddr\":\"m2\",\"channelId\":64},7,{\"macAddr\":\"m3\",\"channelId\":3}]}")
                .out,
            kText + "OK");
  BatchNetworkChange a = zeroed<BatchNetworkChange>();
  std::strcpy(a.change.macAddr, "m1");
  std::strcpy(a.change.newIpcAddr, "10.0.0.1");
  a.channelId = 1;
  a.modifynum = 2;
  // Entries that name no channel of the recorder are sent too, as channel -1.
  BatchNetworkChange b = zeroed<BatchNetworkChange>();
  std::strcpy(b.change.macAddr, "m2");
  b.channelId = -1;
  BatchNetworkChange c = zeroed<BatchNetworkChange>();
  c.channelId = -1;
  BatchNetworkChange d = zeroed<BatchNetworkChange>();
  std::strcpy(d.change.macAddr, "m3");
  d.channelId = 3;
  EXPECT_EQ(journal(), (std::vector<std::string>{line_of(3229, a), line_of(3229, b), line_of(3229, c), line_of(3229, d)}));
  // The count limits the entries taken; "x" is no channel 0.
  EXPECT_EQ(post("/2032", "{\"cnt\":1,\"oIPCAddr\":[{\"channelId\":\"x\"},{\"channelId\":2}]}").out, kText + "OK");
  EXPECT_EQ(env_.journal_of(3229).size(), 5u);
  EXPECT_EQ(env_.journal_of(3229).back(), record_hex(c));
  // A refused number in any entry sends none of them.
  for (const char* body : {"{\"cnt\":\"x\",\"oIPCAddr\":[{\"channelId\":1}]}",
                           "{\"cnt\":2,\"oIPCAddr\":[{\"channelId\":1},{\"channelId\":2,\"port\":\"x\"}]}",
                           "{\"cnt\":1,\"oIPCAddr\":[{\"channelId\":1,\"modifynum\":1.5}]}",
                           "{\"cnt\":1,\"oIPCAddr\":[{\"channelId\":1,\"protocol\":\"x\"}]}"})
    EXPECT_EQ(post("/2032", body).out, "") << body;
  EXPECT_EQ(env_.journal_of(3229).size(), 5u);
}

TEST_F(CameraE2e, BatchNetworkChangeStopsAt64Cameras) {
  env_.start_sim();
  std::string list;
  for (int i = 0; i < 70; ++i) list += std::string(i ? "," : "") + "{\"channelId\":" + std::to_string(i % 64) + "}";
  EXPECT_EQ(post("/2032", "{\"cnt\":100,\"oIPCAddr\":[" + list + "]}").out, kText + "OK");
  EXPECT_EQ(env_.journal_of(3229).size(), 64u);
}

TEST_F(CameraE2e, BatchResultsAreBoundedByTheReply) {
  BatchNetworkResult r = zeroed<BatchNetworkResult>();
  r.count = 70;
  std::strcpy(r.entry[0].mac, "m0");
  r.entry[0].result = 1;
  env_.start_sim(reply_line(3230, r));
  const std::string out = post("/2033", "").out;
  EXPECT_EQ(out.rfind(kJson + "{\"IPC\":[{\"mac\":\"m0\",\"result\":1},{\"mac\":\"\",\"result\":0},", 0), 0u);
  size_t n = 0;
  for (size_t at = out.find("\"mac\""); at != std::string::npos; at = out.find("\"mac\"", at + 1)) ++n;
  EXPECT_EQ(n, 64u);
  EXPECT_EQ(journal(), std::vector<std::string>{"3230 "});

  // A count larger than the entries the reply carries.
  r.count = 3;
  env_.start_sim(reply_bytes_line(3230, &r, 16 + 52));
  EXPECT_EQ(post("/2033", "").out, kJson + "{\"IPC\":[{\"mac\":\"m0\",\"result\":1}]}");
}

// ---- Month map ----

TEST_F(CameraE2e, MonthMapAsksForOneChannelAndMonth) {
  MonthMapReply reply = zeroed<MonthMapReply>();
  reply.word[1] = 1;
  reply.word[31] = 5;
  reply.word[0] = 9;  // not a day
  env_.start_sim(reply_line(3493, reply));
  EXPECT_EQ(post("/2013", "{\"time\":\"2026-02-14 10:00:00\",\"chnid\":63,\"streamType\":1}").out,
            kJson + "[1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1]");
  MonthMapQuery q = zeroed<MonthMapQuery>();
  q.streamType = 1;
  q.year = 2026;
  q.month = 2;
  std::memset(q.mask, '0', sizeof q.mask);
  q.mask[63] = '1';
  EXPECT_EQ(journal(), std::vector<std::string>{line_of(3493, q)});

  EXPECT_EQ(post("/2013", "{\"time\":\"2026-02-14 10:00:00\",\"chnid\":64,\"streamType\":0}").out, kJsonError);
  EXPECT_EQ(post("/2013", "{\"time\":\"soon\",\"chnid\":1,\"streamType\":0}").out, kJsonError);
  EXPECT_EQ(post("/2013", "{\"chnid\":1,\"streamType\":0}").out, "");
  EXPECT_EQ(journal().size(), 1u);
}

// ---- Small stored queries ----

TEST_F(CameraE2e, NamesPoeAndIpv6Queries) {
  env_.start_sim();
  set_param_int(ZRDB_PATH, "max_cameras", 3);
  set_name(0, "A");
  set_name(2, "C");
  EXPECT_EQ(post("/2012", "").out,
            kJson + "{\"IPC\":[{\"id\":0,\"name\":\"A\"},{\"id\":1,\"name\":\"\"},{\"id\":2,\"name\":\"C\"}]}");
  EXPECT_EQ(post("/2016", "").out, kText + "poe123");
  EXPECT_EQ(post("/2018", "").out, kText + "0");
  set_param_value(ZRDB_PATH, "poepsd", "secret9");
  set_param_int(ZRDB_PATH, "max_poe_num", 8);
  EXPECT_EQ(post("/2016", "").out, kText + "secret9");
  EXPECT_EQ(post("/2018", "").out, kText + "8");

  env_.write_file("/proc/net/if_inet6", "00000000000000000000000000000001 01 80 10 80       lo\n");
  EXPECT_EQ(post("/2034", "").out, kText + "0");
  env_.write_file("/proc/net/if_inet6",
                  "00000000000000000000000000000001 01 80 10 80       lo\n"
                  "fe800000000000000211223344556677 02 40 20 80     eth0\n");
  EXPECT_EQ(post("/2034", "").out, kText + "1");
  EXPECT_TRUE(journal().empty());
}

// ---- Account and transport ----

TEST_F(CameraE2e, AccountChangeStoresCutNamesAndRefusesBadIds) {
  CameraRecord cam = zeroed<CameraRecord>();
  cam.id = 4;
  std::strcpy(cam.ipAddr, "10.0.0.4");
  cam.managePort = 80;
  cam.camProtocol = 2;
  write_camera(ZRDB_PATH, &cam, 4);
  env_.start_sim();
  for (const char* bad : {"{\"id\":64,\"userName\":\"a\",\"password\":\"b\"}", "{\"id\":-1,\"userName\":\"a\",\"password\":\"b\"}",
                          "{\"id\":4,\"userName\":\"\",\"password\":\"b\"}", "{\"id\":4,\"userName\":\"a\"}"})
    EXPECT_EQ(post("/2017", bad).out, "") << bad;
  EXPECT_TRUE(journal().empty());

  EXPECT_EQ(post("/2017", "{\"id\":4,\"userName\":\"" + std::string(80, 'n') + "\",\"password\":\"b\"}").out, kText + "OK");
  CameraRecord want = cam;
  std::memset(want.userName, 'n', 63);
  std::strcpy(want.password, "b");
  EXPECT_EQ(record_hex(stored_camera(4)), record_hex(want));
  const CameraLogDetail d = detail(903, "10.0.0.4", 80, 5, "ZRSF", "UDP", 0);
  EXPECT_EQ(journal(), (std::vector<std::string>{line(1203, int_hex(4)), log_line(204, 903, 5, &d)}));
}

TEST_F(CameraE2e, TransportChangeTakesOnlyPresentKeys) {
  CameraRecord cam = zeroed<CameraRecord>();
  cam.id = 1;
  cam.transmitProtocol = 3;
  cam.httpsPort = 443;
  write_camera(ZRDB_PATH, &cam, 1);
  env_.start_sim();
  EXPECT_EQ(post("/2031", "{\"id\":70,\"syncTime\":1}").out, "");
  EXPECT_EQ(post("/2031", "{\"syncTime\":1}").out, "");
  EXPECT_EQ(post("/2031", "{\"id\":1,\"syncTime\":1}").out, kText + "OK");
  CameraRecord want = cam;
  want.syncTime = 1;
  EXPECT_EQ(record_hex(stored_camera(1)), record_hex(want));
  const CameraLogDetail d = detail(903, "", 0, 2, "ONVIF", "RTSP Over HTTPS", 1);
  EXPECT_EQ(journal(), (std::vector<std::string>{line(1203, int_hex(1)), log_line(204, 903, 2, &d)}));
}

// ---- Models ----

TEST_F(CameraE2e, ChannelModelsAnswerEveryEntry) {
  std::vector<ChannelModelEntry> all(64, zeroed<ChannelModelEntry>());
  for (int i = 0; i < 64; ++i) all[i].chnid = i;
  std::strcpy(all[0].ipaddr, "10.0.0.1");
  std::strcpy(all[0].model, "M");
  std::strcpy(all[0].fwversion, "F");
  env_.start_sim(reply_bytes_line(2505, all.data(), all.size() * sizeof all[0]));
  const std::string out = post("/2029", "").out;
  EXPECT_EQ(out.rfind(kJson + "{\"IPC\":[{\"chnid\":0,\"ipaddr\":\"10.0.0.1\",\"model\":\"M\",\"fwversion\":\"F\"},"
                    "{\"chnid\":1,\"ipaddr\":\"\",\"model\":\"\",\"fwversion\":\"\"},", 0), 0u);
  EXPECT_NE(out.find("{\"chnid\":63,\"ipaddr\":\"\",\"model\":\"\",\"fwversion\":\"\"}]}"), std::string::npos);
  EXPECT_EQ(journal(), std::vector<std::string>{"2505 "});
}

TEST_F(CameraE2e, ProtocolTableIsSeededAndHidesPrivateModelsOnce) {
  env_.start_sim();
  IpcProtocolRecord p{0, "ONVIF", 1, 1, 0};
  write_ipc_protocol(ZRDB_PATH, &p, 0);
  IpcProtocolRecord q{2, "ZRSF", 3, 1, 1};
  write_ipc_protocol(ZRDB_PATH, &q, 2);
  IpcModelRecord m{5, 2, "IPC-X", 1, 0};
  write_ipc_model(ZRDB_PATH, &m, 5);
  EXPECT_EQ(post("/2008", "").out,
            kJson + "{\"protocols\":[{\"id\":0,\"name\":\"ONVIF\",\"protocolFunction\":1,\"enable\":1,"
                    "\"display_model\":0,\"models\":[]},{\"id\":2,\"name\":\"ZRSF\",\"protocolFunction\":3,"
                    "\"enable\":1,\"display_model\":0,\"models\":[{\"id\":5,\"name\":\"IPC-X\",\"alarm_type\":1,"
                    "\"default_model\":0}]}]}");
  IpcProtocolRecord got = zeroed<IpcProtocolRecord>();
  read_ipc_protocol(ZRDB_PATH, &got, 2);
  EXPECT_EQ(got.display_model, 0);

  // An empty store gets the factory table.
  zrdb_delete_record(ZRDB_PATH, "ipc_protocol", 0);
  zrdb_delete_record(ZRDB_PATH, "ipc_protocol", 2);
  const std::string out = post("/2008", "").out;
  EXPECT_NE(out.find("{\"id\":1,\"name\":\"RTSP\""), std::string::npos) << out;
}

TEST_F(CameraE2e, InfoAnswersTheModelsProtocolOnAFreshStore) {
  env_.start_sim();
  CameraRecord cam = zeroed<CameraRecord>();
  cam.id = 1;
  cam.camProtocol = 3;  // the factory table's model 3 belongs to protocol 2
  write_camera(ZRDB_PATH, &cam, 1);
  const std::string out = post("/2000", "{\"chnid\":1}").out;
  EXPECT_NE(out.find("\"protocol\":2,\"model\":3,"), std::string::npos) << out;
  // "/2008" then lists the same table.
  EXPECT_NE(post("/2008", "").out.find("{\"id\":3,\"name\":\"IPC-Dome\""), std::string::npos);
}

TEST_F(CameraE2e, FailedStoreWriteIsNeverAnsweredOk) {
  env_.start_sim();
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));  // not a database
  const std::string add =
      "\"id\":2,\"name\":\"Gate\",\"enable\":1,\"camProtocol\":0,\"ipAddr\":\"10.0.0.2\",\"managePort\":80,"
      "\"transmitProtocol\":0";
  struct Row {
    const char* name;
    std::string body;
    std::string reply;
  } rows[] = {
      {"/2003", "{" + add + "}", kTextError},
      {"/2004", "{" + add + "}", kTextError},
      {"/2005", "{\"chnid\":2}", kJsonError},
      {"/2017", "{\"id\":2,\"userName\":\"u\",\"password\":\"p\"}", kTextError},
      {"/2031", "{\"id\":2,\"transmitProtocol\":1}", kTextError},
      {"/2048", "{\"channel\":2,\"exposure\":[{\"exposureTime\":1,\"gainLevel\":2}]}", kJsonError},
  };
  for (const Row& r : rows) {
    const size_t before = journal().size();
    EXPECT_EQ(post(r.name, r.body).out, r.reply) << r.name;
    EXPECT_EQ(journal().size(), before) << r.name;  // no notification, no log entry
  }
}

// ---- Missing and empty replies ----

TEST_F(CameraE2e, EveryWaitingRequestAnswersItsErrorWhenNoReplyComes) {
  const std::string test = "{\"ipAddr\":\"1.2.3.4\",\"managePort\":80,\"camProtocol\":0}";
  const std::string net =
      "{\"macAddr\":\"m\",\"oldIpcAddr\":\"a\",\"newIpcAddr\":\"b\",\"netmask\":\"n\",\"gateway\":\"g\","
      "\"primaryDNS\":\"d\",\"port\":80,\"username\":\"u\",\"password\":\"p\",\"protocol\":0}";
  const struct {
    const char* path;
    std::string body;
    int req;
    std::string error;
  } rows[] = {
      {"/2001", "", 3201, kJsonError},
      {"/2007", "", 3201, kJsonError},
      {"/2006", "{\"protocol\":1}", 3200, kJsonError},
      {"/2011", net, 3205, kJsonError},
      {"/2033", "", 3230, kJsonError},
      {"/2014", test, 3202, kTextError},
      {"/2015", test, 3227, kTextError},
      {"/2013", "{\"time\":\"2026-01-01 00:00:00\",\"chnid\":0,\"streamType\":0}", 3493, kJsonError},
      {"/2029", "", 2505, kJsonError},
  };
  std::string script;
  for (const auto& row : rows) script += std::to_string(row.req) + " none\n";
  env_.start_sim(script);
  for (const auto& row : rows) {
    EXPECT_EQ(post(row.path, row.body, "200").out, row.error) << row.path;
    EXPECT_EQ(env_.journal_of(row.req).empty(), false) << row.path;
  }
}

TEST_F(CameraE2e, ShortRepliesAnswerTheErrorOnce) {
  env_.start_sim("3202 reply\n3205 reply hex=0100\n3493 reply hex=01000000\n");
  EXPECT_EQ(post("/2014", "{\"ipAddr\":\"1.2.3.4\",\"managePort\":80,\"camProtocol\":0}").out, kTextError);
  EXPECT_EQ(post("/2011",
                 "{\"macAddr\":\"m\",\"oldIpcAddr\":\"a\",\"newIpcAddr\":\"b\",\"netmask\":\"n\",\"gateway\":\"g\","
                 "\"primaryDNS\":\"d\",\"port\":80,\"username\":\"u\",\"password\":\"p\",\"protocol\":0}")
                .out,
            kJsonError);
  EXPECT_EQ(post("/2013", "{\"time\":\"2026-01-01 00:00:00\",\"chnid\":0,\"streamType\":0}").out, kJsonError);
}
