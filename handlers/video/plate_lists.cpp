// Licence plate recognition: the plate list kept in the plate database
// (black, white and visitor plates, one row per plate).
// Serves "/6183", "/6184", "/6185".
#include <vector>

#include "handlers/video/video.h"
#include "platform/textutil.h"

namespace video {

namespace {

constexpr int PLATE_BATCH_MAX = 10000;

// A plate as the page sends it (URL-encoded) decoded into its field; false
// for a member that is not a text or decodes to nothing.
bool take_plate(json_object* v, char (&plate)[64]) {
  if (!v || !json_object_is_type(v, json_type_string)) return false;
  get_url_decode(json_object_get_string(v), plate, sizeof plate);
  return plate[0] != '\0';
}

bool take_type(json_object* v, char (&type)[16]) {
  if (!v || !json_object_is_type(v, json_type_string)) return false;
  copy_field(type, json_object_get_string(v));
  return true;
}

// "cnt" within 1..PLATE_BATCH_MAX.
bool take_count(json_object* req, int* cnt) { return json_strict_int_in(req, "cnt", 1, PLATE_BATCH_MAX, cnt); }

}  // namespace

// {"cnt", "plate": [plate, ...]}: the plates before the first missing one
// are removed in one transaction.
void on_set_anpr_del_lpr_plate(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  int cnt = 0;
  if (!take_count(req.get(), &cnt)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  json_object* plates = json_array_member(req.get(), "plate");
  std::vector<AnprListEntry> list;
  for (int i = 0; i < cnt; ++i) {
    AnprListEntry e{};
    if (!take_plate(json_array_at(plates, static_cast<size_t>(i)), e.plate)) break;
    list.push_back(e);
  }
  if (list.empty() || delete_anpr_lists(ANPR_DB_PATH, list.data(), static_cast<int>(list.size())) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
}

// {"cnt", "plate": [[type, plate], ...]}: added (a listed plate takes the
// new type) in one transaction; answers how many were written.
void on_set_anpr_add_lpr_plate(char* text) {
  JsonPtr req(parse_request_object(text));
  int cnt = 0;
  if (!req || !take_count(req.get(), &cnt)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* plates = json_array_member(req.get(), "plate");
  std::vector<AnprListEntry> list;
  for (int i = 0; i < cnt; ++i) {
    json_object* pair = json_array_at(plates, static_cast<size_t>(i));
    AnprListEntry e{};
    if (!take_type(json_array_at(pair, 0), e.type) || !take_plate(json_array_at(pair, 1), e.plate)) break;
    list.push_back(e);
  }
  if (list.empty() || write_anpr_list_replace_batch(ANPR_DB_PATH, list.data(), static_cast<int>(list.size())) != 0) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "count", static_cast<int64_t>(list.size()));
  cgi_write_json(o.get());
}

// {"cnt", "plate": [[old plate, new type, new plate], ...]}: each old plate
// is removed and the new one updated or added; all in one transaction.
void on_set_anpr_update_lpr_plate(char* text) {
  JsonPtr req(parse_request_object(text));
  if (!req) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  int cnt = 0;
  if (!take_count(req.get(), &cnt)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  json_object* plates = json_array_member(req.get(), "plate");
  ZrdbTransaction txn(ANPR_DB_PATH);
  bool ok = txn.ok();
  for (int i = 0; ok && i < cnt; ++i) {
    json_object* row = json_array_at(plates, static_cast<size_t>(i));
    char old_plate[64] = "";
    AnprListEntry e{};
    if (!take_plate(json_array_at(row, 0), old_plate) || !take_type(json_array_at(row, 1), e.type) ||
        !take_plate(json_array_at(row, 2), e.plate))
      break;
    if (delete_anpr_list(ANPR_DB_PATH, old_plate) != 0) {
      ok = false;
      break;
    }
    AnprListEntry found{};
    const int rc = read_anpr_list_plate(ANPR_DB_PATH, e.plate, &found);
    if (rc < 0 || (rc == 0 ? update_anpr_list(ANPR_DB_PATH, &e) : write_anpr_list(ANPR_DB_PATH, &e)) != 0) ok = false;
  }
  if (!ok || txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  cgi_reply_ok();
}

}  // namespace video
