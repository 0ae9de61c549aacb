// Model database links through the engine: a circuit whose models come from
// ".INC/MDB LIBRARY" must simulate exactly as the same circuit including the
// model files the database was built from. The database is found beside the
// circuit and through ZEPHYRIM.INI's ModelDatabasePath; a library that is not
// there stops the run with an error that names it. A small model file written
// here keeps the test meaningful where the kicad-demos models are missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "platform/process.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

constexpr char kDemos[] = "/usr/share/kicad/demos/simulation";

// A folder of the test's own, gone afterwards.
struct Scratch {
  fs::path path;
  explicit Scratch(const std::string& name)
      : path(fs::path(testing::TempDir()) / (name + "_" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// A diode and an NPN as .MODEL statements (values as the database keeps them,
// six digits), and a subcircuit with a comment inside one of its statements.
constexpr char kOwnLibrary[] =
    "* Parts of the engine's own test\n"
    "* a small signal diode\n"
    ".MODEL ZD1 D (IS=2.52E-9 RS=0.568 N=1.752 CJO=4E-12 M=0.4 TT=2E-8)\n"
    "* a general purpose NPN\n"
    ".model ZQ1 npn (IS=1E-14 BF=200 VAF=100\n"
    "+ RB=10 CJE=8E-12 TF=4E-10)\n"
    "* a divider\n"
    ".SUBCKT ZDIV TOP MID\n"
    "R1 TOP MID\n"
    "* the upper leg\n"
    "+ 2k\n"
    "R2 MID 0 1k\n"
    ".ENDS ZDIV\n";

constexpr char kOwnCircuit[] =
    "V1 VCC 0 5\n"
    "RB VCC B 220k\n"
    "Q1 C B 0 ZQ1\n"
    "RC VCC C 1k\n"
    "D1 C D ZD1\n"
    "RD D 0 2k\n"
    "X1 VCC REF ZDIV\n"
    ".OP\n"
    ".PROBE\n"
    ".END\n";

// The laser driver of the kicad-demos models: an op-amp, a BJT, a laser diode
// and a small diode.
constexpr char kKicadCircuit[] =
    "V1 vcc 0 5\n"
    "V2 in 0 1.5\n"
    "XU1 in fb vcc 0 out AD8051\n"
    "R1 out fb 10k\n"
    "R2 fb 0 10k\n"
    "R3 out b 1k\n"
    "Q1 c b e FZT1049A\n"
    "RE e 0 100\n"
    "DL vcc a LASER\n"
    "RL a c 10\n"
    "D2 0 in 1N4148\n"
    ".OP\n"
    ".PROBE\n"
    ".END\n";

// Builds a database in folder from the model files.
void build_database(const fs::path& folder, const std::vector<std::string>& files) {
  std::vector<std::string> argv{ZEPHYRIM_BATCH_TOOL, "modeldb", "build", folder.string()};
  argv.insert(argv.end(), files.begin(), files.end());
  const ProcessResult built = process_run(argv);
  ASSERT_TRUE(built.exit_code == 0 || built.exit_code == 1) << built.output;
  ASSERT_TRUE(fs::exists(folder / "MODELSDB.MXM")) << built.output;
}

// The circuit written as FILE.CIR in folder and run through zsim with its
// configuration and data folders under root, so that the user's own are
// never seen. Gives zsim's result.
ProcessResult zsim(const fs::path& folder, const std::string& body, const fs::path& config,
                   const fs::path& data) {
  fs::create_directories(folder);
  EXPECT_TRUE(write_file_atomic((folder / "circuit.CIR").string(), "circuit\n" + body));
  return process_run({"/usr/bin/env", "XDG_CONFIG_HOME=" + config.string(), "XDG_DATA_HOME=" + data.string(),
                      ZEPHYRIM_ZSIM, (folder / "circuit.CIR").string()},
                     folder.string(), 120);
}

std::string listing_of(const fs::path& folder) {
  return read_text_file((folder / "circuit.OUT").string()).value_or("");
}

// The operating point of the run in folder, by vector.
std::map<std::string, double> operating_point(const fs::path& folder) {
  RecordingNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  std::map<std::string, double> out;
  const std::string sav = (folder / "circuit.SAV").string();
  if (!store.start()) return out;
  store.open_data_file(sav);
  if (probe_read_file(store, sav) <= 0) return out;
  for (const DataVector& v : store.data_class(DATA_CLASS_BINARY)->vectors) {
    if (v.kind != ANALYSIS_OP) continue;
    const auto values = store.values(v);
    if (!values.empty()) out[v.name] = values[0];
  }
  return out;
}

void expect_same(const std::map<std::string, double>& a, const std::map<std::string, double>& b,
                 const std::string& what) {
  ASSERT_GT(a.size(), 3u) << what;
  ASSERT_EQ(a.size(), b.size()) << what;
  for (const auto& [name, value] : a) {
    const auto other = b.find(name);
    ASSERT_NE(other, b.end()) << what << ": " << name;
    const double scale = std::max(std::fabs(value), std::fabs(other->second));
    EXPECT_LE(std::fabs(value - other->second), 1e-9 * scale) << what << ": " << name;
  }
}

TEST(ModelDbZsim, OwnLibraryThroughItsLinkSimulatesAsIncluded) {
  const Scratch scratch("modeldb_zsim_own");
  const fs::path& root = scratch.path;
  const fs::path lib = root / "models" / "zparts.lib";
  fs::create_directories(lib.parent_path());
  ASSERT_TRUE(write_file_atomic(lib.string(), std::string(kOwnLibrary)));
  const fs::path no_config = root / "no_config", data = root / "data";
  fs::create_directories(no_config);

  // The model file itself.
  const ProcessResult included =
      zsim(root / "included", ".INCLUDE " + lib.string() + "\n" + kOwnCircuit, no_config, data);
  ASSERT_EQ(included.exit_code, 0) << included.output << listing_of(root / "included");
  const auto expected = operating_point(root / "included");
  // The circuit did something: the transistor conducts, the diode too, the divider divides.
  ASSERT_TRUE(expected.count("V(C)") && expected.count("V(D)") && expected.count("V(REF)"));
  EXPECT_GT(expected.at("V(C)") - expected.at("V(D)"), 0.4);
  EXPECT_LT(expected.at("V(C)"), 4.5);
  EXPECT_NEAR(expected.at("V(REF)"), 5.0 / 3, 1e-6);

  // A database beside the circuit; the second link to the same library, named
  // by its file, gives nothing twice and says so.
  build_database(root / "beside", {lib.string()});
  const ProcessResult beside = zsim(
      root / "beside", std::string(".INC/MDB ZPARTS\n.inc/mdb zparts.mdb\n") + kOwnCircuit, no_config, data);
  const std::string beside_listing = listing_of(root / "beside");
  ASSERT_EQ(beside.exit_code, 0) << beside.output << beside_listing;
  EXPECT_NE(
      beside_listing.find("*WARNING: model library zparts.mdb: models given before are left out, the first "
                          "kept: ZD1 (ZPARTS), ZQ1 (ZPARTS), ZDIV (ZPARTS)"),
      std::string::npos)
      << beside_listing;
  EXPECT_EQ(beside_listing.find("*ERROR*"), std::string::npos) << beside_listing;
  expect_same(expected, operating_point(root / "beside"), "database beside the circuit");

  // A database that ZEPHYRIM.INI names.
  const fs::path config = root / "config";
  build_database(root / "db", {lib.string()});
  fs::create_directories(config / "zephyrim");
  ASSERT_TRUE(write_file_atomic((config / "zephyrim" / "ZEPHYRIM.INI").string(),
                                "[Zephyrim]\nModelDatabasePath=" + (root / "db").string() + "\n"));
  const ProcessResult configured =
      zsim(root / "configured",
           std::string(".INC/MDB ") + (root / "elsewhere" / "ZParts.MDX").string() + "\n" + kOwnCircuit,
           config, data);
  ASSERT_EQ(configured.exit_code, 0) << configured.output << listing_of(root / "configured");
  expect_same(expected, operating_point(root / "configured"), "database of ZEPHYRIM.INI");

  // No database anywhere: the run stops on the link, before ngspice could
  // complain about an unknown model.
  const ProcessResult missing =
      zsim(root / "missing", std::string(".INC/MDB ZPARTS\n") + kOwnCircuit, no_config, data);
  const std::string missing_listing = listing_of(root / "missing");
  EXPECT_EQ(missing.exit_code, 2) << missing.output;
  EXPECT_NE(missing_listing.find("*ERROR*: model library ZPARTS not found in the model database " +
                                 (data / "zephyrim" / "models").string() + "\n"),
            std::string::npos)
      << missing_listing;
  EXPECT_EQ(ascii_lower(missing_listing).find("unknown"), std::string::npos) << missing_listing;
  EXPECT_FALSE(fs::exists(root / "missing" / "circuit.SAV"));

  // A library the database does not hold, beside others it does.
  const ProcessResult unknown =
      zsim(root / "beside", std::string(".INC/MDB ZPARTS\n.INC/MDB NOSUCH\n") + kOwnCircuit, no_config, data);
  EXPECT_EQ(unknown.exit_code, 2) << unknown.output;
  EXPECT_NE(listing_of(root / "beside")
                .find("*ERROR*: model library NOSUCH not found in the model database " +
                      (root / "beside").string()),
            std::string::npos)
      << listing_of(root / "beside");
}

TEST(ModelDbZsim, KicadDemoModelsThroughTheirLinksSimulateAsIncluded) {
  std::map<std::string, std::string> files;  // by file name
  std::error_code ec;
  for (fs::recursive_directory_iterator it(kDemos, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string ext = ascii_lower(it->path().extension().string());
    if (it->is_regular_file() && (ext == ".lib" || ext == ".mod")) files[it->path().filename()] = it->path();
  }
  for (const char* name : {"laser.lib", "fzt1049a.lib", "ad8051.lib", "diode.mod"})
    if (!files.count(name)) GTEST_SKIP() << "kicad-demos has no " << name;
  const Scratch scratch("modeldb_zsim_kicad");
  const fs::path& root = scratch.path;
  const fs::path no_config = root / "no_config", data = root / "data";
  fs::create_directories(no_config);

  std::string includes;
  for (const char* name : {"laser.lib", "fzt1049a.lib", "ad8051.lib", "diode.mod"})
    includes += ".INCLUDE " + files[name] + "\n";
  const ProcessResult included = zsim(root / "included", includes + kKicadCircuit, no_config, data);
  ASSERT_EQ(included.exit_code, 0) << included.output << listing_of(root / "included");
  const auto expected = operating_point(root / "included");
  ASSERT_TRUE(expected.count("V(OUT)") && expected.count("V(E)"));
  EXPECT_NEAR(expected.at("V(OUT)"), 3.0, 0.05);  // the amplifier doubles its input
  EXPECT_GT(expected.at("V(E)"), 1.0);            // and the transistor conducts

  // Every model file of the package in one database beside the circuit, the
  // libraries named in the ways a link may name them.
  std::vector<std::string> all;
  for (const auto& [name, path] : files) all.push_back(path);
  build_database(root / "linked", all);
  const std::string links = ".INC/MDB LASER\n.inc/mdb fzt1049a.mdb\n.INC/MDB " +
                            (root / "linked" / "AD8051.MDX").string() + "\n.INC/MDB Diode\n";
  const ProcessResult linked = zsim(root / "linked", links + kKicadCircuit, no_config, data);
  ASSERT_EQ(linked.exit_code, 0) << linked.output << listing_of(root / "linked");
  EXPECT_EQ(listing_of(root / "linked").find("*ERROR*"), std::string::npos) << listing_of(root / "linked");
  expect_same(expected, operating_point(root / "linked"), "kicad-demos models");
}

}  // namespace
}  // namespace zephyrim
