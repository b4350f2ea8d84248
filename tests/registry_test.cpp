// The registry of request names: capacity rule, dispatch and unregistration.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cgi/dispatchreq.h"
#include "core/paths.h"
#include "e2e_harness.h"

namespace {
std::string g_called;
void handler_a(char* text) { g_called = std::string("a:") + text; }
void handler_b(char* text) { g_called = std::string("b:") + text; }

// A table of n rows named "/T<prefix><n>" (at most 7 characters).
std::vector<WebRes> make_table(int n, char prefix, WebReqHandler h = handler_a) {
  std::vector<WebRes> t(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    std::string name = std::string("/") + prefix + std::to_string(10000 + i).substr(1);
    std::memcpy(t[static_cast<size_t>(i)].name, name.c_str(), name.size() + 1);
    t[static_cast<size_t>(i)].handler = h;
  }
  return t;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WebResResetForTest();
    g_called.clear();
    setenv("NVR_ROOT", env_.root().c_str(), 1);
    nvr_root_reset();
  }
  void TearDown() override {
    WebResResetForTest();
    unsetenv("NVR_ROOT");
    nvr_root_reset();
  }
  E2eEnv env_;
};
}  // namespace

TEST_F(RegistryTest, FullRegistryRefusesATableThatReaches512) {
  auto base = make_table(421, 'A');
  ASSERT_EQ(WebResRegister(base.data(), 421), 0);
  auto big = make_table(91, 'B');
  EXPECT_EQ(WebResRegister(big.data(), 91), -1);
  EXPECT_EQ(WebResCount(), 421);
  EXPECT_EQ(FindWebRes("/B0000"), nullptr);
  const std::string log = env_.read_file("/mnt/nand/cgi_log.txt");
  EXPECT_NE(log.find("dispatchreq:"), std::string::npos);
  EXPECT_NE(log.find("[oda debug] WEBREQ exceeded maximum value(MAX_WEBREQ_COUNT)\n"), std::string::npos);

  auto fits = make_table(90, 'C');
  EXPECT_EQ(WebResRegister(fits.data(), 90), 0);
  EXPECT_EQ(WebResCount(), 511);
}

TEST_F(RegistryTest, RefusesNullAndEmptyTables) {
  auto t = make_table(1, 'A');
  EXPECT_EQ(WebResRegister(nullptr, 1), -1);
  EXPECT_EQ(WebResRegister(t.data(), 0), -1);
  EXPECT_EQ(WebResUnregister(nullptr, 1), -1);
  EXPECT_EQ(WebResUnregister(t.data(), -1), -1);
}

TEST_F(RegistryTest, DispatchMatchesWholeNamesOnly) {
  WebRes table[] = {{"/1000", handler_a}, {"/vb.htm", handler_b}};
  ASSERT_EQ(WebResRegister(table, 2), 0);
  char text[] = "x";
  DispatchWebReq("/1000", text);
  EXPECT_EQ(g_called, "a:x");
  g_called.clear();
  DispatchWebReq("/vb.htm", text);
  EXPECT_EQ(g_called, "b:x");
  for (const char* miss : {"/1000 ", "/100", "/10000", "/VB.HTM", "/vb.htmx", "", "/9999"}) {
    g_called.clear();
    DispatchWebReq(miss, text);
    EXPECT_EQ(g_called, "") << miss;
  }
  DispatchWebReq(nullptr, text);
  EXPECT_EQ(FindWebRes(nullptr), nullptr);
}

TEST_F(RegistryTest, FirstOfTwoEqualNamesWins) {
  WebRes first[] = {{"/2000", handler_a}};
  WebRes second[] = {{"/2000", handler_b}};
  ASSERT_EQ(WebResRegister(first, 1), 0);
  ASSERT_EQ(WebResRegister(second, 1), 0);
  char text[] = "t";
  DispatchWebReq("/2000", text);
  EXPECT_EQ(g_called, "a:t");
}

TEST_F(RegistryTest, UnregisterFreesSlotsThatAreReusedLowestFirst) {
  auto a = make_table(10, 'A');
  auto b = make_table(5, 'B', handler_b);
  ASSERT_EQ(WebResRegister(a.data(), 10), 0);
  ASSERT_EQ(WebResRegister(b.data(), 5), 0);
  const WebRes* b0 = FindWebRes("/B0000");
  ASSERT_EQ(WebResUnregister(a.data(), 10), 0);
  EXPECT_EQ(WebResCount(), 5);
  EXPECT_EQ(FindWebRes("/A0003"), nullptr);
  // An empty name finds the first free slot.
  const WebRes* first_free = FindWebRes("");
  ASSERT_NE(first_free, nullptr);
  auto c = make_table(3, 'C');
  ASSERT_EQ(WebResRegister(c.data(), 3), 0);
  EXPECT_EQ(FindWebRes("/C0000"), first_free);
  EXPECT_LT(FindWebRes("/C0002"), b0);
  EXPECT_EQ(FindWebRes("/B0000"), b0);
}

TEST(RegistryModules, ElevenTablesRegisterOnceAndUnregister) {
  WebResResetForTest();
  RegisterAllWebModules();
  int registered = WebResCount();
  RegisterAllWebModules();
  EXPECT_EQ(WebResCount(), registered);
  EXPECT_LT(registered, MAX_WEBREQ_COUNT);
  UnregisterAllWebModules();
  EXPECT_EQ(WebResCount(), 0);
  WebResResetForTest();
}
