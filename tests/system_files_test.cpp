// Access filter, diagnostic package, alarm audio files, the OEM package,
// batch camera addresses and the disabled download, end to end.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "account_test_util.h"
#include "core/archive.h"
#include "core/camera_record.h"
#include "core/cgi_util.h"
#include "core/text_codecs.h"

namespace {

uint32_t crc32_of(const std::string& s) {
  uint32_t c = 0xffffffffu;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = c & 1 ? (c >> 1) ^ 0xedb88320u : c >> 1;
  }
  return ~c;
}

void put16(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xff));
  s->push_back(static_cast<char>(v >> 8 & 0xff));
}
void put32(std::string* s, uint32_t v) {
  put16(s, v & 0xffff);
  put16(s, v >> 16);
}

struct ZipEntry {
  std::string name;
  std::string data;
  bool symlink = false;
  uint8_t made_by = 3;  // the system the entry was made on: 3 Unix, 2 VMS, 5 Atari, 16 BeOS, 30 AtheOS
  bool bad_crc = false;
};

// A ZIP archive of stored (uncompressed) entries; the end record claims
// `claimed` entries when that is 0 or more.
std::string make_zip(const std::vector<ZipEntry>& entries, int claimed = -1) {
  std::string out, central;
  for (const ZipEntry& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(out.size()), crc = crc32_of(e.data) ^ (e.bad_crc ? 1u : 0u);
    put32(&out, 0x04034b50);
    put16(&out, 10);
    put16(&out, 0);
    put16(&out, 0);
    put32(&out, 0);
    put32(&out, crc);
    put32(&out, static_cast<uint32_t>(e.data.size()));
    put32(&out, static_cast<uint32_t>(e.data.size()));
    put16(&out, static_cast<uint32_t>(e.name.size()));
    put16(&out, 0);
    out += e.name + e.data;
    put32(&central, 0x02014b50);
    put16(&central, static_cast<uint32_t>(e.made_by) << 8 | 0x1e);
    put16(&central, 10);
    put16(&central, 0);
    put16(&central, 0);
    put32(&central, 0);
    put32(&central, crc);
    put32(&central, static_cast<uint32_t>(e.data.size()));
    put32(&central, static_cast<uint32_t>(e.data.size()));
    put16(&central, static_cast<uint32_t>(e.name.size()));
    put16(&central, 0);
    put16(&central, 0);
    put16(&central, 0);
    put16(&central, 0);
    put32(&central, (e.symlink ? 0120777u : 0100644u) << 16);
    put32(&central, offset);
    central += e.name;
  }
  const uint32_t cd_at = static_cast<uint32_t>(out.size());
  out += central;
  put32(&out, 0x06054b50);
  put16(&out, 0);
  put16(&out, 0);
  const uint32_t count = claimed >= 0 ? static_cast<uint32_t>(claimed) : static_cast<uint32_t>(entries.size());
  put16(&out, count);
  put16(&out, count);
  put32(&out, static_cast<uint32_t>(central.size()));
  put32(&out, cd_at);
  put16(&out, 0);
  return out;
}

// The OEM package: Base64 text of the encrypted archive.
std::string oem_package(const std::string& zip, const std::string& key) {
  std::vector<uint8_t> cipher;
  aesEncryWeb(reinterpret_cast<const uint8_t*>(zip.data()), zip.size(), key, &cipher);
  std::string b64;
  static const char kAlpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < cipher.size(); i += 3) {
    const uint32_t v = cipher[i] << 16 | (i + 1 < cipher.size() ? cipher[i + 1] << 8 : 0) |
                       (i + 2 < cipher.size() ? cipher[i + 2] : 0);
    b64 += kAlpha[v >> 18 & 63];
    b64 += kAlpha[v >> 12 & 63];
    b64 += i + 1 < cipher.size() ? kAlpha[v >> 6 & 63] : '=';
    b64 += i + 2 < cipher.size() ? kAlpha[v & 63] : '=';
    if (i % 48 == 45) b64 += '\n';
  }
  return b64 + "\n";
}

std::string json_err() { return kJsonHeader + "{status:\"CGI ERROR\"}"; }

class SystemFilesTest : public AccountsTest {
 protected:
  CgiResult get_req(const std::string& path, const std::string& query, const std::string& wait_ms = "") {
    CgiRequest r = get(path, query, "");
    if (!wait_ms.empty()) r.env["NVR_IPC_WAIT_MS"] = wait_ms;
    return env_.run(r);
  }
  CgiResult post_req(const std::string& path, const std::string& body, const std::string& wait_ms = "") {
    CgiRequest r = post(path, body, "");
    if (!wait_ms.empty()) r.env["NVR_IPC_WAIT_MS"] = wait_ms;
    return env_.run(r);
  }
  // A multipart upload of one file, as the pages send it.
  CgiResult upload_req(const std::string& path, const std::string& file_name, const std::string& content,
                       const std::string& query = "") {
    CgiRequest r = file_upload(path, file_name, content, query);
    return env_.run(r);
  }
  void restart_sim(const std::string& script) {
    env_.stop_sim();
    env_.start_sim(script);
  }
  std::string filter_record() {
    std::string rec(3604, '\0');
    zrdb_read_record(ZRDB_PATH, "access_filter", 0, &rec[0], rec.size());
    return rec;
  }
};

TEST_F(SystemFilesTest, AccessFilterRoundTrip) {
  const std::string body =
      "{\"filterEnable\":1,\"filterType\":0,\"filterList\":[{\"address_type\":0,\"address\":\"192.168.1.0\"},"
      "{\"address_type\":1,\"address\":\"fe80::1\"}]}";
  EXPECT_EQ(post_req("/6301", body).out, kTextHeader + "OK");
  EXPECT_EQ(env_.journal_of(1722), std::vector<std::string>{""});
  EXPECT_EQ(get_param_int(ZRDB_PATH, "access_filter_enable", -1), 1);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "access_filter_type", -1), 0);
  const CgiResult got = post_req("/6300", "");
  EXPECT_EQ(got.out, kJsonHeader + body);
  // The listing posted back changes nothing.
  const std::string before = filter_record();
  EXPECT_EQ(post_req("/6301", got.out.substr(kJsonHeader.size())).out, kTextHeader + "OK");
  EXPECT_EQ(filter_record(), before);
  // Absent switches keep their values; an absent list is refused, not erased.
  EXPECT_EQ(post_req("/6301", "{\"filterList\":[{\"address_type\":0,\"address\":\"10.0.0.1\"}]}").out, kTextHeader + "OK");
  EXPECT_EQ(get_param_int(ZRDB_PATH, "access_filter_enable", -1), 1);
  const std::string one = filter_record();
  EXPECT_EQ(post_req("/6301", "{\"filterEnable\":0}").out, "");
  EXPECT_EQ(post_req("/6301", "{\"filterEnable\":\"x\",\"filterList\":[]}").out, "");
  EXPECT_EQ(filter_record(), one);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "access_filter_enable", -1), 1);
  // More than 100 entries: the first 100.
  std::string many = "{\"filterList\":[";
  for (int i = 0; i < 120; ++i) many += std::string(i ? "," : "") + "{\"address_type\":0,\"address\":\"10.0.0." + std::to_string(i) + "\"}";
  EXPECT_EQ(post_req("/6301", many + "]}").out, kTextHeader + "OK");
  const std::string list = post_req("/6300", "").out;
  EXPECT_NE(list.find("\"10.0.0.99\"}]}"), std::string::npos);
  EXPECT_EQ(list.find("\"10.0.0.100\""), std::string::npos);
}

TEST_F(SystemFilesTest, DiagnosticPackageExportAndDownload) {
  CgiResult r = post_req("/6310", "");
  EXPECT_EQ(r.out, kTextHeader + "OK/%2Ftmp%2Fdiagnosis.tar.gz\r\n");
  std::string dir(64, '\0');
  dir.replace(0, 4, "/tmp");
  EXPECT_EQ(env_.journal_of(3528), std::vector<std::string>{to_hex(dir.data(), dir.size())});
  const std::string package = env_.read_file("/tmp/diagnosis.tar.gz");
  ASSERT_FALSE(package.empty());
  r = get_req("/6311", "%2Ftmp%2Fdiagnosis.tar.gz");
  EXPECT_EQ(r.out, "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= diagnosis.tar.gz\r\n\r\n" +
                       package);
  EXPECT_FALSE(env_.exists("/tmp/diagnosis.tar.gz"));
  // Only a plain file directly in /tmp is sent or removed.
  env_.write_file("/tmp/keep.txt", "x");
  ASSERT_EQ(symlink(env_.path("/mnt/nand/app/zrdb.db").c_str(), env_.path("/tmp/link.db").c_str()), 0);
  for (const std::string q : {"%2Fmnt%2Fnand%2Fapp%2Fzrdb.db", "%2Ftmp%2F..%2Fmnt%2Fnand%2Fapp%2Fzrdb.db",
                              "%2Ftmp%2Flink.db", "%2Ftmp%2Fcgilockfile", "%2Ftmp%2Fmissing"}) {
    EXPECT_EQ(get_req("/6311", q).out, "") << q;
  }
  EXPECT_TRUE(env_.exists("/mnt/nand/app/zrdb.db"));
  EXPECT_TRUE(env_.exists("/tmp/link.db"));
  // A package being built, a failed build, no reply.
  env_.write_file("/tmp/tmp_diagnostic", "");
  EXPECT_EQ(post_req("/6310", "").out, kTextHeader + "Failed");
  EXPECT_EQ(env_.journal_of(3528).size(), 1u);
  unlink(env_.path("/tmp/tmp_diagnostic").c_str());
  restart_sim("3528 reply hex=00000000ffffffff2f746d702f78\n");
  EXPECT_EQ(post_req("/6310", "").out, kTextHeader + "Failed");
  restart_sim("3528 none\n");
  EXPECT_EQ(post_req("/6310", "", "300").out, kTextHeader + "Failed");
}

TEST_F(SystemFilesTest, AudioFilesUploadRegisterListRenameDelete) {
  env_.write_file("/tmp/other.wav", "RIFF");
  CgiResult r = upload_req("/6321", "door.wav", "RIFF....WAVE");
  EXPECT_EQ(r.out, kTextHeader + "CGI OK status:[0], data:[ZG9vci53YXY]");
  EXPECT_EQ(env_.read_file("/tmp/ZG9vci53YXY"), "RIFF....WAVE");
  EXPECT_FALSE(env_.exists("/tmp/door.wav"));
  EXPECT_TRUE(env_.exists("/tmp/other.wav"));  // never touched by another upload
  // Not a WAV file: removed, and only that one.
  EXPECT_EQ(upload_req("/6321", "song.mp3", "ID3").out, kTextHeader + "CGI ERROR status:[-1], data:[]");
  EXPECT_FALSE(env_.exists("/tmp/song.mp3"));
  EXPECT_TRUE(env_.exists("/tmp/other.wav"));
  // A request that uploaded nothing acts on no file it names: not on another
  // client's upload, a registered file, or one outside /tmp.
  env_.write_file("/tmp/cgicAbC123", "upload in progress");
  env_.write_file("/tmp/song.mp3", "ID3");
  for (const std::string& named : {env_.path("/tmp/other.wav"), env_.path("/tmp/ZG9vci53YXY"),
                                   env_.path("/tmp/cgicAbC123"), env_.path("/tmp/song.mp3"),
                                   env_.path("/mnt/nand/app/zrdb.db")}) {
    EXPECT_EQ(get_req("/6321", named).out, kTextHeader + "CGI ERROR status:[-1], data:[]") << named;
    EXPECT_EQ(post_req("/6321", named).out, kTextHeader + "CGI ERROR status:[-1], data:[]") << named;
    EXPECT_TRUE(env_.exists(named.substr(env_.root().size()))) << named;
  }
  unlink(env_.path("/tmp/cgicAbC123").c_str());
  unlink(env_.path("/tmp/song.mp3").c_str());
  EXPECT_EQ(env_.read_file("/tmp/ZG9vci53YXY"), "RIFF....WAVE");

  r = post_req("/6322", "{\"uploadName\":\"ZG9vci53YXY\",\"name\":\"Front door\"}");
  EXPECT_EQ(r.out, kJsonHeader + "{\"status\":0}");
  std::string name(128, '\0');
  name.replace(0, 14, "RnJvbnQgZG9vcg");
  EXPECT_EQ(env_.journal_of(4013), std::vector<std::string>{to_hex(name.data(), name.size())});
  EXPECT_EQ(env_.journal_of(3485), std::vector<std::string>{record_hex(expected_log_record(204, 925, 0))});
  EXPECT_TRUE(env_.exists("/tmp/RnJvbnQgZG9vcg"));
  EXPECT_EQ(post_req("/6320", "").out,
            kJsonHeader + "{\"audioFileList\":[{\"id\":0,\"enable\":1,\"name\":\"Front door\"}],\"status\":0}");
  for (const std::string& b : std::vector<std::string>{"{\"uploadName\":\"../mnt/nand/app/zrdb.db\",\"name\":\"x\"}",
                              "{\"uploadName\":\"missing.wav\",\"name\":\"x\"}",
                              "{\"uploadName\":\"other.wav\",\"name\":\"\"}",
                              "{\"uploadName\":\"other.wav\",\"name\":\"" + std::string(100, 'n') + "\"}"})
    EXPECT_EQ(post_req("/6322", b).out, json_err()) << b;
  EXPECT_EQ(env_.journal_of(4013).size(), 1u);

  EXPECT_EQ(post_req("/6324", "{\"id\":0,\"name\":\"Back door\"}").out, kJsonHeader + "{\"status\":0}");
  EXPECT_NE(post_req("/6320", "").out.find("\"name\":\"Back door\""), std::string::npos);
  EXPECT_EQ(post_req("/6324", "{\"id\":\"x\",\"name\":\"Back door\"}").out, json_err());
  EXPECT_EQ(post_req("/6325", "{\"id\":0}").out, kJsonHeader + "{\"status\":0}");
  EXPECT_EQ(post_req("/6325", "{\"id\":10}").out, json_err());
  EXPECT_EQ(post_req("/6323", "{\"idMask\":1024}").out, json_err());
  EXPECT_EQ(post_req("/6323", "{\"idMask\":1}").out, kJsonHeader + "{\"status\":0}");
  EXPECT_EQ(post_req("/6320", "").out, kJsonHeader + "{\"audioFileList\":[],\"status\":0}");
  // add, rename and delete were logged; the command was not.
  EXPECT_EQ(env_.journal_of(3485).size(), 3u);
  // No reply: the error, no log.
  restart_sim("4014 none\n");
  EXPECT_EQ(post_req("/6323", "{\"idMask\":1}", "300").out, json_err());
  EXPECT_EQ(env_.journal_of(3485).size(), 3u);
}

TEST_F(SystemFilesTest, AudioListLeavesOutNamesThatDoNotDecode) {
  std::string entries;
  auto entry = [&](int32_t id, int32_t enable, const std::string& name) {
    std::string e(136, '\0');
    std::memcpy(&e[0], &id, 4);
    std::memcpy(&e[4], &enable, 4);
    e.replace(8, name.size(), name);
    entries += e;
  };
  entry(0, 1, "QQ");      // "A"
  entry(1, 0, "Qg");      // not in use
  entry(2, 1, "*bad*");
  restart_sim("4012 reply hex=" + to_hex(entries.data(), entries.size()) + "\n");
  EXPECT_EQ(post_req("/6320", "").out,
            kJsonHeader + "{\"audioFileList\":[{\"id\":0,\"enable\":1,\"name\":\"A\"},{\"id\":2,\"enable\":1}],\"status\":0}");
}

TEST_F(SystemFilesTest, OemPackageIsCheckedBeforeItIsUnpacked) {
  const std::string key = "oem-2026";
  // The package the page uploads: what "/tmp/oem.pkg" holds, sent as this
  // request's upload with the query after the path.
  auto run = [&](const CgiRequest& r) {
    const std::string pre = env_.path("/tmp/oem.pkg") + " & ";
    if (r.query.rfind(pre, 0) != 0 || !env_.exists("/tmp/oem.pkg")) return env_.run(r);
    const std::string pkg = env_.read_file("/tmp/oem.pkg");
    unlink(env_.path("/tmp/oem.pkg").c_str());
    return upload_req("/oem", "oem.pkg", pkg, r.query.substr(pre.size()));
  };
  env_.write_file("/tmp/oem.pkg",
                  oem_package(make_zip({{"logo.txt", "our logo"}, {"web/", ""}, {"./web/name.txt", "Recorder"}}), key));
  CgiRequest req = get("/oem", "", "");
  req.query = env_.path("/tmp/oem.pkg") + " & aes=" + key;
  EXPECT_EQ(run(req).out, kTextHeader + "OK");
  EXPECT_EQ(env_.read_file("/mnt/nand2/logo.txt"), "our logo");
  EXPECT_EQ(env_.read_file("/mnt/nand2/web/name.txt"), "Recorder");
  EXPECT_TRUE(env_.exists("/mnt/nand2/oem_upload"));
  EXPECT_FALSE(env_.exists("/tmp/oem.pkg"));
  EXPECT_FALSE(env_.exists("/tmp/oem.zip"));
  unlink(env_.path("/mnt/nand2/oem_upload").c_str());
  mkdir(env_.path("/outside").c_str(), 0755);
  auto is_link = [&](const std::string& abs) {
    struct stat st {};
    return lstat(env_.path(abs).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  };
  auto staging_left = [&] {
    bool found = false;
    if (DIR* d = opendir(env_.path("/mnt/nand2").c_str())) {
      while (dirent* e = readdir(d)) found = found || std::strncmp(e->d_name, ".staging", 8) == 0;
      closedir(d);
    }
    return found;
  };

  struct Row {
    std::string what;
    std::string package;
    std::string query;
    std::string reply = "ERROR";
    bool planted_link = false;  // /mnt/nand2/lnk -> ../../outside is there before
  } rows[] = {
      {"wrong key", oem_package(make_zip({{"a.txt", "a"}}), "other"), " & aes=" + key},
      {"no key", oem_package(make_zip({{"a.txt", "a"}}), key), " & x=1"},
      {"not base64", "%%%%", " & aes=" + key},
      {"entry leaving the folder", oem_package(make_zip({{"../evil.txt", "x"}}), key), " & aes=" + key},
      {"entry leaving through a folder", oem_package(make_zip({{"a.txt", "a"}, {"web/../../evil.txt", "x"}}), key),
       " & aes=" + key},
      {"absolute entry", oem_package(make_zip({{"/evil.txt", "x"}}), key), " & aes=" + key},
      {"link entry", oem_package(make_zip({{"link", "/etc/passwd", true}}), key), " & aes=" + key},
      {"not a zip", oem_package("just some text that is no archive", key), " & aes=" + key},
      {"end record claiming no entries",
       oem_package(make_zip({{"a.txt", "a"}, {"link", "/etc/passwd", true}}, 0), key), " & aes=" + key},
      {"damaged entry after a good one",
       oem_package(make_zip({{"a.txt", "a"}, {"logo.txt", "evil logo", false, 3, true}}), key), " & aes=" + key},
      {"damaged first entry", oem_package(make_zip({{"logo.txt", "evil logo", false, 3, true}, {"a.txt", "a"}}), key),
       " & aes=" + key},
      {"no file in the archive", oem_package(make_zip({{"web/", ""}}), key), " & aes=" + key},
      {"file through a planted link", oem_package(make_zip({{"a.txt", "a"}, {"lnk/pwned", "x"}}), key),
       " & aes=" + key, "ERROR", true},
      {"file where the package had a folder", oem_package(make_zip({{"a.txt", "a"}, {"web", "x"}}), key),
       " & aes=" + key},
  };
  for (const Row& row : rows) {
    if (row.planted_link) {
      ASSERT_EQ(symlink("../../outside", env_.path("/mnt/nand2/lnk").c_str()), 0);
    }
    env_.write_file("/tmp/oem.pkg", row.package);
    req.query = env_.path("/tmp/oem.pkg") + row.query;
    EXPECT_EQ(run(req).out, kTextHeader + row.reply) << row.what;
    EXPECT_FALSE(env_.exists("/mnt/nand2/oem_upload")) << row.what;
    EXPECT_FALSE(env_.exists("/mnt/nand2/a.txt")) << row.what;
    EXPECT_FALSE(env_.exists("/mnt/evil.txt")) << row.what;
    EXPECT_FALSE(env_.exists("/mnt/nand2/link") || is_link("/mnt/nand2/link")) << row.what;
    EXPECT_FALSE(env_.exists("/outside/pwned")) << row.what;
    EXPECT_FALSE(env_.exists("/tmp/oem.zip")) << row.what;
    EXPECT_FALSE(staging_left()) << row.what;
    // Every installed file is as it was.
    EXPECT_EQ(env_.read_file("/mnt/nand2/logo.txt"), "our logo") << row.what;
    EXPECT_EQ(env_.read_file("/mnt/nand2/web/name.txt"), "Recorder") << row.what;
    unlink(env_.path("/mnt/nand2/lnk").c_str());
  }

  // A link entry is never made, whatever system the entry says it was made
  // on, so a later package cannot write through it: refused when the entry
  // is read as a link, a plain file (blocking the later folder) otherwise.
  struct LinkRow {
    uint8_t made_by;
    std::string first, second;
  } link_rows[] = {{3, "ERROR", "OK"}, {2, "OK", "ERROR"},  {5, "OK", "ERROR"},
                   {16, "OK", "ERROR"}, {30, "OK", "ERROR"}, {19, "OK", "ERROR"}};
  for (const LinkRow& row : link_rows) {
    env_.write_file("/tmp/oem.pkg", oem_package(make_zip({{"lnk", "../../outside", true, row.made_by}}), key));
    req.query = env_.path("/tmp/oem.pkg") + " & aes=" + key;
    EXPECT_EQ(run(req).out, kTextHeader + row.first) << int(row.made_by);
    EXPECT_FALSE(is_link("/mnt/nand2/lnk")) << int(row.made_by);
    env_.write_file("/tmp/oem.pkg", oem_package(make_zip({{"lnk/pwned", "x"}}), key));
    EXPECT_EQ(run(req).out, kTextHeader + row.second) << int(row.made_by);
    EXPECT_FALSE(env_.exists("/outside/pwned")) << int(row.made_by);
    tree_remove(env_.path("/mnt/nand2/lnk"));
    unlink(env_.path("/mnt/nand2/oem_upload").c_str());
  }

  // A later package replaces the files it holds and keeps the others.
  env_.write_file("/tmp/oem.pkg", oem_package(make_zip({{"logo.txt", "new logo"}, {"web/more.txt", "More"}}), key));
  req.query = env_.path("/tmp/oem.pkg") + " & aes=" + key;
  EXPECT_EQ(run(req).out, kTextHeader + "OK");
  EXPECT_EQ(env_.read_file("/mnt/nand2/logo.txt"), "new logo");
  EXPECT_EQ(env_.read_file("/mnt/nand2/web/name.txt"), "Recorder");
  EXPECT_EQ(env_.read_file("/mnt/nand2/web/more.txt"), "More");
  EXPECT_FALSE(staging_left());
  // A request that uploaded nothing reads and removes no file it names, in
  // /tmp or outside.
  env_.write_file("/tmp/victim", oem_package(make_zip({{"a.txt", "a"}}), key));
  for (const std::string& named : {env_.path("/mnt/nand/app/zrdb.db"), env_.path("/tmp/victim")}) {
    req.query = named + " & aes=" + key;
    EXPECT_EQ(env_.run(req).out, kTextHeader + "ERROR") << named;
    EXPECT_TRUE(env_.exists(named.substr(env_.root().size()))) << named;
  }
  EXPECT_FALSE(env_.exists("/mnt/nand2/a.txt"));
}

TEST_F(SystemFilesTest, CameraAddressesInTurn) {
  auto ip_of = [](int ch) {
    CameraRecord cam = {};
    read_camera(ZRDB_PATH, &cam, ch);
    return std::string(cam.ipAddr);
  };
  EXPECT_EQ(post_req("/ipc", "{\"startip\":\"192.168.1.100\",\"chnNum\":2,\"chnFre\":3}").out, kTextHeader + "OK");
  for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(ip_of(ch), "192.168.1.100") << ch;
  for (int ch = 3; ch < 6; ++ch) EXPECT_EQ(ip_of(ch), "192.168.1.101") << ch;
  EXPECT_EQ(ip_of(6), "");
  // The last octet wraps; the camera count stops the list.
  ASSERT_EQ(set_param_int(ZRDB_PATH, "max_cameras", 3), 0);
  EXPECT_EQ(post_req("/ipc", "{\"startip\":\"10.0.0.255\",\"chnNum\":5,\"chnFre\":1}").out, kTextHeader + "OK");
  EXPECT_EQ(ip_of(0), "10.0.0.255");
  EXPECT_EQ(ip_of(1), "10.0.0.0");
  EXPECT_EQ(ip_of(2), "10.0.0.1");
  EXPECT_EQ(ip_of(3), "192.168.1.101");
  for (const std::string b : {"{\"startip\":\"10.0.0.1\",\"chnNum\":1,\"chnFre\":-1}", "{\"startip\":\"fe80::1\",\"chnNum\":1,\"chnFre\":1}",
                              "{\"startip\":\"10.0.0\",\"chnNum\":1,\"chnFre\":1}", "{\"startip\":\"10.0.0.1\",\"chnNum\":\"x\",\"chnFre\":1}",
                              "{\"startip\":\"10.0.0.1\",\"chnNum\":2147483647,\"chnFre\":0}"})
    EXPECT_EQ(post_req("/ipc", b).out, "") << b;
  EXPECT_EQ(ip_of(0), "10.0.0.255");
  // Any number of addresses ends at the camera count.
  EXPECT_EQ(post_req("/ipc", "{\"startip\":\"10.0.0.7\",\"chnNum\":2147483647,\"chnFre\":2}").out, kTextHeader + "OK");
  EXPECT_EQ(ip_of(1), "10.0.0.7");
  EXPECT_EQ(ip_of(2), "10.0.0.8");
  EXPECT_EQ(ip_of(3), "192.168.1.101");
  EXPECT_EQ(post_req("/dw.cgi", "").out, kTextHeader + "NG download");
}

}  // namespace
