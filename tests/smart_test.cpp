// Smart event analytics end to end, and the smart-event action store that
// the analytics, licence plate and camera schedule pages share.
#include <cstring>
#include <string>

#include "core/smart_records.h"
#include "platform/zrdb.h"
#include "temp_root_test.h"

namespace {

class SmartRecordsTest : public TempRootTest {};

TEST_F(SmartRecordsTest, RefusesOwnersOutsideTheirRanges) {
  SmartEventAction r;
  std::memset(&r, 0x5a, sizeof r);
  for (auto [ch, ev] : {std::pair{-1, 0}, {64, 0}, {0, -1}, {0, 9}}) {
    EXPECT_EQ(-1, write_smart_event(ZRDB_PATH, &r, ch, ev)) << ch << "/" << ev;
    EXPECT_EQ(-1, read_smart_event(ZRDB_PATH, &r, ch, ev)) << ch << "/" << ev;
  }
  ScheduleRecord* s = new ScheduleRecord();
  EXPECT_EQ(-1, write_smart_event_effective_schedule(ZRDB_PATH, 0, 9, s));
  EXPECT_EQ(-1, read_smart_event_ptz_schedule(ZRDB_PATH, 64, 0, s));
  delete s;
  char name[64] = "x";
  EXPECT_EQ(-1, get_vca_white_table_name(2, 0, name, sizeof name));
  EXPECT_STREQ("", name);
  EXPECT_EQ(-1, get_vca_http_table_name(0, 9, name, sizeof name));
  EXPECT_EQ(-1, get_vca_http_table_name(0, 1, name, 8));  // too small: nothing cut
  EXPECT_STREQ("", name);
  EXPECT_TRUE(smart_event_tables(9).effective.empty());
}

TEST_F(SmartRecordsTest, EachKindKeepsItsOwnTables) {
  char w0[64], w1[64], h0[64], h1[64];
  ASSERT_EQ(0, get_vca_white_table_name(0, 4, w0, sizeof w0));
  ASSERT_EQ(0, get_vca_white_table_name(1, 4, w1, sizeof w1));
  ASSERT_EQ(0, get_vca_http_table_name(0, 4, h0, sizeof h0));
  ASSERT_EQ(0, get_vca_http_table_name(1, 4, h1, sizeof h1));
  EventTables t = smart_event_tables(4);
  EXPECT_EQ(w0, t.white_sche);
  EXPECT_EQ(w1, t.white_params);
  EXPECT_EQ(h0, t.http_sche);
  EXPECT_EQ(h1, t.http_params);
  EXPECT_EQ(9, t.ptz_type);
  EventTables other = smart_event_tables(5);
  for (auto [a, b] : {std::pair{&t.effective, &other.effective}, {&t.audible, &other.audible},
                      {&t.email, &other.email}, {&t.ptz, &other.ptz}, {&t.white_sche, &other.white_sche},
                      {&t.http_params, &other.http_params}})
    EXPECT_NE(*a, *b);

  // Writing one kind's schedule leaves the other kinds' rows alone.
  ScheduleRecord* s = new ScheduleRecord();
  std::strcpy(s->days[0].sections[0].start_time, "08:00");
  ASSERT_EQ(0, write_smart_event_effective_schedule(ZRDB_PATH, 3, 4, s));
  std::memset(s, 0, sizeof *s);
  ASSERT_EQ(0, read_smart_event_effective_schedule(ZRDB_PATH, 3, 5, s));
  EXPECT_STREQ("", s->days[0].sections[0].start_time);
  ASSERT_EQ(0, read_smart_event_effective_schedule(ZRDB_PATH, 3, 4, s));
  EXPECT_STREQ("08:00", s->days[0].sections[0].start_time);
  delete s;
}

TEST_F(SmartRecordsTest, CopyNamesEachTargetAndSkipsTheSource) {
  SmartEventAction r{};
  r.channel = 2;
  r.tri_alarms = 5;
  ASSERT_EQ(0, write_smart_event(ZRDB_PATH, &r, 2, 1));
  SmartEventAction other{};
  other.tri_alarms = 9;
  ASSERT_EQ(0, write_smart_event(ZRDB_PATH, &other, 7, 1));
  ASSERT_EQ(0, copy_smart_event_action(ZRDB_PATH, 2, 1, (1ULL << 2) | (1ULL << 63)));
  SmartEventAction got{};
  ASSERT_EQ(0, read_smart_event(ZRDB_PATH, &got, 63, 1));
  EXPECT_EQ(63, got.channel);
  EXPECT_EQ(5, got.tri_alarms);
  ASSERT_EQ(0, read_smart_event(ZRDB_PATH, &got, 7, 1));
  EXPECT_EQ(9, got.tri_alarms);
  ASSERT_EQ(0, read_smart_event(ZRDB_PATH, &got, 63, 0));  // another kind: untouched
  EXPECT_EQ(0, got.tri_alarms);
  EXPECT_EQ(-1, copy_smart_event_action(ZRDB_PATH, 2, 9, 1));
}

}  // namespace
