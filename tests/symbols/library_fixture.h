#pragma once
// A small symbol library on disk, for the tests of the library and its index.
#include <gtest/gtest.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "symbols/symbol_library.h"

namespace zephyrim::testing_support {

// Four symbols (R, gnd with CR LF line ends, Pinout, NOREGION); R has pins off the grid.
inline constexpr const char* kLibrary =
    "* test library\n"
    "[R  ;Resistor]\n"
    "V[10k,20]\n"
    "R[-24,-8,24,8]\n"
    "D[\n"
    "M(-24,0)\n"
    "V(-16,0)\n"
    "]\n"
    "ROT[1]\n"
    "NP[3]\n"
    "P[2,-24,0,-16,1,A]\n"
    "P[4,24,0,16]\n"
    "P[4,20,4,16,-1,BAD]\n"
    "P[4,32,0,16]\n"
    "P[4,40,0,16]\n"
    "NT[R%r %1 %2 [%v]]\n"
    ".END\n"
    "\r\n"
    "[gnd]\r\n"
    "R[-8,0,8,16]\r\n"
    "D[\r\n"
    "M(0,0)\r\n"
    "]\r\n"
    "NP[1]\r\n"
    "P[1,0,0,8]\r\n"
    ".end\r\n"
    "[Pinout ;IO pin]\n"
    "V[OUT]\n"
    "R[0,-8,32,8]\n"
    "XYO[8,0]\n"
    "D[\n"
    "M(0,0)\n"
    "]\n"
    ".END\n"
    "[NOREGION]\n"
    "D[\n"
    "M(0,0)\n"
    "]\n"
    ".END\n";

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("zephyrim_lib_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "test.sym").string();
    ASSERT_TRUE(write_file_atomic(path_, std::string_view(kLibrary)));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void set_mtime(const std::string& p, time_t t) {
    struct utimbuf u {
      t, t
    };
    ASSERT_EQ(::utime(p.c_str(), &u), 0);
  }

  std::filesystem::path dir_;
  std::string path_;
  RecordingNotify notify;
  SymbolLibrary lib;
};

}  // namespace zephyrim::testing_support
