// The reply writer prints json-c trees itself; what it prints must be what
// json-c prints with the reply flags, for every kind of node.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/cgi_json.h"
#include "core/web_utils.h"

namespace {
std::string json_c_text(json_object* o) {
  return json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN | JSON_C_TO_STRING_NOSLASHESCAPE);
}

std::string every_byte() {
  std::string s;
  for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
  return s;
}

TEST(ReplyText, BuiltTreesPrintAsJsonCPrintsThem) {
  JsonPtr o(json_object_new_object());
  json_add_int(o.get(), "zero", 0);
  json_add_int(o.get(), "neg", -42);
  json_add_int(o.get(), "min", INT64_MIN);
  json_add_int(o.get(), "max", INT64_MAX);
  json_object_object_add(o.get(), "big", json_object_new_uint64(UINT64_MAX));
  json_object_object_add(o.get(), "int32", json_object_new_int(INT32_MIN));
  json_object_object_add(o.get(), "yes", json_object_new_boolean(1));
  json_object_object_add(o.get(), "no", json_object_new_boolean(0));
  json_object_object_add(o.get(), "nothing", nullptr);
  json_object_object_add(o.get(), "half", json_object_new_double(0.5));
  json_object_object_add(o.get(), "third", json_object_new_double(1.0 / 3));
  json_add_text(o.get(), "bytes", every_byte());
  json_add_text(o.get(), "nul", std::string_view("a\0b", 3));
  json_add_text(o.get(), "path", "/mnt/nand/\"q\"\\x");
  json_add_text(o.get(), "utf8", "Z\xc3\xbcrich \xe2\x82\xac");
  json_add_text(o.get(), "", "empty key");
  json_add_text(o.get(), "key \"quoted\"\n", "");
  json_object* arr = json_object_new_array();
  json_object_array_add(arr, nullptr);
  json_object_array_add(arr, json_object_new_array());
  json_object_array_add(arr, json_object_new_object());
  json_object_array_put_idx(arr, 5, json_object_new_int(7));  // a gap of null slots
  json_object_object_add(o.get(), "list", arr);
  // A node shared by two parents prints at both places.
  json_object* shared = json_object_new_string("s");
  json_object_object_add(o.get(), "one", shared);
  json_object_object_add(o.get(), "two", json_object_get(shared));
  json_object_object_add(o.get(), "deep", json_object_get(arr));
  EXPECT_EQ(cgi_json_text(o.get()), json_c_text(o.get()));
  EXPECT_EQ(std::string(cgi_json_text(nullptr)), "null");
}

TEST(ReplyText, ParsedTreesPrintAsJsonCPrintsThem) {
  const char* texts[] = {
      R"({"a":1.50,"b":-0.0,"c":1e3,"d":[1,2.25e-7,"x\/y\u0001\u00e9"],"e":{},"f":[],"g":null})",
      R"([18446744073709551615,-9223372036854775808,9223372036854775807,true,false])",
      R"("just a text")",
      "12",
  };
  for (const char* t : texts) {
    JsonPtr o(json_tokener_parse(t));
    ASSERT_TRUE(o) << t;
    EXPECT_EQ(cgi_json_text(o.get()), json_c_text(o.get())) << t;
  }
}
// Weekly schedules share their alike sections and days; each day must
// still print its own sections.
std::string section_text(const char* start, const char* end, int action, bool ipc) {
  std::string t = std::string("{\"startTime\":\"") + start + "\",\"endTime\":\"" + end + "\"";
  if (!ipc) t += ",\"actionType\":" + std::to_string(action);
  return t + "}";
}

TEST(ReplyText, SchedulesWithAlikeDaysPrintEveryDay) {
  std::unique_ptr<ScheduleRecord> s(new ScheduleRecord());
  auto set = [&](int d, int e, const char* a, const char* b, int action) {
    std::strcpy(s->days[d].sections[e].start_time, a);
    std::strcpy(s->days[d].sections[e].end_time, b);
    s->days[d].sections[e].action_type = action;
  };
  for (int d : {0, 3}) set(d, 0, "08:00", "18:00", 2);
  set(1, 0, "08:00", "18:00", 3);   // differs from day 0 in its action only
  set(5, 11, "x/y", "24:00", 1);
  set(6, 2, "08:00", "18:00", 2);   // day 0's section at another place
  for (int d = 0; d < SCHEDULE_DAYS; ++d) s->days[d].valid = d == 5 ? 0 : 1;
  for (bool ipc : {false, true}) {
    std::string want = "[";
    for (int d = 0; d < SCHEDULE_DAYS; ++d) {
      want += d ? ",[" : "[";
      for (int e = 0; e < SCHEDULE_JSON_SECTIONS; ++e) {
        const ScheduleSection& x = s->days[d].sections[e];
        const bool blank = ipc && s->days[d].valid == 0;
        want += (e ? "," : "") + section_text(blank ? "" : x.start_time, blank ? "" : x.end_time,
                                              x.action_type, ipc);
      }
      want += "]";
    }
    want += "]";
    JsonPtr j(ipc ? get_schedule_json_object_ipc(s.get()) : get_schedule_json_object(s.get()));
    EXPECT_EQ(cgi_json_text(j.get()), want) << ipc;
    EXPECT_EQ(json_c_text(j.get()), want) << ipc;
  }
}
}  // namespace
