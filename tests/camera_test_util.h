// End-to-end fixture of the camera module: the built webcgi against
// zrcore-sim, with the store of the temporary NVR_ROOT open to the test.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/paths.h"
#include "e2e_harness.h"
#include "temp_root_test.h"
#include "platform/zrdb.h"

namespace camtest {

inline const std::string kJson = "Content-type: application/json\r\n\r\n";
inline const std::string kText = "Content-type: text/plain\r\n\r\n";
inline const std::string kJsonError = kJson + "{status:\"CGI ERROR\"}";
inline const std::string kTextError = kText + "CGI ERROR";

template <typename T>
T zeroed() {
  T rec;
  std::memset(&rec, 0, sizeof rec);
  return rec;
}

// A script line: request id answered with the bytes of a record.
template <typename T>
std::string reply_line(int id, const T& rec) {
  return std::to_string(id) + " reply hex=" + record_hex(rec) + "\n";
}
inline std::string reply_bytes_line(int id, const void* data, size_t len) {
  return std::to_string(id) + " reply hex=" + to_hex(data, len) + "\n";
}

class CameraE2e : public TempRootTest {
 protected:
  // POSTs a JSON body; wait_ms caps the wait for a reply.
  CgiResult post(const std::string& path, const std::string& body, const std::string& wait_ms = "") {
    zrdb_close_all();
    CgiRequest req;
    req.method = "POST";
    req.content_type = "application/json";
    req.path_info = path;
    req.body = body;
    if (!wait_ms.empty()) req.env["NVR_IPC_WAIT_MS"] = wait_ms;
    CgiResult r = env_.run(req);
    zrdb_close_all();
    return r;
  }
  std::vector<std::string> journal() const { return env_.journal(); }
};

// "<id> <hex>" journal line.
inline std::string line(int id, const std::string& hex) { return std::to_string(id) + " " + hex; }
template <typename T>
std::string line_of(int id, const T& rec) {
  return line(id, record_hex(rec));
}
inline std::string int_hex(int32_t v) { return to_hex(&v, sizeof v); }

}  // namespace camtest
