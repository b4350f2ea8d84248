// Configuration library: scalar parameters and fixed-layout record families
// kept in an SQLite database ("/mnt/nand/app/zrdb.db" under NVR_ROOT, and
// the plate-list and OEM databases). Requests are separate processes; every
// operation is safe under concurrent writers.
//
// Handlers that read a record, change some fields and write it back wrap
// the three steps in a ZrdbTransaction, so that two requests changing
// different fields of the same record both keep their change:
//
//   ZrdbTransaction txn(ZRDB_PATH);
//   CameraRecord cam{};
//   read_camera(ZRDB_PATH, &cam, id);
//   ... apply present keys ...
//   write_camera(ZRDB_PATH, &cam, id);
//   txn.commit();
//
// Every operation of the process on that database runs inside the open
// transaction; a transaction opened inside another becomes a savepoint of
// it (its rollback undoes only its own part; the outer rollback undoes all).
// Each process keeps one connection per database, opened on first use.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr char ZRDB_PATH[] = "/mnt/nand/app/zrdb.db";
constexpr char ANPR_DB_PATH[] = "/mnt/nand/app/anpr.db";
constexpr char OEM_DB_PATH[] = "/mnt/nand2/oem.db";

// ---- Scalar parameters ------------------------------------------------------------
// Setters: 0, or -1 on failure (logged); they create an absent key, so
// set_param_value and add_param_value do the same. A value stored as text
// reads through get_param_int when it is a whole decimal number, and an
// integer reads through get_param_value as its decimal text.
// The stored value, or def when the key is absent or the store failed.
int get_param_int(const char* db, const char* key, int def);
int set_param_int(const char* db, const char* key, int value);
// Copies the text (or def) into buf, cut to size-1 characters: 0 for a
// stored value, 1 when the key is absent, -1 when the store failed.
int get_param_value(const char* db, const char* key, char* buf, int size, const char* def);
int set_param_value(const char* db, const char* key, const char* text);
int add_param_value(const char* db, const char* key, const char* text);
// Non-zero when the key is absent (or the store cannot be read).
int check_param_key(const char* db, const char* key);
// Removes a key; 0 also when it was absent.
int delete_param_key(const char* db, const char* key);

// ---- Record families ----------------------------------------------------------------
// A family is a named set of records of one fixed size, keyed by an integer
// id (channel, alarm input, user index ...). Results: 0 success, -1 failure
// (broken database, wrong record size, full disk: logged through cgi_log).
// A record that was never written reads as all zeros with result 1.
int zrdb_read_record(const char* db, const char* family, int id, void* rec, size_t size);
// The same without clearing: rec is written only when the record is read
// whole (0); 1 when it was never written, -1 on failure. For large records
// whose absence the caller handles itself.
int zrdb_read_stored_record(const char* db, const char* family, int id, void* rec, size_t size);
int zrdb_write_record(const char* db, const char* family, int id, const void* rec, size_t size);
int zrdb_delete_record(const char* db, const char* family, int id);
// Reads up to max records in id order into an array; *count gets how many.
int zrdb_read_records(const char* db, const char* family, void* array, size_t size, int max, int* count);
// Copies record src_id to every channel whose bit is set in mask (never to
// src_id itself).
int zrdb_copy_record(const char* db, const char* family, int src_id, uint64_t mask, size_t size);

// ---- Additions -------------------------------------------------------------------------
// Reads the records with ids first .. first+n-1 into slots 0 .. n-1 of an
// array (a record never written reads as zeros). 0, or -1 when the store
// failed or a stored record has the wrong size (its slot is left zero).
int zrdb_read_record_range(const char* db, const char* family, int first, void* array, size_t size, int n);
// As zrdb_copy_record; fix (when not null) adjusts each copy for its target
// id before it is written (owner ids kept inside the record).
using ZrdbCopyFix = void (*)(void* rec, int target_id);
int zrdb_copy_record_fix(const char* db, const char* family, int src_id, uint64_t mask, size_t size,
                         ZrdbCopyFix fix);
// Number of records of a family, or -1.
int zrdb_count_records(const char* db, const char* family);
// Calls fn for each record of a family in id order (the blob and its size
// as stored, whatever the size). 0, or -1 when the store failed.
using ZrdbRecordVisitor = void (*)(void* ctx, int id, const void* data, size_t size);
int zrdb_visit_records(const char* db, const char* family, ZrdbRecordVisitor fn, void* ctx);
// Calls fn for each family name with its record count.
using ZrdbFamilyVisitor = void (*)(void* ctx, const char* family, int count);
int zrdb_visit_families(const char* db, ZrdbFamilyVisitor fn, void* ctx);
// 0 when the database can be opened (created with its schema when
// missing), else -1.
int zrdb_check(const char* db);
// Closes the cached connections of this process (tests and tools use it
// before replacing a database file).
void zrdb_close_all();
// The database path of an open ZrdbTransaction of this process (it holds
// that database's write lock), or null when none is open. The core channel
// refuses to wait for a reply while one is open.
const char* zrdb_open_transaction();

// Groups the operations of one request into one write transaction (taken at
// once, waiting for other writers). Without commit() it rolls back.
class ZrdbTransaction {
 public:
  explicit ZrdbTransaction(const char* db);
  ~ZrdbTransaction();
  ZrdbTransaction(const ZrdbTransaction&) = delete;
  ZrdbTransaction& operator=(const ZrdbTransaction&) = delete;
  bool ok() const { return ok_; }
  int commit();

 private:
  const char* db_;
  bool ok_ = false;
  bool done_ = false;
};

// Defines read_<name>/write_<name>/copy_<name>s for a record family, so a
// typed operation takes one line:
//   ZRDB_RECORD_FAMILY(camera, CameraRecord, "camera")
// gives read_camera(db, rec, id), write_camera(db, rec, id),
// read_cameras(db, array, max, &count), copy_cameras(db, src_id, mask).
#define ZRDB_RECORD_FAMILY(name, Type, family)                                            \
  inline int read_##name(const char* db, Type* rec, int id) {                             \
    return zrdb_read_record(db, family, id, rec, sizeof(Type)) < 0 ? -1 : 0;              \
  }                                                                                       \
  inline int write_##name(const char* db, const Type* rec, int id) {                      \
    return zrdb_write_record(db, family, id, rec, sizeof(Type));                          \
  }                                                                                       \
  inline int read_##name##s(const char* db, Type* array, int max, int* count) {           \
    return zrdb_read_records(db, family, array, sizeof(Type), max, count);                \
  }                                                                                       \
  inline int copy_##name##s(const char* db, int src_id, uint64_t mask) {                  \
    return zrdb_copy_record(db, family, src_id, mask, sizeof(Type));                      \
  }

// ---- Plate lists (ANPR_DB_PATH) ---------------------------------------------------------
// One row per plate (the plate is unique), with the list type the page sends.
struct AnprListEntry {
  char type[16];
  char plate[64];
};
static_assert(sizeof(AnprListEntry) == 80, "plate-list entry is 80 bytes");
// Results: 0 success, -1 failure. The batch operations run in one
// transaction: either every entry is applied or none.
int delete_anpr_lists(const char* db, const AnprListEntry* list, int n);
// Adds each entry, replacing the type of a plate already listed.
int write_anpr_list_replace_batch(const char* db, const AnprListEntry* list, int n);
// 0 also when the plate was not listed.
int delete_anpr_list(const char* db, const char* plate);
// 0 and the entry, 1 when the plate is not listed, -1 on failure.
int read_anpr_list_plate(const char* db, const char* plate, AnprListEntry* out);
// Changes the type of a listed plate (-1 when it is not listed).
int update_anpr_list(const char* db, const AnprListEntry* entry);
// Adds a plate (-1 when it is listed already).
int write_anpr_list(const char* db, const AnprListEntry* entry);
// Reads up to max entries in plate order; *count gets how many.
int read_anpr_lists(const char* db, AnprListEntry* array, int max, int* count);
// Number of listed plates, or -1 on failure.
int count_anpr_lists(const char* db);
