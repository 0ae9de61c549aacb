// `zephyrim modeldb` as scripts run it: a database built from SPICE model
// files, its libraries listed and its models printed as SPICE text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "simulation/model_db.h"
#include "verb_test_support.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

using test::tool;

// A folder of each test's own: ctest runs the tests of this file at the same time.
struct Scratch : test::ScratchFolder {
  Scratch() : ScratchFolder("zephyrim_modeldb_verb_") {}
  std::string write(const std::string& name, const std::string& text) const {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(write_file_atomic(path, text));
    return path;
  }
};

constexpr char kDiodes[] =
    "* Rectifier diodes\n"
    ".model D1N4001 D(IS=14.11n N=1.984 RS=33.89m IKF=94.81 XTI=3 EG=1.11 CJO=25.89p M=.44 VJ=.3245)\n"
    "* a zener\n"
    ".MODEL DZ5V1 D IS=1e-14 BV=5.1 IBV=1m\n";

constexpr char kMixed[] =
    "* Amplifier parts\n"
    "R1 1 2 1k\n"
    ".subckt BUF in out\n"
    "E1 out 0 in 0 1\n"
    ".ends\n"
    ".model QN NPN(BF=200 VAF=80)\n";

TEST(ModelDbVerb, BuildListAndShow) {
  Scratch s;
  const std::string diodes = s.write("diodes.lib", kDiodes), mixed = s.write("amp.mod", kMixed);
  const std::string db = s.path("new/db");  // created by the build

  // A statement that is neither .MODEL nor .SUBCKT is reported and makes it 1.
  ProcessResult r = tool({"modeldb", "build", db, diodes, mixed});
  ASSERT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("DIODES: 2 models from " + diodes), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("  DZ5V1            D        line 4\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("AMP: 2 models from " + mixed), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("  skipped line 2: not a .MODEL or .SUBCKT statement: R1 1 2 1k\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find(": 2 libraries, 4 models\n"), std::string::npos) << r.output;
  for (const char* f : {"MODELSDB.MXM", "MODELSDB.MXA", "DIODES.MDB", "DIODES.MDX", "AMP.MDB", "AMP.MDX"})
    EXPECT_TRUE(file_exists(db + "/" + f)) << f;

  r = tool({"modeldb", "build", db, diodes});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  r = tool({"modeldb", "build", db, diodes, mixed});
  ASSERT_EQ(r.exit_code, 1) << r.output;

  r = tool({"modeldb", "list", db});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output, "DIODES.MDB\t2\tRectifier diodes\nAMP.MDB\t2\tAmplifier parts\n");

  // The library's index table, exactly as the reader writes it.
  ModelDatabase reader;
  ASSERT_EQ(reader.open_main_index(db), 1);
  ASSERT_EQ(reader.open_library_index(0), 1);
  std::string table;
  reader.list_index(table);
  for (const char* name : {"DIODES", "diodes.lib", "Diodes.MDX", "/any/where/diodes.mdb"}) {
    r = tool({"modeldb", "list", db, name});
    EXPECT_EQ(r.exit_code, 0) << name << r.output;
    EXPECT_EQ(r.output, table) << name;
  }
  EXPECT_NE(table.find("\n1     0     DZ5V1            D       DZ5V1                            D"
                       "                               a zener\n"),
            std::string::npos)
      << table;

  r = tool({"modeldb", "show", db, "d1n4001"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output,
            "\n*\n.MODEL D1N4001 D (\n+   IS=1.411E-08 N=1.984 RS=0.03389 IKF=94.81\n+   XTI=3 EG=1.11 "
            "CJO=2.589E-11 "
            "M=0.44\n+   VJ=0.3245 )\n");
  r = tool({"modeldb", "show", db, "BUF", "--library", "amp"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output, "\n*\n.subckt BUF in out\nE1 out 0 in 0 1\n.ends\n");

  r = tool({"modeldb", "show", db, "BUF", "--library", "diodes"});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_EQ(r.output, "zephyrim modeldb: no model BUF in " + db + "\n");
  r = tool({"modeldb", "show", db, "nothing"});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  r = tool({"modeldb", "list", db, "zeners"});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_EQ(r.output, "zephyrim modeldb: no library zeners in " + db + "\n");
}

TEST(ModelDbVerb, FailuresAndUsage) {
  Scratch s;
  const std::string db = s.path("db");
  const std::string empty = s.write("empty.lib", "* nothing here\nV1 1 0 5\n");
  ProcessResult r = tool({"modeldb", "build", db, empty, s.path("missing.lib")});
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("cannot read " + s.path("missing.lib")), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("no model found: nothing written"), std::string::npos) << r.output;
  EXPECT_FALSE(file_exists(db + "/MODELSDB.MXM"));

  // An unreadable file is left out; the rest is written.
  const std::string good = s.write("good.lib", ".model D1 D\n");
  r = tool({"modeldb", "build", db, good, s.path("missing.lib")});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_TRUE(file_exists(db + "/MODELSDB.MXM"));

  // Two files of one base name: the second is left out.
  fs::create_directories(s.dir / "other");
  const std::string twin = s.write("other/GOOD.lib", ".model D2 D\n");
  r = tool({"modeldb", "build", db, good, twin});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("a library named GOOD comes from an earlier file"), std::string::npos) << r.output;

  r = tool({"modeldb", "list", s.path("nowhere")});
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("Cannot open main index file: " + s.path("nowhere") + "/MODELSDB.MXM"),
            std::string::npos)
      << r.output;

  // A damaged library index is reported with its code, and the listing says so.
  ASSERT_TRUE(write_file_atomic(db + "/GOOD.MDX", std::string(100, 'x')));
  r = tool({"modeldb", "list", db, "good"});
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("Error code=610"), std::string::npos) << r.output;
  r = tool({"modeldb", "list", db});
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("GOOD.MDB\t?\t"), std::string::npos) << r.output;

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"modeldb"},
                                              {"modeldb", "build", db},
                                              {"modeldb", "remove", db},
                                              {"modeldb", "show", db},
                                              {"modeldb", "list", db, "a", "b"},
                                              {"modeldb", "list", db, "--library", "x"}}) {
    r = tool(bad);
    EXPECT_EQ(r.exit_code, 2) << bad.back() << r.output;
    EXPECT_NE(r.output.find("usage: zephyrim modeldb build DIR FILE.lib..."), std::string::npos) << r.output;
  }
  r = tool({"modeldb", "show", "--help"});
  EXPECT_EQ(r.exit_code, 0);
  for (const char* word : {"modeldb build DIR", "modeldb list DIR [LIBRARY]", "--library LIB", "Exit status"})
    EXPECT_NE(r.output.find(word), std::string::npos) << word;
  r = tool({"--help"});
  EXPECT_NE(r.output.find("modeldb"), std::string::npos);
}

}  // namespace
}  // namespace zephyrim
