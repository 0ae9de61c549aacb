// The bundled default library: every symbol loads cleanly, survives a save and
// reload unchanged, and draws inside its region in every orientation and scale.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "symbols/region_check.h"
#include "symbols/symbol_geometry.h"
#include "symbols/symbol_library.h"

namespace zephyrim {
namespace {

class DefaultLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    // A copy, so that the index the test builds never lands in the source tree.
    dir_ = std::filesystem::temp_directory_path() / ("zephyrim_default_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "default.sym").string();
    std::filesystem::copy_file(std::string(ZEPHYRIM_SOURCE_DIR) + "/data/symbols/default.sym", path_);
    ASSERT_EQ(library_open(lib_, path_, notify_), 1);
    ASSERT_TRUE(notify_.entries().empty()) << notify_.last();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
  std::string path_;
  RecordingNotify notify_;
  SymbolLibrary lib_;
};

TEST_F(DefaultLibrary, HoldsEveryNameTheRulesReferTo) {
  for (const char* name :
       {"R",     "RV",    "C",       "CV",      "L",      "LV",      "D",     "DZ",     "Q",     "QP",
        "M",     "MP",    "M3",      "M3P",     "J",      "JP",      "V",     "I",      "E",     "F",
        "G",     "H",     "FLINEAR", "HLINEAR", "EPOWER", "GPOWER",  "EB",    "GB",     "K",     "S",
        "W",     "T",     "OPAMP",   "GND",     "POWER+", "V+",      "V-",    "POWER-", "PIN",   "PINOUT",
        "OATOD", "ODTOA", "UCLOCK",  "UDATA",   "UDFF",   "UDLATCH", "UJKFF", "UPULSE", "URSFF", "UDIVN"})
    EXPECT_GE(symbol_find(lib_, name), 0) << name;
}

TEST_F(DefaultLibrary, EverySymbolLoadsWithoutAMessageAndSurvivesSaveAndReload) {
  const std::string copy = (dir_ / "copy.sym").string();
  std::vector<SymbolRecord> loaded;
  for (size_t i = 0; i < lib_.index.entries.size(); ++i) {
    SymbolRecord r;
    ASSERT_EQ(symbol_load(lib_, static_cast<int>(i), r, notify_), 1) << lib_.index.entries[i].name.str();
    EXPECT_FALSE(r.draws.empty()) << r.name.str();
    EXPECT_TRUE(r.region.valid()) << r.name.str();
    ASSERT_EQ(symbol_save(copy, r, r.description.str(), notify_), 1);
    loaded.push_back(std::move(r));
  }
  for (const auto& e : notify_.entries())
    EXPECT_EQ(e.text.rfind("Symbol ", 0), 0u) << e.text;  // only the saved notices
  SymbolLibrary again;
  ASSERT_EQ(library_open(again, copy, notify_), 1);
  for (const auto& r : loaded) {
    SymbolRecord back;
    ASSERT_EQ(symbol_load(again, symbol_find(again, r.name.str()), back, notify_), 1);
    EXPECT_TRUE(symbol_identical(r, back)) << r.name.str();
  }
}

TEST_F(DefaultLibrary, EverySymbolDrawsInsideItsRegionInEveryOrientation) {
  for (size_t i = 0; i < lib_.index.entries.size(); ++i) {
    SymbolRecord r;
    ASSERT_EQ(symbol_load(lib_, static_cast<int>(i), r, notify_), 1);
    ASSERT_TRUE(testing_support::draws_inside_region(r));
  }
}

}  // namespace
}  // namespace zephyrim
