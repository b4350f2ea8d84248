// A temporary NVR_ROOT for tests of the configuration store: each test gets
// a fresh folder and fresh connections.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/paths.h"
#include "e2e_harness.h"
#include "platform/zrdb.h"

class StoreTest : public ::testing::Test {
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
  std::string db_file() const { return env_.path(ZRDB_PATH); }
  std::string cgi_log() const { return env_.read_file("/mnt/nand/cgi_log.txt"); }

  E2eEnv env_;
};
