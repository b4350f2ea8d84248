// Helpers shared by the storage module's page files: the log entry with a
// detail block, the waiting exchange and the status-word reply writers.
#include "handlers/storage/storage.h"

#include "platform/zrfs.h"

namespace storage {

int32_t g_storage_reply_word = -1;
bool g_storage_reply_taken = false;

void storage_log(int64_t sub_type, int param, int channel, int detail_kind, const void* detail, size_t len) {
  OperationLogInfo info;
  cgi_init_log_info(&info);
  info.sub_type = sub_type;
  info.param = param;
  info.channel = channel;
  if (detail) zrfs_log_pack_detail(info.detail, sizeof info.detail, detail_kind, detail, len);
  notify_core(REQ_OPERATION_LOG, &info, sizeof info);
}

int storage_exchange(int req_id, const void* payload, int len, int error_kind) {
  g_storage_reply_word = -1;
  g_storage_reply_taken = false;
  return cgi_ipc_exchange(on_storage_ipc_callback, req_id, payload, len, error_kind);
}

bool storage_take_word(int count, const void* payload) {
  if (count < 1 || !payload) return false;
  std::memcpy(&g_storage_reply_word, payload, sizeof g_storage_reply_word);
  g_storage_reply_taken = true;
  return true;
}

void storage_answer_ok_or_error(int count, const void* payload) {
  if (!storage_take_word(count, payload))
    cgi_error_to_webserver(CGI_KIND_TEXT);
  else
    cgi_writeback_webserver(CGI_KIND_TEXT, g_storage_reply_word == 0 ? "OK" : "Error");
  g_callback_done = 1;
}

void storage_answer_word(const char* key, int count, const void* payload) {
  if (!storage_take_word(count, payload)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
  } else {
    JsonPtr out(json_object_new_object());
    json_add_int(out.get(), key, g_storage_reply_word);
    cgi_write_json(out.get());
  }
  g_callback_done = 1;
}

bool take_last_port(json_object* req, int32_t* out) {
  json_object* ports = json_array_member(req, "port");
  size_t n = json_array_size(ports);
  int32_t num = 0;
  if (json_has(req, "num")) {
    if (!json_strict_int(req, "num", &num) || num < 1) return false;
    if (static_cast<size_t>(num) < n) n = static_cast<size_t>(num);
  }
  if (n == 0) return false;
  return json_value_int(json_object_array_get_idx(ports, n - 1), out);
}

const char* nas_type_name(int hdd_type, bool other_is_smb) {
  if (hdd_type == DISK_TYPE_NFS) return "NFS";
  if (hdd_type == DISK_TYPE_SMB || other_is_smb) return "SMB/CIFS";
  return "";
}

}  // namespace storage
