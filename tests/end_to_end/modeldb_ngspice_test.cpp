// The model database against model files that no one here wrote: the SPICE
// models of the kicad-demos package built into a database, every model found,
// and a circuit simulated by ngspice once with the original files included and
// once with the models as `zephyrim modeldb show` prints them. The two runs
// must agree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/file_io.h"
#include "common/text_format.h"
#include "platform/process.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

constexpr char kDemos[] = "/usr/share/kicad/demos/simulation";

// The SPICE model files of the package, in a fixed order.
std::vector<std::string> model_files() {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(kDemos, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const std::string ext = ascii_lower(it->path().extension().string());
    if (ext == ".lib" || ext == ".mod" || ext == ".sub" || ext == ".cir" || ext == ".model")
      files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Counted apart from the reader: .SUBCKT lines and the .MODEL lines outside
// any subcircuit, by their first word.
int statements_in(const std::string& text) {
  std::istringstream in(text);
  int count = 0, depth = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    first = ascii_lower(first.substr(0, first.find('(')));
    if (first == ".subckt") {
      if (depth++ == 0) ++count;
    } else if (first == ".ends") {
      depth = std::max(0, depth - 1);
    } else if (first == ".model" && depth == 0) {
      ++count;
    }
  }
  return count;
}

// An ASCII raw file: the variables' names and every value, point by point.
struct Raw {
  std::vector<std::string> names;
  std::vector<double> values;
  size_t points = 0;
};

Raw read_raw(const std::string& path) {
  Raw raw;
  const std::string text = read_text_file(path).value_or("");
  std::istringstream in(text);
  std::string line;
  size_t variables = 0;
  while (std::getline(in, line)) {
    if (line.starts_with("No. Variables:")) variables = std::stoul(line.substr(14));
    if (line.starts_with("No. Points:")) raw.points = std::stoul(line.substr(11));
    if (line == "Variables:") {
      for (size_t i = 0; i < variables && std::getline(in, line); ++i) {
        std::istringstream words(line);
        std::string index, name;
        words >> index >> name;
        raw.names.push_back(name);
      }
    }
    if (line == "Values:") break;
  }
  std::string word;
  for (size_t k = 0; in >> word; ++k) {
    if (k % (variables + 1) == 0) continue;  // the point's number
    raw.values.push_back(std::strtod(word.c_str(), nullptr));
  }
  return raw;
}

void expect_same(const Raw& a, const Raw& b, const char* what) {
  ASSERT_FALSE(a.names.empty()) << what;
  EXPECT_EQ(a.names, b.names) << what;
  ASSERT_EQ(a.values.size(), b.values.size()) << what;
  ASSERT_EQ(a.values.size(), a.points * a.names.size()) << what;
  for (size_t i = 0; i < a.values.size(); ++i) {
    const double scale = std::max(std::fabs(a.values[i]), std::fabs(b.values[i]));
    ASSERT_LE(std::fabs(a.values[i] - b.values[i]), 1e-9 * scale)
        << what << ": " << a.names[i % a.names.size()] << " at point " << i / a.names.size();
  }
}

// A laser diode driven by a BJT whose base an op-amp sets from a sine, a
// small diode at the input: the operating point and 2 ms of transient.
constexpr char kCircuit[] =
    "V1 vcc 0 5\n"
    "V2 in 0 SIN(1.5 0.5 1k)\n"
    "XU1 in fb vcc 0 out AD8051\n"
    "R1 out fb 10k\n"
    "R2 fb 0 10k\n"
    "R3 out b 1k\n"
    "Q1 c b e FZT1049A\n"
    "RE e 0 100\n"
    "DL vcc a LASER\n"
    "RL a c 10\n"
    "D2 0 in 1N4148\n"
    ".control\n"
    "set filetype=ascii\n"
    "op\n"
    "write op.raw all\n"
    "tran 10u 2m\n"
    "write tran.raw all\n"
    ".endc\n"
    ".end\n";

TEST(ModelDbNgspice, KicadDemoModelsThroughTheDatabaseSimulateAlike) {
  const std::vector<std::string> files = model_files();
  if (files.empty()) GTEST_SKIP() << "kicad-demos is not installed";
  const fs::path dir =
      fs::path(testing::TempDir()) / ("zephyrim_modeldb_ngspice_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string db = (dir / "db").string();

  // Every model of every file is in the database.
  std::vector<std::string> build{ZEPHYRIM_BATCH_TOOL, "modeldb", "build", db};
  build.insert(build.end(), files.begin(), files.end());
  const ProcessResult built = process_run(build);
  ASSERT_TRUE(built.exit_code == 0 || built.exit_code == 1) << built.output;
  int expected_total = 0;
  std::map<std::string, int> expected;  // by library
  for (const std::string& f : files) {
    const int n = statements_in(read_text_file(f).value_or(""));
    std::string base = ascii_upper(fs::path(f).stem().string());
    expected[base] = n;
    expected_total += n;
  }
  ASSERT_GT(expected_total, 0);
  const ProcessResult listed = process_run({ZEPHYRIM_BATCH_TOOL, "modeldb", "list", db});
  ASSERT_EQ(listed.exit_code, 0) << listed.output;
  int total = 0;
  std::istringstream lines(listed.output);
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const std::string library = line.substr(0, line.find('.'));
    const int n = std::atoi(line.c_str() + tab + 1);
    EXPECT_EQ(n, expected[library]) << line;
    total += n;
    // The library's own table lists as many.
    const ProcessResult table = process_run({ZEPHYRIM_BATCH_TOOL, "modeldb", "list", db, library});
    ASSERT_EQ(table.exit_code, 0) << table.output;
    EXPECT_EQ(std::count(table.output.begin(), table.output.end(), '\n'), 3 + n) << table.output;
  }
  EXPECT_EQ(total, expected_total) << built.output;

  // The models of the circuit, from the package and from the database.
  std::string includes, shown;
  for (const char* name : {"laser.lib", "fzt1049a.lib", "ad8051.lib", "diode.mod"}) {
    const auto it = std::find_if(files.begin(), files.end(),
                                 [&](const std::string& f) { return fs::path(f).filename() == name; });
    if (it == files.end()) {
      fs::remove_all(dir);
      GTEST_SKIP() << "kicad-demos has no " << name;
    }
    includes += ".include " + *it + "\n";
  }
  for (const char* model : {"LASER", "FZT1049A", "AD8051", "1N4148"}) {
    const ProcessResult show = process_run({ZEPHYRIM_BATCH_TOOL, "modeldb", "show", db, model});
    ASSERT_EQ(show.exit_code, 0) << model << ": " << show.output;
    shown += show.output;
  }
  for (const char* run : {"original", "database"}) {
    fs::create_directories(dir / run);
    const bool original = std::string(run) == "original";
    if (!original) {
      ASSERT_TRUE(write_file_atomic((dir / run / "models.inc").string(), shown));
    }
    ASSERT_TRUE(write_file_atomic(
        (dir / run / "circuit.cir").string(),
        std::string(run) + "\n" + (original ? includes : ".include models.inc\n") + kCircuit));
    const ProcessResult ng = process_run({"ngspice", "-b", "circuit.cir"}, (dir / run).string(), 120);
    if (ng.start_error != 0) {
      fs::remove_all(dir);
      GTEST_SKIP() << "ngspice is not installed";
    }
    ASSERT_TRUE(file_exists((dir / run / "tran.raw").string())) << ng.output;
  }
  const Raw op_a = read_raw((dir / "original/op.raw").string()),
            op_b = read_raw((dir / "database/op.raw").string());
  const Raw tran_a = read_raw((dir / "original/tran.raw").string()),
            tran_b = read_raw((dir / "database/tran.raw").string());
  expect_same(op_a, op_b, "operating point");
  expect_same(tran_a, tran_b, "transient");
  // The circuit did something: the amplifier doubles its 1.5 V input and the
  // transistor conducts, and the transient took many steps.
  const auto at = [](const Raw& r, const std::string& name) {
    const size_t i = static_cast<size_t>(std::find(r.names.begin(), r.names.end(), name) - r.names.begin());
    return i < r.names.size() ? r.values[i] : NAN;
  };
  EXPECT_NEAR(at(op_a, "v(out)"), 3.0, 0.05);
  EXPECT_GT(at(op_a, "v(e)"), 1.0);
  EXPECT_GT(tran_a.points, 100u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zephyrim
