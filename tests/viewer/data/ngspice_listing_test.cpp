// ngspice's own batch listings: the tables its .PRINT lines print, read from
// the listing, against the RAW file ngspice writes for the same deck; and its
// .FOUR output read as Fourier tables.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/process.h"
#include "viewer/data/data_store.h"
#include "viewer/data/raw_file.h"
#include "viewer/data/spice_listing.h"

namespace zephyrim {
namespace {

// Long enough for ngspice to break the transient table into pages, and with
// more outputs than one page is wide. ngspice prints the tables of one
// analysis per batch run, so the AC deck is a second one.
constexpr const char* kCircuit =
    "rc listing\n"
    "v1 1 0 dc 0 ac 1 sin(0 1 1k)\n"
    "r1 1 2 1k\n"
    "c1 2 0 100n\n"
    "r2 2 3 1k\n"
    "c2 3 0 10n\n";
constexpr const char* kTran =
    ".tran 10u 2m\n"
    ".print tran v(1) v(2) v(3) i(v1) v(1)\n"
    ".four 1k v(2) v(3)\n"
    ".end\n";
constexpr const char* kAc =
    ".ac dec 5 10 100k\n"
    ".print ac v(2) v(3)\n"
    ".end\n";

struct NgspiceListing : ::testing::Test {
  std::filesystem::path dir;
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("zephyrim_ngspice_listing_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

struct Loaded {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::vector<double> values(const char* name, int cls, int kind) {
    const DataVector* v = store.find_vector(name, cls, kind, -1, -1);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
};

// The listing prints seven significant digits, six for negative values.
bool printed_close(double listing, double raw) {
  return std::fabs(listing - raw) <= 6e-6 * std::max(std::fabs(listing), std::fabs(raw)) + 1e-15;
}

TEST_F(NgspiceListing, PrintTablesAgreeWithTheRawFileAndFourierTablesRead) {
  // Each deck run twice: once for the listing, once for the RAW file.
  Loaded lis, ref;
  ASSERT_TRUE(lis.store.start());
  ASSERT_TRUE(ref.store.start());
  for (const char* analysis : {kTran, kAc}) {
    const std::string name = analysis == kTran ? "tran" : "ac";
    const std::string deck = (dir / (name + ".cir")).string(), listing = (dir / (name + ".lis")).string(),
                      raw = (dir / (name + ".raw")).string();
    ASSERT_TRUE(write_file_atomic(deck, std::string(kCircuit) + analysis));
    ASSERT_EQ(process_run({"ngspice", "-b", "-o", listing, deck}, dir.string()).exit_code, 0);
    ASSERT_EQ(process_run({"ngspice", "-b", "-r", raw, deck}, dir.string()).exit_code, 0);
    lis.store.open_data_file(listing);
    ListingFacts facts;
    NullListingSink sink;
    ASSERT_EQ(spice_read_listing(lis.store, listing, sink, facts), 1);
    EXPECT_TRUE(lis.notify.entries().empty()) << lis.notify.last();
    EXPECT_EQ(facts.type, ListingType::spice3);
    EXPECT_EQ(facts.circuit_title, "rc listing");
    EXPECT_EQ(facts.data_file, "");
    if (analysis == kTran) {
      // The THD text is the last Fourier table's, as ngspice printed it.
      const auto text = read_text_file(listing);
      ASSERT_TRUE(text);
      const size_t thd = text->rfind("THD: ");
      ASSERT_NE(thd, std::string::npos);
      EXPECT_EQ(facts.thd, "THD=" + text->substr(thd + 5, text->find(' ', thd + 5) - thd - 5) + "%");
    }
    ref.store.open_data_file(raw);
    ASSERT_GT(raw_read_file(ref.store, raw, false), 0);
  }

  // Every printed column, page after page, against the RAW file's vector.
  struct Case {
    const char* name;
    int kind;
    size_t width;
  };
  const Case cases[] = {{"time", ANALYSIS_TRAN, 1}, {"v(1)", ANALYSIS_TRAN, 1},    {"v(2)", ANALYSIS_TRAN, 1},
                        {"v(3)", ANALYSIS_TRAN, 1}, {"frequency", ANALYSIS_AC, 1}, {"v(2)", ANALYSIS_AC, 2},
                        {"v(3)", ANALYSIS_AC, 2}};
  for (const Case& c : cases) {
    const auto got = lis.values(c.name, DATA_CLASS_TEXT, c.kind);
    const auto want = ref.values(c.name, DATA_CLASS_BINARY, c.kind);
    ASSERT_GT(want.size(), 20u) << c.name;
    ASSERT_EQ(got.size(), want.size()) << c.name << " kind " << c.kind;
    size_t off = 0;
    for (size_t i = 0; i < got.size(); ++i) off += printed_close(got[i], want[i]) ? 0 : 1;
    EXPECT_EQ(off, 0u) << c.name << " kind " << c.kind;
    const DataVector* v = lis.store.find_vector(c.name, DATA_CLASS_TEXT, c.kind, -1, -1);
    EXPECT_EQ(v->complex, c.width == 2 ? 1 : 0) << c.name;
  }
  // The tables of one analysis share their x vector: one time, one frequency.
  const DataVector* time = lis.store.find_vector("time", DATA_CLASS_TEXT, ANALYSIS_TRAN, -1, -1);
  EXPECT_EQ(lis.store.find_vector("v(3)", DATA_CLASS_TEXT, ANALYSIS_TRAN, -1, -1)->x, time);
  EXPECT_EQ(lis.store.find_vector("time", DATA_CLASS_TEXT, ANALYSIS_TRAN, -1, -1, 2), nullptr);
  // A column printed twice is a second run of its name.
  EXPECT_NE(lis.store.find_vector("v(1)", DATA_CLASS_TEXT, ANALYSIS_TRAN, -1, -1, 2), nullptr);

  // .FOUR: harmonics of 1 kHz; at the fundamental, node 2 follows the
  // circuit's transfer function, the second stage loading the first.
  const auto freq = lis.values("FREQ", DATA_CLASS_TEXT, ANALYSIS_FOUR);
  ASSERT_EQ(freq.size(), 10u);
  for (size_t k = 0; k < freq.size(); ++k) EXPECT_DOUBLE_EQ(freq[k], 1000.0 * k);
  const DataVector* m2 = lis.store.find_vector("VM(2)", DATA_CLASS_TEXT, ANALYSIS_FOUR, -1, -1);
  ASSERT_NE(m2, nullptr);
  EXPECT_EQ(m2->kind, ANALYSIS_FOUR);
  EXPECT_EQ(m2->quantity, 2);
  EXPECT_EQ(lis.store.find_vector("VP(3)", DATA_CLASS_TEXT, ANALYSIS_FOUR, -1, -1)->x, m2->x);
  using Complex = std::complex<double>;
  const double w = 2 * std::numbers::pi * 1e3;
  const Complex c1(0, -1 / (w * 100e-9)), stage2 = Complex(1e3) + Complex(0, -1 / (w * 10e-9));
  const Complex z2 = c1 * stage2 / (c1 + stage2), h2 = z2 / (Complex(1e3) + z2);
  EXPECT_NEAR(lis.values("VM(2)", DATA_CLASS_TEXT, ANALYSIS_FOUR)[1], std::abs(h2), 0.01 * std::abs(h2));
  EXPECT_NEAR(lis.values("VP(2)", DATA_CLASS_TEXT, ANALYSIS_FOUR)[1], std::arg(h2) * 180 / std::numbers::pi,
              1);
  EXPECT_LT(lis.values("VM(3)", DATA_CLASS_TEXT, ANALYSIS_FOUR)[1],
            lis.values("VM(2)", DATA_CLASS_TEXT, ANALYSIS_FOUR)[1]);
}

}  // namespace
}  // namespace zephyrim
