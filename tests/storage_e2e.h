// End-to-end fixture of the storage pages: the event fixture plus stored
// disk records, disk list records for scripted replies and the expected
// operation-log lines with their detail blocks.
#pragma once
#include <cstdint>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "core/disk_records.h"
#include "core/strutil.h"
#include "event_e2e.h"
#include "platform/zrfs.h"

constexpr char kTextOkBody[] = "OK";

class StorageE2e : public EventE2e {
 protected:
  // Stores a disk record for a slot from the test process.
  void store_disk(int port, int enable, int type, const std::string& address = "", const std::string& directory = "",
                  const std::string& user = "", const std::string& password = "", int group = 0) {
    DiskRecord rec{};
    rec.id = port;
    rec.enable = enable;
    rec.hddType = type;
    rec.group = group;
    rec.property = 1;
    copy_field(rec.vendorName, "stored vendor");
    copy_field(rec.address, address);
    copy_field(rec.directory, directory);
    copy_field(rec.userName, user);
    copy_field(rec.password, password);
    ASSERT_EQ(write_disk(ZRDB_PATH, &rec, port), 0);
    zrdb_close_all();
  }

  // Replaces the store with a file that is not a database, so every store
  // operation of the next requests fails.
  void break_store() {
    zrdb_close_all();
    for (const char* suffix : {"-wal", "-shm"}) unlink(env_.path(std::string(ZRDB_PATH) + suffix).c_str());
    env_.write_file(ZRDB_PATH, std::string(4096, 'x'));
  }

  DiskRecord disk(int port) { return read<DiskRecord>("disk", port); }

  // The text reply of a request, "" when the header is not the text one.
  static std::string text_body(const CgiResult& r) {
    const std::string head = "Content-type: text/plain\r\n\r\n";
    return r.out.compare(0, head.size(), head) == 0 ? r.out.substr(head.size()) : "";
  }


 public:
  // Operation-log line (main type 4) with a detail block.
  static std::string detail_log_line(long long sub, int param, int channel, int kind, const void* detail, size_t len) {
    OperationLogInfo info = expected_log_record(sub, param, channel);
    if (detail) zrfs_log_pack_detail(info.detail, sizeof info.detail, kind, detail, len);
    return line_of(3485, info);
  }
  static std::string plain_log_line(long long sub, int param, int channel) {
    return line_of(3485, expected_log_record(sub, param, channel));
  }
};

// A disk list record (reply 8433) built by its byte offsets, independently
// of the handler's definition.
struct ListRec {
  uint8_t b[464] = {};
  ListRec& i32(size_t at, int32_t v) {
    std::memcpy(b + at, &v, 4);
    return *this;
  }
  ListRec& u64(size_t at, uint64_t v) {
    std::memcpy(b + at, &v, 8);
    return *this;
  }
  ListRec& text(size_t at, const std::string& s) {
    std::memcpy(b + at, s.data(), s.size());
    return *this;
  }
  ListRec& port(int32_t p) { return i32(0, p); }
  ListRec& type(int32_t t) { return i32(296, t); }
  std::string hex() const { return to_hex(b, sizeof b); }
};

// A script rule that answers a request with the given payload hex.
inline std::string reply_rule(int id, const std::string& hex) { return std::to_string(id) + " reply hex=" + hex + "\n"; }
inline std::string word_hex(int32_t v) { return to_hex(&v, sizeof v); }
