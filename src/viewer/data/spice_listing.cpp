#include "viewer/data/spice_listing.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <istream>
#include <streambuf>
#include <vector>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/mapped_file.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/print_tables.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {

using namespace listing;

namespace {

constexpr int kSubtitleFirstLine = 5;  // lines after the circuit title that may hold the subtitle
constexpr int kSubtitleLastLine = 7;
constexpr size_t kDcFieldsMin = 8;

// The listing's bytes after a point, as a stream for the sink's table reader;
// what it took is known afterwards. The bytes are only ever read.
class ViewStreamBuf : public std::streambuf {
 public:
  explicit ViewStreamBuf(std::string_view text) {
    char* p = const_cast<char*>(text.data());
    setg(p, p, p + text.size());
  }
  size_t consumed() const { return static_cast<size_t>(gptr() - eback()); }
};

std::vector<std::string_view> fields_of(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && blank(s[i])) ++i;
    const size_t start = i;
    while (i < s.size() && !blank(s[i])) ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

bool number(std::string_view field, double& value) {
  std::string text(field);
  return parse_eng(text, value) >= 0;
}

std::string cut(std::string_view s, size_t from, size_t count) {
  return from < s.size() ? std::string(s.substr(from, count)) : std::string();
}

ListingType type_of(std::string_view upper) {
  if (contains(upper, "SPICE3") || contains(upper, "XSPICE") || contains(upper, "NGSPICE"))
    return ListingType::spice3;
  if (contains(upper, "H S P I C E") || contains(upper, "HSPICE")) return ListingType::hspice;
  if (contains(upper, "SPICE")) return ListingType::own;
  return ListingType::unknown;
}

// The .AC and .DC facts of an upper-cased deck line.
void analysis_line(std::string_view upper, ListingFacts& facts) {
  if (!upper.starts_with(".AC ") && !upper.starts_with(".DC ")) return;
  const auto f = fields_of(upper);
  if (upper.starts_with(".AC ")) {
    if (f.size() > 1 && f[1] == "LIN") facts.linear_ac = true;
    return;
  }
  if (f.size() < kDcFieldsMin) return;
  // .DC [LIN|OCT|DEC|LIST] source start stop ...
  const size_t source = f[1] == "LIN" || f[1] == "OCT" || f[1] == "DEC" || f[1] == "LIST" ? 2 : 1;
  double start = 0, stop = 0;
  if (number(f[source + 1], start) && number(f[source + 2], stop)) facts.dc_sweep = start > stop ? 2 : 1;
}

void temperature_line(std::string_view upper, ListingFacts& facts) {
  const auto f = fields_of(upper);
  double t = 0;
  if (f.size() == 2 && f[0] == ".TEMP" && number(f[1], t) && t != 27)
    facts.temperature = strprintf("Temp=%g", t);
}

void job_time(std::string_view line, ListingFacts& facts) {
  facts.job_time = std::string(line.substr(0, kJobTimeChars)) + " secs.";
}

void statement(ListingSink& sink, std::string_view cleaned, std::string_view full_line) {
  sink.statement(ascii_upper(trim_trailing(cleaned)), full_line);
}

// What the SPICE3 listing marks for reading afterwards.
struct Marks {
  bool raw = false;
  bool probe = false;
  bool print = false;   // .PRINT lines: tables of the own format
  bool spice3 = false;  // SPICE3-format or ngspice Fourier tables seen
  bool any() const { return raw || probe || print || spice3; }
};

class ListingReader {
 public:
  ListingReader(DataStore& store, std::string_view text, const std::string& path, ListingSink& sink,
                ListingFacts& facts)
      : store_(store), text_(text), path_(path), sink_(sink), facts_(facts), lines_(text) {}

  ListingType find_type(std::string_view& type_line);
  void read_own(std::string_view type_line);
  void read_spice3(bool spice3_entry);

 private:
  void own_line(std::string_view line, int after_title);
  void user_parameters();
  Marks spice3_facts();
  void read_probe();

  DataStore& store_;
  std::string_view text_;
  const std::string& path_;
  ListingSink& sink_;
  ListingFacts& facts_;
  ListingLines lines_;
  bool comment_ = false;
};

ListingType ListingReader::find_type(std::string_view& type_line) {
  std::string_view line;
  while (lines_.next(line)) {
    const ListingType type = type_of(ascii_upper(line));
    if (type != ListingType::unknown) {
      type_line = line;
      return type;
    }
  }
  return ListingType::unknown;
}

void ListingReader::read_own(std::string_view type_line) {
  store_.progress().show("Reading SPICE output file...");
  facts_.listing_title = cut(type_line, 1, kListingTitleChars);
  std::string_view line;
  lines_.next(line);
  if (lines_.next(line)) facts_.circuit_title = cut(line, 1, kCircuitTitleChars);
  for (int after_title = 1; lines_.next(line); ++after_title) own_line(line, after_title);
  print_read_tables(store_, text_, facts_);
  read_probe();
}

void ListingReader::own_line(std::string_view line, int after_title) {
  if (sink_.subtitle_line(line)) return;
  const std::string_view t = trim_leading(line);
  if (comment_) {
    comment_ = !contains(t, "*/");
    return;
  }
  if (t.starts_with("/*")) {
    comment_ = !contains(t.substr(2), "*/");
    return;
  }
  if (t.starts_with("0WARNING: ") || t.starts_with("*WARNING: ")) {
    ++facts_.warnings;
    return;
  }
  if (t.starts_with("0*ERROR*: ") || t.starts_with("**ERROR*: ")) {
    ++facts_.errors;
    return;
  }
  if (t.starts_with("**** USER GLOBAL PARAMETERS")) {
    user_parameters();
    return;
  }
  if (t.starts_with('*')) {
    const std::string_view text = trim_trailing(t);
    if (facts_.subtitle.empty() && after_title >= kSubtitleFirstLine && after_title <= kSubtitleLastLine &&
        text.find_first_not_of('*') != std::string_view::npos)
      facts_.subtitle = cut(text, 1, kCircuitTitleChars);
    return;
  }
  if (t.starts_with(';')) return;
  const std::string_view code = t.substr(0, t.find(';'));
  const std::string u = ascii_upper(trim_trailing(code));
  temperature_line(u, facts_);
  analysis_line(u, facts_);
  if (u.starts_with(".WATCH ")) sink_.watch(u);
  if (u.starts_with('#')) statement(sink_, code, line);
  if (contains(u, "TOTAL JOB TIME ")) job_time(t, facts_);
}

void ListingReader::user_parameters() {
  ViewStreamBuf buffer(lines_.rest());
  std::istream in(&buffer);
  sink_.user_parameters(in);
  lines_.seek(lines_.position() + buffer.consumed());
}

Marks ListingReader::spice3_facts() {
  Marks marks;
  bool circuit = false, date = false, after_dashes = false;
  std::string_view line;
  while (lines_.next(line)) {
    if (sink_.subtitle_line(line)) continue;
    const std::string_view t = trim_leading(line);
    const bool dashes = after_dashes;
    after_dashes = dash_line(line);
    if (t.starts_with('#')) {
      statement(sink_, t, line);
      continue;
    }
    for (const char* title : {"Input deck:", "Circuit:"}) {
      if (!circuit && t.starts_with(title)) {
        circuit = true;
        facts_.circuit_title =
            cut(trim_trailing(trim_leading(t.substr(std::strlen(title)))), 0, kCircuitTitleChars);
      }
    }
    if (!date && t.starts_with("Date:")) {
      date = true;
      facts_.date = std::string(trim_trailing(trim_leading(t.substr(5))));
    }
    if (t.starts_with("Warning: ") || t.starts_with("*WARNING: ")) ++facts_.warnings;
    if (t.starts_with("*ERROR*: ") || t.starts_with("Fatal error: ")) ++facts_.errors;
    const std::string u = ascii_upper(t);
    if (contains(u, "TOTAL JOB TIME") || contains(u, "TOTAL ELAPSED TIME:")) job_time(t, facts_);
    analysis_line(u, facts_);
    marks.raw = marks.raw || contains(u, ".RAW");
    marks.probe = marks.probe || contains(u, " .PROBE BINARY FILE ");
    marks.print = marks.print || contains(u, ".PRINT ");
    marks.spice3 =
        marks.spice3 || (dashes && t.starts_with("Index ")) || istarts_with(t, "Fourier analysis for ");
  }
  return marks;
}

void ListingReader::read_spice3(bool spice3_entry) {
  store_.progress().show("Reading XSPICE/SPICE3 output file...");
  // ngspice may name itself only in its closing lines: the facts are read from the top.
  lines_.seek(0);
  const Marks marks = spice3_facts();
  if (marks.raw) {
    const std::string raw = listing_data_file(path_, "RAW");
    if (raw_read_file(store_, raw, false) > 0) facts_.data_file = raw;
  }
  if (marks.probe) read_probe();
  if (marks.print) print_read_tables(store_, text_, facts_);
  if (marks.spice3) print3_read_tables(store_, text_, facts_);
  if (!marks.any()) {
    if (spice3_entry)
      print3_read_tables(store_, text_, facts_);
    else
      print_read_tables(store_, text_, facts_);
    read_probe();
  }
}

void ListingReader::read_probe() {
  const std::string sav = listing_data_file(path_, "SAV");
  if (!file_exists(sav)) return;
  if (probe_read_file(store_, sav) > 0) facts_.data_file = sav;
}

enum class Entry { any, spice3 };

int read_listing(DataStore& store, const std::string& path, ListingSink& sink, ListingFacts& facts,
                 Entry entry) {
  facts = ListingFacts{};
  MappedFile file;
  if (!file.open(path)) {
    store.notify().error("Cannot open file " + path);
    return 0;
  }
  const std::string_view text(reinterpret_cast<const char*>(file.bytes().data()), file.bytes().size());
  ListingReader reader(store, text, path, sink, facts);
  std::string_view type_line;
  facts.type = entry == Entry::spice3 ? ListingType::spice3 : reader.find_type(type_line);
  if (facts.type == ListingType::unknown) {
    store.notify().error("Unknown SPICE output file type");
    return 0;
  }
  // Vectors waiting for their values name the data file being read.
  if (store.current_data_file() == 0) store.open_data_file(path);
  const int before = store.total_vectors();
  sink.begin();
  if (facts.type == ListingType::own) reader.read_own(type_line);
  if (facts.type == ListingType::spice3) reader.read_spice3(entry == Entry::spice3);
  facts.vectors = store.total_vectors() - before;
  store.progress().show(entry == Entry::spice3 ? "Finished reading XSPICE/SPICE3 output file"
                                               : "Finished reading SPICE output file");
  store.progress().done();
  if (facts.vectors <= 0) store.notify().error("No data found in this file");
  return 1;
}

}  // namespace

std::string listing_data_file(const std::string& listing, std::string_view upper_extension) {
  const std::string ext = std::filesystem::path(listing).extension().string();
  const bool lower = std::any_of(ext.begin(), ext.end(), [](char c) { return c >= 'a' && c <= 'z'; }) &&
                     std::none_of(ext.begin(), ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  const std::string upper(upper_extension), low = ascii_lower(upper_extension);
  const std::string first = with_extension(listing, lower ? low : upper);
  if (file_exists(first)) return first;
  const std::string other = with_extension(listing, lower ? upper : low);
  return file_exists(other) ? other : first;
}

int spice_read_listing(DataStore& store, const std::string& path, ListingSink& sink, ListingFacts& facts) {
  return read_listing(store, path, sink, facts, Entry::any);
}

int spice3_read_listing(DataStore& store, const std::string& path, ListingSink& sink, ListingFacts& facts) {
  return read_listing(store, path, sink, facts, Entry::spice3);
}

}  // namespace zephyrim
