// RAW files written by ngspice itself, in both forms, against the values that
// ngspice prints for the same circuit; and the same data through a PROBE file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/process.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {
namespace {

constexpr const char* kCircuit =
    "rc divider\n"
    "V1 in 0 DC 1 AC 1 PULSE(0 1 0 1u 1u 5m 10m)\n"
    "R1 in out 1k\n"
    "C1 out 0 1u\n"
    "R2 out 0 3k\n"
    ".tran 50u 2m\n"
    ".ac dec 5 10 100k\n"
    ".dc V1 0 2 0.5\n"
    ".op\n"
    ".noise v(out) V1 dec 5 10 10k\n";

constexpr const char* kPrints =
    ".control\nset numdgt=15\nrun\n"
    "setplot tran1\nprint v(out)\nsetplot ac1\nprint v(out)\nsetplot dc1\nprint v(out)\n"
    "setplot noise1\nprint onoise_spectrum\nsetplot op1\nprint v(out)\n.endc\n";

// The rows that ngspice prints: index, x, then the value (real, imaginary for
// a complex one); a new table starts at index 0.
struct Printed {
  std::vector<std::vector<std::vector<double>>> tables;
  double op = NAN;
};

Printed parse_prints(const std::string& out) {
  Printed p;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("v(out) = ", 0) == 0) p.op = std::strtod(line.c_str() + 9, nullptr);
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    for (char& c : line)
      if (c == ',') c = ' ';
    std::istringstream row(line);
    std::vector<double> v;
    std::string token;
    while (row >> token) v.push_back(std::strtod(token.c_str(), nullptr));
    if (v.size() < 3) continue;
    if (v[0] == 0) p.tables.emplace_back();
    if (!p.tables.empty()) p.tables.back().push_back({v.begin() + 1, v.end()});
  }
  return p;
}

bool close(double a, double b) {
  return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b)) + 1e-300;
}

struct NgspiceData : ::testing::Test {
  std::filesystem::path dir;
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("zephyrim_ngspice_data_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

std::vector<double> values_of(DataStore& store, const char* name, int kind) {
  const DataVector* v = store.find_vector(name, 0, kind, -1, -1);
  if (!v) return {};
  const auto s = store.values(*v);
  return {s.begin(), s.end()};
}

TEST_F(NgspiceData, RawFilesAgreeWithPrintedValuesAndProbeCopies) {
  const std::string deck = (dir / "rc.cir").string();
  ASSERT_TRUE(write_file_atomic(deck, std::string(kCircuit) + ".end\n"));
  const std::string printing = (dir / "print.cir").string();
  ASSERT_TRUE(write_file_atomic(printing, std::string(kCircuit) + kPrints + ".end\n"));
  const std::string binary = (dir / "binary.raw").string(), ascii = (dir / "ascii.raw").string();
  ASSERT_EQ(process_run({"ngspice", "-b", "-r", binary, deck}, dir.string()).exit_code, 0);
  ASSERT_EQ(process_run({"env", "SPICE_ASCIIRAWFILE=1", "ngspice", "-b", "-r", ascii, deck}, dir.string())
                .exit_code,
            0);
  const ProcessResult printed_run = process_run({"ngspice", "-b", printing}, dir.string());
  const Printed printed = parse_prints(printed_run.output);
  ASSERT_EQ(printed.tables.size(), 4u) << printed_run.output;

  struct Case {
    const char* x;
    int kind;
    const char* name;
    size_t table;
  };
  const Case cases[] = {{"TIME", ANALYSIS_TRAN, "V(OUT)", 0},
                        {"FREQUENCY", ANALYSIS_AC, "V(OUT)", 1},
                        {"V(V-SWEEP)", ANALYSIS_DC, "V(OUT)", 2},
                        {"FREQUENCY", ANALYSIS_NOISE, "V(ONOISE_SPECTRUM)", 3}};
  std::vector<ProbeBlock> blocks;
  for (const std::string& file : {ascii, binary}) {
    RecordingNotify notify(kTraceryTitle);
    NullProgress progress;
    DataStore store(notify, progress);
    ASSERT_TRUE(store.start());
    store.open_data_file(file);
    EXPECT_GT(raw_read_file(store, file, true), 15) << file;
    EXPECT_TRUE(notify.entries().empty()) << notify.last();
    EXPECT_EQ(store.header.title, "rc divider");
    for (const auto& c : cases) {
      const auto& table = printed.tables[c.table];
      const auto x = values_of(store, c.x, c.kind);
      const auto y = values_of(store, c.name, c.kind);
      const size_t width = c.kind == ANALYSIS_AC ? 2 : 1;
      ASSERT_EQ(x.size(), table.size()) << file << " " << c.name;
      ASSERT_EQ(y.size(), table.size() * width) << file << " " << c.name;
      for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_TRUE(close(x[i], table[i][0])) << c.x << " " << i;
        for (size_t k = 0; k < width; ++k)
          EXPECT_TRUE(close(y[i * width + k], table[i][1 + k])) << c.name << " " << i;
      }
    }
    const DataVector* op = store.find_vector("V(OUT)", 0, ANALYSIS_OP, -1, -1);
    ASSERT_NE(op, nullptr);
    EXPECT_TRUE(close(store.values(*op)[0], printed.op));
    EXPECT_DOUBLE_EQ(printed.op, 0.75);

    if (file != binary) continue;
    // Every transient and AC vector into a PROBE file, as the engine writes it.
    for (int kind : {ANALYSIS_TRAN, ANALYSIS_AC}) {
      ProbeBlock b;
      b.kind = kind;
      b.label = kind == ANALYSIS_TRAN ? "TRAN" : "AC";
      for (const auto& v : store.data_class(0)->vectors) {
        if (v.kind != kind) continue;
        const auto s = store.values(v);
        if (!v.x) {
          b.x_name = v.name;
          b.x.assign(s.begin(), s.end());
        } else {
          b.analog_names.push_back(v.name);
          b.analog.emplace_back(s.begin(), s.end());
        }
      }
      blocks.push_back(std::move(b));
    }
  }
  const std::string sav = (dir / "rc.SAV").string();
  ASSERT_TRUE(probe_write_file(sav, blocks));
  RecordingNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  ASSERT_TRUE(store.start());
  store.open_data_file(sav);
  EXPECT_EQ(probe_read_file(store, sav), 2);
  for (const auto& b : blocks) {
    EXPECT_EQ(values_of(store, b.x_name.c_str(), b.kind), b.x);
    for (size_t i = 0; i < b.analog_names.size(); ++i) {
      const DataVector* v = store.find_vector(b.analog_names[i], 0, b.kind, -1, -1);
      ASSERT_NE(v, nullptr);
      EXPECT_EQ(v->complex, b.kind == ANALYSIS_AC ? 1 : 0);
      ASSERT_NE(store.vector_label(*v), nullptr);
      EXPECT_EQ(*store.vector_label(*v), b.label);
      const auto s = store.values(*v);
      EXPECT_EQ(std::vector<double>(s.begin(), s.end()), b.analog[i]) << b.analog_names[i];
    }
  }
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

}  // namespace
}  // namespace zephyrim
