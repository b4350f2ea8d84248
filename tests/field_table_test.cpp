// Field tables: answering a record, taking present keys, the plain reading,
// the camera's "unchanged" marks and reply records bounded by their length.
#include <gtest/gtest.h>
#include <json-c/json.h>

#include <cstring>
#include <string>

#include "core/cgi_json.h"
#include "core/field_table.h"

namespace {
struct Sample {
  int32_t id;
  char name[8];
  uint32_t mask;
  char note[4];
  int32_t level;
};
const FieldDesc kSampleFields[] = {
    FIELD(Sample, id), FIELD(Sample, name), FIELD_AS(Sample, mask, "chnMask"), FIELD(Sample, note),
    FIELD(Sample, level),
};

Sample stored() {
  Sample s;
  std::memset(&s, 0, sizeof s);
  s.id = 3;
  std::memcpy(s.name, "front", 6);
  s.mask = 5;
  std::memcpy(s.note, "abcd", 4);  // no terminator: the field ends the text
  s.level = -2;
  return s;
}

std::string answer(const Sample& s) {
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &s, kSampleFields);
  return json_object_to_json_string_ext(obj.get(), JSON_C_TO_STRING_PLAIN);
}
}  // namespace

TEST(FieldTable, DescribesOffsetsSizesAndKinds) {
  EXPECT_STREQ(kSampleFields[2].key, "chnMask");
  EXPECT_EQ(kSampleFields[1].offset, offsetof(Sample, name));
  EXPECT_EQ(kSampleFields[1].size, 8u);
  EXPECT_TRUE(kSampleFields[1].text);
  EXPECT_FALSE(kSampleFields[4].text);
}

TEST(FieldTable, AnswersEveryFieldAndAnAnswerTakenBackChangesNothing) {
  const Sample s = stored();
  const std::string text = answer(s);
  EXPECT_EQ(text, R"({"id":3,"name":"front","chnMask":5,"note":"abcd","level":-2})");

  JsonPtr req(json_tokener_parse(text.c_str()));
  Sample back = stored();
  take_fields(req.get(), &back, kSampleFields);
  // The unterminated text comes back cut to leave room for its terminator.
  EXPECT_STREQ(back.note, "abc");
  back.note[3] = 'd';
  EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
}

TEST(FieldTable, TakePresentKeysOnlyReadPlainCountsAbsentAsZero) {
  JsonPtr req(json_tokener_parse(R"({"name":"a much longer name","level":7})"));
  Sample taken = stored();
  EXPECT_TRUE(take_fields(req.get(), &taken, kSampleFields));
  EXPECT_EQ(taken.id, 3);
  EXPECT_STREQ(taken.name, "a much ");
  EXPECT_EQ(taken.mask, 5u);
  EXPECT_EQ(taken.level, 7);

  Sample read = stored();
  read_fields(req.get(), &read, kSampleFields);
  EXPECT_EQ(read.id, 0);
  EXPECT_STREQ(read.name, "a much ");
  EXPECT_EQ(read.mask, 0u);
  EXPECT_STREQ(read.note, "");
  EXPECT_EQ(read.level, 7);

  Sample kept = stored();
  take_fields(nullptr, &kept, kSampleFields);
  const Sample s = stored();
  EXPECT_EQ(std::memcmp(&kept, &s, sizeof s), 0);
}

TEST(FieldTable, RefusedNumbersAreReportedAndLeaveTheirField) {
  for (const char* text : {R"({"id":"x","level":7})", R"({"id":1.5,"level":7})", R"({"id":true,"level":7})",
                           R"({"id":null,"level":7})"}) {
    JsonPtr req(json_tokener_parse(text));
    Sample taken = stored();
    EXPECT_FALSE(take_fields(req.get(), &taken, kSampleFields)) << text;
    EXPECT_EQ(taken.id, 3) << text;  // never read as 0
    EXPECT_EQ(taken.level, 7) << text;
  }
  JsonPtr req(json_tokener_parse(R"({"id":"4"})"));
  Sample taken = stored();
  EXPECT_TRUE(take_fields(req.get(), &taken, kSampleFields));
  EXPECT_EQ(taken.id, 4);
}

TEST(FieldTable, UnchangedMarksIntFieldsOnly) {
  Sample s = stored();
  set_unchanged(&s, kSampleFields);
  EXPECT_EQ(s.id, -1);
  EXPECT_EQ(s.mask, 0xffffffffu);
  EXPECT_EQ(s.level, -1);
  EXPECT_STREQ(s.name, "front");
}

TEST(FieldTable, ReplyRecordIsBoundedByThePayload) {
  const Sample s = stored();
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&s);
  Sample short_rec = reply_record<Sample>(bytes, offsetof(Sample, mask));
  EXPECT_EQ(short_rec.id, 3);
  EXPECT_STREQ(short_rec.name, "front");
  EXPECT_EQ(short_rec.mask, 0u);
  EXPECT_EQ(short_rec.level, 0);

  uint8_t longer[sizeof(Sample) + 16];
  std::memset(longer, 0x7f, sizeof longer);
  std::memcpy(longer, &s, sizeof s);
  Sample cut = reply_record<Sample>(longer, sizeof longer);
  EXPECT_EQ(std::memcmp(&cut, &s, sizeof s), 0);
  EXPECT_EQ(reply_record<Sample>(nullptr, 40).id, 0);
  EXPECT_EQ(read_i32(bytes + offsetof(Sample, level)), -2);
}
