#include "editing/editor_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

IniFile from_text(std::string_view text) {
  IniFile ini;
  EXPECT_TRUE(ini.load_text(text));
  return ini;
}

EditorConfig read_text(std::string_view text) {
  return config_read(from_text(text), "/opt/zephyrim/");
}

// ---- Reading ----

TEST(EditorConfigRead, EmptyFileGivesEveryDefault) {
  const EditorConfig c = read_text("");
  EXPECT_EQ(c.browse_file_command, "");
  EXPECT_EQ(c.win_platform, 1);
  EXPECT_EQ(c.edit_file_command, "");
  EXPECT_EQ(c.simulation_command, "");
  EXPECT_EQ(c.post_processor_command, "trc32");
  EXPECT_EQ(c.xspice_option, 0);
  EXPECT_EQ(c.spice3_option, 0);
  EXPECT_EQ(c.simulator_option, kEngineDefault);
  EXPECT_EQ(c.symbol_library_path, "/opt/zephyrim/");
  EXPECT_EQ(c.model_database_path, "");  // not configured: the database is looked for elsewhere
  EXPECT_EQ(c.auto_pan_mode, 0);
  EXPECT_EQ(c.auto_junction_mode, 1);
  EXPECT_EQ(c.rubber_band_mode, 1);
  EXPECT_EQ(c.printer_paper_orient, -1);
  EXPECT_EQ(c.copy_clipboard_metafile_format, 0);
  EXPECT_EQ(c.printer_pen_width, -1);
  for (int colour : {c.wire_color, c.symbol_color, c.junction_color, c.label_color, c.text_color})
    EXPECT_EQ(colour, -1);
  EXPECT_TRUE(c.builtin_font());
  EXPECT_FALSE(c.last_font_size);
  EXPECT_FALSE(c.last_font_options);
  EXPECT_EQ(c.auto_save_mode, 1);
  EXPECT_EQ(c.auto_save_timer, 15);
  EXPECT_EQ(c.auto_save_run, 0);
  EXPECT_EQ(c.cursor_wire_option, 1);
  EXPECT_TRUE(c.recent_files.empty());
  EXPECT_EQ(c.last_path, "");
}

TEST(EditorConfigRead, KeysOfAllSectionsAreTaken) {
  const EditorConfig c = read_text(
      "[Zephyrim]\nBrowseFileCommand=less -R\nWinPlatform=0\nEditFileCommand=vi\n"
      "PostProcessorCommand=trc32 -x\nModelDatabasePath=/srv/models\n"
      "[Schematic]\nSymbolLibraryPath=/lib/sym\nAutoPanMode=1\nAutoJunctionMode=0\nRubberBandMode=0\n"
      "PrinterPaperOrient=2\nCopyClipboardMetafileFormat=1\nPrinterPenWidth=3\n"
      "WireColor=4\nSymbolColor=5\nJunctionColor=6\nLabelColor=7\nTextColor=0\n"
      "AutoSaveMode=0\nAutoSaveTimer=30\nAutoSaveRun=1\nCursorWireOption=3\n"
      "RecentFile1=/a.sch\nRecentFile2=\nRecentFile3=/c.sch\n"
      "[JobStatus]\nLastPath=/work/designs\nLastFile=/ignored.sch\n");
  EXPECT_EQ(c.browse_file_command, "less -R");
  EXPECT_EQ(c.win_platform, 0);
  EXPECT_EQ(c.edit_file_command, "vi");
  EXPECT_EQ(c.post_processor_command, "trc32 -x");
  EXPECT_EQ(c.symbol_library_path, "/lib/sym");
  EXPECT_EQ(c.model_database_path, "/srv/models");
  EXPECT_EQ(c.auto_pan_mode, 1);
  EXPECT_EQ(c.auto_junction_mode, 0);
  EXPECT_EQ(c.rubber_band_mode, 0);
  EXPECT_EQ(c.printer_paper_orient, 2);
  EXPECT_EQ(c.copy_clipboard_metafile_format, 1);
  EXPECT_EQ(c.printer_pen_width, 3);
  EXPECT_EQ(c.wire_color, 4);
  EXPECT_EQ(c.symbol_color, 5);
  EXPECT_EQ(c.junction_color, 6);
  EXPECT_EQ(c.label_color, 7);
  EXPECT_EQ(c.text_color, 0);
  EXPECT_EQ(c.auto_save_mode, 0);
  EXPECT_EQ(c.auto_save_timer, 30);
  EXPECT_EQ(c.auto_save_run, 1);
  EXPECT_EQ(c.cursor_wire_option, 3);
  EXPECT_EQ(c.recent_files, (std::vector<std::string>{"/a.sch", "/c.sch"}));
  EXPECT_EQ(c.last_path, "/work/designs");
  EXPECT_EQ(c.last_file, "");  // only LastPath is read back
}

TEST(EditorConfigRead, PresentEmptyTextReplacesDefaultButDamagedIntegerDoesNot) {
  const EditorConfig c = read_text("[Zephyrim]\nEditFileCommand=\n[Schematic]\nAutoSaveTimer=soon\n");
  EXPECT_EQ(c.edit_file_command, "");
  EXPECT_EQ(c.auto_save_timer, 15);
}

TEST(EditorConfigRead, BrowseCommandIsCutWithoutSplittingACharacter) {
  const std::string long_command = std::string(254, 'a') + "\xC3\xA9" + "tail";
  const EditorConfig c = read_text("[Zephyrim]\nBrowseFileCommand=" + long_command + "\n");
  EXPECT_EQ(c.browse_file_command, std::string(254, 'a'));
}

TEST(EditorConfigRead, EngineChoiceFallsBackWhenNotInstalled) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"SimulatorOption=2\nSpice3Option=0\n", kEngineDefault},
      {"SimulatorOption=2\nSpice3Option=1\n", kEngineSpice3},
      {"SimulatorOption=1\n", kEngineDefault},
      {"SimulatorOption=1\nXSpiceOption=1\n", kEngineXSpice},
      {"SimulatorOption=1\nSpice3Option=1\n", kEngineDefault},
      {"SimulatorOption=3\nSimulationCommand=\n", kEngineDefault},
      {"SimulatorOption=3\nSimulationCommand=ngsim -b\n", kEngineOther},
      {"SimulatorOption=7\nXSpiceOption=1\nSpice3Option=1\nSimulationCommand=x\n", kEngineDefault},
  };
  for (const Case& k : cases)
    EXPECT_EQ(read_text(std::string("[Zephyrim]\n") + k.text).simulator_option, k.expected) << k.text;
}

TEST(EditorConfigRead, FontKeysCountOnlyWithANamedFont) {
  const char kFontKeys[] = "LastFontSize=-13 0 0 0 700\nLastFontOptions=1 1 1 2 3 4 5 6\n";
  const EditorConfig builtin = read_text(std::string("[Schematic]\nLastFontName=DEFAULT\n") + kFontKeys);
  EXPECT_TRUE(builtin.builtin_font());
  EXPECT_FALSE(builtin.last_font_size);
  EXPECT_FALSE(builtin.last_font_options);

  const EditorConfig absent = read_text(std::string("[Schematic]\n") + kFontKeys);
  EXPECT_TRUE(absent.builtin_font());
  EXPECT_FALSE(absent.last_font_size);

  const EditorConfig named = read_text(std::string("[Schematic]\nLastFontName=DejaVu Sans\n") + kFontKeys);
  EXPECT_EQ(named.last_font_name, "DejaVu Sans");
  ASSERT_TRUE(named.last_font_size);
  EXPECT_EQ(*named.last_font_size, (FontSize{-13, 0, 0, 0, 700}));
  // Underline, strike-out and the precisions are not restored.
  ASSERT_TRUE(named.last_font_options);
  EXPECT_EQ(*named.last_font_options, (FontOptions{1, 0, 0, 2, 0, 0, 5, 6}));
}

TEST(EditorConfigRead, ShortFontLinesAreDropped) {
  const EditorConfig c =
      read_text("[Schematic]\nLastFontName=Mono\nLastFontSize=12 0 0\nLastFontOptions=1 2 3 4 5 6 7\n");
  EXPECT_EQ(c.last_font_name, "Mono");
  EXPECT_FALSE(c.last_font_size);
  EXPECT_FALSE(c.last_font_options);
}

TEST(EditorConfigRead, NetlistOptionsDefaultToABackupAndTheProgramsStatistics) {
  const EditorConfig d = read_text("");
  EXPECT_EQ(d.netlist_on_exit, 0);
  EXPECT_EQ(d.netlist_backup, 1);
  EXPECT_EQ(d.statistics_file, "/opt/zephyrim/STATSDEFAULT.TXT");
  const EditorConfig c =
      read_text("[Schematic]\nNetlistOnExit=1\nNetlistBackup=0\nStatisticsFile=/home/u/my stats.txt\n");
  EXPECT_EQ(c.netlist_on_exit, 1);
  EXPECT_EQ(c.netlist_backup, 0);
  EXPECT_EQ(c.statistics_file, "/home/u/my stats.txt");
}

TEST(EditorConfigAutoSave, IntervalIsCappedAndZeroMeansNoTimer) {
  EditorConfig c;
  EXPECT_EQ(auto_save_interval_minutes(c), 15);
  c.auto_save_timer = 100;
  EXPECT_EQ(auto_save_interval_minutes(c), 100);
  c.auto_save_timer = 250;
  EXPECT_EQ(auto_save_interval_minutes(c), 100);
  EXPECT_EQ(c.auto_save_timer, 250);
  c.auto_save_timer = 0;
  EXPECT_EQ(auto_save_interval_minutes(c), 0);
  c.auto_save_timer = -5;
  EXPECT_EQ(auto_save_interval_minutes(c), 0);
  c.auto_save_timer = 20;
  c.auto_save_mode = 0;
  EXPECT_EQ(auto_save_interval_minutes(c), 0);
}

// ---- Writing ----

TEST(EditorConfigWrite, NewFileListsTheKeysInExitOrder) {
  EditorConfig c;
  c.last_path = "/d";
  c.last_file = "/d/amp.sch";
  c.last_title = "AMP";
  c.simulator_option = kEngineSpice3;
  c.auto_pan_mode = 1;
  c.last_font_name = "Mono";
  c.last_font_size = FontSize{-12, 0, 0, 0, 400};
  c.last_font_options = FontOptions{1, 0, 0, 0, 3, 2, 1, 49};
  c.auto_save_timer = 7;
  c.recent_files = {"/d/amp.sch", "/d/old.sch"};
  c.window_show_mode = 1;
  c.window_show_pos = std::array<int, 4>{10, 20, 810, 620};
  IniFile ini;
  config_write(c, ini);
  EXPECT_EQ(ini.text(),
            "[JobStatus]\nWorkType=0\nLastPath=/d\nLastFile=/d/amp.sch\nLastTitle=AMP\n"
            "\n[Zephyrim]\nSimulatorOption=2\n"
            "\n[Schematic]\nAutoPanMode=1\nAutoJunctionMode=1\nRubberBandMode=1\nWheelZoomMode=0\n"
            "WindowShowMode=1\nWindowShowPos=10 20 810 620\nLastFontName=Mono\n"
            "LastFontSize=-12 0 0 0 400\nLastFontOptions=1 0 0 0 3 2 1 49\n"
            "AutoSaveMode=1\nAutoSaveTimer=7\nAutoSaveRun=0\n"
            "RecentFile1=/d/amp.sch\nRecentFile2=/d/old.sch\nRecentFile3=\nRecentFile4=\nRecentFile5=\n"
            "NetlistOnExit=0\nNetlistBackup=1\nStatisticsFile=\n");
}

TEST(EditorConfigWrite, BuiltinFontWritesDefaultAndLeavesFontLinesAlone) {
  IniFile ini = from_text("[Schematic]\nLastFontName=Mono\nLastFontSize=1 2 3 4 5\n");
  EditorConfig c;
  c.last_font_size = FontSize{9, 9, 9, 9, 9};  // meaningless with the built-in font
  config_write(c, ini);
  EXPECT_EQ(ini.get_string("Schematic", "LastFontName"), "DEFAULT");
  EXPECT_EQ(ini.get_string("Schematic", "LastFontSize"), "1 2 3 4 5");
  EXPECT_FALSE(ini.has_key("Schematic", "LastFontOptions"));
  EXPECT_TRUE(config_read(ini).builtin_font());
}

TEST(EditorConfigWrite, ShrunkRecentListClearsStaleSlots) {
  IniFile ini = from_text("[Schematic]\nRecentFile1=/a\nRecentFile2=/b\nRecentFile3=/c\n");
  EditorConfig c;
  c.recent_files = {"/z"};
  config_write(c, ini);
  EXPECT_EQ(config_read(ini).recent_files, (std::vector<std::string>{"/z"}));
}

// ---- Recent files ----

TEST(EditorConfigRecentFiles, NewestFirstWithoutDuplicatesAtMostFive) {
  EditorConfig c;
  for (const char* f : {"/1", "/2", "/3", "/4", "/5", "/6"}) recent_files_add(c, f);
  EXPECT_EQ(c.recent_files, (std::vector<std::string>{"/6", "/5", "/4", "/3", "/2"}));
  recent_files_add(c, "/3");
  EXPECT_EQ(c.recent_files, (std::vector<std::string>{"/3", "/6", "/5", "/4", "/2"}));
  recent_files_add(c, "/3");
  EXPECT_EQ(c.recent_files.size(), 5u);
  EXPECT_EQ(c.recent_files.front(), "/3");
  recent_files_add(c, "");
  EXPECT_EQ(c.recent_files.front(), "/3");
}

// ---- On disk: location, saving ----

class EditorConfigDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("editor_config_test_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_ / "bin");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  EnvLookup env() const {
    return [this](const char* name) -> std::optional<std::string> {
      const auto it = env_.find(name);
      if (it == env_.end()) return std::nullopt;
      return it->second;
    };
  }
  static void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string bin() const { return (dir_ / "bin").string() + "/"; }

  fs::path dir_;
  std::map<std::string, std::string> env_;
  RecordingNotify notify_;
};

TEST_F(EditorConfigDisk, LocationPrefersProgramFolderThenXdgThenHome) {
  env_["XDG_CONFIG_HOME"] = (dir_ / "xdg").string();
  env_["HOME"] = (dir_ / "home").string();
  EXPECT_EQ(config_location(bin(), env(), notify_), (dir_ / "xdg/zephyrim/ZEPHYRIM.INI").string());

  write_file(dir_ / "bin/ZEPHYRIM.INI", "");
  EXPECT_EQ(config_location(bin(), env(), notify_), bin() + "ZEPHYRIM.INI");
  // A program folder given without its separator finds the file too.
  EXPECT_EQ(config_location((dir_ / "bin").string(), env(), notify_), bin() + "ZEPHYRIM.INI");
  fs::remove(dir_ / "bin/ZEPHYRIM.INI");

  env_["XDG_CONFIG_HOME"] = "";
  EXPECT_EQ(config_location(bin(), env(), notify_), (dir_ / "home/.config/zephyrim/ZEPHYRIM.INI").string());
  env_["XDG_CONFIG_HOME"] = "relative/dir";
  EXPECT_EQ(config_location(bin(), env(), notify_), (dir_ / "home/.config/zephyrim/ZEPHYRIM.INI").string());
  env_.erase("XDG_CONFIG_HOME");
  EXPECT_EQ(config_location(bin(), env(), notify_), (dir_ / "home/.config/zephyrim/ZEPHYRIM.INI").string());
  EXPECT_TRUE(notify_.entries().empty());
}

TEST_F(EditorConfigDisk, FolderNamedLikeTheFileIsNotTheFile) {
  fs::create_directories(dir_ / "bin/ZEPHYRIM.INI");
  env_["HOME"] = (dir_ / "home").string();
  EXPECT_EQ(config_location(bin(), env(), notify_), (dir_ / "home/.config/zephyrim/ZEPHYRIM.INI").string());
}

TEST_F(EditorConfigDisk, NoLocationReportsAndKeepsDefaults) {
  const EditorConfig c = config_load(bin(), env(), notify_);
  ASSERT_EQ(notify_.entries().size(), 1u);
  EXPECT_EQ(notify_.entries()[0].kind, NoticeKind::Error);
  EXPECT_EQ(notify_.last(), "Cannot write to ZEPHYRIM.INI configuration file");
  EXPECT_EQ(c.ini_path, "");
  EXPECT_EQ(c.auto_save_timer, 15);
  EXPECT_FALSE(config_save(c, c.ini_path));

  // A file in the program folder needs no environment at all.
  notify_.clear();
  write_file(dir_ / "bin/ZEPHYRIM.INI", "[Schematic]\nAutoSaveTimer=9\n");
  const EditorConfig local = config_load(bin(), env(), notify_);
  EXPECT_TRUE(notify_.entries().empty());
  EXPECT_EQ(local.auto_save_timer, 9);
}

TEST_F(EditorConfigDisk, NoFileAnywhereGivesDefaultsAndSaveCreatesItInXdgFolder) {
  env_["XDG_CONFIG_HOME"] = (dir_ / "xdg").string();
  env_["HOME"] = (dir_ / "home").string();
  EditorConfig c = config_load(bin(), env(), notify_);
  EXPECT_TRUE(notify_.entries().empty());
  const fs::path expected = dir_ / "xdg/zephyrim/ZEPHYRIM.INI";
  EXPECT_EQ(c.ini_path, expected.string());
  EXPECT_EQ(c.symbol_library_path, bin());
  EXPECT_EQ(c.simulator_option, kEngineDefault);
  EXPECT_TRUE(c.builtin_font());
  EXPECT_FALSE(fs::exists(expected));

  ASSERT_TRUE(config_save(c, c.ini_path));
  const IniFile saved = IniFile::load(expected.string());
  EXPECT_EQ(saved.get_string("JobStatus", "WorkType"), "0");
  EXPECT_EQ(saved.get_string("Zephyrim", "SimulatorOption"), "0");
  EXPECT_EQ(saved.get_string("Schematic", "AutoJunctionMode"), "1");
  EXPECT_EQ(saved.get_string("Schematic", "LastFontName"), "DEFAULT");
  EXPECT_EQ(saved.get_string("Schematic", "AutoSaveTimer"), "15");
  EXPECT_FALSE(fs::exists(dir_ / "home"));
}

TEST_F(EditorConfigDisk, SaveKeepsWhatTheEditorDoesNotOwn) {
  const fs::path file = dir_ / "bin/ZEPHYRIM.INI";
  write_file(file,
             "; shared by both programs\n"
             "[Zephyrim]\nBrowseFileCommand=less\nCalculatorCommand=CALC\nSimulatorOption=0\n"
             "[Tracery]\nPlotArea=1\nWindowShowPos=10 20 300 400\nRecentFile1=/data/run.out\n"
             "[Schematic]\nWireColor=3\nAutoPanMode=0\nCustomKey=kept\n"
             "[Other]\nx=y\n");
  EditorConfig c = config_load(bin(), env(), notify_);
  c.auto_pan_mode = 1;
  c.simulator_option = kEngineDefault;
  recent_files_add(c, "/s/amp.sch");
  ASSERT_TRUE(config_save(c, c.ini_path));

  const std::string text = read_file(file);
  EXPECT_EQ(text.rfind("; shared by both programs\n[Zephyrim]\nBrowseFileCommand=less\n", 0), 0u);
  EXPECT_NE(text.find("[Tracery]\nPlotArea=1\nWindowShowPos=10 20 300 400\nRecentFile1=/data/run.out\n"
                      "[Schematic]\nWireColor=3\nAutoPanMode=1\nCustomKey=kept\n"),
            std::string::npos);
  EXPECT_NE(text.find("[Other]\nx=y\n"), std::string::npos);
  const IniFile saved = IniFile::load(file.string());
  EXPECT_EQ(saved.get_string("Zephyrim", "CalculatorCommand"), "CALC");
  EXPECT_EQ(saved.get_string("Schematic", "RecentFile1"), "/s/amp.sch");
  EXPECT_EQ(saved.get_string("Tracery", "RecentFile1"), "/data/run.out");
}

TEST_F(EditorConfigDisk, UnreadableExistingFileIsNotOverwritten) {
  // A folder where the file should be cannot be read; saving must not clobber it.
  fs::create_directories(dir_ / "cfg/ZEPHYRIM.INI");
  EXPECT_FALSE(config_save(EditorConfig{}, (dir_ / "cfg/ZEPHYRIM.INI").string()));
  EXPECT_TRUE(fs::is_directory(dir_ / "cfg/ZEPHYRIM.INI"));
}

TEST_F(EditorConfigDisk, ChoosingAnEngineWritesOnlySimulatorOptionAtOnce) {
  const fs::path file = dir_ / "bin/ZEPHYRIM.INI";
  write_file(file, "[Zephyrim]\nSpice3Option=1\nSimulatorOption=0\n[Schematic]\nAutoPanMode=1\n");
  EditorConfig c = config_load(bin(), env(), notify_);
  c.auto_pan_mode = 0;  // changed in memory only; must not reach the file yet
  ASSERT_TRUE(config_set_engine(c, kEngineSpice3, c.ini_path));
  EXPECT_EQ(c.simulator_option, kEngineSpice3);
  EXPECT_EQ(read_file(file), "[Zephyrim]\nSpice3Option=1\nSimulatorOption=2\n[Schematic]\nAutoPanMode=1\n");

  // Without a location the choice still holds for this run.
  EditorConfig nowhere;
  EXPECT_TRUE(config_set_engine(nowhere, kEngineOther, ""));
  EXPECT_EQ(nowhere.simulator_option, kEngineOther);
}

TEST_F(EditorConfigDisk, ChoosingAnEngineCreatesTheFileWhenMissing) {
  const fs::path file = dir_ / "xdg/zephyrim/ZEPHYRIM.INI";
  EditorConfig c;
  ASSERT_TRUE(config_set_engine(c, kEngineXSpice, file.string()));
  EXPECT_EQ(read_file(file), "[Zephyrim]\nSimulatorOption=1\n");
}

TEST(EditorConfigTools, ConfiguredCommandOrTheUsersEditor) {
  std::map<std::string, std::string> env;
  const EnvLookup lookup = [&env](const char* name) -> std::optional<std::string> {
    auto it = env.find(name);
    return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
  EXPECT_EQ(text_tool_command("", lookup), std::vector<std::string>{"xdg-open"});
  env["EDITOR"] = "vi";
  EXPECT_EQ(text_tool_command("", lookup), std::vector<std::string>{"vi"});
  env["VISUAL"] = "code  -w";
  EXPECT_EQ(text_tool_command("", lookup), (std::vector<std::string>{"code", "-w"}));
  EXPECT_EQ(text_tool_command("\"/opt/my tools/edit\" -a=b \"\"", lookup),
            (std::vector<std::string>{"/opt/my tools/edit", "-a=b", ""}));
}

TEST(EngineChoice, FallsBackToTheDefaultEngine) {
  EditorConfig c;
  auto never = [](const std::string&) { return false; };
  c.simulator_option = kEngineXSpice;
  EXPECT_EQ(effective_engine(c), kEngineDefault);
  EXPECT_EQ(simulator_command(c, "/a b/x.CIR", "", never),
            (std::vector<std::string>{"zsim", "/a b/x.CIR", "-ZSS"}));
  c.xspice_option = 1;
  EXPECT_EQ(simulator_command(c, "x.CIR", "/bin", [](const std::string& p) { return p == "/bin/zsimx"; }),
            (std::vector<std::string>{"/bin/zsimx", "x.CIR", "-ZSS"}));
  EXPECT_STREQ(run_item_label(effective_engine(c)), "RUN &Simulation (XSPICE option)");
  c.simulator_option = kEngineOther;
  EXPECT_EQ(effective_engine(c), kEngineDefault);  // no SimulationCommand
  c.simulation_command = "sim -b";
  EXPECT_EQ(simulator_command(c, "x.CIR", "", never), (std::vector<std::string>{"sim", "-b", "x.CIR"}));
  EXPECT_STREQ(engine_display_name(kEngineOther), "Other");
}

TEST(NewSchematicName, FirstFreeNumber) {
  EXPECT_EQ(
      new_schematic_name([](const std::string& n) { return n == "Circuit1.sch" || n == "Circuit2.sch"; }),
      "Circuit3.sch");
  EXPECT_EQ(new_schematic_name([](const std::string&) { return true; }), "untitled.sch");
}

}  // namespace
}  // namespace zephyrim
