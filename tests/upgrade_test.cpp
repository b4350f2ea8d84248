// Camera firmware from an uploaded image and the online upgrade of the
// recorder and its cameras, end to end: replies, the messages the core
// daemon receives in order, the image files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "account_test_util.h"
#include "core/cgi_util.h"

namespace {

const std::string kCgiError = kTextHeader + "CGI ERROR";
const std::string kJsonError = kJsonHeader + "{status:\"CGI ERROR\"}";
const char kCameraImage[] = "/dev/shm/updateIPCFM.bin";
const char kNvrImage[] = "/dev/shm/updateFM.bin";
const std::string kBoundary = "----nvr-upgrade-test";

std::string int_hex(int32_t v) { return to_hex(&v, sizeof v); }

std::string log_line(long long sub_type) {
  const OperationLogInfo info = expected_log_record(sub_type, 900, 0);
  return "3485 " + record_hex(info);
}

// A fixed text field of the given size, zero-padded, as hex.
std::string field_hex(const std::string& text, size_t size) {
  std::string f(size, '\0');
  f.replace(0, text.size(), text);
  return to_hex(f.data(), f.size());
}

std::string version_hex(int32_t state, int32_t size, const std::string& version, const std::string& url,
                        const std::string& description) {
  return int_hex(state) + int_hex(size) + field_hex(version, 64) + field_hex(url, 128) + field_hex(description, 128);
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class UpgradeTest : public AccountsTest {
 protected:
  CgiResult send(const std::string& path, const std::string& body, const std::string& wait_ms = "") {
    CgiRequest r = post(path, body, "");
    if (!wait_ms.empty()) r.env["NVR_IPC_WAIT_MS"] = wait_ms;
    return env_.run(r);
  }
  void restart_sim(const std::string& script) {
    env_.stop_sim();
    unlink(env_.path("/journal.txt").c_str());
    env_.start_sim(script);
  }
  CgiResult upload(const std::string& parts) {
    CgiRequest r;
    r.method = "POST";
    r.path_info = "/6082";
    r.query = "reset";
    r.content_type = "multipart/form-data; boundary=" + kBoundary;
    r.body = parts + "--" + kBoundary + "--\r\n";
    return env_.run(r);
  }
  static std::string file_part(const std::string& field, const std::string& content) {
    return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + field +
           "\"; filename=\"ipc.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n";
  }
  static std::string text_part(const std::string& field, const std::string& value) {
    return "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + field + "\"\r\n\r\n" + value + "\r\n";
  }
  bool no_upload_left() {
    DIR* d = opendir(env_.path("/tmp").c_str());
    if (!d) return true;
    bool none = true;
    while (dirent* e = readdir(d)) none = none && std::strncmp(e->d_name, "cgic", 4) != 0;
    closedir(d);
    return none;
  }
  void SetUp() override {
    AccountsTest::SetUp();
    mkdir(env_.path("/dev").c_str(), 0755);
    mkdir(env_.path("/dev/shm").c_str(), 0755);
  }
};

TEST_F(UpgradeTest, CameraImageUploadIsKept) {
  // No image yet and none uploaded.
  EXPECT_EQ(upload(text_part("note", "x")).out, kTextHeader + "Error");
  const std::string image = std::string("IPCFW\0\r\n--\x01\xff", 12) + std::string(70000, 'i');
  EXPECT_EQ(upload(text_part("note", "x") + file_part("file", image)).out, kTextHeader + "OK");
  EXPECT_EQ(env_.read_file(kCameraImage), image);
  EXPECT_TRUE(no_upload_left());
  // Whatever the page calls its file field; a later image replaces it.
  EXPECT_EQ(upload(file_part("upfile", "second")).out, kTextHeader + "OK");
  EXPECT_EQ(env_.read_file(kCameraImage), "second");
  // An image in place answers "OK" without an upload.
  EXPECT_EQ(upload(text_part("note", "x")).out, kTextHeader + "OK");
  // An empty file is no image: refused, and the one in place stays.
  EXPECT_EQ(upload(file_part("file", "")).out, kTextHeader + "Error");
  EXPECT_EQ(env_.read_file(kCameraImage), "second");
  EXPECT_TRUE(no_upload_left());
  EXPECT_TRUE(env_.journal().empty());
  // Never anything but a regular file at the image's place.
  unlink(env_.path(kCameraImage).c_str());
  env_.write_file("/mnt/nand/keep.txt", "keep");
  ASSERT_EQ(symlink(env_.path("/mnt/nand/keep.txt").c_str(), env_.path(kCameraImage).c_str()), 0);
  EXPECT_EQ(upload(file_part("file", "evil")).out, kTextHeader + "Error");
  EXPECT_EQ(env_.read_file("/mnt/nand/keep.txt"), "keep");
  EXPECT_TRUE(no_upload_left());
}

TEST_F(UpgradeTest, CameraUpgradeSendsChannelResetAndImage) {
  EXPECT_EQ(send("/6083", "{\"chnid\":5,\"reset\":1}").out, kJsonHeader + "{\"chnid\":5,\"status\":0}");
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"3350 " + int_hex(5) + int_hex(1) + field_hex(kCameraImage, 256)});
  EXPECT_EQ(send("/6083", "{\"chnid\":\"63\",\"reset\":0}").out, kJsonHeader + "{\"chnid\":63,\"status\":0}");
  // Ids and flags are checked before anything is sent.
  for (const char* bad : {"{\"chnid\":64,\"reset\":0}", "{\"chnid\":-1,\"reset\":0}", "{\"chnid\":\"x\",\"reset\":0}",
                          "{\"reset\":0}", "{\"chnid\":1}", "{\"chnid\":1,\"reset\":2}", "{\"chnid\":1,\"reset\":\"x\"}",
                          "not json", ""})
    EXPECT_EQ(send("/6083", bad).out, kJsonError) << bad;
  EXPECT_EQ(env_.journal_of(3350).size(), 2u);
  // The core daemon's status; a short reply and no reply.
  restart_sim("3350 reply hex=0300000007000000\n");
  EXPECT_EQ(send("/6083", "{\"chnid\":3,\"reset\":0}").out, kJsonHeader + "{\"chnid\":3,\"status\":7}");
  restart_sim("3350 reply hex=03000000\n");
  EXPECT_EQ(send("/6083", "{\"chnid\":3,\"reset\":0}").out, kCgiError);
  restart_sim("3350 none\n");
  EXPECT_EQ(send("/6083", "{\"chnid\":3,\"reset\":0}", "300").out, kCgiError);
}

TEST_F(UpgradeTest, StoppingRemovesTheCameraImage) {
  env_.write_file(kCameraImage, "image");
  EXPECT_EQ(send("/6084", "").out, kTextHeader + "OK");
  EXPECT_FALSE(env_.exists(kCameraImage));
  EXPECT_EQ(send("/6084", "").out, kTextHeader + "OK");
  EXPECT_EQ(env_.journal(), (std::vector<std::string>{"3351 ", "3351 "}));
}

TEST_F(UpgradeTest, OnlineDownloadIntoTheImageOfItsType) {
  const std::string url = "http://update.example.net/nvr.bin";
  EXPECT_EQ(send("/6085", "{\"type\":0,\"url\":\"" + url + "\"}").out, kJsonHeader + "{\"res\":0}");
  EXPECT_EQ(env_.journal(), (std::vector<std::string>{"1721 ", "1716 " + field_hex(url, 128) + field_hex(kNvrImage, 128)}));
  EXPECT_EQ(env_.read_file(kNvrImage), "firmware image from " + url + "\n");
  // A camera image; an address of 127 characters is the longest taken whole.
  const std::string longest = "http://a/" + std::string(118, 'x');
  ASSERT_EQ(longest.size(), 127u);
  EXPECT_EQ(send("/6085", "{\"type\":1,\"url\":\"" + longest + "\"}").out, kJsonHeader + "{\"res\":0}");
  EXPECT_EQ(env_.journal_of(1716).back(), field_hex(longest, 128) + field_hex(kCameraImage, 128));
  EXPECT_TRUE(env_.exists(kCameraImage));
  // Refused before anything is sent: a longer address (never cut), no
  // address, another type.
  for (const std::string& bad : {"{\"type\":1,\"url\":\"" + longest + "y\"}", std::string("{\"type\":1}"),
                                std::string("{\"type\":1,\"url\":\"\"}"), std::string("{\"type\":1,\"url\":5}"),
                                std::string("{\"type\":2,\"url\":\"http://a\"}"), std::string("{\"url\":\"http://a\"}"),
                                std::string("{\"type\":\"x\",\"url\":\"http://a\"}"), std::string("nonsense")})
    EXPECT_EQ(send("/6085", bad).out, kJsonError) << bad;
  EXPECT_EQ(env_.journal().size(), 4u);
  restart_sim("1716 reply hex=05000000\n");
  EXPECT_EQ(send("/6085", "{\"type\":0,\"url\":\"http://a\"}").out, kJsonHeader + "{\"res\":5}");
  restart_sim("1716 reply hex=0500\n");
  EXPECT_EQ(send("/6085", "{\"type\":0,\"url\":\"http://a\"}").out, kCgiError);
  restart_sim("1716 none\n");
  EXPECT_EQ(send("/6085", "{\"type\":0,\"url\":\"http://a\"}", "300").out, kCgiError);
  EXPECT_EQ(env_.journal(), (std::vector<std::string>{"1721 ", "1716 " + field_hex("http://a", 128) + field_hex(kNvrImage, 128)}));
}

TEST_F(UpgradeTest, DeletingADownload) {
  env_.write_file(kNvrImage, "image");
  EXPECT_EQ(send("/6086", "{\"type\":0}").out, kJsonHeader + "{\"res\":0}");
  EXPECT_FALSE(env_.exists(kNvrImage));
  EXPECT_EQ(send("/6086", "{\"type\":0}").out, kJsonHeader + "{\"res\":0}");
  EXPECT_TRUE(env_.journal().empty());
  // A recorder image that cannot be removed is no success.
  mkdir(env_.path(kNvrImage).c_str(), 0755);
  env_.write_file(std::string(kNvrImage) + "/part", "x");
  EXPECT_EQ(send("/6086", "{\"type\":0}").out, kJsonHeader + "{\"res\":-1}");
  // The camera image goes through the core daemon.
  env_.write_file(kCameraImage, "image");
  EXPECT_EQ(send("/6086", "{\"type\":1}").out, kJsonHeader + "{\"res\":0}");
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"1717 "});
  EXPECT_FALSE(env_.exists(kCameraImage));
  for (const char* bad : {"{\"type\":2}", "{\"type\":-1}", "{}", "{\"type\":\"x\"}", "[1]", ""})
    EXPECT_EQ(send("/6086", bad).out, kJsonError) << bad;
  restart_sim("1717 reply hex=feffffff\n");
  EXPECT_EQ(send("/6086", "{\"type\":1}").out, kJsonHeader + "{\"res\":-2}");
  restart_sim("1717 none\n");
  EXPECT_EQ(send("/6086", "{\"type\":1}", "300").out, kCgiError);
}

TEST_F(UpgradeTest, RecorderVersionCheck) {
  EXPECT_EQ(send("/6087", "").out,
            kJsonHeader +
                "{\"state\":1,\"fileSize\":48234496,\"softversion\":\"7x.7.1.2\","
                "\"url\":\"http://update.example.net/nvr/7x.7.1.2/update.bin\",\"description\":\"Recording stability fixes\"}");
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"1715 "});
  // Texts that fill their fields are read no further.
  restart_sim("1715 reply hex=" + version_hex(0, 7, "", "", "") .substr(0, 16) + std::string(2 * 320, '4') + "\n");
  EXPECT_EQ(send("/6087", "").out, kJsonHeader + "{\"state\":0,\"fileSize\":7,\"softversion\":\"" + std::string(64, 'D') +
                                       "\",\"url\":\"" + std::string(128, 'D') + "\",\"description\":\"" +
                                       std::string(128, 'D') + "\"}");
  restart_sim("1715 reply hex=" + version_hex(1, 2, "v", "u", "d").substr(0, 2 * 327) + "\n");
  EXPECT_EQ(send("/6087", "").out, kCgiError);
  restart_sim("1715 none\n");
  EXPECT_EQ(send("/6087", "", "300").out, kCgiError);
}

TEST_F(UpgradeTest, RecorderInstallRebootsOnlyAfterSuccess) {
  const std::vector<std::string> success = {"1721 ", log_line(203), "1713 " + int_hex(0), log_line(200), "1703 "};
  EXPECT_EQ(send("/6088", "").out, kJsonHeader + "{\"res\":0}");
  EXPECT_EQ(env_.journal(), success);
  // A result of 1 is success as well.
  restart_sim("1713 reply hex=01000000\n");
  EXPECT_EQ(send("/6088", "").out, kJsonHeader + "{\"res\":0}");
  EXPECT_EQ(env_.journal(), success);
  const std::vector<std::string> failed = {"1721 ", log_line(203), "1713 " + int_hex(0)};
  restart_sim("1713 reply hex=07000000\n");
  EXPECT_EQ(send("/6088", "").out, kJsonHeader + "{\"res\":7}");
  EXPECT_EQ(env_.journal(), failed);
  restart_sim("1713 reply hex=0700\n");
  EXPECT_EQ(send("/6088", "").out, kJsonHeader + "{\"res\":-1}");
  EXPECT_EQ(env_.journal(), failed);
  // No reply is an error, never the {"res":0} of success.
  restart_sim("1713 none\n");
  EXPECT_EQ(send("/6088", "", "300").out, kCgiError);
  EXPECT_EQ(env_.journal(), failed);
}

TEST_F(UpgradeTest, CameraVersionCheckMaskAndRecords) {
  const CgiResult r = send("/6089", "{\"ch\":\"1011\"}");
  ASSERT_EQ(r.out.rfind(kJsonHeader + "{\"check\":[{\"state\":1,\"fileSize\":12582912,\"softversion\":\"V5.2.0\","
                                      "\"url\":\"http://update.example.net/ipc/ch0/V5.2.0.bin\","
                                      "\"description\":\"Night image improvements\"},"
                                      "{\"state\":0,\"fileSize\":0,\"softversion\":\"\",\"url\":\"\",\"description\":\"\"},"
                                      "{\"state\":1,",
                          0),
            0u)
      << r.out;
  EXPECT_EQ(count_of(r.out, "\"state\":"), 64u);
  EXPECT_EQ(count_of(r.out, "\"state\":1"), 3u);
  const uint64_t mask = 0xd;
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"3365 " + to_hex(&mask, sizeof mask)});
  // A character other than '0' and '1' ends the list; at most 64 positions.
  const std::vector<std::pair<std::string, uint64_t>> rows = {
      {"11x1", 0x3}, {"", 0}, {std::string(64, '1') + "1", ~0ULL}, {std::string(63, '0') + "1", 1ULL << 63}, {"01 1", 2}};
  for (const auto& row : rows) {
    const size_t before = env_.journal().size();
    EXPECT_EQ(count_of(send("/6089", "{\"ch\":\"" + row.first + "\"}").out, "\"state\":"), 64u) << row.first;
    const std::vector<std::string> j = env_.journal();
    EXPECT_EQ(std::vector<std::string>(j.begin() + static_cast<long>(before), j.end()),
              std::vector<std::string>{"3365 " + to_hex(&row.second, sizeof row.second)})
        << row.first;
  }
  const size_t sent = env_.journal().size();
  for (const char* bad : {"{}", "{\"ch\":11}", "oops"}) EXPECT_EQ(send("/6089", bad).out, kJsonError) << bad;
  EXPECT_EQ(env_.journal().size(), sent);
  // Fewer than 64 records, no reply.
  restart_sim("3365 reply hex=" + version_hex(1, 1, "v", "u", "d") + "\n");
  EXPECT_EQ(send("/6089", "{\"ch\":\"1\"}").out, kCgiError);
  restart_sim("3365 none\n");
  EXPECT_EQ(send("/6089", "{\"ch\":\"1\"}", "300").out, kCgiError);
}

}  // namespace
