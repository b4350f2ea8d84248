// The factory command interface "/vb.htm" end to end: the command list
// parser, every command's reply, the stored parameters, the identity chip
// through the chip tool stand-in (tools/zrchip_update) and the OEM reset
// with the real touch and a web page archive made by the real tar.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "account_test_util.h"

namespace {

const char kChip[] = "ZRNR4E2A0H10E0000001S00000000001";  // the stand-in's demo chip

class FactoryTest : public AccountsTest {
 protected:
  void SetUp() override {
    AccountsTest::SetUp();
    const std::string tool = env_.path("/bin/zrchip_update");
    ASSERT_EQ(std::system(("cp '" NVR_SOURCE_DIR "/tools/zrchip_update' '" + tool + "'").c_str()), 0);
    env_.add_stub("sync");
    mkdir(env_.path("/run").c_str(), 0755);
  }
  CgiResult vb(const std::string& query) {
    CgiRequest r = get("/vb.htm", query, "");
    return env_.run(r);
  }
  std::string param(const char* key) {
    char buf[128];
    return get_param_value(ZRDB_PATH, key, buf, sizeof buf, "<absent>") >= 0 ? buf : "<failed>";
  }
  std::string chip() {
    std::string c = env_.read_file("/run/zrchip.txt");
    if (!c.empty() && c.back() == '\n') c.pop_back();
    return c;
  }
  void set_chip(const std::string& text) { env_.write_file("/run/zrchip.txt", text + "\n"); }
  std::string chip_calls() { return env_.stub_calls("zrchip_update"); }
  void clear_chip_calls() { unlink(env_.path("/calls/zrchip_update").c_str()); }
};

TEST_F(FactoryTest, CommandListParsingAndUnknownNames) {
  struct Row {
    std::string query, reply;
  };
  const Row rows[] = {
      {"", "ERROR"},                 // the empty no-argument entry: no such command
      {"debug", "ERROR"},            // listed without argument, but no command
      {"pavor", "ERROR"},
      {"nothing", "PARAM ERROR"},    // no '=' and not a no-argument name
      {"softversion", "7x.7.0.9"},   // the default version
      {"softversion=abc", "7x.7.0.9"},
      {"bogus=1", "ERROR"},
      {"=1", "ERROR"},
      {"setdefault=1", ""},          // runs and answers nothing
      {"setdefault", "PARAM ERROR"},
  };
  for (const Row& row : rows) {
    const CgiResult r = vb(row.query);
    EXPECT_EQ(r.out, row.reply.empty() ? "" : kTextHeader + row.reply) << row.query;
  }
  ASSERT_EQ(set_param_value(ZRDB_PATH, "software_version", "7x.7.3.1"), 0);
  EXPECT_EQ(vb("softversion").out, kTextHeader + "7x.7.3.1");
  EXPECT_TRUE(env_.journal().empty());
}

TEST_F(FactoryTest, ParametersLanguageAndSeveralCommands) {
  EXPECT_EQ(vb("decode=4").out, kTextHeader + "OK");
  EXPECT_EQ(param("decode"), "4");
  EXPECT_EQ(vb("hotplug=1").out, kTextHeader + "OK");
  EXPECT_EQ(param("hdmihotplug"), "1");
  EXPECT_EQ(vb("setlang=3").out, kTextHeader + "OK");
  EXPECT_EQ(env_.journal(), std::vector<std::string>{"4000 03000000"});
  // A language is a number: "x" is refused, never sent as 0.
  for (const char* bad : {"setlang=x", "setlang=", "setlang=-1", "setlang=3x"})
    EXPECT_EQ(vb(bad).out, kTextHeader + "PARAM ERROR") << bad;
  EXPECT_EQ(vb("decode=").out, kTextHeader + "PARAM ERROR");
  EXPECT_EQ(param("decode"), "4");
  EXPECT_EQ(env_.journal().size(), 1u);
  // Every command answers for itself under one header; an unknown name stops
  // the list, what ran before it stays done.
  EXPECT_EQ(vb("decode=2&hotplug=0").out, kTextHeader + "OK\r\nOK");
  EXPECT_EQ(param("decode"), "2");
  EXPECT_EQ(param("hdmihotplug"), "0");
  EXPECT_EQ(vb("decode=5&bogus=1&hotplug=7").out, kTextHeader + "OK\r\nERROR");
  EXPECT_EQ(param("decode"), "5");
  EXPECT_EQ(param("hdmihotplug"), "0");
  EXPECT_EQ(vb("setdefault=1&setlang=2").out, kTextHeader + "OK");
  // Names and values lie within the first 64 characters: 64 are taken,
  // one more refuses the whole list before any command runs.
  const std::string fits = "decode=" + std::string(57, 'A');
  ASSERT_EQ(fits.size(), 64u);
  EXPECT_EQ(vb(fits).out, kTextHeader + "OK");
  EXPECT_EQ(param("decode"), std::string(57, 'A'));
  EXPECT_EQ(vb("hotplug=1&decode=" + std::string(48, 'B')).out, kTextHeader + "PARAM ERROR");
  EXPECT_EQ(param("hdmihotplug"), "0");
  EXPECT_EQ(param("decode"), std::string(57, 'A'));
  // Text after the last pair without '=' is no command.
  EXPECT_EQ(vb("decode=9&softversion").out, kTextHeader + "OK");
}

TEST_F(FactoryTest, ChipInfoReadThroughTheTool) {
  EXPECT_EQ(vb("paratest=chipinfo").out, kTextHeader + "OK chipinfo=" + kChip + "\n");
  EXPECT_EQ(chip_calls(), "-r 32\n");
  EXPECT_FALSE(env_.exists("/tmp/chipinfo.txt"));
  EXPECT_EQ(vb("paratest=other").out, kTextHeader + "Param ERROR");
  EXPECT_EQ(chip_calls(), "-r 32\n");
  // No chip text, or one of another length.
  set_chip("");
  EXPECT_EQ(vb("paratest=chipinfo").out, kTextHeader + "ERROR");
  set_chip(std::string(kChip) + "X");
  EXPECT_EQ(vb("paratest=chipinfo").out, kTextHeader + "ERROR");
  set_chip("ZRN123");
  EXPECT_EQ(vb("paratest=chipinfo").out, kTextHeader + "ERROR");
  EXPECT_FALSE(env_.exists("/tmp/chipinfo.txt"));
}

struct ChipRow {
  std::string command;
  std::string reply;
  std::string chip;  // the chip afterwards; empty: unchanged
};

TEST_F(FactoryTest, ChipUpdateFields) {
  const std::string s25 = "SABCDEFGHIJKLMNOPQRSTUVWX";
  ASSERT_EQ(s25.size(), 25u);
  const std::string whole = "ZRNQ9Q9Q9H22E7777777S55555555555";
  const std::string short_whole = "ZRNX1234567890123456789";  // 23 characters, padded
  const ChipRow rows[] = {
      {"chipupdate=N123456", "OK chipupdate", "ZRN123456H10E0000001S00000000001"},
      {"chipupdate=H77", "OK chipupdate", "ZRNR4E2A0770E0000001S00000000001"},
      {"chipupdate=E1234567", "OK chipupdate", "ZRNR4E2A0H1012345671S00000000001"},
      {"chipupdate=" + s25, "OK chipupdate", "ZRNR4E2A0H10E0000001ABCDEFGHIJK1"},  // padded, 1..11 copied
      {"chipupdate=" + whole, "OK chipupdate", whole},
      {"chipupdate=" + short_whole, "OK chipupdate", short_whole + std::string(32 - short_whole.size(), '0')},
      // Refused: nothing is written.
      {"chipupdate=", "NG chipupdate", ""},
      {"chipupdate=N" + std::string(32, '1'), "NG chipupdate", ""},  // 33 characters
      {"chipupdate=N12", "NG chipupdate", ""},                       // shorter than the field
      {"chipupdate=S123", "NG chipupdate", ""},
      {"chipupdate=Q123456", "NG chipupdate", ""},
      {"chipupdate=ZRM" + std::string(29, '1'), "NG chipupdate", ""},
      {"chipupdate=ZRN123", "NG chipupdate", ""},                    // a whole text that is short
      {"chipupdate=N1$(id)x", "NG chipupdate", ""},                  // letters and digits only
      {"chipupdate=N12'3456", "NG chipupdate", ""},
      {"chipupdate=N12%203456", "NG chipupdate", ""},
  };
  for (const ChipRow& row : rows) {
    set_chip(kChip);
    clear_chip_calls();
    EXPECT_EQ(vb(row.command).out, kTextHeader + row.reply) << row.command;
    const std::string want = row.chip.empty() ? kChip : row.chip;
    ASSERT_EQ(want.size(), 32u) << row.command;
    EXPECT_EQ(chip(), want) << row.command;
    EXPECT_EQ(chip_calls(), row.chip.empty() ? "-r 32\n" : "-r 32\n" + want + "\n") << row.command;
  }
  // A chip that cannot be read, or reads with another length, is never written.
  for (const std::string& bad : {std::string(""), std::string("ZRN12345"), std::string(kChip) + "0"}) {
    set_chip(bad);
    clear_chip_calls();
    EXPECT_EQ(vb("chipupdate=N123456").out, kTextHeader + "NG chipupdate") << bad;
    EXPECT_EQ(vb("modelupdate=H5").out, kTextHeader + "NG modelupdate") << bad;
    EXPECT_EQ(chip(), bad);
    EXPECT_EQ(chip_calls(), "-r 32\n-r 32\n");
  }
  // A chip text with other characters is not written back either.
  set_chip("ZRNR4E2A0H10E0000001S0000000000-");
  EXPECT_EQ(vb("chipupdate=N123456").out, kTextHeader + "NG chipupdate");
  EXPECT_EQ(chip(), "ZRNR4E2A0H10E0000001S0000000000-");
}

TEST_F(FactoryTest, ModelUpdateFields) {
  const ChipRow rows[] = {
      {"modelupdate=H5", "OK modelupdate", "ZRNR4E2A0H50E0000001S00000000001"},  // padded to H50
      {"modelupdate=H", "OK modelupdate", "ZRNR4E2A0H00E0000001S00000000001"},
      {"modelupdate=NX1", "OK modelupdate", "ZRNX10000H10E0000001S00000000001"},
      {"modelupdate=E7654321", "OK modelupdate", "ZRNR4E2A0H10E7654321S00000000001"},
      {"modelupdate=S98765432101", "OK modelupdate", "ZRNR4E2A0H10E0000001S98765432101"},
      {"modelupdate=", "NG modelupdate", ""},
      {"modelupdate=H123", "NG modelupdate", ""},  // longer than the field
      {"modelupdate=E123456789", "NG modelupdate", ""},
      {"modelupdate=A1", "NG modelupdate", ""},
      {"modelupdate=h1", "NG modelupdate", ""},
      {"modelupdate=N;ls", "NG modelupdate", ""},
  };
  for (const ChipRow& row : rows) {
    set_chip(kChip);
    clear_chip_calls();
    EXPECT_EQ(vb(row.command).out, kTextHeader + row.reply) << row.command;
    const std::string want = row.chip.empty() ? kChip : row.chip;
    EXPECT_EQ(chip(), want) << row.command;
    EXPECT_EQ(chip_calls(), row.chip.empty() ? "-r 32\n" : "-r 32\n" + want + "\n") << row.command;
  }
  // A refused write of the tool is no success.
  set_chip(kChip);
  clear_chip_calls();
  env_.add_stub("zrchip_update", "[ \"$1\" = -r ] && echo 'Read old:" + std::string(kChip) + "' && exit 0; exit 1");
  EXPECT_EQ(vb("modelupdate=H5").out, kTextHeader + "NG modelupdate");
  EXPECT_EQ(vb("chipupdate=H55").out, kTextHeader + "NG chipupdate");
  EXPECT_EQ(chip_calls(), "-r 32\n" + std::string("ZRNR4E2A0H50E0000001S00000000001\n") + "-r 32\n" +
                              "ZRNR4E2A0550E0000001S00000000001\n");
}

class OemCleanTest : public FactoryTest {
 protected:
  void SetUp() override {
    FactoryTest::SetUp();
    for (const char* d : {"/mnt/nand2", "/opt", "/opt/app", "/opt/app/bin", "/opt/app/www", "/mnt/nand2/sub", "/pages"})
      mkdir(env_.path(d).c_str(), 0755);
    env_.write_file("/pages/index.html", "maker page");
    make_state();
  }
  // The OEM files, the OEM pages and the maker's archive holding the given
  // files of /pages (by default the folder itself: "./", "./index.html").
  void make_state(const std::string& archived = ".") {
    env_.write_file("/mnt/nand2/logo.jpg_bk", "maker logo");
    env_.write_file("/mnt/nand2/gui.rcc_bk", "maker gui");
    env_.write_file("/mnt/nand2/oem.db", "oem accounts");
    env_.write_file("/mnt/nand2/oem_upload", "");
    env_.write_file("/opt/app/bin/logo.jpg", "oem logo");
    env_.write_file("/opt/app/bin/gui.rcc", "oem gui");
    env_.write_file("/opt/app/www/index.html", "oem page");
    ASSERT_EQ(std::system(("tar -czf '" + env_.path("/opt/app/www/web.tar.gz") + "' -C '" + env_.path("/pages") +
                           "' " + archived)
                              .c_str()),
              0);
    ASSERT_EQ(set_param_int(ZRDB_PATH, "oem_type", 3), 0);
  }
  bool marked(const char* name) { return env_.exists(std::string("/mnt/nand/app/") + name); }
  int hidden_entries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(env_.path(dir).c_str())) {
      while (dirent* e = readdir(d)) n += e->d_name[0] == '.' && std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..");
      closedir(d);
    }
    return n;
  }
};

TEST_F(OemCleanTest, RestoresTheMakersFilesAndMarksForErasure) {
  for (const char* query : {"oemclean", "oemclean=1"}) {
    EXPECT_EQ(vb(query).out, kTextHeader + "OK") << query;
    EXPECT_EQ(env_.read_file("/opt/app/bin/logo.jpg"), "maker logo");
    EXPECT_EQ(env_.read_file("/opt/app/bin/gui.rcc"), "maker gui");
    EXPECT_EQ(env_.read_file("/opt/app/www/index.html"), "maker page");
    for (const char* gone : {"/mnt/nand2/oem.db", "/mnt/nand2/oem_upload", "/mnt/nand2/logo.jpg_bk"})
      EXPECT_FALSE(env_.exists(gone)) << gone;
    for (const char* m : {"eraseip", "eraseuser", "eraseall"}) EXPECT_TRUE(marked(m)) << m;
    EXPECT_EQ(get_param_int(ZRDB_PATH, "oem_type", -1), 0);
    EXPECT_EQ(env_.stub_calls("sync"), "\n");
    // Once more: the backups are there again for the second run.
    env_.write_file("/mnt/nand2/logo.jpg_bk", "maker logo");
    env_.write_file("/mnt/nand2/gui.rcc_bk", "maker gui");
    env_.write_file("/mnt/nand2/oem.db", "oem accounts");
    unlink(env_.path("/calls/sync").c_str());
  }
}

TEST_F(OemCleanTest, MissingBackupKeepsEveryOemFile) {
  // Each row takes away one thing the reset needs: it answers "ERROR" and
  // has changed nothing.
  struct Row {
    std::string what;
    std::string archived;  // what the maker's archive holds
    std::string broken;    // the file made unusable
    std::string content;   // its new content; empty: removed
  } rows[] = {
      {"gui backup missing", "index.html", "/mnt/nand2/gui.rcc_bk", ""},
      {"logo backup missing", "index.html", "/mnt/nand2/logo.jpg_bk", ""},
      {"web archive missing", "index.html", "/opt/app/www/web.tar.gz", ""},
      {"web archive damaged", "index.html", "/opt/app/www/web.tar.gz", "no archive at all"},
      {"web archive holding a link", "index.html link", "", ""},
  };
  ASSERT_EQ(symlink("/etc/passwd", env_.path("/pages/link").c_str()), 0);
  for (const Row& row : rows) {
    make_state(row.archived);
    if (!row.broken.empty() && row.content.empty()) unlink(env_.path(row.broken).c_str());
    if (!row.content.empty()) env_.write_file(row.broken, row.content);
    EXPECT_EQ(vb("oemclean").out, kTextHeader + "ERROR") << row.what;
    for (const char* kept : {"/mnt/nand2/oem.db", "/mnt/nand2/oem_upload"}) EXPECT_TRUE(env_.exists(kept)) << row.what;
    for (const char* kept : {"/mnt/nand2/logo.jpg_bk", "/mnt/nand2/gui.rcc_bk"})
      EXPECT_TRUE(env_.exists(kept) || row.broken == kept) << row.what << kept;
    EXPECT_EQ(env_.read_file("/opt/app/bin/logo.jpg"), "oem logo") << row.what;
    EXPECT_EQ(env_.read_file("/opt/app/bin/gui.rcc"), "oem gui") << row.what;
    EXPECT_EQ(env_.read_file("/opt/app/www/index.html"), "oem page") << row.what;
    EXPECT_FALSE(env_.exists("/opt/app/www/link")) << row.what;
    for (const char* m : {"eraseip", "eraseuser", "eraseall"}) EXPECT_FALSE(marked(m)) << row.what << m;
    EXPECT_EQ(get_param_int(ZRDB_PATH, "oem_type", -1), 3) << row.what;
    EXPECT_EQ(env_.stub_calls("sync"), "") << row.what;
    // No copy or staging folder stays behind.
    for (const char* dir : {"/opt/app/bin", "/opt/app/www"}) EXPECT_EQ(hidden_entries(dir), 0) << row.what << dir;
  }
}

}  // namespace
