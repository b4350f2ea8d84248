// Base fixture of the tests that run against a temporary NVR_ROOT: the test
// process points its own paths and configuration store at the root of env_,
// with fresh store connections before and after each test.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/paths.h"
#include "e2e_harness.h"
#include "platform/zrdb.h"

class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zrdb_close_all();
    setenv("NVR_ROOT", env_.root().c_str(), 1);
    nvr_root_reset();
  }
  void TearDown() override {
    zrdb_close_all();
    unsetenv("NVR_ROOT");
    nvr_root_reset();
  }

  E2eEnv env_;
};
