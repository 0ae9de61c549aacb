#include "simulation/model_db.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "simulation/model_db_writer.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// A folder of each test's own: ctest runs the tests of this program at the same time.
struct Scratch {
  fs::path dir =
      fs::path(::testing::TempDir()) /
      ("zephyrim_model_db_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
       "_" + std::to_string(getpid()));
  Scratch() {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string path(const std::string& name) const { return (dir / name).string(); }
};

constexpr char kDiodes[] =
    "* Small-signal and rectifier diodes\n"
    "* switching diode\n"
    ".model D1N4148 D(IS=2.52n RS=0.568 N=1.752 CJO=4p M=0.4 TT=20n)\n"
    "\n"
    ".MODEL DFIVE D (IS=1E-14 RS=0.5 N=1 BV=100 IBV=1e-10)\n";

constexpr char kTransistors[] =
    "* Transistors\n"
    ".Model Q2N3904 NPN(Is=6.734f Xti=3 Eg=1.11 Vaf=74.03 Bf=416.4 Ne=1.259\n"
    "+ Ise=6.734f Ikf=66.78m Xtb=1.5 Br=.7371 Nc=2 Isc=0 Ikr=0 Rc=1 ; a comment\n"
    "* a comment line between continuation lines\n"
    "+ Cjc=3.638p Mjc=.3085 Vjc=.75 Fc=.5 Cje=4.493p Mje=.2593 Vje=.75\n"
    "+ Tr=239.5n Tf=301.2p Itf=.4 Vtf=4 Xtf=2 Rb=10)\n"
    "* power MOSFET\n"
    ".model IRF530 NMOS LEVEL=3 VTO=3.5 KP = 1.2 GAMMA=0 PHI=0.6 LAMBDA=0, RD=0.05 RS=0.04 $ no parentheses\n"
    "+ CBD=1.2n CBS=1.1n IS=1e-14 PB=0.8 CGSO=1.5n CGDO=0.3n CGBO=0 RSH=0 CJ=0 MJ=0.5 CJSW=0\n"
    "+ MJSW=0.33 JS=0 TOX=1e-7 NSUB=1e15 NSS=0 NFS=0 TPG=1 XJ=0 LD=0 UO=600 VMAX=0 DELTA=0\n"
    "+ THETA=0 ETA=0 KAPPA=0.2 KF=0 AF=1 FC=0.5\n"
    ".model PM1 PMOS(VTO=-0.8 KP=20u)\n";

constexpr char kSubcircuits[] =
    "* Operational amplifiers\n"
    "* generic op-amp\n"
    ".SUBCKT OPAMP1 inp inn\n"
    "+ out vcc vee PARAMS: GAIN=1e5 RO=75\n"
    "RIN inp inn 1MEG\n"
    "E1 1 0 inp inn {GAIN}\n"
    "* output stage\n"
    "RO 1 out {RO}\n"
    ".model DCLAMP D(IS=1e-15)\n"
    ".ENDS OPAMP1\n"
    ".model RMOD R(R={rval} TC1=0)\n";

// Builds a database of the given files (name, text) in s.dir.
void build(const Scratch& s, const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<SpiceLibrary> libs;
  for (const auto& [name, text] : files) {
    libs.push_back(read_spice_library(text, "/models/" + name));
    ASSERT_TRUE(libs.back().skipped.empty()) << name << ": " << libs.back().skipped.front();
  }
  std::string error;
  ASSERT_EQ(write_model_database(s.dir.string(), libs, error), 1) << error;
}

// The model text of the named model through the cross index and its library.
std::string shown_model(ModelDatabase& db, const std::string& folder, const std::string& name) {
  if (db.open_cross_index(folder) <= 0) return "no cross index";
  for (const CrossRecord& c : db.cross_index().records) {
    if (!iequals(c.name, name)) continue;
    if (!db.open_library_index(c.library)) return "library not opened";
    std::string text;
    if (!db.write_model_text(c.entry, text)) return "not read";
    return text;
  }
  return "not found";
}

std::vector<uint8_t> bytes_of(const std::string& path) {
  auto b = read_file(path);
  EXPECT_TRUE(b.has_value()) << path;
  return b.value_or(std::vector<uint8_t>{});
}

struct Logged {
  std::string text;
  ModelDbLog log() {
    return [this](const std::string& t) { text += t; };
  }
};

TEST(ModelDb, ScrambledTextsRoundTripAtEveryLength) {
  for (size_t n = 0; n <= 300; ++n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>(1 + (i * 37 + n) % 255);
    const std::string stored = scramble_text(text);
    ASSERT_EQ(stored.size(), n);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    EXPECT_EQ(unscramble_text(bytes), text) << n;
    if (n > 1) {
      EXPECT_NE(stored, text) << n;
    }
  }
  // Reversed before the key is applied: the first stored byte belongs to the last character.
  const std::string a = scramble_text("xyzA"), b = scramble_text("pqrB");
  EXPECT_EQ(static_cast<uint8_t>(a[0] ^ b[0]), static_cast<uint8_t>('A' ^ 'B'));
  EXPECT_EQ(static_cast<uint8_t>(a[3] ^ b[3]), static_cast<uint8_t>('x' ^ 'p'));
  // The text ends at its first NUL.
  const std::string stored = scramble_text(std::string("ab\0cd", 5));
  EXPECT_EQ(unscramble_text({reinterpret_cast<const uint8_t*>(stored.data()), stored.size()}), "ab");
}

TEST(ModelDb, SpiceNumbers) {
  double v = 0;
  ASSERT_TRUE(spice_number("10MEG", v));
  EXPECT_DOUBLE_EQ(v, 1e7);
  ASSERT_TRUE(spice_number("2.2u", v));
  EXPECT_DOUBLE_EQ(v, 2.2e-6);
  // Exactly the double the text names, so the model shows again as written.
  ASSERT_TRUE(spice_number("20u", v));
  EXPECT_EQ(v, 2e-5);
  ASSERT_TRUE(spice_number("1.5e-3k", v));
  EXPECT_EQ(v, 1.5);
  ASSERT_TRUE(spice_number("3mil", v));
  EXPECT_DOUBLE_EQ(v, 3 * 25.4e-6);
  ASSERT_TRUE(spice_number("1e-22", v));
  EXPECT_DOUBLE_EQ(v, 1e-22);
  ASSERT_TRUE(spice_number("5pF", v));
  EXPECT_DOUBLE_EQ(v, 5e-12);
  ASSERT_TRUE(spice_number(".7371", v));
  EXPECT_DOUBLE_EQ(v, 0.7371);
  ASSERT_TRUE(spice_number("-0.8", v));
  EXPECT_DOUBLE_EQ(v, -0.8);
  for (const char* bad :
       {"3.3.0", "{x}", "1-2", "0x1A", "inf", "nan", "", "-", ".", "E5", "1e999", "5%", "'1k'"})
    EXPECT_FALSE(spice_number(bad, v)) << bad;
}

TEST(ModelDb, RoundTripOfDiodesTransistorsAndSubcircuits) {
  Scratch s;
  build(s, {{"diodes.lib", kDiodes}, {"Transistors.LIB", kTransistors}, {"opamps.sub", kSubcircuits}});
  for (const char* f : {"MODELSDB.MXM", "MODELSDB.MXA", "DIODES.MDB", "DIODES.MDX", "TRANSISTORS.MDB",
                        "TRANSISTORS.MDX", "OPAMPS.MDB", "OPAMPS.MDX"})
    EXPECT_TRUE(file_exists(s.path(f))) << f;

  Logged logged;
  ModelDatabase db(logged.log());
  const std::string folder = s.dir.string();
  ASSERT_EQ(db.open_main_index(folder), 1);
  ASSERT_EQ(db.main_index().items.size(), 3u);
  EXPECT_EQ(db.main_index().items[0].description.str(), "Small-signal and rectifier diodes");
  EXPECT_EQ(db.main_index().items[1].file.str(), "TRANSISTORS");
  EXPECT_EQ(db.main_index().library_version, "1");

  // Found by base name: any folder, .MDB or .MDX, any case.
  EXPECT_EQ(db.find_library("DIODES"), 0);
  EXPECT_EQ(db.find_library("/elsewhere/diodes.mdb"), 0);
  EXPECT_EQ(db.find_library("Transistors.MDX"), 1);
  EXPECT_EQ(db.find_library("opamps"), 2);
  EXPECT_EQ(db.find_library("diodes.lib"), -1);
  EXPECT_EQ(db.find_library("zeners"), -1);

  EXPECT_EQ(shown_model(db, folder, "d1n4148"),
            "\n*\n.MODEL D1N4148 D (\n+   IS=2.52E-09 RS=0.568 N=1.752 CJO=4E-12\n+   M=0.4 TT=2E-08 )\n");
  EXPECT_EQ(shown_model(db, folder, "PM1"), "\n*\n.MODEL PM1 PMOS (\n+   VTO=-0.8 KP=2E-05 )\n");

  // Continuation lines, comments among them and end-of-line comments.
  ASSERT_EQ(db.open_library_index(1), 1);
  ModelRecord q;
  ASSERT_EQ(db.read_model(0, q), kModelDbOk);
  EXPECT_EQ(q.name, "Q2N3904");
  EXPECT_EQ(q.kind, "NPN");
  EXPECT_EQ(q.mid, 2);
  ASSERT_EQ(q.parameters.size(), 27u);
  EXPECT_EQ(q.parameters[13].name, "Rc");
  EXPECT_DOUBLE_EQ(q.parameters[13].value, 1);
  EXPECT_EQ(q.parameters[14].name, "Cjc");
  EXPECT_DOUBLE_EQ(q.parameters[14].value, 3.638e-12);
  EXPECT_EQ(q.parameters.back().name, "Rb");
  EXPECT_EQ(q.lists[1], std::vector<std::string>{"Transistors.LIB:2"});

  // A MOSFET without parentheses, "NAME = VALUE", commas and a $ comment.
  ModelRecord m;
  ASSERT_EQ(db.read_model(1, m), kModelDbOk);
  EXPECT_EQ(m.name, "IRF530");
  EXPECT_EQ(m.mid, 4);
  ASSERT_EQ(m.parameters.size(), 37u);
  EXPECT_EQ(m.parameters[0].name, "LEVEL");
  EXPECT_DOUBLE_EQ(m.parameters[0].value, 3);
  EXPECT_EQ(m.parameters[2].name, "KP");
  EXPECT_DOUBLE_EQ(m.parameters[2].value, 1.2);
  EXPECT_EQ(m.parameters[6].name, "RD");
  EXPECT_EQ(m.parameters[7].name, "RS");
  EXPECT_EQ(m.parameters.back().name, "FC");
  EXPECT_EQ(m.lists[0], std::vector<std::string>{"* power MOSFET"});
  std::string text;
  ASSERT_EQ(db.write_model_text(1, text), 1);
  // 37 items, four to a "+" line.
  size_t plus = 0;
  for (size_t at = text.find("\n+  "); at != std::string::npos; at = text.find("\n+  ", at + 1)) ++plus;
  EXPECT_EQ(plus, 10u);
  EXPECT_TRUE(text.starts_with("\n*\n.MODEL IRF530 NMOS (\n+   LEVEL=3 VTO=3.5 KP=1.2 GAMMA=0\n")) << text;
  EXPECT_TRUE(text.ends_with("\n+   FC=0.5 )\n")) << text;

  // The subcircuit keeps its text, its pins from the continuation line and its parameters.
  ASSERT_EQ(db.open_library_index(2), 1);
  ASSERT_EQ(db.library_index().entries.size(), 2u);
  ModelRecord x;
  ASSERT_EQ(db.read_model(0, x), kModelDbOk);
  EXPECT_EQ(x.type, 0);
  EXPECT_EQ(x.mid, kMidSubcircuit);
  EXPECT_EQ(x.pins, (std::vector<std::string>{"inp", "inn", "out", "vcc", "vee"}));
  EXPECT_EQ(x.parameter_names, (std::vector<std::string>{"GAIN", "RO"}));
  EXPECT_EQ(
      shown_model(db, folder, "opamp1"),
      "\n*\n.SUBCKT OPAMP1 inp inn\n+ out vcc vee PARAMS: GAIN=1e5 RO=75\nRIN inp inn 1MEG\n"
      "E1 1 0 inp inn {GAIN}\n* output stage\nRO 1 out {RO}\n.model DCLAMP D(IS=1e-15)\n.ENDS OPAMP1\n");
  // The .MODEL inside the subcircuit belongs to it, not to the library.
  EXPECT_EQ(shown_model(db, folder, "DCLAMP"), "not found");
  // A value that is no number keeps the model as its text.
  EXPECT_EQ(shown_model(db, folder, "RMOD"), "\n*\n.model RMOD R(R={rval} TC1=0)\n");
  EXPECT_EQ(db.library_index().entries[1].subclass.str(), "TEXT");
  EXPECT_EQ(db.library_index().entries[1].mid, 5);

  EXPECT_EQ(db.open_cross_index(folder), 7);
  EXPECT_TRUE(logged.text.empty()) << logged.text;
}

TEST(ModelDb, FiveParametersWriteTwoPlusLines) {
  ModelRecord m;
  m.type = 1;
  m.mid = 1;
  m.name = "DFIVE";
  m.kind = "D";
  m.parameters = {{"IS", 1e-14}, {"RS", 0.5}, {"N", 1}, {"BV", 100}, {"IBV", 1e-10}};
  EXPECT_EQ(model_text(m), "\n*\n.MODEL DFIVE D (\n+   IS=1E-14 RS=0.5 N=1 BV=100\n+   IBV=1E-10 )\n");
  // Six digits where they keep the value, every digit it needs where not.
  m.parameters = {{"IS", 1.23456789e-14}, {"BF", 0.1 + 0.2}};
  EXPECT_EQ(model_text(m), "\n*\n.MODEL DFIVE D (\n+   IS=1.23456789E-14 BF=0.30000000000000004 )\n");
  m.parameters.clear();
  EXPECT_EQ(model_text(m), "\n*\n.MODEL DFIVE D ( )\n");
  m.type = 0;
  m.lines = {".SUBCKT A 1 2", "R1 1 2 1k", ".ENDS"};
  EXPECT_EQ(model_text(m), "\n*\n.SUBCKT A 1 2\nR1 1 2 1k\n.ENDS\n");
  m.type = -2;
  EXPECT_EQ(model_text(m), "\n*ERROR: invalid library model type = -2 requested\n\n");
}

TEST(ModelDb, SpiceReaderReportsWhatItLeavesOut) {
  const SpiceLibrary lib = read_spice_library(
      "R1 1 2 1k\n"
      "+ more\n"
      "\n"
      "*first real comment\n"
      ".model\n"
      ".MODEL ok D\n"
      ".model ok d(is=2)\n"
      ".END\n"
      ".SUBCKT open 1 2\n"
      "R1 1 2 1\n",
      "dir/sub.dir/mixed.Lib");
  EXPECT_EQ(lib.base_name, "MIXED");
  EXPECT_EQ(lib.file_name, "mixed.Lib");
  EXPECT_EQ(lib.description, "first real comment");
  ASSERT_EQ(lib.models.size(), 2u);
  EXPECT_EQ(lib.models[0].record.name, "ok");
  EXPECT_EQ(lib.models[0].line, 6u);
  EXPECT_EQ(lib.models[0].description, "");
  ASSERT_EQ(lib.skipped.size(), 3u);
  EXPECT_EQ(lib.skipped[0], "line 1: not a .MODEL or .SUBCKT statement: R1 1 2 1k");
  EXPECT_EQ(lib.skipped[1], "line 5: .MODEL needs a name and a kind");
  EXPECT_EQ(lib.skipped[2], "line 9: no .ENDS for .SUBCKT open 1 2");

  // Without a comment the file name describes the library; CR LF lines read as lines.
  const SpiceLibrary plain =
      read_spice_library(".model a sw(ron=1 roff=1meg)\r\n.model b csw(it=1)\r\n", "sw.mod");
  EXPECT_EQ(plain.description, "sw.mod");
  ASSERT_EQ(plain.models.size(), 2u);
  EXPECT_EQ(plain.models[1].record.mid, 7);
  EXPECT_EQ(plain.models[1].record.kind, "csw");
  EXPECT_EQ(mid_of_model_kind("VDMOS"), 4);
  EXPECT_EQ(mid_of_model_kind("njf"), 3);
  EXPECT_EQ(mid_of_model_kind("C"), 12);
  EXPECT_EQ(mid_letter(mid_of_model_kind("NMF")), ' ');

  // A library holds at most 2500 models: the rest are reported.
  std::string many;
  for (int i = 0; i < 2502; ++i) many += strprintf(".model D%d D(IS=%de-15)\n", i, i + 1);
  const SpiceLibrary big = read_spice_library(many, "big.lib");
  EXPECT_EQ(big.models.size(), 2500u);
  EXPECT_EQ(big.models.back().record.name, "D2499");
  EXPECT_EQ(big.skipped, (std::vector<std::string>{
                             "line 2501: model D2500 left out: a library holds at most 2500 models",
                             "line 2502: model D2501 left out: a library holds at most 2500 models"}));
}

TEST(ModelDb, DuplicatesAreKeptAndMarked) {
  Scratch s;
  build(s, {{"dups.lib",
             ".model Q1 NPN(BF=100)\n.model D1 D(IS=1e-14)\n.model d1 D(IS=2e-14)\n.model D1 NPN(BF=50)\n"
             ".model D1 D(N=2)\n"}});
  ModelDatabase db;
  ASSERT_EQ(db.open_main_index(s.dir.string()), 1);
  ASSERT_EQ(db.open_library_index(0), 1);
  EXPECT_EQ(db.mark_duplicates(), 2);
  EXPECT_EQ(db.duplicates(), (std::vector<int>{0, 2, -1, 0, -1}));
  std::string out;
  db.list_index(out);
  EXPECT_NE(out.find("\n1     2     D1               D       D1"), std::string::npos) << out;
  EXPECT_NE(out.find("\n2     -1    d1               D       d1"), std::string::npos) << out;
}

// The index of a one-library database, to be altered and written back.
struct OneLibrary {
  Scratch& s;
  std::string mdx, mdb;
  LibraryIndex index;
  explicit OneLibrary(Scratch& scratch) : s(scratch) {
    build(s, {{"diodes.lib", kDiodes}});
    mdx = s.path("DIODES.MDX");
    mdb = s.path("DIODES.MDB");
    EXPECT_EQ(decode_library_index(bytes_of(mdx), index), kModelDbOk);
  }
  void save() const { EXPECT_TRUE(write_file_atomic(mdx, encode_library_index(index))); }
  // Opens the database afresh; the library's open status.
  int open(ModelDatabase& db) const {
    EXPECT_EQ(db.open_main_index(s.dir.string()), 1);
    return db.open_library_index(0);
  }
};

TEST(ModelDb, IndexThatDoesNotMatchItsModelFileIsRefused) {
  Scratch s;
  OneLibrary lib(s);
  const LibraryIndex good = lib.index;
  for (int field = 0; field < 3; ++field) {
    lib.index = good;
    (field == 0   ? lib.index.header.count
     : field == 1 ? lib.index.header.check1
                  : lib.index.header.check2) += 1;
    lib.save();
    Logged logged;
    ModelDatabase db(logged.log());
    EXPECT_EQ(lib.open(db), 0) << field;
    EXPECT_EQ(db.last_code(), kIndexMismatch) << field;
    EXPECT_EQ(logged.text, "ERROR: index does not match library database file: " + lib.mdb +
                               "\nError reading indexed library file. Error code=610\n");
  }
  // A model file shorter than its header cannot match either.
  lib.index = good;
  lib.save();
  ASSERT_TRUE(write_file_atomic(lib.mdb, std::string("short")));
  ModelDatabase db;
  EXPECT_EQ(lib.open(db), 0);
  EXPECT_EQ(db.last_code(), kIndexMismatch);
}

TEST(ModelDb, ListShowsNameForEmptyPartNumberAndNolistForUnlisted) {
  Scratch s;
  OneLibrary lib(s);
  ASSERT_EQ(lib.index.entries.size(), 2u);
  lib.index.entries[0].part_number = "1N4148-T";
  lib.index.entries[0].symbol = "DIODE";
  lib.index.entries[1].list_flag = 0;
  lib.save();
  ModelDatabase db;
  ASSERT_EQ(lib.open(db), 1);
  std::string out;
  db.list_index(out);
  EXPECT_EQ(out, "\nINDEX TABLE: " + lib.mdx +
                     "\n      DUP   PART#            TYPE    NAME             SYMBOL          CLASS          "
                     " SUBCLASS        "
                     "DESCRIPTION\n"
                     "0     0     1N4148-T         D       D1N4148          DIODE           D                "
                     "               "
                     "switching diode\n"
                     "1     0     NOLIST           D       DFIVE                            D                "
                     "               \n");

  lib.index.entries[0].part_number.clear();
  lib.index.entries[1].list_flag = 1;
  lib.save();
  ModelDatabase again;
  ASSERT_EQ(lib.open(again), 1);
  out.clear();
  again.list_index(out);
  EXPECT_NE(out.find("\n0     0     D1N4148          D       D1N4148"), std::string::npos) << out;
  EXPECT_NE(out.find("\n1     0     DFIVE            D       DFIVE"), std::string::npos) << out;
}

TEST(ModelDb, InvalidMidShowsBlankAndIsLogged) {
  Scratch s;
  OneLibrary lib(s);
  lib.index.entries[0].mid = 14;
  lib.index.entries[1].mid = -1;
  lib.save();
  Logged logged;
  ModelDatabase db(logged.log());
  ASSERT_EQ(lib.open(db), 1);
  std::string out;
  db.list_index(out);
  EXPECT_NE(out.find("\n0     0     D1N4148                  D1N4148"), std::string::npos) << out;
  EXPECT_EQ(logged.text, "\nInvalid MID=14 found\n\nInvalid MID=-1 found\n");

  EXPECT_EQ(mid_letter(6), ' ');
  EXPECT_EQ(mid_letter(13), 'T');
  EXPECT_EQ(mid_of_element('q'), 2);
  EXPECT_EQ(mid_of_element('X'), 0);
  logged.text.clear();
  EXPECT_EQ(mid_of_element('W', logged.log()), -1);
  EXPECT_EQ(mid_of_element(' ', logged.log()), -1);
  EXPECT_EQ(logged.text, "\nMatching MID not found for element W\n\nMatching MID not found for element  \n");
}

TEST(ModelDb, EntryCountsOutsideTheTableAreRefused) {
  Scratch s;
  OneLibrary lib(s);
  std::vector<uint8_t> bytes = encode_library_index(lib.index);
  constexpr size_t kCountAt = 64 + 12 + 64 + 256;
  const auto with_count = [&](int32_t n) {
    std::vector<uint8_t> b = bytes;
    ByteWriter w;
    w.i32(n);
    std::copy(w.data().begin(), w.data().end(), b.begin() + kCountAt);
    return b;
  };
  for (const auto& [n, text] :
       {std::pair{0, std::string("\nERROR: Index file saved count: 0\n")},
        std::pair{-5, std::string("\nERROR: Index file saved count: -5\n")},
        std::pair{2501, std::string("\nERROR: Index file saved count too large: 2501\n")}}) {
    Logged logged;
    LibraryIndex index;
    EXPECT_EQ(decode_library_index(with_count(n), index, logged.log()), kIndexTitleOrCount) << n;
    EXPECT_EQ(logged.text, text + "Error reading indexed library file. Error code=601\n");
  }
  LibraryIndex index;
  EXPECT_EQ(decode_library_index(with_count(2), index), kModelDbOk);
  // 2500 entries are allowed; this index holds two, so the third is short.
  EXPECT_EQ(decode_library_index(with_count(2500), index), kEntryHeadShort);
}

TEST(ModelDb, RecordFaultsAndTheirCodes) {
  Scratch s;
  OneLibrary lib(s);
  const std::vector<uint8_t> mdb = bytes_of(lib.mdb);
  const uint64_t at = lib.index.entries[1].position;
  ModelRecord r;
  Logged logged;
  EXPECT_EQ(decode_model_record(mdb, mdb.size() + 1, r, logged.log()), kModelPositionBad);
  EXPECT_EQ(logged.text, strprintf("\nCannot set library database file position: %zu\n", mdb.size() + 1));
  EXPECT_EQ(decode_model_record(mdb, mdb.size(), r), kModelDbEndOfFile);
  EXPECT_EQ(decode_model_record(mdb, at + 1, r), kRecordMarkerWrong);

  std::vector<uint8_t> bad = mdb;
  ByteWriter w;
  w.i32(-3);
  std::copy(w.data().begin(), w.data().end(), bad.begin() + static_cast<ptrdiff_t>(at + kModelMarkerSize));
  logged.text.clear();
  EXPECT_EQ(decode_model_record(bad, at, r, logged.log()), kRecordTypeInvalid);
  EXPECT_EQ(logged.text, "ERROR: invalid model type -3\n");

  // Through the database: the invalid type's line, and a position beyond the file.
  ASSERT_TRUE(write_file_atomic(lib.mdb, bad));
  lib.index.entries[0].position = 99999;
  lib.save();
  ModelDatabase db;
  ASSERT_EQ(lib.open(db), 1);
  std::string text;
  EXPECT_EQ(db.write_model_text(1, text), 0);
  EXPECT_EQ(text, "\n*ERROR: invalid library model type = -3 requested\n\n");
  text.clear();
  EXPECT_EQ(db.write_model_text(0, text), 0);
  EXPECT_EQ(db.last_code(), kModelPositionBad);
  EXPECT_EQ(text, "");
  EXPECT_EQ(db.read_model(2, r), kModelDbNoFile);
}

TEST(ModelDb, SaveModelWritesOrAppendsTheLibraryAndTheModel) {
  Scratch s;
  OneLibrary lib(s);
  lib.index.entries[1].position = 99999;
  lib.save();
  ModelDatabase db;
  ASSERT_EQ(lib.open(db), 1);
  const std::string out = s.path("models.inc");
  ASSERT_TRUE(write_file_atomic(out, std::string("old text\n")));
  EXPECT_EQ(db.save_model(0, out, false), 1);
  const std::string first =
      "\n*Library: " + lib.mdb +
      "\n*\n.MODEL D1N4148 D (\n+   IS=2.52E-09 RS=0.568 N=1.752 CJO=4E-12\n+   M=0.4 TT=2E-08 )\n\n";
  EXPECT_EQ(read_text_file(out).value_or(""), first);
  EXPECT_EQ(db.save_model(1, out, true), 0);
  EXPECT_EQ(read_text_file(out).value_or(""),
            first + "\n*Library: " + lib.mdb + "\n*ERROR: cannot save library model = DFIVE\n\n");
}

TEST(ModelDb, MissingFilesAreLoggedByName) {
  Scratch s;
  Logged logged;
  ModelDatabase db(logged.log());
  const std::string folder = s.dir.string();
  EXPECT_EQ(db.open_main_index(folder), 0);
  EXPECT_EQ(db.last_code(), kModelDbNoFile);
  EXPECT_EQ(db.open_cross_index(folder), 0);
  EXPECT_EQ(logged.text, "\nCannot open main index file: " + folder + "/MODELSDB.MXM\n" +
                             "\nCannot open index all file: " + folder + "/MODELSDB.MXA\n");

  build(s, {{"diodes.lib", kDiodes}});
  fs::remove(s.path("DIODES.MDX"));
  logged.text.clear();
  ModelDatabase one(logged.log());
  ASSERT_EQ(one.open_main_index(folder + "/"), 1);
  EXPECT_EQ(one.open_library_index(0), 0);
  EXPECT_EQ(one.open_library_index(1), 0);
  fs::remove(s.path("DIODES.MDB"));
  EXPECT_EQ(one.open_library_index(0), 0);
  EXPECT_EQ(logged.text, "\nCannot open library database index file: " + folder + "/DIODES.MDX\n" +
                             "\nCannot open library database file: " + folder + "/DIODES.MDB\n");
}

TEST(ModelDb, CrossIndexCountBeyondTheFileIsNotAllocated) {
  CrossIndex cross;
  cross.records = {{"A", 0, 0, 1}, {"B", 0, 1, 2}};
  std::vector<uint8_t> bytes = encode_cross_index(cross);
  constexpr size_t kCountAt = 64 + 4 + 64;
  for (int32_t n : {3, 1 << 30, -1}) {
    std::vector<uint8_t> b = bytes;
    ByteWriter w;
    w.i32(n);
    std::copy(w.data().begin(), w.data().end(), b.begin() + kCountAt);
    Logged logged;
    CrossIndex out;
    EXPECT_EQ(decode_cross_index(b, out, logged.log()), kCrossRecordsShort) << n;
    EXPECT_EQ(logged.text, strprintf("\nERROR: allocating index all array size=%d\n", n));
  }
  CrossIndex out;
  ASSERT_EQ(decode_cross_index(bytes, out), kModelDbOk);
  ASSERT_EQ(out.records.size(), 2u);
  EXPECT_EQ(out.records[1].name, "B");
  EXPECT_EQ(out.records[1].entry, 1);
  EXPECT_EQ(out.records[1].mid, 2);
}

// Every prefix of every file is refused with its code, never read past its end.
TEST(ModelDb, TruncatedFilesAtEveryLength) {
  Scratch s;
  build(s, {{"transistors.lib", kTransistors}, {"opamps.lib", kSubcircuits}});
  const std::vector<uint8_t> mxm = bytes_of(s.path("MODELSDB.MXM"));
  for (size_t n = 0; n < mxm.size(); ++n) {
    MainIndex m;
    const int code = decode_main_index(std::span(mxm).first(n), m);
    // The library version at the end is optional.
    const int expected = n < 64                ? kMainTitleShort
                         : n < 68              ? kMainVersionMissing
                         : n < mxm.size() - 16 ? kMainItemsShort
                                               : kModelDbOk;
    ASSERT_EQ(code, expected) << n;
  }
  const std::vector<uint8_t> mxa = bytes_of(s.path("MODELSDB.MXA"));
  for (size_t n = 0; n < mxa.size(); ++n) {
    CrossIndex c;
    const int code = decode_cross_index(std::span(mxa).first(n), c);
    ASSERT_EQ(code, n < 64    ? kCrossTitleShort
                    : n < 68  ? kCrossVersionShort
                    : n < 132 ? kCrossTextShort
                    : n < 136 ? kCrossCountShort
                              : kCrossRecordsShort)
        << n;
  }
  for (const char* name : {"TRANSISTORS", "OPAMPS"}) {
    const std::vector<uint8_t> mdx = bytes_of(s.path(std::string(name) + ".MDX"));
    for (size_t n = 0; n < mdx.size(); ++n) {
      LibraryIndex index;
      const int code = decode_library_index(std::span(mdx).first(n), index);
      ASSERT_NE(code, kModelDbOk) << name << " " << n;
      if (n < 64) {
        ASSERT_EQ(code, kIndexTitleOrCount);
      }
      if (n >= 76 && n < 140) {
        ASSERT_EQ(code, kIndexText64Short);
      }
    }
    LibraryIndex index;
    ASSERT_EQ(decode_library_index(mdx, index), kModelDbOk);
    const std::vector<uint8_t> mdb = bytes_of(s.path(std::string(name) + ".MDB"));
    for (const IndexEntry& e : index.entries) {
      ModelRecord whole;
      ASSERT_EQ(decode_model_record(mdb, e.position, whole), kModelDbOk);
      const size_t end = e.position + encode_model_record(whole).size();
      for (size_t n = 0; n < end; ++n) {
        ModelRecord r;
        const int code = decode_model_record(std::span(mdb).first(n), e.position, r);
        const size_t into = n - std::min<size_t>(n, e.position);
        if (n < e.position) {
          ASSERT_EQ(code, kModelPositionBad) << n;
        } else if (n == e.position) {
          ASSERT_EQ(code, kModelDbEndOfFile) << n;
        } else if (into < kModelMarkerSize) {
          ASSERT_EQ(code, kRecordMarkerShort) << n;
        } else if (into < kModelMarkerSize + kModelHeaderSize) {
          ASSERT_EQ(code, kRecordHeader) << n;
        } else {
          ASSERT_TRUE((code >= kRecordList1 && code <= kRecordList1 + 2) || (code >= 322 && code <= 324) ||
                      (code >= 333 && code <= 337))
              << n << " " << code;
        }
      }
    }
  }
}

}  // namespace
}  // namespace zephyrim
