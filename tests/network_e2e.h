// End-to-end fixture of the network pages: requests by GET or POST, the
// texts the core receives, and the records as the store keeps them.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/cgi_util.h"
#include "event_e2e.h"

class NetworkE2e : public EventE2e {
 protected:
  // A GET with the request text in the query string.
  CgiResult get(const std::string& name, const std::string& query, std::vector<std::string>* journal = nullptr) {
    CgiRequest req;
    req.path_info = name;
    req.query = query;
    const size_t before = env_.journal().size();
    CgiResult r = env_.run(req);
    if (journal) {
      std::vector<std::string> all = env_.journal();
      journal->assign(all.begin() + static_cast<long>(before < all.size() ? before : all.size()), all.end());
    }
    return r;
  }

  // A text in a zero-padded field of n bytes, as hex.
  static std::string text_hex(const std::string& s, size_t n) {
    std::string buf(n, '\0');
    std::memcpy(&buf[0], s.data(), s.size() < n ? s.size() : n);
    return to_hex(buf.data(), n);
  }
  static std::string changed_line(const std::string& what) { return line(1702, text_hex(what, 32)); }
  static std::string log_line_of(int main_type, long long sub_type, int param) {
    OperationLogInfo info = expected_log_record(sub_type, param, 0);
    info.main_type = main_type;
    return line_of(3485, info);
  }
  static std::string text_reply(const std::string& body) { return "Content-type: text/plain\r\n\r\n" + body; }
  static std::string json_reply(const std::string& body) { return std::string(kJsonHead) + body; }

  // The bytes of one stored record ("" when the family has none).
  std::string stored_hex(const char* family, int id, size_t size) {
    zrdb_close_all();
    std::string buf(size, '\0');
    if (zrdb_read_record(ZRDB_PATH, family, id, &buf[0], size) != 0) return "";
    return to_hex(buf.data(), size);
  }
};
