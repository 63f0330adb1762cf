#ifndef VOKTempDirTest_h
#define VOKTempDirTest_h
// A test fixture that owns a fresh temporary directory for the files a
// command-line run reads and writes; the directory and everything in it go
// at TearDown, before the live-component check of VOKTest.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "VOKTestSupport.h"

class VOKTempDirTest : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    char pattern[] = "/tmp/vokdyn-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    _Dir = pattern;
  }
  void TearDown() override {
    if (!_Dir.empty()) {
      std::string command = "rm -rf '" + _Dir + "'";
      EXPECT_EQ(std::system(command.c_str()), 0);
    }
    VOKTest::TearDown();
  }
  /// iName inside the temporary directory.
  std::string Path(const std::string& iName) const { return _Dir + "/" + iName; }

  std::string _Dir;
};

#endif
