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
#include "temp_root_test.h"
#include "platform/zrdb.h"

class StoreTest : public TempRootTest {
 protected:
  std::string db_file() const { return env_.path(ZRDB_PATH); }
  std::string cgi_log() const { return env_.read_file("/mnt/nand/cgi_log.txt"); }
};
