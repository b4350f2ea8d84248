#include "core/ssl_params.h"

#include <cstring>

#include "platform/zrdb.h"

namespace {
constexpr char kFamily[] = "ssl_params";
bool known_index(int index) { return index == SSL_PARAMS_INSTALLED || index == SSL_PARAMS_REQUEST; }
}  // namespace

int read_ssl_params(const char* db, SslParams* rec, int index) {
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  if (!known_index(index)) return -1;
  return zrdb_read_record(db, kFamily, index, rec, sizeof *rec) < 0 ? -1 : 0;
}

int write_ssl_params(const char* db, const SslParams* rec, int index) {
  if (!rec || !known_index(index)) return -1;
  return zrdb_write_record(db, kFamily, index, rec, sizeof *rec) == 0 ? 0 : -1;
}
