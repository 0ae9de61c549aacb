// The engine on the bundled examples: zsim's PROBE file against the RAW file
// ngspice writes for the same netlist, the amplifier's bias file, and a folder
// name that a shell would take apart.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/process.h"
#include "simulation/ngspice_deck.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// The example and its setup in the folder, netlisted by the batch tool.
fs::path netlisted_example(const fs::path& dir, const std::string& name) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* ext : {".sch", ".SIM"})
    fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / (name + ext), dir / (name + ext));
  const ProcessResult r = process_run({ZEPHYRIM_BATCH_TOOL, "netlist", (dir / (name + ".sch")).string()});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  return dir / (name + ".CIR");
}

struct Loaded {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::vector<double> values(const char* name, int kind) {
    const DataVector* v = store.find_vector(name, 0, kind, -1, -1);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
};

TEST(Zsim, ProbeFileHoldsWhatNgspiceComputed) {
  const fs::path dir = fs::path(testing::TempDir()) / "zsim_rc";
  const fs::path cir = netlisted_example(dir, "rc_lowpass");
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string()}, dir.string(), 120);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const auto listing = read_text_file((dir / "rc_lowpass.OUT").string());
  ASSERT_TRUE(listing);
  // The viewer knows it for a SPICE3 listing with PROBE data; the "#" lines are echoed.
  EXPECT_NE(listing->find("SPICE3"), std::string::npos);
  EXPECT_NE(listing->find(" .PROBE binary file "), std::string::npos);
  EXPECT_NE(listing->find("#AUTOPLOT  TRAN V(in) V(out)"), std::string::npos);
  EXPECT_EQ(listing->find(".RAW"), std::string::npos);
  EXPECT_EQ(listing->find("*ERROR*"), std::string::npos) << *listing;
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_NE(e.path().filename().string().rfind("zsim-", 0), 0u) << "left behind: " << e.path();

  // The RAW file ngspice writes itself for the same netlist.
  const auto text = read_text_file(cir.string());
  ASSERT_TRUE(text);
  const NgspiceDeck deck = prepare_ngspice_deck(
      *text, [&](const std::string& name) { return read_text_file((dir / name).string()); });
  ASSERT_TRUE(write_file_atomic((dir / "direct.cir").string(),
                                ngspice_deck_text(deck, 0, {"setplot tran1", "write direct.raw", "quit"})));
  ASSERT_EQ(process_run({"ngspice", "-b", "direct.cir"}, dir.string(), 120).exit_code, 0);

  Loaded sav, raw;
  ASSERT_TRUE(sav.store.start());
  ASSERT_TRUE(raw.store.start());
  sav.store.open_data_file((dir / "rc_lowpass.SAV").string());
  EXPECT_EQ(probe_read_file(sav.store, (dir / "rc_lowpass.SAV").string()), 2);  // the bias point and the transient
  EXPECT_GT(raw_read_file(raw.store, (dir / "direct.raw").string(), false), 0);
  const auto out = sav.values("V(OUT)", ANALYSIS_TRAN);
  ASSERT_GT(out.size(), 100u);
  EXPECT_EQ(out, raw.values("V(OUT)", ANALYSIS_TRAN));
  EXPECT_EQ(sav.values("TIME", ANALYSIS_TRAN), raw.values("TIME", ANALYSIS_TRAN));
  const DataVector* v = sav.store.find_vector("V(OUT)", 0, ANALYSIS_TRAN, -1, -1);
  EXPECT_EQ(*sav.store.vector_label(*v), "Run 1 Temp=27");
  EXPECT_TRUE(sav.notify.entries().empty()) << sav.notify.last();
}

// A node or device record of the bias file.
std::map<std::string, float> bias_records(const std::vector<uint8_t>& b, size_t first, int count) {
  std::map<std::string, float> out;
  for (int i = 0; i < count; ++i) {
    const size_t at = first + static_cast<size_t>(i) * 68;
    std::string name(reinterpret_cast<const char*>(b.data() + at), 64);
    name.erase(name.find_last_not_of(' ') + 1);
    float v;
    std::memcpy(&v, b.data() + at + 64, 4);
    out[name] = v;
  }
  return out;
}

TEST(Zsim, AmplifierBiasFileHoldsItsOperatingPoint) {
  const fs::path dir = fs::path(testing::TempDir()) / "zsim_amplifier";
  const fs::path cir = netlisted_example(dir, "amplifier");
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string(), "-ZSS"}, dir.string(), 120);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(run.output, "");  // -ZSS: started by the editor, no summary
  const auto b = read_file((dir / "amplifier.OPB").string());
  ASSERT_TRUE(b);
  ASSERT_GE(b->size(), 136u);
  int32_t width, nodes, devices;
  std::memcpy(&width, b->data() + 116, 4);
  std::memcpy(&nodes, b->data() + 120, 4);
  std::memcpy(&devices, b->data() + 124, 4);
  EXPECT_EQ(width, 64);
  ASSERT_EQ(b->size(), 136u + 68u * static_cast<size_t>(nodes + devices));
  const auto n = bias_records(*b, 136, nodes);
  const auto d = bias_records(*b, 136 + 68 * static_cast<size_t>(nodes), devices);
  // The collector sits where the examples' own test computes it, 5.77 V.
  ASSERT_TRUE(n.count("C")) << "nodes: " << n.size();
  EXPECT_NEAR(n.at("C"), 5.77, 0.05);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d.begin()->first[0], 'V');
  // The same operating point is the first block of the PROBE file.
  Loaded sav;
  ASSERT_TRUE(sav.store.start());
  sav.store.open_data_file((dir / "amplifier.SAV").string());
  EXPECT_EQ(probe_read_file(sav.store, (dir / "amplifier.SAV").string()), 3);
  EXPECT_NEAR(sav.values("V(C)", ANALYSIS_OP).at(0), n.at("C"), 1e-5);
  EXPECT_EQ(sav.store.find_vector("V(C)", 0, ANALYSIS_AC, -1, -1)->complex, 1);
}

TEST(Zsim, FolderNamesReachTheEngineWhole) {
  const fs::path root = fs::path(testing::TempDir()) / "zsim_names";
  fs::remove_all(root);
  const fs::path dir = root / "a b 'q' \"d\" $HOME;touch PWNED";
  const fs::path cir = netlisted_example(dir, "rc_lowpass");
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string()}, root.string(), 120);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(fs::exists(dir / "rc_lowpass.SAV"));
  EXPECT_FALSE(fs::exists(root / "PWNED"));
  EXPECT_FALSE(fs::exists(dir / "PWNED"));
  // A netlist that is not there still gives a listing that says so.
  const ProcessResult missing = process_run({ZEPHYRIM_ZSIM, (root / "none.CIR").string()}, root.string(), 60);
  EXPECT_EQ(missing.exit_code, 2);
  const auto listing = read_text_file((root / "none.OUT").string());
  ASSERT_TRUE(listing);
  EXPECT_NE(listing->find("*ERROR*: Cannot open file"), std::string::npos);
}

}  // namespace
}  // namespace zephyrim
