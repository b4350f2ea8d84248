// Shared pieces of the login, user and access tests: a temporary recorder
// with the administrator "admin" (password "admin-pw") in slot 0, accounts
// written straight into its store, and requests sent with chosen cookies.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "core/md5.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/user_record.h"
#include "e2e_harness.h"
#include "temp_root_test.h"
#include "platform/zrdb.h"

inline const std::string kTextHeader = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonHeader = "Content-type: application/json\r\n\r\n";
inline const std::string kUnauthorized = "Status: 401 Unauthorized\r\n\r\n";
inline const std::string kForbidden = "Status: 403 Forbidden\r\n\r\n";
// The access check let the request through to its handler (whatever the
// handler then answers).
inline bool passed_access(const std::string& out) { return out != kUnauthorized && out != kForbidden; }

struct AccountSpec {
  int id;
  const char* name;
  const char* password;  // plain text; stored as its digest
  int type;
  uint32_t remote_rights;  // bit a: remote right of area a is 1
};

class AccountsTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    ASSERT_EQ(seed_admin_user(ZRDB_PATH, "admin-pw"), 0);
    env_.start_sim();
  }

  static UserRecord make_user(const AccountSpec& a) {
    UserRecord u;
    std::memset(&u, 0, sizeof u);
    u.id = a.id;
    u.enable = 1;
    copy_field(u.name, a.name);
    copy_field(u.password, md5_hex(a.password));
    u.type = a.type;
    copy_field(u.localliveview, "1100");
    copy_field(u.localplayback, "0011");
    copy_field(u.remoteliveview, "1010");
    copy_field(u.remoteplayback, "0101");
    for (int i = 0; i < AREA_COUNT; ++i) {
      u.local_rights[i] = i + 1;
      u.remote_rights[i] = (a.remote_rights >> i) & 1;
    }
    u.permission = 7;
    u.remote_permission = 9;
    update_channel_masks(&u);
    return u;
  }
  void put_user(const UserRecord& u) { ASSERT_EQ(write_user(ZRDB_PATH, &u, u.id), 0); }
  void add_user(const AccountSpec& a) { put_user(make_user(a)); }
  UserRecord stored(int id) {
    UserRecord u;
    std::memset(&u, 0, sizeof u);
    zrdb_read_record(ZRDB_PATH, "user", id, &u, sizeof u);
    return u;
  }

  static std::string login_body(const std::string& name, const std::string& digest) {
    return "{\"userName\":\"" + name + "\",\"md5\":\"" + digest + "\"}";
  }
  // uptime fixes the boot-time clock sessions and login blocks count on,
  // wall the recorder's clock (both unset when empty).
  static void fix_clocks(CgiRequest* req, const std::string& uptime, const std::string& wall) {
    if (!uptime.empty()) req->env["NVR_FIXED_UPTIME"] = uptime;
    if (!wall.empty()) req->env["NVR_FIXED_TIME"] = wall;
  }
  CgiResult login(const std::string& name, const std::string& digest, const std::string& addr = "127.0.0.1",
                  const std::string& uptime = "", const std::string& wall = "") {
    CgiRequest req = post("/1000", login_body(name, digest), "");
    req.anonymous = true;
    req.env["REMOTE_ADDR"] = addr;
    fix_clocks(&req, uptime, wall);
    return env_.run(req);
  }
  // The session id of a successful login reply, "" when there is none.
  static std::string session_of(const CgiResult& r) {
    std::smatch m;
    static const std::regex id("\"sessionId\":\"([0-9]{32})\"");
    return std::regex_search(r.out, m, id) ? m[1].str() : "";
  }
  // Logs in with the password and gives the cookie of the new session.
  std::string cookie_for(const std::string& name, const std::string& password,
                         const std::string& addr = "127.0.0.1", const std::string& uptime = "",
                         const std::string& wall = "") {
    std::string id = session_of(login(name, md5_hex(password), addr, uptime, wall));
    EXPECT_FALSE(id.empty()) << "login of " << name;
    return "userName=" + name + "; sessionId=" + id;
  }

  static CgiRequest post(const std::string& path, const std::string& body, const std::string& cookie) {
    CgiRequest req;
    req.method = "POST";
    req.path_info = path;
    req.content_type = "application/json";
    req.body = body;
    req.cookie = cookie;
    return req;
  }
  static CgiRequest get(const std::string& path, const std::string& query, const std::string& cookie) {
    CgiRequest req;
    req.path_info = path;
    req.query = query;
    req.cookie = cookie;
    return req;
  }
  // Runs a request as the default administrator (empty cookie) or with the
  // given cookie.
  CgiResult run(const std::string& path, const std::string& body = "", const std::string& cookie = "",
                const std::string& uptime = "", const std::string& wall = "") {
    CgiRequest req = post(path, body, cookie);
    fix_clocks(&req, uptime, wall);
    return env_.run(req);
  }

};
