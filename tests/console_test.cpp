// The web console in a real browser: headless chromium, driven through
// chromedriver, against lighttpd with the demo configuration serving the
// console and the built webcgi from a temporary demo recorder (zrdb seed
// --demo, zrcore-sim). Each test signs in, works the pages as a person would
// and checks what the page shows and what the recorder stored.
//
// NVR_CONSOLE_SHOTS=<dir> also saves screenshots of the pages shown.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "account_test_util.h"
#include "core/cgi_json.h"
#include "web_server.h"
#include "webdriver.h"

namespace {

constexpr char kAdminPassword[] = "admin-pw";

std::string env_text(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

class ConsoleTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    if (!env_text("NVR_TEST_EMULATOR").empty())
      GTEST_SKIP() << "lighttpd and chromium run native programs only";
    const std::string missing = Browser::missing();
    if (!missing.empty()) {
      // CI installs the browser: there a missing one is a failure.
      if (!env_text("CI").empty()) FAIL() << missing;
      GTEST_SKIP() << missing;
    }
    ASSERT_EQ(env_.run_tool(ZRDB_TOOL_PATH, {"seed", "--admin-password", kAdminPassword, "--demo"}).exit_code, 0);
    zrdb_close_all();
    env_.start_sim();
    ASSERT_TRUE(server_.start({{"NVR_IPC_WAIT_MS", "2500"}})) << server_.why();
    // The recorder's own programs as the demo has them (the profile tool
    // stand-in saves and restores the store with zrdb).
    ASSERT_EQ(std::system(("for t in '" NVR_SOURCE_DIR "'/tools/*; do case \"$t\" in *.*) ;; *) "
                           "[ -f \"$t\" ] && [ -x \"$t\" ] && cp \"$t\" '" + env_.path("/bin") + "/';; esac; done; "
                           "cp '" ZRDB_TOOL_PATH "' '" + env_.path("/bin/zrdb") + "'")
                              .c_str()),
              0);
    // The console's files beside the CGI program, as the demo serves them.
    ASSERT_EQ(std::system(("cp -R '" NVR_SOURCE_DIR "/web/.' '" + env_.path("/www") + "/'").c_str()), 0);
    downloads_ = env_.path("/downloads");
    mkdir(downloads_.c_str(), 0755);
    ASSERT_TRUE(browser_.start(downloads_)) << browser_.error();
  }
  void TearDown() override {
    browser_.quit();
    server_.stop();
    TempRootTest::TearDown();
  }

  std::string url(const std::string& hash = "") const {
    return "http://127.0.0.1:" + std::to_string(server_.port()) + "/" + (hash.empty() ? "" : "#" + hash);
  }
  // The page of the route is drawn (its first requests answered).
  bool page_ready(const std::string& page) {
    return browser_.wait_for("document.querySelector('[data-page=\"" + page + "\"][data-ready]')");
  }
  std::string message() { return browser_.text("#message"); }
  bool message_has(const std::string& part) {
    return browser_.wait_for("document.getElementById('message').textContent.includes(" + js_quote(part) + ")");
  }
  void sign_in(const std::string& user = "admin", const std::string& password = kAdminPassword) {
    ASSERT_TRUE(browser_.go(url())) << browser_.error();
    ASSERT_TRUE(browser_.wait_for("document.getElementById('login-form')")) << browser_.error();
    ASSERT_TRUE(browser_.type("#login-user", user)) << browser_.error();
    ASSERT_TRUE(browser_.type("#login-password", password)) << browser_.error();
    ASSERT_TRUE(browser_.click("#login-submit")) << browser_.error();
  }
  // Signed in as the administrator, on the page of the route.
  void open_page(const std::string& route, const std::string& page) {
    sign_in();
    ASSERT_TRUE(page_ready("cameras")) << message();
    ASSERT_TRUE(browser_.go(url(route)));
    ASSERT_TRUE(page_ready(page)) << message();
  }
  void shot(const std::string& name) {
    const std::string dir = env_text("NVR_CONSOLE_SHOTS");
    if (dir.empty()) return;
    EXPECT_TRUE(browser_.screenshot(dir + "/console-" + name + ".png")) << browser_.error();
  }
  // The first finished download: its name and content; "" when none came
  // within the bound.
  std::pair<std::string, std::string> downloaded() {
    for (int i = 0; i < 200; ++i) {
      if (DIR* d = opendir(downloads_.c_str())) {
        std::string name;
        while (dirent* e = readdir(d)) {
          const std::string n = e->d_name;
          if (n != "." && n != ".." && n.find(".crdownload") == std::string::npos) name = n;
        }
        closedir(d);
        if (!name.empty()) {
          std::ifstream in(downloads_ + "/" + name, std::ios::binary);
          std::ostringstream body;
          body << in.rdbuf();
          return {name, body.str()};
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {"", ""};
  }
  // A request straight to webcgi as the default administrator.
  std::string direct(const std::string& name, const std::string& body) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "application/json";
    req.body = body;
    const std::string out = env_.run(req).out;
    const size_t at = out.find("\r\n\r\n");
    return at == std::string::npos ? out : out.substr(at + 4);
  }

  WebServer server_{env_};
  Browser browser_;
  std::string downloads_;
};

TEST_F(ConsoleTest, SignInOpensTheCameraListAndAWrongPasswordIsRefused) {
  sign_in("admin", "not-the-password");
  ASSERT_TRUE(message_has("Wrong user name or password")) << message();
  EXPECT_EQ(browser_.eval("return document.cookie.includes('sessionId=')"), "false");

  ASSERT_TRUE(browser_.type("#login-password", kAdminPassword));
  ASSERT_TRUE(browser_.click("#login-submit"));
  ASSERT_TRUE(page_ready("cameras")) << browser_.error() << " " << message();
  EXPECT_EQ(browser_.eval("return location.hash"), "\"#/cameras\"");
  EXPECT_EQ(browser_.eval("return [...document.querySelectorAll('#camera-list tbody tr')]"
                          ".map(r => r.cells[0].textContent + ' ' + r.cells[1].textContent + ' ' + r.cells[2].textContent)"),
            R"(["1 Front door 192.168.1.64","2 Garage 192.168.1.65","3 Yard PTZ 192.168.1.66","4 Street 192.168.1.70"])");
  EXPECT_EQ(browser_.text("#who"), "admin (administrator)");
  // The session cookie is the one the recorder made: 32 digits.
  EXPECT_EQ(browser_.eval("return /sessionId=\\d{32}/.test(document.cookie)"), "true");
  shot("cameras");
}

TEST_F(ConsoleTest, EditedCameraNameShowsAfterAReload) {
  sign_in();
  ASSERT_TRUE(page_ready("cameras")) << message();
  ASSERT_TRUE(browser_.click("#edit-1")) << browser_.error();
  ASSERT_TRUE(page_ready("camera")) << message();
  EXPECT_EQ(browser_.eval("return document.getElementById('cam-ip').value"), "\"192.168.1.65\"");
  ASSERT_TRUE(browser_.type("#cam-name", "Garage east"));
  ASSERT_TRUE(browser_.click("#cam-save"));
  ASSERT_TRUE(message_has("Channel 2 saved")) << message();

  ASSERT_TRUE(browser_.go(url("/cameras")));
  ASSERT_TRUE(browser_.refresh());
  ASSERT_TRUE(page_ready("cameras")) << message();
  EXPECT_EQ(browser_.text("#camera-list tr[data-channel=\"1\"] .cam-name"), "Garage east");
  // Stored: the channel's name, with the camera's own settings unchanged.
  JsonPtr cam(parse_request_object(direct("/2000", R"({"chnid":1})").c_str()));
  char name[64], ip[64], user[64];
  json_get_text(cam.get(), "name", name);
  json_get_text(cam.get(), "ipAddr", ip);
  json_get_text(cam.get(), "userName", user);
  EXPECT_STREQ(name, "Garage east");
  EXPECT_STREQ(ip, "192.168.1.65");
  EXPECT_STREQ(user, "admin");
  EXPECT_EQ(json_get_int(cam.get(), "managePort"), 80);
}

TEST_F(ConsoleTest, MotionScheduleIsSavedAndReadBack) {
  open_page("/motion/2", "motion");
  // The demo arms detection all week.
  EXPECT_EQ(browser_.eval("return document.querySelectorAll('#motion-schedule td.cell.on').length"),
            std::to_string(7 * 48));
  ASSERT_TRUE(browser_.click("#motion-none"));
  // Monday 08:00-12:00 by dragging over its half hours.
  ASSERT_NE(browser_.eval(R"(
      const cell = (c) => document.querySelector('#motion-schedule td[data-day="1"][data-cell="' + c + '"]');
      cell(16).dispatchEvent(new MouseEvent('mousedown', {bubbles: true}));
      for (let c = 17; c < 24; c++) cell(c).dispatchEvent(new MouseEvent('mouseenter'));
      window.dispatchEvent(new MouseEvent('mouseup'));)"),
            "");
  ASSERT_TRUE(browser_.click("#motion-schedule td[data-day=\"3\"][data-cell=\"47\"]"));  // Wednesday 23:30
  ASSERT_TRUE(browser_.type("#motion-sensitivity", "70"));
  ASSERT_TRUE(browser_.click("#motion-save"));
  ASSERT_TRUE(message_has("Motion settings of channel 3 saved")) << message();

  ASSERT_TRUE(browser_.refresh());
  ASSERT_TRUE(page_ready("motion")) << message();
  EXPECT_EQ(browser_.eval("return [...document.querySelectorAll('#motion-schedule td.cell.on')]"
                          ".map(td => td.dataset.day + ':' + td.dataset.cell).join(' ')"),
            "\"1:16 1:17 1:18 1:19 1:20 1:21 1:22 1:23 3:47\"");
  EXPECT_EQ(browser_.eval("return document.getElementById('motion-sensitivity').value"), "\"70\"");
  shot("motion");

  // Stored as the recorder's sections: Monday one period, Wednesday one.
  JsonPtr week(json_tokener_parse(direct("/6153", "2").c_str()));
  ASSERT_TRUE(week && json_object_is_type(week.get(), json_type_array));
  auto section = [&](int day, int s) {
    json_object* o = json_object_array_get_idx(json_object_array_get_idx(week.get(), day), s);
    char a[32], b[32];
    json_get_text(o, "startTime", a);
    json_get_text(o, "endTime", b);
    return std::string(a) + "-" + b;
  };
  EXPECT_EQ(section(1, 0), "08:00-12:00");
  EXPECT_EQ(section(1, 1), "-");
  EXPECT_EQ(section(3, 0), "23:30-24:00");
  EXPECT_EQ(section(0, 0), "-");
  JsonPtr motion(parse_request_object(direct("/6010", R"({"chnid":2})").c_str()));
  EXPECT_EQ(json_get_int(motion.get(), "sensitivity"), 70);
  EXPECT_EQ(json_get_int(motion.get(), "email_interval"), 60);  // untouched by the page
}

TEST_F(ConsoleTest, SignedOutSessionIsRefused) {
  sign_in();
  ASSERT_TRUE(page_ready("cameras")) << message();
  const std::string old = browser_.eval("return document.cookie");
  ASSERT_TRUE(browser_.click("#sign-out"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('login-form')")) << browser_.error();
  ASSERT_TRUE(message_has("Signed out"));
  EXPECT_EQ(browser_.eval("return document.cookie.includes('sessionId=')"), "false");
  EXPECT_EQ(browser_.eval("return document.getElementById('nav').hidden"), "true");

  // The old session cookie no longer opens a page: the recorder answers
  // 401 and the console asks to sign in again.
  ASSERT_NE(browser_.eval("for (const c of " + old + ".split('; ')) document.cookie = c + '; path=/';"), "");
  ASSERT_TRUE(browser_.go(url("/status")));
  ASSERT_TRUE(message_has("(401)")) << message();
  EXPECT_TRUE(browser_.wait_for("document.getElementById('login-form')"));
}

TEST_F(ConsoleTest, UnchangedCameraSavedBackChangesNothing) {
  for (const char* ch : {"0", "3"}) {  // an ONVIF camera and an RTSP one
    const std::string before = direct("/2000", std::string("{\"chnid\":") + ch + "}");
    if (std::string(ch) == "0") {
      open_page("/camera/0", "camera");
    } else {
      ASSERT_TRUE(browser_.go(url(std::string("/camera/") + ch)));
      ASSERT_TRUE(page_ready("camera")) << message();
    }
    ASSERT_TRUE(browser_.click("#cam-save"));
    ASSERT_TRUE(message_has("saved")) << message();
    EXPECT_EQ(direct("/2000", std::string("{\"chnid\":") + ch + "}"), before) << ch;
    ASSERT_TRUE(browser_.go(url("/cameras")));
    ASSERT_TRUE(page_ready("cameras"));
  }
}

// The console's own helpers, run in the browser: the password digest
// against ours, and the schedule and export encodings.
TEST_F(ConsoleTest, DigestAndScheduleHelpersInTheBrowser) {
  ASSERT_TRUE(browser_.go(url()));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('login-form')"));
  const std::vector<std::string> texts = {"", "admin-pw", std::string(55, 'x'), std::string(56, 'y'),
                                          std::string(64, 'z'), std::string(1000, 'q'), "p\xc3\xa4ss w\xe2\x9c\x93rd"};
  std::string list = "[";
  for (const std::string& t : texts) list += (list.size() > 1 ? "," : "") + js_quote(t);
  list += "]";
  std::string want = "[";
  for (const std::string& t : texts) want += (want.size() > 1 ? "," : "") + js_quote(md5_hex(t));
  want += "]";
  EXPECT_EQ(browser_.eval("return import('/js/md5.js').then(m => " + list + ".map(m.md5Hex))"), want);

  // Marked half hours become sections and come back the same.
  EXPECT_EQ(browser_.eval(R"(return import('/js/schedule.js').then(s => {
      const rows = s.DAYS.map(() => new Array(48).fill(false));
      rows[0].fill(true);
      rows[2][0] = rows[2][1] = rows[2][47] = true;
      rows[7][20] = true;
      const week = s.weekOfCells(rows, 1);
      const back = s.cellsOfWeek(week.map(d => d.map(([a, b, t]) => ({startTime: a, endTime: b, actionType: t}))));
      return [week.length, week[0][0], week[0][1], week[2].slice(0, 2), week[7][0],
              JSON.stringify(back.rows) === JSON.stringify(rows), back.actionType];
    }))"),
            R"([8,["00:00","24:00",1],["","",0],[["00:00","01:00",1],["23:30","24:00",1]],["10:00","10:30",1],true,1])");
  EXPECT_EQ(browser_.eval(R"(return import('/js/schedule.js').then(s => {
      const rows = s.DAYS.map(() => new Array(48).fill(false));
      for (let c = 0; c < 48; c += 2) rows[1][c] = true;
      try { s.weekOfCells(rows); return 'taken'; } catch (e) { return e.message; }
    }))"),
            "\"Monday: at most 12 separate periods a day\"");
  // Stored sections with odd times cover every half hour they touch;
  // empty or reversed ones cover none.
  EXPECT_EQ(browser_.eval(R"(return import('/js/schedule.js').then(s => {
      const r = s.cellsOfWeek([[{startTime: "08:10", endTime: "09:05", actionType: 2},
                                {startTime: "12:00", endTime: "11:00", actionType: 1},
                                {startTime: "", endTime: "", actionType: 0}]]);
      return [r.rows[0].map((on, c) => on ? c : -1).filter(c => c >= 0), r.actionType];
    }))"),
            "[[16,17,18],2]");
  // Operation sub-types of an export travel as bits of the first entry.
  EXPECT_EQ(browser_.eval("return import('/js/pages/logs.js').then(l => [l.exportSubTypes(4, 10), "
                          "l.exportSubTypes(4, 101), l.exportSubTypes(4, 102), l.exportSubTypes(2, 11)])"),
            "[[10],[11,10,10],[12,10,10],[11]]");
  EXPECT_EQ(browser_.eval("return import('/js/pages/users.js').then(u => [u.channelText('0011', [true, false]), "
                          "u.channelText('', [false, true, true])])"),
            R"(["1011","011"])");
  EXPECT_EQ(browser_.eval("return import('/js/api.js').then(a => [a.attachmentName('attachment; filename= x_log_1.csv', 'f'), "
                          "a.attachmentName('attachment; filename= ../../etc/passwd', 'f'), a.attachmentName(null, 'f'), "
                          "a.isCgiError('CGI ERROR'), a.isCgiError('{status:\"CGI ERROR\"}'), a.isCgiError('OK')])"),
            R"(["x_log_1.csv",".._.._etc_passwd","f",true,true,false])");
}

TEST_F(ConsoleTest, RecorderErrorsShowAsMessages) {
  sign_in();
  ASSERT_TRUE(page_ready("cameras")) << message();
  // A channel out of the handler's range: its JSON error reply.
  ASSERT_TRUE(browser_.go(url("/motion/70")));
  ASSERT_TRUE(page_ready("motion"));
  EXPECT_TRUE(message_has("CGI ERROR")) << message();
  EXPECT_NE(browser_.text(".page-body .failed"), "");
  // No core daemon: the camera list times out into "CGI ERROR".
  env_.stop_sim();
  ASSERT_TRUE(browser_.go(url("/status")));
  ASSERT_TRUE(browser_.go(url("/cameras")));
  ASSERT_TRUE(page_ready("cameras"));
  EXPECT_TRUE(message_has("CGI ERROR")) << message();
  // A refused edit (an address is needed): the empty reply.
  env_.start_sim();
  ASSERT_TRUE(browser_.go(url("/camera/0")));
  ASSERT_TRUE(page_ready("camera")) << message();
  ASSERT_TRUE(browser_.type("#cam-ip", ""));
  ASSERT_TRUE(browser_.click("#cam-save"));
  EXPECT_TRUE(message_has("empty reply")) << message();
}

TEST_F(ConsoleTest, AddedViewerSignsInButIsRefusedTheUserPage) {
  open_page("/users", "users");
  EXPECT_EQ(browser_.text("#user-list tr[data-user=\"admin\"] td:nth-child(2)"), "Administrator");
  ASSERT_TRUE(browser_.click("#user-add"));
  ASSERT_TRUE(browser_.type("#user-name", "guard"));
  ASSERT_TRUE(browser_.type("#user-password", "guard-pw"));
  // A viewer with remote live view and playback only (the new user's marks).
  EXPECT_EQ(browser_.eval("return [...document.querySelectorAll('#user-rights input:checked')].map(b => b.id).join(' ')"),
            "\"right-remoteLiveView right-remotePlayback\"");
  ASSERT_TRUE(browser_.click("#user-save"));
  ASSERT_TRUE(message_has("User guard added")) << message();
  ASSERT_TRUE(browser_.wait_for("document.querySelector('#user-list tr[data-user=\"guard\"]')"));
  EXPECT_EQ(browser_.text("#user-list tr[data-user=\"guard\"] td:nth-child(3)"), "2 of 10 areas");

  // Stored with its rights (the digest is proved by signing in below).
  JsonPtr list(json_tokener_parse(direct("/6070", "").c_str()));
  ASSERT_TRUE(list && json_object_is_type(list.get(), json_type_array));
  json_object* guard = nullptr;
  for (size_t i = 0; i < json_array_size(list.get()); ++i) {
    json_object* u = json_object_array_get_idx(list.get(), i);
    char name[64];
    json_get_text(u, "name", name);
    if (std::string(name) == "guard") guard = u;
  }
  ASSERT_NE(guard, nullptr);
  EXPECT_EQ(json_get_int(guard, "type"), 2);
  EXPECT_EQ(json_get_int(guard, "remoteLiveView"), 1);
  EXPECT_EQ(json_get_int(guard, "remoteSettings"), 0);

  ASSERT_TRUE(browser_.click("#sign-out"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('login-form')"));
  ASSERT_TRUE(browser_.type("#login-user", "guard"));
  ASSERT_TRUE(browser_.type("#login-password", "guard-pw"));
  ASSERT_TRUE(browser_.click("#login-submit"));
  ASSERT_TRUE(page_ready("cameras")) << message();
  EXPECT_TRUE(message_has("(403)")) << message();  // the camera list needs the camera right
  EXPECT_EQ(browser_.text("#who"), "guard (viewer)");
  ASSERT_TRUE(browser_.go(url("/users")));
  ASSERT_TRUE(page_ready("users"));
  EXPECT_TRUE(message_has("/6070: Your account has no right to this page (403)")) << message();
}

TEST_F(ConsoleTest, LogSearchPagesAndExportsCsv) {
  open_page("/logs", "logs");
  // The demo's log holds one day of 300 entries, 2026-12-07.
  ASSERT_TRUE(browser_.eval("const set = (id, v) => { const e = document.getElementById(id); e.value = v; };"
                            "set('log-start', '2026-12-07T00:00:00'); set('log-end', '2026-12-07T23:59:59');") != "");
  ASSERT_TRUE(browser_.click("#log-search"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('log-count')")) << message();
  EXPECT_EQ(browser_.text("#log-count"), "300 entries, page 1 of 3.");
  EXPECT_EQ(browser_.eval("return document.querySelectorAll('#log-list tbody tr').length"), "100");
  ASSERT_TRUE(browser_.click("#log-next"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('log-count').textContent.includes('page 2 of 3')"));
  // One entry's detail from the recorder.
  ASSERT_TRUE(browser_.click("#log-list tbody tr"));
  // The panel shows before the recorder's answer fills it.
  EXPECT_TRUE(browser_.wait_for("!document.getElementById('log-detail').hidden && "
                                "document.getElementById('log-detail').textContent.includes(' on channel ')"))
      << browser_.text("#log-detail");
  shot("logs");

  ASSERT_TRUE(browser_.click("#log-export"));
  ASSERT_TRUE(message_has("Saved ")) << message();
  const auto [name, csv] = downloaded();
  EXPECT_EQ(name.substr(0, 8), "All_log_") << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".csv");
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,");
  size_t rows = 0;
  for (size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++rows;
  EXPECT_EQ(rows, 301u);
}

TEST_F(ConsoleTest, PlaybackSessionIsSteeredByItsButtons) {
  open_page("/playback", "playback");
  ASSERT_NE(browser_.eval("document.getElementById('play-day').value = '2026-12-07';"
                          "document.getElementById('play-channel').value = '1';"),
            "");
  ASSERT_TRUE(browser_.click("#play-search"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-list')")) << message();
  EXPECT_EQ(browser_.eval("return [...document.querySelectorAll('#play-list tbody tr')].map(r => r.cells[2].textContent).join(',')"),
            "\"continuous,motion,continuous,alarm,continuous,motion,continuous\"");
  const size_t before = env_.journal().size();
  ASSERT_TRUE(browser_.click("#play-section-3"));  // the alarm at 12:30
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-state').textContent.includes('playing at 1')")) << message();
  ASSERT_TRUE(browser_.click("#play-pause"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-state').textContent.includes('paused')")) << message();
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-where').textContent.startsWith('At 2026-12-07 12:30')"))
      << browser_.text("#play-where");
  ASSERT_TRUE(browser_.type("#play-jump-time", "18:00:00"));
  ASSERT_TRUE(browser_.click("#play-jump"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-where').textContent.startsWith('At 2026-12-07 18:00')"))
      << browser_.text("#play-where") << message();
  ASSERT_TRUE(browser_.click("#play-resume"));
  ASSERT_TRUE(browser_.click("#play-faster"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-state').textContent.includes('playing at 2')")) << message();
  shot("playback");
  ASSERT_TRUE(browser_.click("#play-stop"));
  ASSERT_TRUE(browser_.wait_for("document.getElementById('play-state').textContent === 'No session.'")) << message();

  // The core heard the session's steps in order: start, pause, jump, play,
  // faster, stop.
  std::vector<int> ids;
  const std::vector<std::string> all = env_.journal();
  for (size_t i = before; i < all.size(); ++i) {
    const int id = std::atoi(all[i].c_str());
    if (id == 1162 || id == 1165 || id == 1171 || id == 1166 || id == 1112 || id == 1164) ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int>{1162, 1165, 1171, 1166, 1112, 1164}));
}

TEST_F(ConsoleTest, ConfigurationExportGivesAFileThatImportsBack) {
  open_page("/maintenance", "maintenance");
  ASSERT_TRUE(browser_.click("#config-export"));
  ASSERT_TRUE(message_has("Configuration exported as nvr_profile_")) << message();
  const auto [name, archive] = downloaded();
  EXPECT_EQ(name.rfind("nvr_profile_", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 7), ".tar.gz");
  ASSERT_GT(archive.size(), 2u);
  EXPECT_EQ(archive.substr(0, 2), "\x1f\x8b");  // gzip
  EXPECT_FALSE(env_.exists("/tmp/" + name));  // handed over and removed on the recorder

  // A user added after the export is gone once the file is imported.
  ASSERT_EQ(direct("/6071", R"({"name":"later","password":"0123456789abcdef0123456789abcdef","type":2,)"
                            R"("permission":0,"remotePermission":0})").substr(0, 3),
            "id=");
  ASSERT_NE(direct("/6070", "").find("\"later\""), std::string::npos);
  ASSERT_TRUE(browser_.type("#config-file", downloads_ + "/" + name));
  ASSERT_NE(browser_.eval("window.confirm = () => true;"), "");
  ASSERT_TRUE(browser_.click("#config-import"));
  ASSERT_TRUE(message_has("Configuration imported from " + name)) << message();
  zrdb_close_all();
  EXPECT_EQ(direct("/6070", "").find("\"later\""), std::string::npos);
  EXPECT_NE(direct("/6070", "").find("\"admin\""), std::string::npos);

  // A file that is no configuration is refused with the recorder's answer.
  const std::string notes = downloads_ + "/notes.txt";
  std::ofstream(notes) << "just text\n";
  ASSERT_TRUE(browser_.type("#config-file", notes));
  ASSERT_TRUE(browser_.click("#config-import"));
  EXPECT_TRUE(message_has("CGI ERROR")) << message();
}

TEST_F(ConsoleTest, StatusAndDiskPagesShowTheRecorder) {
  open_page("/status", "status");
  EXPECT_EQ(browser_.text("#status-channels tr[data-channel=\"0\"] td:nth-child(2)"), "Front door");
  EXPECT_EQ(browser_.eval("return document.querySelectorAll('#status-netif tbody tr').length > 0"), "true");
  EXPECT_NE(browser_.text("#status-users").find("admin"), std::string::npos) << browser_.text("#status-users");
  ASSERT_TRUE(browser_.go(url("/disks")));
  ASSERT_TRUE(page_ready("disks")) << message();
  EXPECT_EQ(browser_.eval("return document.querySelectorAll('#disk-list tbody tr').length > 0"), "true") << message();
}

}  // namespace
