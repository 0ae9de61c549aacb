// Opening data files: types by extension, the derived names, "Clear old data?",
// and a listing whose statements run once its data is in.
#include "viewer/calc/data_open.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "platform/sound.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/calc/script.h"
#include "viewer/data/wav_file.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

const std::string kProbe = std::string(ZEPHYRIM_SOURCE_DIR) + "/tests/fuzz/corpus/probe_file/current.SAV";

struct TempFolder {
  fs::path dir = fs::temp_directory_path() / ("zephyrim_data_open_" + std::to_string(getpid()));
  TempFolder() { fs::create_directories(dir); }
  ~TempFolder() { fs::remove_all(dir); }
  std::string operator/(const char* name) const { return (dir / name).string(); }
};

TEST(DataOpen, TypesByExtensionAndDerivedNames) {
  EXPECT_EQ(data_file_type("/x/RUN1.TR0"), DATA_TYPE_HSPICE_CSDF);
  EXPECT_EQ(data_file_type("run1.ac3"), DATA_TYPE_HSPICE_CSDF);
  EXPECT_EQ(data_file_type("RUN1.DAT"), DATA_TYPE_LISTING);
  EXPECT_EQ(data_file_type("a.Csdf"), DATA_TYPE_CSDF);
  EXPECT_EQ(data_file_type("a.wav"), DATA_TYPE_WAV);
  EXPECT_EQ(data_file_type("dir.v2/noext"), DATA_TYPE_LISTING);
  const DataFileNames n = data_file_names("/data/amp", "Tracery");
  EXPECT_EQ(n.path, "/data/amp.out");
  EXPECT_EQ(n.folder, "/data");
  EXPECT_EQ(n.probe, "/data/amp.SAV");
  EXPECT_EQ(n.format, "/data/amp.F");
  EXPECT_EQ(n.history, "/data/amp.W");
  EXPECT_EQ(n.window_title, "Tracery - amp.out");
  EXPECT_EQ(std::string(kDataOpenFilters[kDataFileTypes]), "All files(*.*)");
}

TEST(DataOpen, KeepingOldDataAddsRunsAndClearingForgetsIt) {
  CalcStore s;
  DataOpenSession session;
  ASSERT_GT(data_open_command(s.store, kProbe, -1, session), 0);
  EXPECT_TRUE(s.notify.entries().empty()) << s.notify.last();
  s.notify.answer(0);  // keep the old data
  ASSERT_GT(data_open_command(s.store, kProbe, DATA_TYPE_PROBE, session), 0);
  EXPECT_EQ(s.notify.last(), "Clear old data?");
  const DataVector* second = s.store.find_vector("D(Q)", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 2);
  ASSERT_TRUE(second);
  // Both files' values load on demand from their own entries.
  EXPECT_EQ(s.values(second),
            s.values(s.store.find_vector("D(Q)", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 1)));
  s.notify.answer(1);
  ASSERT_GT(data_open_command(s.store, kProbe, DATA_TYPE_PROBE, session), 0);
  EXPECT_FALSE(s.store.find_vector("D(Q)", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 2));
  EXPECT_EQ(s.store.current_data_file(), 1);
}

TEST(DataOpen, AListingLeadsToItsDataAndItsStatementsRunAfterIt) {
  TempFolder t;
  fs::copy_file(kProbe, t / "amp.SAV");
  ASSERT_TRUE(write_file_atomic(t / "amp.OUT",
                                "ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)\n"
                                "Circuit: amp\n"
                                "Date: Thu Jan  1 00:00:00 2026\n\n"
                                "#AUTOPLOT TRAN V(IN) V(OUT)\n"
                                "#MEASURE TRAN MAX VMAX YVAR V(OUT)\n"
                                "**** Run 1  Temp=27\n\n"
                                "Data written to .PROBE binary file amp.SAV: 3 data blocks\n\n"
                                "TOTAL JOB TIME         0.05\n\n"
                                "0 errors, 0 warnings\n"));
  CalcStore s;
  ScriptState script;
  DataOpenSession session;
  session.script = &script;
  // Typed without its extension, the engine's FILE.OUT is found.
  ASSERT_GT(data_open_command(s.store, t / "amp", -1, session), 0) << s.notify.last();
  EXPECT_EQ(session.names.path, t / "amp.OUT");
  EXPECT_EQ(session.facts.circuit_title, "amp");
  EXPECT_FALSE(session.show_run_status);
  EXPECT_TRUE(s.store.find_vector("VMAX", DATA_CLASS_TEXT, ANALYSIS_OTHER, -1, -1));
  EXPECT_EQ(script.autoplot.traces.size(), 2u);
}

TEST(DataOpen, AWavFileIsRememberedForPlaying) {
  TempFolder t;
  NullSoundPlayer player;
  WavPlayback playback(player, t.dir.string());
  const std::vector<double> x = {0, 0.5e-3, 1e-3}, y = {0, 1, -1};
  CalcStore s;
  ASSERT_EQ(wav_write_trace(t / "tone.wav", WavTrace{x, y, 8000, std::nullopt}, s.notify), 1);
  DataOpenSession session;
  session.playback = &playback;
  ASSERT_EQ(data_open_command(s.store, t / "tone.wav", -1, session), 9);
  EXPECT_EQ(playback.remembered(), t / "tone.wav");
  EXPECT_TRUE(s.store.find_vector("VAUDIO", DATA_CLASS_TEXT, ANALYSIS_TRAN, -1, -1));
}

}  // namespace
}  // namespace zephyrim
