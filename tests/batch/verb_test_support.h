#pragma once
// What the tests of the batch tool's verbs share: the tool run as a program, as
// users' scripts run it, and a scratch folder of each test's own, since ctest
// runs the tests of one file at the same time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "platform/process.h"

namespace zephyrim::test {

inline ProcessResult tool(std::vector<std::string> args) {
  args.insert(args.begin(), ZEPHYRIM_BATCH_TOOL);
  return process_run(args);
}

struct ScratchFolder {
  std::filesystem::path dir;

  explicit ScratchFolder(const std::string& prefix)
      : dir(std::filesystem::path(::testing::TempDir()) /
            (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
             std::to_string(getpid()))) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~ScratchFolder() { std::filesystem::remove_all(dir); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string path(const std::string& name) const { return (dir / name).string(); }
  std::string write_text(const std::string& name, const std::string& text) const {
    const std::string p = path(name);
    EXPECT_TRUE(write_file_atomic(p, text));
    return p;
  }
};

}  // namespace zephyrim::test
