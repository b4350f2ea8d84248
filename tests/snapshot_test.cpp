// Scheduled snapshots: schedules and settings for channel lists and the
// start/stop command, end to end.
#include <string>
#include <vector>

#include "core/cgi_json.h"
#include "event_e2e.h"

namespace {

using SnapshotE2e = EventE2e;

struct List {
  int32_t channels[64], count;
};
struct Command {
  int32_t action, flags[64];
};

TEST_F(SnapshotE2e, ListsTakeEachChannelOnceAndRoundTrip) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6175", R"({"cnt":4,"chnid":[3,3,70,1],"schedule":)" + week_json("01:00", "02:00", 1) + "}", &j).out,
            kTextOk);
  List l{};
  l.channels[0] = 3;
  l.channels[1] = 1;
  l.count = 2;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1312, l)}));
  EXPECT_EQ(json_body(send("/6174", "1")).rfind(week_reply_prefix("01:00", "02:00", 1), 0), 0u);
  // No schedule: refused, nothing cleared.
  EXPECT_EQ(send("/6175", R"({"cnt":1,"chnid":[1]})", &j).out, kTextError);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(json_body(send("/6174", "1")).rfind(week_reply_prefix("01:00", "02:00", 1), 0), 0u);

  EXPECT_EQ(send("/6177", R"({"cnt":1,"chnid":[2],"resolution":1,"quality":2,"interval":3,"interval_unit":1,"expiration_date":7})", &j).out,
            kTextOk);
  List two{};
  two.channels[0] = 2;
  two.count = 1;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1311, two)}));
  const std::string got = json_body(send("/6176", "2"));
  EXPECT_EQ(got, R"({"resolution":1,"quality":2,"interval":3,"interval_unit":1,"expiration_date":7})");
  JsonPtr back(json_tokener_parse(got.c_str()));
  json_object_object_add(back.get(), "cnt", json_object_new_int(1));
  json_object* list = json_object_new_array();
  json_object_array_add(list, json_object_new_int(2));
  json_object_object_add(back.get(), "chnid", list);
  EXPECT_EQ(send("/6177", json_object_to_json_string(back.get())).out, kTextOk);
  EXPECT_EQ(json_body(send("/6176", "2")), got);
  EXPECT_EQ(send("/6177", R"({"cnt":"x"})").out, kTextError);
  EXPECT_EQ(send("/6176", "x").out, kTextError);
}

TEST_F(SnapshotE2e, CommandSendsStartThenStopWithinRange) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/6178", R"({"snapshotCnt":0,"stopCnt":0})", &j).out, kTextOk);
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/6178", R"({"snapshotCnt":2,"snapshotChnId":[0,64],"stopCnt":2,"stopChnId":[5,-1]})", &j).out, kTextOk);
  Command start{}, stop{};
  start.action = 1;
  start.flags[0] = 1;
  stop.flags[5] = 1;
  EXPECT_EQ(j, (std::vector<std::string>{line_of(1313, start), line_of(1313, stop)}));
  EXPECT_EQ(send("/6178", "nope", &j).out, kTextError);
}

}  // namespace
