// End-to-end fixture of the event pages: the built webcgi against zrcore-sim
// in a temporary NVR_ROOT, with the test process reading the same store.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/cgi_util.h"
#include "core/paths.h"
#include "e2e_harness.h"
#include "temp_root_test.h"
#include "platform/zrdb.h"

constexpr char kTextOk[] = "Content-type: text/plain\r\n\r\nOK";
constexpr char kTextError[] = "Content-type: text/plain\r\n\r\nCGI ERROR";
constexpr char kJsonError[] = "Content-type: application/json\r\n\r\n{status:\"CGI ERROR\"}";
constexpr char kJsonHead[] = "Content-type: application/json\r\n\r\n";

class EventE2e : public TempRootTest {
 protected:

  // Runs one request; `journal` gets the lines the core received during it.
  CgiResult send(const std::string& name, const std::string& body, std::vector<std::string>* journal = nullptr,
                 const std::string& wait_ms = "") {
    CgiRequest req;
    req.method = "POST";
    req.path_info = name;
    req.content_type = "application/json";
    req.body = body;
    if (!wait_ms.empty()) req.env["NVR_IPC_WAIT_MS"] = wait_ms;
    const size_t before = env_.journal().size();
    CgiResult r = env_.run(req);
    if (journal) {
      std::vector<std::string> all = env_.journal();
      journal->assign(all.begin() + static_cast<long>(before < all.size() ? before : all.size()), all.end());
    }
    return r;
  }

  // Body of a JSON reply (after the header), or "" when the header differs.
  static std::string json_body(const CgiResult& r) {
    const std::string head = kJsonHead;
    return r.out.compare(0, head.size(), head) == 0 ? r.out.substr(head.size()) : "";
  }

  template <typename T>
  T read(const std::string& family, int id) {
    zrdb_close_all();
    T rec;
    std::memset(&rec, 0, sizeof rec);
    EXPECT_GE(zrdb_read_record(ZRDB_PATH, family.c_str(), id, &rec, sizeof rec), 0);
    return rec;
  }
  int count(const std::string& family) {
    zrdb_close_all();
    int n = zrdb_count_records(ZRDB_PATH, family.c_str());
    return n < 0 ? 0 : n;
  }

  static std::string line(int id, const std::string& hex) { return std::to_string(id) + " " + hex; }
  template <typename T>
  static std::string line_of(int id, const T& rec) { return line(id, record_hex(rec)); }
  static std::string i32(int32_t v) { return to_hex(&v, sizeof v); }
  static std::string u64(uint64_t v) { return to_hex(&v, sizeof v); }
  static std::string log_line(int param, int channel) {
    return line_of(3485, expected_log_record(204, param, channel));
  }
  static std::string log_copy_line(int param, uint64_t mask) {
    OperationLogInfo info = expected_log_record(204, param, 0);
    return line(3509, record_hex(info) + u64(mask));
  }

};

// A request schedule: day 0 holds one section, the other entries are empty.
inline std::string week_json(const std::string& start, const std::string& end, int action) {
  return "[[[\"" + start + "\",\"" + end + "\"," + std::to_string(action) + "]]]";
}
// The start of the stored week as the general form encodes it.
inline std::string week_reply_prefix(const std::string& start, const std::string& end, int action) {
  return "[[{\"startTime\":\"" + start + "\",\"endTime\":\"" + end + "\",\"actionType\":" + std::to_string(action) +
         "},{\"startTime\":\"\",\"endTime\":\"\",\"actionType\":0}";
}
