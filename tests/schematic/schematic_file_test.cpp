#include "schematic/schematic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "schematic/random_schematic.h"

namespace zephyrim {
namespace {

using testing_support::random_schematic;
using Bytes = std::vector<uint8_t>;

constexpr std::time_t kNow = 1767603600;  // 2026-01-05 09:00 UTC

Bytes encode(Schematic& s) {
  RecordingNotify n;
  return schematic_encode(s, n, kNow);
}

SchematicLoad decode(const Bytes& b, RecordingNotify& n) {
  return schematic_decode(b, "t.sch", n);
}

size_t find(const Bytes& b, const std::string& text, size_t from = 0) {
  auto it = std::search(b.begin() + static_cast<long>(from), b.end(), text.begin(), text.end());
  return it == b.end() ? std::string::npos : static_cast<size_t>(it - b.begin());
}

void put_i32(Bytes& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// A small schematic with a little of everything the writer distinguishes.
struct Sample {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("sample.sch", kNow);
  const SymbolRecord* res = nullptr;
  const SymbolRecord* rail = nullptr;

  Sample() {
    auto r = std::make_unique<SymbolRecord>();
    r->name.assign("R");
    r->region = {-16, -8, 16, 8};
    r->rotatable = 1;
    r->draws.resize(2);
    r->draws[0].op = 'M';
    r->pins = {SymbolPin{2, -16, 0, -8, 1, FixedText<8>("A"), {}},
               SymbolPin{4, 16, 0, 8, 2, FixedText<8>("B"), {}}};
    r->template_text = "R%r %n %v";
    res = s->symbols.entries[symtab_add(*s, "R", std::move(r), kOriginSchematic, notify)].definition.get();
    auto v = std::make_unique<SymbolRecord>();
    v->name.assign("V+");
    v->kind = kSymbolPowerRail;
    v->region = {-8, -16, 8, 0};
    v->draws.resize(1);
    v->pins = {SymbolPin{3, 0, 0, -8, -1, {}, {}}};
    rail = s->symbols.entries[symtab_add(*s, "V+", std::move(v), kOriginSchematic, notify)].definition.get();

    PartRecord* r1 = part_place(*s, res, 80, 80);
    r1->reference.assign("R1");
    r1->value.assign("1k");
    r1->params[0] = "TC=0.001";
    PartRecord* vcc = part_place(*s, rail, 160, 40);
    vcc->reference.assign("VCC");
    vcc->value.assign("12");
    part_rail_source_init(*vcc);
    wire_add(*s, 96, 80, 160, 80);
    wire_add(*s, 160, 40, 160, 80);
    junction_add(*s, 160, 80);
    LabelRecord* l = label_new(*s);
    l->name.assign("out");
    l->width = 24;
    l->x = 120;
    l->y = 80;
    s->page().wires[0]->label = l;
    r1->pin_nodes[1].label = l;
    TextRecord* t = text_new(*s);
    t->text = "* first line\nsecond";
    t->x = 40;
    t->y = 200;
    t->box = {0, -24, 96, 0};
    for (auto& b : s->page().blocks) b->dirty = 1;
  }
};

TEST(SchematicFile, HeaderFaultsAreReportedWithTheirCodes) {
  RecordingNotify n;
  EXPECT_EQ(decode(Bytes{'Q', 'U', 'I'}, n).code, kLoadShort);
  // The code's own line, then what it means in words.
  EXPECT_EQ(n.last(), "Error 10: reading file t.sch\nt.sch is cut short at byte 3");
  n.clear();
  EXPECT_EQ(decode(Bytes{}, n).code, kLoadShort);
  EXPECT_EQ(n.last(), "Error 10: reading file t.sch\nt.sch is empty");

  n.clear();
  const SchematicLoad bad = decode(Bytes(64, 'x'), n);
  EXPECT_EQ(bad.code, kLoadNotSchematic);
  EXPECT_FALSE(bad.schematic);
  EXPECT_TRUE(n.saw("t.sch is not a Zephyrim schematic file"));

  Sample a;
  Bytes b = encode(*a.s);
  put_i32(b, 16, 71);
  n.clear();
  EXPECT_EQ(decode(b, n).code, kLoadBadFormat);
  EXPECT_TRUE(n.saw("Zephyrim schematic file format 71 not supported"));
  EXPECT_EQ(n.last(), "Error 19: reading file t.sch - Ver 7.16a ");

  b.resize(16);
  n.clear();
  EXPECT_EQ(decode(b, n).code, kLoadNoFormat);

  // Older versions are not read; the message names the version.
  Bytes old = encode(*a.s);
  std::memcpy(old.data() + 8, "6.20\0\0\0\0", 8);
  n.clear();
  EXPECT_EQ(decode(old, n).code, kLoadOldVersion);
  EXPECT_EQ(n.last(), "Error 13: reading file t.sch - Ver 6.20");
  std::memcpy(old.data() + 8, "nan\0\0\0\0\0", 8);
  EXPECT_EQ(decode(old, n).code, kLoadOldVersion);
}

TEST(SchematicFile, LongErrorMessagesAreCutTo72Characters) {
  RecordingNotify n;
  const std::string path = "/a/very/long/folder/name/that/keeps/going/and/going/schematic.sch";
  schematic_decode(Bytes{1, 2}, path, n);
  // The code's line is cut; the words after it name the file alone.
  EXPECT_EQ(n.last().find('\n'), 72u);
  EXPECT_EQ(n.last().substr(72), "\nschematic.sch is cut short at byte 2");
  EXPECT_EQ(n.last().substr(0, 24), "Error 10: reading file /");
}

TEST(SchematicFile, TheHeaderIsLaidOutAsStored) {
  Sample a;
  const Bytes b = encode(*a.s);
  ASSERT_GT(b.size(), 120u);
  EXPECT_EQ(std::memcmp(b.data(), "QUILLS\0\0", 8), 0);
  EXPECT_EQ(std::memcmp(b.data() + 8, "7.16a \0i", 8), 0);
  ByteReader r(b);
  r.skip(16);
  int32_t format = 0;
  r.i32(format);
  EXPECT_EQ(format, 70);
  EXPECT_EQ(find(b, ">SYMBOL BLOCK<"), 16u + 4 + 60 + 12 + 4 + 8);  // no links
  EXPECT_NE(find(b, ">FILEOBJ BLOCK<"), std::string::npos);
  EXPECT_EQ(find(b, ">FILEOBJ BLOCK<") + 20, b.size());
}

TEST(SchematicFile, ASampleComesBackAsItWasSaved) {
  Sample a;
  const Bytes first = encode(*a.s);
  RecordingNotify n;
  SchematicLoad l = decode(first, n);
  ASSERT_TRUE(l.schematic) << ::testing::PrintToString(n.texts());
  EXPECT_EQ(l.code, 0);
  EXPECT_TRUE(n.entries().empty()) << ::testing::PrintToString(n.texts());
  Schematic& s = *l.schematic;
  ASSERT_EQ(s.page().parts.size(), 2u);
  const PartRecord& r1 = *s.page().parts[0];
  EXPECT_EQ(r1.reference.str(), "R1");
  EXPECT_EQ(r1.params[0], "TC=0.001");
  EXPECT_EQ(r1.template_text, "R%r %n %v");
  EXPECT_EQ(r1.symbol->name.str(), "R");
  ASSERT_EQ(r1.pin_nodes.size(), 2u);
  EXPECT_EQ(r1.pin_nodes[0].label, nullptr);
  ASSERT_NE(r1.pin_nodes[1].label, nullptr);
  EXPECT_EQ(r1.pin_nodes[1].label->name.str(), "out");
  EXPECT_EQ(s.page().wires[0]->label, r1.pin_nodes[1].label);
  EXPECT_EQ(s.page().parts[1]->source_specs.size(), 13u);
  EXPECT_EQ(s.page().texts[0]->text, "* first line\nsecond");
  EXPECT_EQ(s.page().texts[0]->owner, s.page().top());
  EXPECT_EQ(s.page().top()->dirty, 1);
  EXPECT_EQ(s.page().title.revision.str(), "Rev: 1");  // raised by the first save
  EXPECT_FALSE(s.modified);
  EXPECT_EQ(encode(s), first);
}

// Saving what was loaded gives the same bytes, for schematics of every shape.
TEST(SchematicFile, RandomSchematicsSurviveLoadAndSave) {
  size_t parts = 0;
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    auto s = random_schematic(seed);
    const Bytes first = encode(*s);
    RecordingNotify n;
    SchematicLoad l = decode(first, n);
    ASSERT_TRUE(l.schematic) << "seed " << seed;
    ASSERT_EQ(l.code, 0) << "seed " << seed << ::testing::PrintToString(n.texts());
    ASSERT_TRUE(n.entries().empty()) << "seed " << seed << ::testing::PrintToString(n.texts());
    ASSERT_EQ(l.schematic->page_count(), s->page_count());
    for (int k = 0; k < s->page_count(); ++k) {
      const Page& a = *s->pages[k];
      const Page& b = *l.schematic->pages[k];
      ASSERT_EQ(a.parts.size(), b.parts.size()) << "seed " << seed;
      ASSERT_EQ(a.wires.size(), b.wires.size());
      ASSERT_EQ(a.labels.size(), b.labels.size());
      ASSERT_EQ(a.texts.size(), b.texts.size());
      ASSERT_EQ(a.blocks.size(), b.blocks.size());
      parts += a.parts.size();
    }
    const Bytes second = encode(*l.schematic);
    ASSERT_EQ(second.size(), first.size()) << "seed " << seed;
    ASSERT_TRUE(second == first) << "seed " << seed << " differs at byte "
                                 << std::mismatch(first.begin(), first.end(), second.begin()).first -
                                        first.begin();
  }
  EXPECT_GT(parts, 10000u);  // the schematics are not trivially empty
}

TEST(SchematicFile, ADamagedPartBlockStillLoadsTheWiresJunctionsAndTexts) {
  Sample a;
  Bytes b = encode(*a.s);
  // The first part's symbol index follows its marker, count and record.
  const size_t part = find(b, ">PART BLOCK<");
  put_i32(b, part + 16 + 4 + kPartRecordSize, 999);
  RecordingNotify n;
  SchematicLoad l = decode(b, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.code, 210);
  EXPECT_TRUE(n.saw("Loading part R1: symbol pointer invalid"));
  EXPECT_TRUE(n.saw("Error code 210 reading schematic parts data block"));
  EXPECT_TRUE(n.saw("Error 210: reading file t.sch - Ver 7.16a "));
  const Page& p = l.schematic->page();
  EXPECT_TRUE(p.parts.empty());
  EXPECT_EQ(p.wires.size(), 2u);
  EXPECT_EQ(p.junctions.size(), 1u);
  EXPECT_EQ(p.texts.size(), 1u);
  EXPECT_EQ(p.labels.size(), 1u);

  // A part record cut short by a parameter text too long for it: the same recovery.
  b = encode(*a.s);
  put_i32(b, part + 16 + 4 + kPartRecordSize + 4, 5000);
  n.clear();
  l = decode(b, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.code, 81);
  EXPECT_TRUE(n.saw("Error code 81 reading schematic parts data block"));
  EXPECT_EQ(l.schematic->page().wires.size(), 2u);
}

TEST(SchematicFile, ATextOfStoredLength600EndsTheTextBlock) {
  Sample a;
  TextRecord* t = text_new(*a.s);
  t->text = "second text";
  t->x = t->y = 48;
  TextRecord* u = text_new(*a.s);
  u->text = "third";
  u->x = u->y = 56;
  Bytes b = encode(*a.s);
  const size_t second = find(b, "second text");
  ASSERT_NE(second, std::string::npos);
  put_i32(b, second - 4, 600);
  RecordingNotify n;
  SchematicLoad l = decode(b, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.code, 245);
  ASSERT_EQ(l.schematic->page().texts.size(), 1u);
  EXPECT_EQ(l.schematic->page().texts[0]->text, "* first line\nsecond");
  for (const auto& t : n.texts()) EXPECT_EQ(t.find("data block"), std::string::npos) << t;
}

TEST(SchematicFile, ARecoveredPageDoesNotCostTheLaterPages) {
  Sample a;
  page_add(*a.s, a.notify, kNow);
  wire_add(*a.s, 8, 8, 64, 8);
  Bytes b = encode(*a.s);
  put_i32(b, find(b, ">PART BLOCK<") + 16 + 4 + kPartRecordSize, -7);
  RecordingNotify n;
  SchematicLoad l = decode(b, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.code, 210);
  ASSERT_EQ(l.schematic->page_count(), 2);
  EXPECT_EQ(l.schematic->pages[1]->wires.size(), 1u);
}

TEST(SchematicFile, TruncatedFilesKeepWhatCameBeforeTheDamage) {
  Sample a;
  const Bytes full = encode(*a.s);
  // Cut inside the wire block: the wires read so far stay, the page ends there.
  Bytes b(full.begin(), full.begin() + static_cast<long>(find(full, ">WIRE BLOCK<") + 16 + 4 + 70));
  RecordingNotify n;
  SchematicLoad l = decode(b, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.code, 224);
  EXPECT_EQ(l.schematic->page().wires.size(), 1u);
  EXPECT_EQ(l.schematic->page().parts.size(), 2u);
  EXPECT_TRUE(n.saw("Error code 224 reading schematic wires data block"));

  // Every cut of the file loads or fails cleanly.
  for (size_t cut = 0; cut < full.size(); cut += 7) {
    RecordingNotify m;
    SchematicLoad c = decode(Bytes(full.begin(), full.begin() + static_cast<long>(cut)), m);
    EXPECT_NE(c.code, 0) << cut;
    if (c.code < kLoadFirstPartial) {
      EXPECT_FALSE(c.schematic);
    }
  }
}

TEST(SchematicFile, SymbolsAreSavedByOriginAndUse) {
  Sample a;
  auto unused = [&](const char* name, int origin) {
    auto d = std::make_unique<SymbolRecord>(*a.res);
    d->name.assign(name);
    d->description.assign(name);  // not identical to R
    symtab_add(*a.s, name, std::move(d), origin, a.notify);
  };
  unused("FROMLIB", kOriginLibrary);
  unused("GENERATED", kOriginGenerated);
  RecordingNotify n;
  SchematicLoad l = decode(encode(*a.s), n);
  ASSERT_TRUE(l.schematic);
  std::vector<std::string> names;
  for (const auto& e : l.schematic->symbols.entries) names.push_back(e.name.str());
  EXPECT_EQ(names, (std::vector<std::string>{"R", "V+", "GENERATED"}));
  EXPECT_EQ(l.schematic->symbols.entries[2].origin, kOriginGenerated);
}

TEST(SchematicFile, IdenticalDefinitionsAreSharedOnLoading) {
  Sample a;
  // Two generated twins both survive the save; the load finds the second identical to the first.
  for (int k = 0; k < 2; ++k) {
    auto twin = std::make_unique<SymbolRecord>(*a.res);
    twin->name.assign("XTWIN");
    const int at = symtab_add(*a.s, "XTWIN", std::move(twin), kOriginGenerated, a.notify);
    part_place(*a.s, a.s->symbols.entries[at].definition.get(), 200 + 40 * k, 200);
  }
  const Bytes b = encode(*a.s);
  RecordingNotify n;
  SchematicLoad l = decode(b, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.schematic->symbols.entries.size(), 3u);
  const auto& parts = l.schematic->page().parts;
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[2]->symbol, parts[3]->symbol);
  EXPECT_EQ(parts[2]->symbol->name.str(), "XTWIN");
}

TEST(SchematicFile, LinksNobodyUsesArePrunedOnSaving) {
  Sample a;
  auto link = [&](int scope, const char* file) {
    auto l = std::make_unique<LibraryLink>();
    l->scope = scope;
    if (file) l->texts[0] = file;
    a.s->links.push_back(std::move(l));
    return a.s->links.back().get();
  };
  link(kLinkProject, "project.lib");
  link(kLinkProject, nullptr);
  link(kLinkPart, "unused.lib");
  LibraryLink* used = link(kLinkPart, "used.lib");
  a.s->page().parts[0]->model_link = used;
  link(kLinkSymbol, "nobody.lib");
  LibraryLink* named = link(kLinkSymbol, "Models/R.LIB");
  a.s->symbols.entries[0].definition->model_file = "models/r.lib";
  // A part may point at a symbol link; pruning must not leave it dangling.
  a.s->page().parts[1]->model_link = link(kLinkSymbol, "gone.lib");
  link(kLinkPart, "");
  (void)named;
  RecordingNotify n;
  SchematicLoad l = decode(encode(*a.s), n);
  ASSERT_TRUE(l.schematic);
  std::vector<std::string> files;
  for (const auto& k : l.schematic->links) files.push_back(k->file().value_or("-"));
  EXPECT_EQ(files, (std::vector<std::string>{"project.lib", "-", "used.lib", "Models/R.LIB"}));
  EXPECT_EQ(l.schematic->page().parts[0]->model_link, l.schematic->links[2].get());
  EXPECT_EQ(a.s->page().parts[1]->model_link, nullptr);
}

TEST(SchematicFile, StoredValuesAreNormalisedOnLoading) {
  Sample a;
  a.s->bias_display = 5;
  a.s->page().settings.view = -3;
  a.s->page().parts[1]->source_specs.clear();  // a rail with a value gets its entries back
  RecordingNotify n;
  SchematicLoad l = decode(encode(*a.s), n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.schematic->bias_display, 2);
  EXPECT_EQ(l.schematic->page().settings.view, 1);
  const PartRecord& rail = *l.schematic->page().parts[1];
  ASSERT_EQ(rail.source_specs.size(), 13u);
  EXPECT_EQ(rail.source_specs[0].kind, 1);
  EXPECT_EQ(rail.source_specs[1].text, "12");
  EXPECT_EQ(rail.source_specs[6].kind, 1);
}

TEST(SchematicFile, TheSavedCurrentPageIsShownAgain) {
  Sample a;
  page_add(*a.s, a.notify, kNow);
  page_add(*a.s, a.notify, kNow);
  page_select(*a.s, 1, a.notify);
  Bytes b = encode(*a.s);
  RecordingNotify n;
  EXPECT_EQ(decode(b, n).schematic->current_page(), 1);
  // The page table's current page sits right after its page count.
  put_i32(b, find(b, ">SHEETS BLOCK<") + 16 + 4, 7);
  SchematicLoad l = decode(b, n);
  EXPECT_TRUE(n.saw("Cannot open sheet 8"));
  EXPECT_EQ(l.schematic->current_page(), 0);
}

struct SchematicFiles : ::testing::Test {
  std::filesystem::path dir;
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim-sch-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string at(const char* name) const { return (dir / name).string(); }
};

TEST_F(SchematicFiles, TheFirstSaveAfterALoadMakesTheBackupsOnce) {
  Sample a;
  page_add(*a.s, a.notify, kNow);
  const std::string path = at("two.sch");
  ASSERT_EQ(schematic_save(*a.s, path, a.notify, kNow), 0);
  const auto original = read_file(path);
  write_file_atomic(at("two.s01"), std::string("sheet one"));
  write_file_atomic(at("two.s02"), std::string("sheet two"));

  RecordingNotify n;
  SchematicLoad l = schematic_load(path, n);
  ASSERT_TRUE(l.schematic);
  wire_add(*l.schematic, 8, 8, 16, 8);
  ASSERT_EQ(schematic_save(*l.schematic, path, n, kNow), 0);
  EXPECT_EQ(read_file(at("two.bks")), original);
  EXPECT_EQ(read_text_file(at("two.b01")), "sheet one");
  EXPECT_EQ(read_text_file(at("two.b02")), "sheet two");
  ASSERT_EQ(schematic_save(*l.schematic, path, n, kNow), 0);
  EXPECT_EQ(read_file(at("two.bks")), original);  // not the first save's result
  EXPECT_NE(read_file(path), original);
}

TEST_F(SchematicFiles, AFailedSaveLeavesTheOldFileAndSaysSo) {
  Sample a;
  RecordingNotify n;
  const std::string missing = at("no/such/folder/x.sch");
  EXPECT_EQ(schematic_save(*a.s, missing, n, kNow), -1);
  EXPECT_EQ(n.last(), "Cannot open file " + missing);
  EXPECT_TRUE(a.s->modified);

  // A folder in place of the file: the new file is written but cannot replace it.
  std::filesystem::create_directories(at("taken.sch"));
  n.clear();
  EXPECT_EQ(schematic_save(*a.s, at("taken.sch"), n, kNow), 1);
  EXPECT_EQ(n.last(), "Error writing to schematic file " + at("taken.sch"));
  EXPECT_TRUE(std::filesystem::is_directory(at("taken.sch")));
  size_t left = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) left += e.path().filename() != "taken.sch";
  EXPECT_EQ(left, 0u);  // no temporary file left behind
}

TEST_F(SchematicFiles, MissingFilesAreReportedOnlyWhenAsked) {
  RecordingNotify n;
  EXPECT_EQ(schematic_load(at("none.sch"), n, false).code, kLoadCannotOpen);
  EXPECT_TRUE(n.entries().empty());
  EXPECT_FALSE(schematic_load(at("none.sch"), n, true).schematic);
  EXPECT_EQ(n.last(), "Cannot open " + at("none.sch"));
}

TEST_F(SchematicFiles, AFileOnDiskLoadsAsItsBytesDecode) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    auto s = random_schematic(seed);
    const std::string path = at("r.sch");
    RecordingNotify saving;
    ASSERT_EQ(schematic_save(*s, path, saving, kNow), 0);
    RecordingNotify n1, n2;
    SchematicLoad from_file = schematic_load(path, n1);
    SchematicLoad from_bytes = decode(*read_file(path), n2);
    ASSERT_TRUE(from_file.schematic && from_bytes.schematic) << "seed " << seed;
    EXPECT_EQ(from_file.code, from_bytes.code);
    EXPECT_EQ(n1.texts(), n2.texts());
    EXPECT_TRUE(encode(*from_file.schematic) == encode(*from_bytes.schematic)) << "seed " << seed;
  }
}

TEST_F(SchematicFiles, WhatIsNotARegularFileIsRefusedAtOnce) {
  RecordingNotify n;
  // A FIFO would block an ordinary open until someone wrote to it.
  ASSERT_EQ(::mkfifo(at("fifo.sch").c_str(), 0600), 0);
  EXPECT_EQ(schematic_load(at("fifo.sch"), n).code, kLoadCannotOpen);
  EXPECT_EQ(n.last(), "Cannot open " + at("fifo.sch"));
  std::filesystem::create_directories(at("folder.sch"));
  EXPECT_EQ(schematic_load(at("folder.sch"), n).code, kLoadCannotOpen);
  // An empty file opens, and is no schematic.
  write_file_atomic(at("empty.sch"), std::string());
  const SchematicLoad empty = schematic_load(at("empty.sch"), n);
  EXPECT_EQ(empty.code, kLoadShort);
  EXPECT_FALSE(empty.schematic);
}

TEST(SchematicFile, SiblingNames) {
  EXPECT_EQ(schematic_sibling("/a/b.c/amp.sch", "bks"), "/a/b.c/amp.bks");
  EXPECT_EQ(schematic_sibling("amp", sheet_extension('s', 3)), "amp.s03");
  EXPECT_EQ(sheet_extension('b', 100), "b00");
}

}  // namespace
}  // namespace zephyrim
