// The bundled default library: every symbol loads cleanly, survives a save and
// reload unchanged, and draws inside its region in every orientation and scale.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
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
    for (int scale = 1; scale <= 2; ++scale)
      for (int combo = 0; combo < 16; ++combo) {
        std::vector<int32_t> steps(combo & 3, 1);
        if (combo & 4) steps.push_back(5);
        if (combo & 8) steps.push_back(6);
        Placement at;
        at.scale = scale;
        at.steps = steps.data();
        at.step_count = static_cast<int>(steps.size());
        // The region under the same steps, from its transformed corners.
        double x1 = 1e9, y1 = 1e9, x2 = -1e9, y2 = -1e9;
        for (int c = 0; c < 4; ++c) {
          int x = c & 1 ? r.region.x2 : r.region.x1, y = c & 2 ? r.region.y2 : r.region.y1;
          orient_point(x, y, scale, steps.data(), at.step_count);
          x1 = std::min<double>(x1, x), y1 = std::min<double>(y1, y);
          x2 = std::max<double>(x2, x), y2 = std::max<double>(y2, y);
        }
        const SymbolGeometry g = symbol_geometry(r, at);
        for (const auto& p : g.paths)
          for (const auto& pt : p.points) {
            ASSERT_TRUE(pt.x >= x1 - 0.5 && pt.x <= x2 + 0.5 && pt.y >= y1 - 0.5 && pt.y <= y2 + 0.5)
                << r.name.str() << " scale " << scale << " combo " << combo << " at " << pt.x << "," << pt.y;
          }
      }
  }
}

}  // namespace
}  // namespace zephyrim
