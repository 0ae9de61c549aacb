// The viewer's keys in ZEPHYRIM.INI: reading, ranges, write-back beside the editor's keys.
#include "viewer/session/viewer_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

IniFile ini_of(const std::string& text) {
  IniFile ini;
  ini.load_text(text);
  return ini;
}

ViewerConfig read(const std::string& text, ViewerConfig start = {}) {
  viewer_config_read(ini_of(text), start);
  return start;
}

// Every key with a value other than its built-in one.
const char* const kFullFile =
    "[Zephyrim]\n"
    "WinPlatform=3\n"
    "BrowseFileCommand=less -R\n"
    "CalculatorCommand=gnome-calculator\n"
    "[Tracery]\n"
    "PlotArea=0\nFmtGridMode=2\nFmtPlotMode=1\nFmtPlotDir=2\nFmtRunInfo=1\nFmtTraceInfo=0\n"
    "UnitScaleLabelMode=1\nCursor1Style=4\nCursor2Style=3\nDisplayMode=0\nPrinterFontRatio=120\n"
    "PrinterPaperOrient=2\nSaveTraceHistory=0\nKeepOutFileHistory=0\nPrintGridLineStyle=2\n"
    "PrintGridLineThick=3\nLastSessionFile=/data/amp.SAV\nAutoRecallFormat=1\n"
    "CopyClipboardMetafileFormat=1\nHistoryMaxKeep=25\nPrintMonochrome=1\n"
    "LastUserExpression1=V(OUT)*2\nLastUserExpression2=DB(V(2))\nLastUserExpression3=\n"
    "LastUserExpression4=\nLastUserExpression5=I(R1)\n"
    "PrintTraceColor1=0\nPrintTraceColor7=15\nPrintTraceColor12=7\n"
    "CalculatorCommand=kcalc\nAutoCloseOption=0\n"
    "RecentFile1=/data/b.raw\nRecentFile2=/data/a.SAV\nRecentFile3=\nRecentFile4=\nRecentFile5=\n"
    "DebugLogOption=1\n"
    "WMFMetaFileMode=1\nWMFMetaFileW=2540\nWMFMetaFileH=1270\nWMFMetaFileMono=1\n"
    "EMFMetaFileMode=1\nEMFMetaFileW=800\nEMFMetaFileH=600\nEMFMetaFileMono=0\n"
    "WaveFileSampleRate=8000\nWindowShowMode=1\nWindowShowPos=10 20 810 620\n"
    "LastFontName=DejaVu Sans\nLastFontSize=-13 0 0 0 700\nLastFontOptions=1 0 0 0 3 2 1 34\n";

TEST(ViewerConfigRead, EveryKeyAndTheBuiltInValues) {
  const ViewerConfig d;
  EXPECT_EQ(d.display_mode, DISPLAY_MODE_WHITE);
  EXPECT_EQ(d.grid_mode, GRID_SINGLE);
  EXPECT_EQ(d.plot_area, AREA_RECTANGULAR);
  EXPECT_EQ(d.plot_direction, DIRECTION_BOTH);
  EXPECT_EQ(d.wave_file_sample_rate, 44100);
  EXPECT_EQ(d.history_max_keep, 10);
  EXPECT_EQ(d.calculator_command, "CALC");
  EXPECT_TRUE(d.builtin_font());

  const ViewerConfig c = read(kFullFile);
  EXPECT_EQ(c.win_platform, 3);
  EXPECT_EQ(c.browse_file_command, "less -R");
  EXPECT_EQ(c.calculator_command, "kcalc");  // the viewer's own copy wins
  EXPECT_EQ(
      std::vector<int>({c.plot_area, c.grid_mode, c.plot_mode, c.plot_direction, c.run_info, c.trace_info,
                        c.unit_scale_label_mode, c.cursor1_style, c.cursor2_style, c.display_mode}),
      std::vector<int>({0, 2, 1, 2, 1, 0, 1, 4, 3, 0}));
  EXPECT_EQ(std::vector<int>({c.printer_font_ratio, c.printer_paper_orient, c.save_trace_history,
                              c.keep_out_file_history, c.print_grid_line_style, c.print_grid_line_thick,
                              c.auto_recall_format, c.copy_clipboard_metafile_format, c.history_max_keep,
                              c.print_monochrome, c.auto_close_option, c.debug_log_option,
                              c.wave_file_sample_rate, c.window_show_mode}),
            std::vector<int>({120, 2, 0, 0, 2, 3, 1, 1, 25, 1, 0, 1, 8000, 1}));
  EXPECT_EQ(c.last_session_file, "/data/amp.SAV");
  EXPECT_EQ(c.last_user_expressions, (std::array<std::string, 5>{"V(OUT)*2", "DB(V(2))", "", "", "I(R1)"}));
  EXPECT_EQ(c.print_trace_colours, (std::array<int, 12>{0, 4, 2, 5, 6, 3, 15, 12, 10, 13, 11, 7}));
  EXPECT_EQ(c.recent_files, (std::vector<std::string>{"/data/b.raw", "/data/a.SAV"}));
  EXPECT_EQ(std::vector<int>({c.wmf.mode, c.wmf.width, c.wmf.height, c.wmf.mono}),
            std::vector<int>({1, 2540, 1270, 1}));
  EXPECT_EQ(std::vector<int>({c.emf.mode, c.emf.width, c.emf.height, c.emf.mono}),
            std::vector<int>({1, 800, 600, 0}));
  EXPECT_EQ(start_window_rect(c), (WindowRect{10, 20, 810, 620}));
  EXPECT_EQ(c.last_font_name, "DejaVu Sans");
  EXPECT_EQ(c.last_font_size, (PlotFontSize{-13, 0, 0, 0, 700}));
  EXPECT_EQ(c.last_font_options, (PlotFontOptions{1, 0, 0, 0, 3, 2, 1, 34}));
}

TEST(ViewerConfigRead, MissingAndDamagedKeysKeepTheCurrentSetting) {
  ViewerConfig start = read(kFullFile);
  const ViewerConfig same = read("[Tracery]\nFmtGridMode=abc\nHistoryMaxKeep=\nRecentFile9=x\n", start);
  EXPECT_EQ(same.grid_mode, 2);
  EXPECT_EQ(same.history_max_keep, 25);
  EXPECT_EQ(same.recent_files, start.recent_files);
  EXPECT_EQ(same.last_font_size, start.last_font_size);
  EXPECT_EQ(same.calculator_command, "kcalc");
  // Only the product section's copy, then an empty one that would start nothing.
  EXPECT_EQ(read("[Zephyrim]\nCalculatorCommand=bc -l\n").calculator_command, "bc -l");
  EXPECT_EQ(read("[Zephyrim]\nCalculatorCommand=bc\n[Tracery]\nCalculatorCommand=\n").calculator_command,
            "bc");
}

TEST(ViewerConfigRead, AcceptedRanges) {
  struct Case {
    const char* key;
    int value;
    int expected;
  };
  // Each from the built-in value; the bounds are accepted, one past them is not.
  const Case cases[] = {
      {"PrinterFontRatio", 2, 2},
      {"PrinterFontRatio", 499, 499},
      {"PrinterFontRatio", 1, 70},
      {"PrinterFontRatio", 500, 70},
      {"HistoryMaxKeep", 0, 0},
      {"HistoryMaxKeep", 100, 100},
      {"HistoryMaxKeep", -1, 10},
      {"HistoryMaxKeep", 101, 10},
      {"WaveFileSampleRate", 101, 101},
      {"WaveFileSampleRate", 149999, 149999},
      {"WaveFileSampleRate", 100, 44100},
      {"WaveFileSampleRate", 150000, 44100},
      {"PrintGridLineThick", 20, 20},
      {"PrintGridLineThick", 21, 1},
      {"PrintGridLineThick", 0, 1},
      {"Cursor1Style", 5, SHAPE_SMALL_CROSS},
      {"DisplayMode", -1, 1},
      {"DisplayMode", 4, 4},
      {"FmtGridMode", 3, GRID_SINGLE},
      {"PrintTraceColor2", 16, 4},
      {"WMFMetaFileW", 0, 1600},
  };
  for (const Case& k : cases) {
    const ViewerConfig c = read("[Tracery]\n" + std::string(k.key) + "=" + std::to_string(k.value) + "\n");
    const std::map<std::string, int> got = {{"PrinterFontRatio", c.printer_font_ratio},
                                            {"HistoryMaxKeep", c.history_max_keep},
                                            {"WaveFileSampleRate", c.wave_file_sample_rate},
                                            {"PrintGridLineThick", c.print_grid_line_thick},
                                            {"Cursor1Style", c.cursor1_style},
                                            {"DisplayMode", c.display_mode},
                                            {"FmtGridMode", c.grid_mode},
                                            {"PrintTraceColor2", c.print_trace_colours[1]},
                                            {"WMFMetaFileW", c.wmf.width}};
    EXPECT_EQ(got.at(k.key), k.expected) << k.key << "=" << k.value;
  }
  // A thickness outside the range becomes 1 even when the setting was another.
  ViewerConfig thick;
  thick.print_grid_line_thick = 5;
  EXPECT_EQ(read("[Tracery]\nPrintGridLineThick=99\n", thick).print_grid_line_thick, 1);
}

TEST(ViewerConfigRead, TextLimitsWindowAndFont) {
  // A command is cut, without splitting a character; a path that is too long is dropped.
  const std::string browse = std::string(126, 'b') + "\xC3\xA9" + "tail";
  EXPECT_EQ(read("[Zephyrim]\nBrowseFileCommand=" + browse + "\n").browse_file_command,
            std::string(126, 'b'));
  const std::string long_path = "/" + std::string(511, 'p');
  EXPECT_EQ(read("[Tracery]\nLastSessionFile=" + long_path + "\n").last_session_file, "");
  EXPECT_EQ(read("[Tracery]\nLastSessionFile=" + long_path.substr(1) + "\n").last_session_file.size(), 511u);
  EXPECT_EQ(read("[Tracery]\nRecentFile1=/a\nRecentFile2=/" + std::string(255, 'x') +
                 "\nRecentFile3=\n"
                 "RecentFile4=/a\nRecentFile5=/b\n")
                .recent_files,
            (std::vector<std::string>{"/a", "/b"}));

  EXPECT_FALSE(read("[Tracery]\nWindowShowMode=1\nWindowShowPos=10 20 810\n").window_show_pos);
  EXPECT_FALSE(read("[Tracery]\nWindowShowMode=1\nWindowShowPos=10 20 10 620\n").window_show_pos);
  EXPECT_FALSE(start_window_rect(read("[Tracery]\nWindowShowMode=3\nWindowShowPos=1 2 3 4\n")));

  const ViewerConfig builtin = read("[Tracery]\nLastFontName=DEFAULT\nLastFontSize=1 2 3 4 5\n");
  EXPECT_TRUE(builtin.builtin_font());
  EXPECT_FALSE(builtin.last_font_size);
  const ViewerConfig short_lists =
      read("[Tracery]\nLastFontName=Mono\nLastFontSize=1 2 3 4\nLastFontOptions=1 2\n");
  EXPECT_FALSE(short_lists.builtin_font());
  EXPECT_FALSE(short_lists.last_font_size);
  EXPECT_FALSE(short_lists.last_font_options);
}

TEST(ViewerConfigRead, AnyBytesGiveSettingsInRange) {
  std::mt19937 rng(7);
  const std::string keys[] = {"PlotArea",           "FmtGridMode",      "Cursor1Style",
                              "DisplayMode",        "PrinterFontRatio", "HistoryMaxKeep",
                              "WindowShowPos",      "LastFontSize",     "RecentFile1",
                              "PrintGridLineThick", "PrintTraceColor3", "WaveFileSampleRate"};
  for (int round = 0; round < 300; ++round) {
    std::string text = round % 2 ? "[Tracery]\n" : "";
    for (int line = 0; line < 20; ++line) {
      if (rng() % 3 == 0) {
        text += keys[rng() % std::size(keys)] + "=";
        for (int n = static_cast<int>(rng() % 6); n > 0; --n)
          text += std::to_string(static_cast<int>(rng())) + " ";
      }
      for (int n = static_cast<int>(rng() % 30); n > 0; --n) text += static_cast<char>(rng());
      text += '\n';
    }
    const ViewerConfig c = read(text);
    EXPECT_TRUE(c.plot_area >= 0 && c.plot_area <= 1);
    EXPECT_TRUE(c.grid_mode >= 0 && c.grid_mode <= 2);
    EXPECT_TRUE(c.cursor1_style >= 0 && c.cursor1_style <= 4);
    EXPECT_TRUE(c.display_mode >= 0 && c.display_mode <= 4);
    EXPECT_TRUE(c.printer_font_ratio >= 2 && c.printer_font_ratio <= 499);
    EXPECT_TRUE(c.history_max_keep >= 0 && c.history_max_keep <= 100);
    EXPECT_TRUE(c.print_grid_line_thick >= 1 && c.print_grid_line_thick <= 20);
    EXPECT_TRUE(c.print_trace_colours[2] >= 0 && c.print_trace_colours[2] <= 15);
    EXPECT_TRUE(c.wave_file_sample_rate >= 101 && c.wave_file_sample_rate <= 149999);
    EXPECT_LE(c.recent_files.size(), 5u);
    if (c.window_show_pos) {
      EXPECT_LT(c.window_show_pos->left, c.window_show_pos->right);
    }
  }
}

// ---- Writing back ----

const char* const kEditorPart =
    "; shared settings\n"
    "[Zephyrim]\n"
    "SimulatorOption=1\n"
    "\n"
    "[Schematic]\n"
    "AutoJunctionMode=0\n"
    "LastFontName=Sans\n"
    "RecentFile1=/s/amp.sch\n";

TEST(ViewerConfigWrite, ExactlyTheKeptKeys) {
  IniFile ini;
  ViewerConfig c;
  viewer_config_write(c, ini);
  const std::vector<std::string> expected = {"PlotArea",
                                             "FmtGridMode",
                                             "FmtPlotMode",
                                             "FmtPlotDir",
                                             "FmtRunInfo",
                                             "FmtTraceInfo",
                                             "Cursor1Style",
                                             "Cursor2Style",
                                             "SaveTraceHistory",
                                             "KeepOutFileHistory",
                                             "LastSessionFile",
                                             "AutoRecallFormat",
                                             "AutoCloseOption",
                                             "LastUserExpression1",
                                             "LastUserExpression2",
                                             "LastUserExpression3",
                                             "LastUserExpression4",
                                             "LastUserExpression5",
                                             "WindowShowMode",
                                             "LastFontName",
                                             "RecentFile1",
                                             "RecentFile2",
                                             "RecentFile3",
                                             "RecentFile4",
                                             "RecentFile5"};
  EXPECT_EQ(ini.keys(kTracerySection), expected);
  // The FFT options beyond the plain transform have a section of their own.
  EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Tracery", "FFTPLOT"}));
  EXPECT_EQ(ini.keys(kFftPlotSection), (std::vector<std::string>{"Points", "Window", "Fundamental"}));
  EXPECT_EQ(ini.get_string(kTracerySection, "LastFontName"), "DEFAULT");

  // The window rectangle and a chosen font add their keys.
  remember_window(c, false, {5, 6, 705, 506});
  c.last_font_name = "Mono";
  c.last_font_size = PlotFontSize{-12, 0, 0, 0, 400};
  c.last_font_options = PlotFontOptions{0, 1, 0, 0, 3, 2, 1, 49};
  viewer_config_write(c, ini);
  EXPECT_EQ(ini.get_string(kTracerySection, "WindowShowPos"), "5 6 705 506");
  EXPECT_EQ(ini.get_string(kTracerySection, "LastFontSize"), "-12 0 0 0 400");
  EXPECT_EQ(ini.get_string(kTracerySection, "LastFontOptions"), "0 1 0 0 3 2 1 49");
}

TEST(ViewerConfigWrite, RoundTripKeepsTheEditorsSectionAndForeignKeys) {
  const std::string before =
      std::string(kEditorPart) + "\n[Tracery]\nPrinterFontRatio=150\nMyOwnKey=keep me\n";
  IniFile ini = ini_of(before);
  ViewerConfig c = read(kFullFile);
  c.grid_mode = GRID_NONE;
  recent_files_add(c, "/data/c.csd");
  remember_window(c, true, {0, 0, 640, 480});
  viewer_config_write(c, ini);

  const std::string text = ini.text();
  EXPECT_EQ(text.substr(0, std::string(kEditorPart).size()), kEditorPart);
  EXPECT_EQ(ini.get_string(kTracerySection, "MyOwnKey"), "keep me");
  EXPECT_EQ(ini.get_string(kTracerySection, "FmtGridMode"), "0");
  EXPECT_EQ(ini.get_string(kTracerySection, "WindowShowMode"), "3");
  // Keys the viewer only reads are left as the file had them, or absent.
  EXPECT_EQ(ini.get_string(kTracerySection, "PrinterFontRatio"), "150");
  EXPECT_FALSE(ini.has_key(kTracerySection, "HistoryMaxKeep"));
  EXPECT_FALSE(ini.has_key(kProductSection, "CalculatorCommand"));

  const ViewerConfig back = read(text);
  EXPECT_EQ(back.grid_mode, GRID_NONE);
  EXPECT_EQ(back.plot_direction, c.plot_direction);
  EXPECT_EQ(back.cursor1_style, c.cursor1_style);
  EXPECT_EQ(back.last_session_file, c.last_session_file);
  EXPECT_EQ(back.last_user_expressions, c.last_user_expressions);
  EXPECT_EQ(back.recent_files, (std::vector<std::string>{"/data/c.csd", "/data/b.raw", "/data/a.SAV"}));
  EXPECT_EQ(back.window_show_pos, (WindowRect{0, 0, 640, 480}));
  EXPECT_EQ(back.last_font_name, "DejaVu Sans");
  EXPECT_EQ(back.last_font_options, c.last_font_options);
  EXPECT_EQ(back.auto_close_option, 0);
}

TEST(ViewerConfigLists, RecentFilesAndExpressions) {
  ViewerConfig c;
  for (const char* f : {"/1", "/2", "/3", "/4", "/5", "/6"}) recent_files_add(c, f);
  EXPECT_EQ(c.recent_files, (std::vector<std::string>{"/6", "/5", "/4", "/3", "/2"}));
  recent_files_add(c, "/3");
  recent_files_add(c, "");
  EXPECT_EQ(c.recent_files, (std::vector<std::string>{"/3", "/6", "/5", "/4", "/2"}));

  for (const char* e : {"a", "b", "c", "d", "e", "f"}) user_expressions_add(c, e);
  EXPECT_EQ(c.last_user_expressions, (std::array<std::string, 5>{"f", "e", "d", "c", "b"}));
  user_expressions_add(c, "c");
  EXPECT_EQ(c.last_user_expressions, (std::array<std::string, 5>{"c", "f", "e", "d", "b"}));
}

// ---- On disk ----

class ViewerConfigDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("viewer_config_test_" + std::to_string(std::random_device{}()));
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
  static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string bin() const { return (dir_ / "bin").string(); }

  fs::path dir_;
  std::map<std::string, std::string> env_;
  RecordingNotify notify_{kTraceryTitle};
};

TEST_F(ViewerConfigDisk, LoadSaveAndTheFolderMadeOnTheWay) {
  env_["HOME"] = (dir_ / "home").string();
  ViewerConfig c = viewer_config_load(bin(), env(), notify_);
  EXPECT_EQ(c.ini_path, (dir_ / "home/.config/zephyrim/ZEPHYRIM.INI").string());
  EXPECT_EQ(c.display_mode, DISPLAY_MODE_WHITE);
  c.save_trace_history = 0;
  ASSERT_TRUE(viewer_config_save(c, c.ini_path));

  // The file beside the program comes first, and the editor's part of it stays.
  const fs::path local = dir_ / "bin/ZEPHYRIM.INI";
  std::ofstream(local, std::ios::binary) << kEditorPart << "[Tracery]\nFmtPlotDir=1\n";
  c = viewer_config_load(bin(), env(), notify_);
  EXPECT_EQ(c.ini_path, local.string());
  EXPECT_EQ(c.plot_direction, DIRECTION_UP);
  c.plot_direction = DIRECTION_DOWN;
  ASSERT_TRUE(viewer_config_save(c, c.ini_path));
  const std::string text = slurp(local);
  EXPECT_EQ(text.substr(0, std::string(kEditorPart).size()), kEditorPart);
  EXPECT_NE(text.find("FmtPlotDir=2\n"), std::string::npos);
  EXPECT_TRUE(notify_.entries().empty());
}

TEST_F(ViewerConfigDisk, NoLocationAndUnreadableFile) {
  const ViewerConfig c = viewer_config_load(bin(), env(), notify_);
  EXPECT_EQ(c.ini_path, "");
  ASSERT_EQ(notify_.entries().size(), 1u);
  EXPECT_EQ(notify_.entries()[0].caption, "Tracery - Error");
  EXPECT_EQ(notify_.last(), "Cannot open ZEPHYRIM.INI configuration file");
  EXPECT_FALSE(viewer_config_save(c, ""));
  // A folder where the file should be is not replaced.
  fs::create_directories(dir_ / "ZEPHYRIM.INI");
  EXPECT_FALSE(viewer_config_save(c, (dir_ / "ZEPHYRIM.INI").string()));
  EXPECT_TRUE(fs::is_directory(dir_ / "ZEPHYRIM.INI"));
}

TEST(ViewerConfigFft, OptionsRoundTripAndDamagedValuesTurnThemOff) {
  ViewerConfig c;
  c.fft = {.points = 65536, .window = FFT_WINDOW_FLATTOP, .fundamental = 1234.5};
  IniFile ini = ini_of("");
  viewer_config_write(c, ini);
  ViewerConfig back;
  viewer_config_read(ini, back);
  EXPECT_EQ(back.fft, c.fft);

  // Not a power of two, no such window, no frequency: the plain transform.
  ViewerConfig damaged;
  viewer_config_read(ini_of("[FFTPLOT]\nPoints=1000\nWindow=9\nFundamental=-3\n"), damaged);
  EXPECT_EQ(damaged.fft, FftOptions{});
  viewer_config_read(ini_of("[FFTPLOT]\nPoints=33554432\nWindow=-1\nFundamental=nan\n"), damaged);
  EXPECT_EQ(damaged.fft, FftOptions{});
}

}  // namespace
}  // namespace zephyrim
