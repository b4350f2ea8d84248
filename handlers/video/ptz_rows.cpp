// PTZ action rows of every event kind.
// Serves "/6160", "/6161", "/6162", "/6163", "/6164".
#include "handlers/video/video.h"

namespace video {

// ---- PTZ action rows of every event kind ---------------------------------------------

// Rows of (type, owner): the people-counting table for type 20 (8 rows),
// else the event table (64 rows).
struct PtzRows {
  int type;
  int owner;
  int capacity;
  PtzActionTable table;
};

bool load_ptz_rows(int type, int owner, PtzRows* rows) {
  std::memset(rows, 0, sizeof *rows);
  rows->type = type;
  rows->owner = owner;
  if (type == PTZ_TYPE_PEOPLE_CNT) {
    rows->capacity = PCNT_PTZ_ROWS;
    PeopleCntPtzTable p;
    std::memset(&p, 0, sizeof p);
    if (read_peoplecnt_ptz_params(ZRDB_PATH, owner, &p) != 0) return false;
    std::memcpy(rows->table.rows, p.rows, sizeof p.rows);
    return true;
  }
  rows->capacity = PTZ_ACTION_ROWS;
  return read_ptz_params(ZRDB_PATH, type, owner, &rows->table) == 0;
}

bool store_ptz_rows(const PtzRows& rows) {
  if (rows.type == PTZ_TYPE_PEOPLE_CNT)
    return write_peoplecnt_ptz_params_ex(ZRDB_PATH, rows.owner, &rows.table) == 0;
  return write_ptz_params_all(ZRDB_PATH, rows.type, rows.owner, &rows.table) == 0;
}

// "type" and "chn_id" of the PTZ action requests, in range; else the text
// error reply.
bool take_ptz_owner(json_object* req, int* type, int* owner) {
  if (req && json_id_in_range(req, "type", 0, PTZ_TYPE_MAX, type) &&
      json_id_in_range(req, "chn_id", 0, NVR_CHANNELS - 1, owner) &&
      (*type != PTZ_TYPE_PEOPLE_CNT || *owner < PCNT_PTZ_ROWS))
    return true;
  cgi_error_to_webserver(CGI_KIND_TEXT);
  return false;
}

// The row of "/6160" and "/6163"; false, with the text error reply, when its
// PTZ channel is absent, negative or not a number, or another number is
// refused.
bool take_ptz_row(json_object* req, int owner, PtzActionRow* row) {
  std::memset(row, 0, sizeof *row);
  row->owner_id = owner;
  RequestInts n;
  if (json_id_in_range(req, "acto_ptz_channel", 0, INT32_MAX, &row->ptz_channel)) {
    row->ptz_type = n.plain(req, "acto_ptz_type");
    if (row->ptz_type == 1) row->preset = n.plain(req, "acto_ptz_preset");
    if (row->ptz_type == 2) row->patrol = n.plain(req, "acto_ptz_patrol");
    if (row->ptz_type == 3) row->pattern = n.plain(req, "acto_ptz_pattern");
    if (n.ok) return true;
  }
  cgi_error_to_webserver(CGI_KIND_TEXT);
  return false;
}

// Puts the row in place of the row of PTZ channel `replace` (or of its own
// channel), else into the first empty row; any other row of the same PTZ
// channel is cleared, so a channel keeps one row. False when the table is
// full.
bool put_ptz_row(PtzRows* rows, const PtzActionRow& row, int replace) {
  int slot = -1, own = -1, free_slot = -1;
  for (int i = 0; i < rows->capacity; ++i) {
    const PtzActionRow& r = rows->table.rows[i];
    if (r.ptz_channel > 0 && r.ptz_channel == replace && slot < 0) slot = i;
    if (r.ptz_channel > 0 && r.ptz_channel == row.ptz_channel && own < 0) own = i;
    if (r.ptz_channel <= 0 && free_slot < 0) free_slot = i;
  }
  if (slot < 0) slot = own >= 0 ? own : free_slot;
  if (slot < 0) return false;
  rows->table.rows[slot] = row;
  if (row.ptz_channel > 0)
    for (int i = 0; i < rows->capacity; ++i)
      if (i != slot && rows->table.rows[i].ptz_channel == row.ptz_channel)
        std::memset(&rows->table.rows[i], 0, sizeof(PtzActionRow));
  return true;
}

void remove_ptz_rows(PtzRows* rows, int ptz_channel) {
  for (int i = 0; i < rows->capacity; ++i)
    if (rows->table.rows[i].ptz_channel == ptz_channel) std::memset(&rows->table.rows[i], 0, sizeof(PtzActionRow));
}

void on_set_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  PtzActionRow row;
  if (!take_ptz_owner(req.get(), &type, &owner) || !take_ptz_row(req.get(), owner, &row)) return;
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows) && put_ptz_row(&rows, row, -1) && store_ptz_rows(rows);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

void on_update_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  PtzActionRow row;
  if (!take_ptz_owner(req.get(), &type, &owner) || !take_ptz_row(req.get(), owner, &row)) return;
  int old_channel = -1;
  if (json_has(req.get(), "old_chn_id") && !json_id_in_range(req.get(), "old_chn_id", -1, INT32_MAX, &old_channel)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows) && put_ptz_row(&rows, row, old_channel) && store_ptz_rows(rows);
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

void on_get_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  JsonPtr out(json_object_new_object());
  json_add(out.get(), "ptzInfo", get_ptz_params_json_object(type, owner));
  cgi_write_json(out.get());
}

void on_delete_ptz_params(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0, channel = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  if (!json_id_in_range(req.get(), "acto_ptz_channel", 0, INT32_MAX, &channel)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows);
  if (ok) {
    remove_ptz_rows(&rows, channel);
    ok = store_ptz_rows(rows);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

// Every element of "ptzChannel" must be a PTZ channel number ("4" counts as
// 4); one the strict reader refuses refuses the request before any write.
void on_delete_ptz_params_batch(char* text) {
  JsonPtr req(parse_request_object(text));
  int type = 0, owner = 0;
  if (!take_ptz_owner(req.get(), &type, &owner)) return;
  json_object* list = json_array_member(req.get(), "ptzChannel");
  const size_t n = json_array_size(list);
  std::unique_ptr<int[]> channels(new int[n ? n : 1]);
  for (size_t i = 0; i < n; ++i) {
    if (!json_value_int(json_array_at(list, i), &channels[i])) {
      cgi_error_to_webserver(CGI_KIND_TEXT);
      return;
    }
  }
  ZrdbTransaction txn(ZRDB_PATH);
  PtzRows rows;
  bool ok = load_ptz_rows(type, owner, &rows);
  if (ok) {
    for (size_t i = 0; i < n; ++i)
      if (channels[i] > 0) remove_ptz_rows(&rows, channels[i]);
    ok = store_ptz_rows(rows);
  }
  if (!finish_event_writes(txn, ok, CGI_KIND_TEXT)) return;
  cgi_reply_ok();
}

}  // namespace video
