#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "zrdb_test_util.h"

namespace {

struct Rec64 {
  int32_t field[64];
};
ZRDB_RECORD_FAMILY(rec64, Rec64, "test_rec64")

struct Small {
  int32_t a;
  int32_t b;
};
ZRDB_RECORD_FAMILY(small, Small, "test_small")

// Waits for a child and gives its exit status (-1 when it did not exit).
int wait_status(pid_t pid) {
  int st = 0;
  if (waitpid(pid, &st, 0) != pid || !WIFEXITED(st)) return -1;
  return WEXITSTATUS(st);
}

using ZrdbParams = StoreTest;

TEST_F(ZrdbParams, DefaultsSettersAndKeyCheck) {
  EXPECT_EQ(get_param_int(ZRDB_PATH, "max_cameras", 32), 32);
  EXPECT_NE(check_param_key(ZRDB_PATH, "max_cameras"), 0);
  EXPECT_EQ(set_param_int(ZRDB_PATH, "max_cameras", 16), 0);
  EXPECT_EQ(check_param_key(ZRDB_PATH, "max_cameras"), 0);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "max_cameras", 32), 16);

  char buf[16];
  EXPECT_EQ(get_param_value(ZRDB_PATH, "model", buf, sizeof buf, "none"), 1);
  EXPECT_STREQ(buf, "none");
  EXPECT_EQ(add_param_value(ZRDB_PATH, "model", "NVR-1"), 0);
  EXPECT_EQ(set_param_value(ZRDB_PATH, "model", "a-model-name-far-longer-than-the-buffer"), 0);
  EXPECT_EQ(get_param_value(ZRDB_PATH, "model", buf, sizeof buf, ""), 0);
  EXPECT_STREQ(buf, "a-model-name-fa");  // cut to size - 1

  // Integer and text values read through either getter.
  EXPECT_EQ(get_param_value(ZRDB_PATH, "max_cameras", buf, sizeof buf, ""), 0);
  EXPECT_STREQ(buf, "16");
  set_param_value(ZRDB_PATH, "wizard_enable", "1");
  EXPECT_EQ(get_param_int(ZRDB_PATH, "wizard_enable", 0), 1);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "model", 7), 7);  // not a number: the default

  EXPECT_EQ(delete_param_key(ZRDB_PATH, "model"), 0);
  EXPECT_NE(check_param_key(ZRDB_PATH, "model"), 0);
  // The three databases are separate stores.
  EXPECT_EQ(get_param_int(ANPR_DB_PATH, "max_cameras", -5), -5);
  EXPECT_EQ(set_param_int(OEM_DB_PATH, "oem_type", 3), 0);
  EXPECT_EQ(get_param_int(OEM_DB_PATH, "oem_type", 0), 3);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "oem_type", 0), 0);
}

using ZrdbRecords = StoreTest;

TEST_F(ZrdbRecords, ReadWriteListRangeAndDelete) {
  Small s{7, 8};
  Small out{1, 1};
  EXPECT_EQ(zrdb_read_record(ZRDB_PATH, "test_small", 3, &out, sizeof out), 1);  // never written
  EXPECT_EQ(out.a, 0);
  EXPECT_EQ(read_small(ZRDB_PATH, &out, 3), 0);
  EXPECT_EQ(write_small(ZRDB_PATH, &s, 3), 0);
  s = {9, 10};
  EXPECT_EQ(write_small(ZRDB_PATH, &s, 1), 0);
  EXPECT_EQ(read_small(ZRDB_PATH, &out, 3), 0);
  EXPECT_EQ(out.a, 7);
  EXPECT_EQ(out.b, 8);

  Small list[4];
  int count = -1;
  EXPECT_EQ(read_smalls(ZRDB_PATH, list, 4, &count), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(list[0].a, 9);  // id order
  EXPECT_EQ(list[1].a, 7);
  EXPECT_EQ(read_smalls(ZRDB_PATH, list, 1, &count), 0);
  EXPECT_EQ(count, 1);

  Small range[4];
  EXPECT_EQ(zrdb_read_record_range(ZRDB_PATH, "test_small", 0, range, sizeof(Small), 4), 0);
  EXPECT_EQ(range[0].a, 0);
  EXPECT_EQ(range[1].a, 9);
  EXPECT_EQ(range[2].a, 0);
  EXPECT_EQ(range[3].a, 7);
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "test_small"), 2);

  EXPECT_EQ(zrdb_delete_record(ZRDB_PATH, "test_small", 3), 0);
  EXPECT_EQ(zrdb_read_record(ZRDB_PATH, "test_small", 3, &out, sizeof out), 1);
}

TEST_F(ZrdbRecords, WrongSizeFailsWithLogLine) {
  Small s{1, 2};
  ASSERT_EQ(write_small(ZRDB_PATH, &s, 0), 0);
  Rec64 big{};
  big.field[0] = 99;
  EXPECT_EQ(zrdb_read_record(ZRDB_PATH, "test_small", 0, &big, sizeof big), -1);
  EXPECT_EQ(big.field[0], 0);  // cleared, not half filled
  EXPECT_NE(cgi_log().find("holds 8 bytes, expected 256"), std::string::npos);
  // A list read keeps the good records and reports the bad one.
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "test_small", 1, &big, sizeof big), 0);
  Small list[4];
  int count = 0;
  EXPECT_EQ(read_smalls(ZRDB_PATH, list, 4, &count), -1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list[0].b, 2);
}

// Statements are kept for the next use of the same SQL: a use nested in
// another of the same SQL (a visitor reading records) gets its own, every
// use sees the store as it is now, and closing the connection drops them.
struct NestedCtx {
  std::vector<int> seen;
  int inner_ok = 0;
};

void nested_visit(void* ctx, int id, const void*, size_t) {
  auto* c = static_cast<NestedCtx*>(ctx);
  c->seen.push_back(id);
  Small s{};
  if (read_small(ZRDB_PATH, &s, id) == 0 && s.a == id * 10) ++c->inner_ok;
  if (id == 1) {  // the same listing again, while the outer one runs
    int inner = 0;
    zrdb_visit_records(ZRDB_PATH, "test_small", [](void* n, int, const void*, size_t) { ++*static_cast<int*>(n); },
                       &inner);
    c->inner_ok += inner == 3 ? 100 : 0;
  }
}

TEST_F(ZrdbRecords, KeptStatementsNestAndFollowChanges) {
  for (int id = 0; id < 3; ++id) {
    Small s{id * 10, 0};
    ASSERT_EQ(write_small(ZRDB_PATH, &s, id), 0);
  }
  NestedCtx ctx;
  ASSERT_EQ(zrdb_visit_records(ZRDB_PATH, "test_small", nested_visit, &ctx), 0);
  EXPECT_EQ(ctx.seen, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(ctx.inner_ok, 103);
  // The same read after a change, after a rollback and after a reopen.
  Small s{55, 0};
  ASSERT_EQ(write_small(ZRDB_PATH, &s, 1), 0);
  Small out{};
  ASSERT_EQ(read_small(ZRDB_PATH, &out, 1), 0);
  EXPECT_EQ(out.a, 55);
  {
    ZrdbTransaction txn(ZRDB_PATH);
    s.a = 66;
    ASSERT_EQ(write_small(ZRDB_PATH, &s, 1), 0);
    ASSERT_EQ(read_small(ZRDB_PATH, &out, 1), 0);
    EXPECT_EQ(out.a, 66);
  }
  ASSERT_EQ(read_small(ZRDB_PATH, &out, 1), 0);
  EXPECT_EQ(out.a, 55);
  zrdb_close_all();
  ASSERT_EQ(read_small(ZRDB_PATH, &out, 1), 0);
  EXPECT_EQ(out.a, 55);
  // More distinct statements than the connection keeps still work.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "test_small"), 3);
    EXPECT_EQ(get_param_int(ZRDB_PATH, "k", 4), 4);
    EXPECT_NE(check_param_key(ZRDB_PATH, "k"), 0);
    EXPECT_EQ(set_param_int(ZRDB_PATH, "k", round), 0);
    EXPECT_EQ(delete_param_key(ZRDB_PATH, "k"), 0);
    Small range[3];
    EXPECT_EQ(zrdb_read_record_range(ZRDB_PATH, "test_small", 0, range, sizeof(Small), 3), 0);
    EXPECT_EQ(range[1].a, 55);
  }
}

// The stored-only read writes the caller's record only for a whole read.
TEST_F(ZrdbRecords, StoredReadLeavesTheRecordUnlessReadWhole) {
  Small out{1, 2};
  EXPECT_EQ(zrdb_read_stored_record(ZRDB_PATH, "test_small", 4, &out, sizeof out), 1);
  EXPECT_EQ(out.a, 1);
  EXPECT_EQ(out.b, 2);
  Rec64 big{};
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "test_small", 4, &big, sizeof big), 0);
  EXPECT_EQ(zrdb_read_stored_record(ZRDB_PATH, "test_small", 4, &out, sizeof out), -1);
  EXPECT_EQ(out.a, 1);
  Small s{3, 4};
  ASSERT_EQ(write_small(ZRDB_PATH, &s, 4), 0);
  EXPECT_EQ(zrdb_read_stored_record(ZRDB_PATH, "test_small", 4, &out, sizeof out), 0);
  EXPECT_EQ(out.a, 3);
  EXPECT_EQ(out.b, 4);
  EXPECT_EQ(zrdb_read_stored_record(ZRDB_PATH, "", 4, &out, sizeof out), -1);
}

TEST_F(ZrdbRecords, CopyToMaskSkipsSourceAndFixesOwner) {
  Rec64 r{};
  r.field[0] = 5;  // owner id
  r.field[1] = 42;
  ASSERT_EQ(write_rec64(ZRDB_PATH, &r, 5), 0);
  Rec64 other{};
  other.field[1] = 1;
  ASSERT_EQ(write_rec64(ZRDB_PATH, &other, 7), 0);
  const uint64_t mask = (1ULL << 0) | (1ULL << 5) | (1ULL << 63);
  EXPECT_EQ(zrdb_copy_record_fix(ZRDB_PATH, "test_rec64", 5, mask, sizeof(Rec64),
                                 [](void* rec, int id) { static_cast<Rec64*>(rec)->field[0] = id; }),
            0);
  Rec64 out{};
  for (int ch : {0, 63}) {
    ASSERT_EQ(read_rec64(ZRDB_PATH, &out, ch), 0);
    EXPECT_EQ(out.field[0], ch);
    EXPECT_EQ(out.field[1], 42);
  }
  EXPECT_EQ(read_rec64(ZRDB_PATH, &out, 7), 0);
  EXPECT_EQ(out.field[1], 1);  // not in the mask
  EXPECT_EQ(zrdb_count_records(ZRDB_PATH, "test_rec64"), 4);
  EXPECT_EQ(copy_rec64s(ZRDB_PATH, 5, 1ULL << 7), 0);
  EXPECT_EQ(read_rec64(ZRDB_PATH, &out, 7), 0);
  EXPECT_EQ(out.field[0], 5);  // plain copy keeps the bytes
}

using ZrdbTxn = StoreTest;

TEST_F(ZrdbTxn, CommitRollbackAndNesting) {
  Small s{1, 1};
  {
    ZrdbTransaction txn(ZRDB_PATH);
    ASSERT_TRUE(txn.ok());
    write_small(ZRDB_PATH, &s, 0);
    Small seen{};
    read_small(ZRDB_PATH, &seen, 0);
    EXPECT_EQ(seen.a, 1);  // own write visible inside
    EXPECT_EQ(txn.commit(), 0);
    EXPECT_EQ(txn.commit(), -1);  // once only
  }
  {
    ZrdbTransaction txn(ZRDB_PATH);
    s.a = 2;
    write_small(ZRDB_PATH, &s, 0);
    set_param_int(ZRDB_PATH, "k", 2);
  }  // no commit: rolled back
  Small out{};
  read_small(ZRDB_PATH, &out, 0);
  EXPECT_EQ(out.a, 1);
  EXPECT_NE(check_param_key(ZRDB_PATH, "k"), 0);

  {
    ZrdbTransaction outer(ZRDB_PATH);
    s.a = 3;
    write_small(ZRDB_PATH, &s, 0);
    {
      ZrdbTransaction inner(ZRDB_PATH);
      ASSERT_TRUE(inner.ok());
      s.a = 4;
      write_small(ZRDB_PATH, &s, 0);
    }  // inner rolled back alone
    {
      ZrdbTransaction inner(ZRDB_PATH);
      set_param_int(ZRDB_PATH, "k", 5);
      EXPECT_EQ(inner.commit(), 0);
    }
    // copy opens its own transaction, nested here
    EXPECT_EQ(copy_smalls(ZRDB_PATH, 0, 1ULL << 1), 0);
    EXPECT_EQ(outer.commit(), 0);
  }
  read_small(ZRDB_PATH, &out, 0);
  EXPECT_EQ(out.a, 3);
  read_small(ZRDB_PATH, &out, 1);
  EXPECT_EQ(out.a, 3);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "k", 0), 5);

  {
    ZrdbTransaction outer(ZRDB_PATH);
    {
      ZrdbTransaction inner(ZRDB_PATH);
      set_param_int(ZRDB_PATH, "k", 6);
      EXPECT_EQ(inner.commit(), 0);
    }
  }  // outer rolled back: the inner commit goes with it
  EXPECT_EQ(get_param_int(ZRDB_PATH, "k", 0), 5);
}

using ZrdbRobust = StoreTest;

TEST_F(ZrdbRobust, GarbageFileIsAFailureNotACrash) {
  env_.write_file(ZRDB_PATH, std::string(4096, 'x'));
  Small s{1, 2};
  EXPECT_EQ(write_small(ZRDB_PATH, &s, 0), -1);
  EXPECT_EQ(read_small(ZRDB_PATH, &s, 0), -1);
  EXPECT_EQ(s.a, 0);
  EXPECT_EQ(get_param_int(ZRDB_PATH, "max_cameras", 32), 32);
  char buf[8];
  EXPECT_EQ(get_param_value(ZRDB_PATH, "model", buf, sizeof buf, "d"), -1);
  EXPECT_STREQ(buf, "d");
  EXPECT_EQ(set_param_int(ZRDB_PATH, "x", 1), -1);
  ZrdbTransaction txn(ZRDB_PATH);
  EXPECT_FALSE(txn.ok());
  EXPECT_EQ(txn.commit(), -1);
  EXPECT_NE(cgi_log().find("not a database"), std::string::npos);
  EXPECT_EQ(env_.read_file(ZRDB_PATH), std::string(4096, 'x'));  // left as it was
}

TEST_F(ZrdbRobust, BadArgumentsFail) {
  Small s{1, 2};
  int count = 5;
  const std::string long_family(300, 'f');
  EXPECT_EQ(zrdb_write_record(nullptr, "f", 0, &s, sizeof s), -1);
  EXPECT_EQ(zrdb_write_record("", "f", 0, &s, sizeof s), -1);
  EXPECT_EQ(zrdb_write_record(ZRDB_PATH, nullptr, 0, &s, sizeof s), -1);
  EXPECT_EQ(zrdb_write_record(ZRDB_PATH, "", 0, &s, sizeof s), -1);
  EXPECT_EQ(zrdb_write_record(ZRDB_PATH, long_family.c_str(), 0, &s, sizeof s), -1);
  EXPECT_EQ(zrdb_write_record(ZRDB_PATH, "f", 0, nullptr, sizeof s), -1);
  EXPECT_EQ(zrdb_write_record(ZRDB_PATH, "f", 0, &s, 0), -1);
  EXPECT_EQ(zrdb_read_record(ZRDB_PATH, "f", 0, nullptr, sizeof s), -1);
  EXPECT_EQ(zrdb_read_records(ZRDB_PATH, "f", &s, sizeof s, -1, &count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(zrdb_copy_record(ZRDB_PATH, "f", 0, ~0ULL, 0), -1);
  EXPECT_EQ(get_param_int(nullptr, "k", 4), 4);
  EXPECT_EQ(get_param_int(ZRDB_PATH, nullptr, 4), 4);
  EXPECT_EQ(set_param_value(ZRDB_PATH, nullptr, "x"), -1);
  EXPECT_EQ(set_param_value(ZRDB_PATH, "k", nullptr), 0);  // stored as the empty text
  char buf[4] = "abc";
  EXPECT_EQ(get_param_value(ZRDB_PATH, "k", buf, 0, "d"), -1);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(get_param_value(ZRDB_PATH, "k", buf, sizeof buf, "d"), 0);
  EXPECT_STREQ(buf, "");
}

TEST_F(ZrdbRobust, MissingFoldersAreCreated) {
  ASSERT_EQ(system(("rm -rf " + env_.path("/mnt")).c_str()), 0);
  EXPECT_EQ(set_param_int(ZRDB_PATH, "alarm_in", 8), 0);
  EXPECT_TRUE(env_.exists(ZRDB_PATH));
}

// A full disk, imitated with a file size limit in a child process: the
// write fails cleanly and the stored record stays as it was.
TEST_F(ZrdbRobust, FullDiskKeepsTheOldRecord) {
  std::vector<char> old(200000, 'o');
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "blob", 0, old.data(), old.size()), 0);
  zrdb_close_all();
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit lim{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &lim);
    std::vector<char> big(200000, 'n');
    int rc = zrdb_write_record(ZRDB_PATH, "blob", 0, big.data(), big.size());
    _exit(rc == -1 ? 0 : 1);
  }
  EXPECT_EQ(wait_status(pid), 0);
  std::vector<char> out(200000);
  ASSERT_EQ(zrdb_read_record(ZRDB_PATH, "blob", 0, out.data(), out.size()), 0);
  EXPECT_EQ(out, old);
  EXPECT_NE(cgi_log().find("writing a record failed"), std::string::npos);
}

// A writer killed at any moment leaves one whole record or the other.
TEST_F(ZrdbRobust, KilledWriterLeavesWholeRecords) {
  std::vector<char> a(30000, 'a');
  ASSERT_EQ(zrdb_write_record(ZRDB_PATH, "blob", 1, a.data(), a.size()), 0);
  for (int round = 0; round < 3; ++round) {
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<char> v(30000);
      for (int i = 0;; ++i) {
        std::fill(v.begin(), v.end(), i % 2 ? 'a' : 'b');
        zrdb_write_record(ZRDB_PATH, "blob", 1, v.data(), v.size());
      }
    }
    usleep(30000 + round * 20000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::vector<char> out(30000);
    ASSERT_EQ(zrdb_read_record(ZRDB_PATH, "blob", 1, out.data(), out.size()), 0);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [&](char c) { return c == out[0]; }));
  }
}

using ZrdbConcurrency = StoreTest;

// 16 processes change different fields of the same record at once, each
// through read-modify-write in a transaction: every change is kept and no
// operation fails on a busy database.
TEST_F(ZrdbConcurrency, SixteenProcessesLoseNoUpdate) {
  constexpr int kProcs = 16;
  constexpr int kRounds = 25;
  Rec64 seed{};
  ASSERT_EQ(write_rec64(ZRDB_PATH, &seed, 9), 0);  // the parent holds an open connection
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int r = 0; r < kRounds; ++r) {
        ZrdbTransaction txn(ZRDB_PATH);
        if (!txn.ok()) ++failures;
        Rec64 rec{};
        if (read_rec64(ZRDB_PATH, &rec, 9) != 0) ++failures;
        rec.field[p] += 1;
        rec.field[32 + p] = getpid();
        if (write_rec64(ZRDB_PATH, &rec, 9) != 0) ++failures;
        if (set_param_int(ZRDB_PATH, ("proc" + std::to_string(p)).c_str(), r + 1) != 0) ++failures;
        if (txn.commit() != 0) ++failures;
        // and some single writes outside a transaction
        if (set_param_int(ZRDB_PATH, "shared", p) != 0) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) EXPECT_EQ(wait_status(pid), 0);
  Rec64 out{};
  ASSERT_EQ(read_rec64(ZRDB_PATH, &out, 9), 0);
  for (int p = 0; p < kProcs; ++p) {
    EXPECT_EQ(out.field[p], kRounds) << "field " << p;
    EXPECT_EQ(out.field[32 + p], kids[p]);
    EXPECT_EQ(get_param_int(ZRDB_PATH, ("proc" + std::to_string(p)).c_str(), 0), kRounds);
  }
  EXPECT_EQ(cgi_log().find("zrdb"), std::string::npos) << cgi_log();
}

// Many processes opening a database that does not exist yet all succeed.
TEST_F(ZrdbConcurrency, ConcurrentCreation) {
  std::vector<pid_t> kids;
  for (int p = 0; p < 16; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      Small s{p, p};
      _exit(zrdb_write_record(ANPR_DB_PATH, "plates", p, &s, sizeof s) == 0 ? 0 : 1);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) EXPECT_EQ(wait_status(pid), 0);
  EXPECT_EQ(zrdb_count_records(ANPR_DB_PATH, "plates"), 16);
}

using ZrdbPlates = StoreTest;

// The results the plate pages decide on.
TEST_F(ZrdbPlates, ResultsOfTheSingleOperations) {
  AnprListEntry e{"black", "A 1"};
  AnprListEntry found{};
  EXPECT_EQ(read_anpr_list_plate(ANPR_DB_PATH, "A 1", &found), 1);
  EXPECT_EQ(update_anpr_list(ANPR_DB_PATH, &e), -1);  // not listed
  EXPECT_EQ(write_anpr_list(ANPR_DB_PATH, &e), 0);
  EXPECT_EQ(write_anpr_list(ANPR_DB_PATH, &e), -1);   // listed already
  std::strcpy(e.type, "white");
  EXPECT_EQ(update_anpr_list(ANPR_DB_PATH, &e), 0);
  ASSERT_EQ(read_anpr_list_plate(ANPR_DB_PATH, "A 1", &found), 0);
  EXPECT_STREQ(found.type, "white");
  EXPECT_EQ(delete_anpr_list(ANPR_DB_PATH, "none"), 0);
  EXPECT_EQ(count_anpr_lists(ANPR_DB_PATH), 1);
  // Fields filled to their last byte are stored without reading past them.
  AnprListEntry full;
  std::memset(full.type, 't', sizeof full.type);
  std::memset(full.plate, 'p', sizeof full.plate);
  ASSERT_EQ(write_anpr_list_replace_batch(ANPR_DB_PATH, &full, 1), 0);
  std::vector<AnprListEntry> list(4);
  int n = 0;
  ASSERT_EQ(read_anpr_lists(ANPR_DB_PATH, list.data(), 4, &n), 0);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(std::string(list[1].plate), std::string(63, 'p'));
  EXPECT_EQ(std::string(list[1].type), std::string(15, 't'));
}

}  // namespace
