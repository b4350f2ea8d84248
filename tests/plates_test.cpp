// Licence plate recognition end to end: the plate list in the plate
// database (decoding, batches, replacement, refused counts) and the camera
// support and zoom state read through the core.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "core/paths.h"
#include "event_e2e.h"
#include "platform/zrdb.h"

namespace {

class PlatesE2e : public EventE2e {
 protected:
  // The stored list as "type:plate" texts in plate order.
  std::vector<std::string> plates() {
    zrdb_close_all();
    std::vector<AnprListEntry> list(64);
    int n = 0;
    EXPECT_EQ(read_anpr_lists(ANPR_DB_PATH, list.data(), 64, &n), 0);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(std::string(list[i].type) + ":" + list[i].plate);
    zrdb_close_all();
    return out;
  }
  static std::string json_reply(const std::string& body) { return "Content-type: application/json\r\n\r\n" + body; }
  // From now on the plate database refuses to store the plate "BAD".
  static void refuse_bad_plate() {
    zrdb_close_all();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(nvr_path(ANPR_DB_PATH).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse_bad BEFORE INSERT ON anpr_list WHEN NEW.plate = 'BAD' "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
};

TEST_F(PlatesE2e, AddDecodesReplacesAndCounts) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6184", R"({"cnt":4,"plate":[["black","AB%20123"],["white","CD-9"],["black","EF%2"],["white","G%"]]})", &j);
  EXPECT_EQ(r.out, json_reply(R"({"count":4})"));
  EXPECT_TRUE(j.empty());
  // A space sent as %20 is stored decoded; a cut escape is kept as sent.
  EXPECT_EQ(plates(), (std::vector<std::string>{"black:AB 123", "white:CD-9", "black:EF%2", "white:G%"}));

  // A listed plate takes the new type; the batch stops at the first
  // missing pair (cnt larger than the array).
  r = send("/6184", R"({"cnt":5,"plate":[["white","AB%20123"],["visitor","GH7"]]})");
  EXPECT_EQ(r.out, json_reply(R"({"count":2})"));
  EXPECT_EQ(plates(), (std::vector<std::string>{"white:AB 123", "white:CD-9", "black:EF%2", "white:G%", "visitor:GH7"}));

  // Long fields are cut to fit.
  r = send("/6184", R"({"cnt":1,"plate":[[")" + std::string(40, 't') + R"(",")" + std::string(90, 'P') + R"("]]})");
  EXPECT_EQ(r.out, json_reply(R"({"count":1})"));
  EXPECT_EQ(plates().back(), std::string(15, 't') + ":" + std::string(63, 'P'));
}

TEST_F(PlatesE2e, CountsOutsideTheLimitsAreRefusedBeforeAnyWrite) {
  env_.start_sim();
  struct Row {
    const char* name;
    std::string body;
    std::string reply;
  };
  const std::string one_add = R"("plate":[["black","A1"]]})";
  const std::string one_plate = R"("plate":["A1"]})";
  const std::string one_update = R"("plate":[["A1","black","B2"]]})";
  const std::vector<Row> rows = {
      {"/6184", R"({"cnt":0,)" + one_add, kJsonError},      {"/6184", R"({"cnt":10001,)" + one_add, kJsonError},
      {"/6184", R"({"cnt":"x",)" + one_add, kJsonError},    {"/6184", R"({"cnt":1,"plate":[]})", kJsonError},
      {"/6184", "not json", kJsonError},                    {"/6183", R"({"cnt":0,)" + one_plate, kTextError},
      {"/6183", R"({"cnt":10001,)" + one_plate, kTextError}, {"/6183", R"({"cnt":1,"plate":[]})", kTextError},
      {"/6183", "not json", kJsonError},                    {"/6185", R"({"cnt":0,)" + one_update, kTextError},
      {"/6185", R"({"cnt":10001,)" + one_update, kTextError}, {"/6185", "not json", kJsonError},
  };
  for (const Row& row : rows) EXPECT_EQ(send(row.name, row.body).out, row.reply) << row.name << " " << row.body;
  EXPECT_TRUE(plates().empty());
  // The upper limit itself is accepted.
  EXPECT_EQ(send("/6184", R"({"cnt":10000,)" + one_add).out, json_reply(R"({"count":1})"));
  EXPECT_EQ(send("/6183", R"({"cnt":10000,)" + one_plate).out, kTextOk);
  EXPECT_TRUE(plates().empty());
}

TEST_F(PlatesE2e, DeleteAndUpdate) {
  env_.start_sim();
  ASSERT_EQ(send("/6184", R"({"cnt":3,"plate":[["black","A%201"],["white","B2"],["black","C3"]]})").out,
            json_reply(R"({"count":3})"));
  EXPECT_EQ(send("/6183", R"({"cnt":2,"plate":["A%201","ZZ"]})").out, kTextOk);
  EXPECT_EQ(plates(), (std::vector<std::string>{"white:B2", "black:C3"}));

  // B2 renamed to D4; an old plate that is not listed still adds the new
  // one; a new plate already listed is retyped.
  EXPECT_EQ(send("/6185", R"({"cnt":3,"plate":[["B2","visitor","D4"],["NONE","white","E%205"],["C3","white","C3"]]})")
                .out,
            kTextOk);
  EXPECT_EQ(plates(), (std::vector<std::string>{"white:C3", "visitor:D4", "white:E 5"}));
}

// A batch the store refuses part of changes nothing and is not answered as
// a success.
TEST_F(PlatesE2e, RefusedBatchLeavesTheListAsItWas) {
  env_.start_sim();
  ASSERT_EQ(send("/6184", R"({"cnt":2,"plate":[["black","A1"],["white","B2"]]})").out, json_reply(R"({"count":2})"));
  refuse_bad_plate();
  const std::vector<std::string> before = {"black:A1", "white:B2"};
  EXPECT_EQ(send("/6184", R"({"cnt":3,"plate":[["visitor","A1"],["black","BAD"],["black","C3"]]})").out, kJsonError);
  EXPECT_EQ(plates(), before);
  // The rename of A1 to BAD fails after A1 was removed: A1 stays.
  EXPECT_EQ(send("/6185", R"({"cnt":2,"plate":[["B2","black","D4"],["A1","black","BAD"]]})").out, kTextError);
  EXPECT_EQ(plates(), before);
}

TEST_F(PlatesE2e, CameraSupportAndZoomState) {
  env_.start_sim();
  std::vector<std::string> j;
  auto r = send("/6186", R"({"chnid":3})", &j);
  EXPECT_EQ(r.out, json_reply(R"({"chnid":3,"vca_support":1,"vca_version":3})"));
  EXPECT_EQ(j, (std::vector<std::string>{line(3293, i32(3))}));
  r = send("/6189", R"({"chnid":"40"})", &j);
  EXPECT_EQ(r.out, json_reply(R"({"chnid":40,"state":1,"zoomNumber":41})"));
  EXPECT_EQ(j, (std::vector<std::string>{line(1215, i32(40))}));
  for (const char* bad : {R"({"chnid":64})", R"({"chnid":"x"})", R"({"chnid":-1})", "{}"}) {
    EXPECT_EQ(send("/6186", bad, &j).out, kJsonError) << bad;
    EXPECT_TRUE(j.empty());
    EXPECT_EQ(send("/6189", bad).out, kJsonError) << bad;
  }
}

// A short reply is answered at once: were it ignored, the whole reply that
// follows it would be answered instead (and, with no reply after it, the
// handler would wait out its limit).
TEST_F(PlatesE2e, MissingOrShortCameraReplyIsAnError) {
  env_.start_sim("3293 none\n1215 reply hex=01000000\n1215 reply hex=010000000100000002000000\n");
  EXPECT_EQ(send("/6186", R"({"chnid":1})", nullptr, "300").out, kJsonError);
  EXPECT_EQ(send("/6189", R"({"chnid":1})").out, kJsonError);
}

}  // namespace
