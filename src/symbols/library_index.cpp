// The .IDX index beside each symbol library.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "symbols/library_lines.h"
#include "symbols/symbol_library.h"

namespace zephyrim {

namespace {

constexpr int kOldestIndexVersion = 714;  // an index of this version or older is rebuilt
constexpr int kNewestIndexVersion = 1000;
constexpr int32_t kMaxModelName = 256;

std::string index_path_for(const std::string& path) {
  return with_extension(path, "IDX");
}

// The stamp and each entry: one field list for the writer and the reader.
template <typename Io, typename S>
void stamp_fields(Io& io, S& s) {
  io.i32(s.attributes);
  io.i32(s.created);
  io.i32(s.accessed);
  io.i32(s.written);
  io.i32(s.size);
  io.text(s.file_name);
}

template <typename Io, typename E>
void entry_fields(Io& io, E& e) {
  io.text(e.name);
  io.text(e.default_value);
  io.text(e.description);
  io.i64(e.position);
}

bool decode_stamp(ByteReader& r, LibraryStamp& s) {
  FieldReader io(r);
  stamp_fields(io, s);
  return !r.failed();
}

// What an index holds after its stamp and version.
bool decode_body(ByteReader& r, SymbolIndex& index) {
  int32_t n = 0;
  if (!r.i32(n) || n < 0 || n > kMaxModelName) return false;
  if (!r.nul_text(static_cast<size_t>(n), index.model_file)) return false;
  int32_t count = 0;
  if (!r.i32(count) || count < 0 || static_cast<uint64_t>(count) * kIndexEntrySize > r.remaining())
    return false;
  index.entries.resize(static_cast<size_t>(count));
  FieldReader io(r);
  for (auto& e : index.entries) {
    entry_fields(io, e);
    if (r.failed()) return false;
    e.name.terminate();
    e.default_value.terminate();
    e.description.terminate();
    e.word = 0;
  }
  return true;
}

// Did the library change since the index was made? The write time as the index
// stores it, and the size, which also catches an edit within the same second.
bool stamp_matches(const LibraryStamp& stored, const LibraryStamp& now) {
  return stored.written == now.written && stored.size == now.size;
}

}  // namespace

std::optional<LibraryStamp> library_stamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  LibraryStamp s;
  s.attributes = static_cast<int32_t>(st.st_mode & 0xffff);
  s.created = static_cast<int32_t>(st.st_ctime);
  s.accessed = static_cast<int32_t>(st.st_atime);
  s.written = static_cast<int32_t>(st.st_mtime);
  s.size = static_cast<int32_t>(std::min<int64_t>(st.st_size, INT32_MAX));
  s.file_name.assign(std::filesystem::path(path).filename().string());
  return s;
}

SymbolIndex index_build(std::string_view text, const std::string& path, Notify& notify) {
  SymbolIndex index;
  bool have_model = false;
  LibraryLines lines(text, 0);
  std::string_view line;
  while (lines.next(line)) {
    if (!line.empty() && line[0] == '*') continue;
    if (istarts_with(line, ".LIB")) {
      if (have_model) {
        notify.warning(
            strprintf("Extra model library statement found ignored for symbol library:\n%s", path.c_str()));
        continue;
      }
      have_model = true;
      size_t a = line.find_first_of(" \t");
      if (a != std::string_view::npos) {
        a = line.find_first_not_of(" \t", a);
        if (a != std::string_view::npos) {
          const size_t b = line.find_first_of(" \t", a);
          index.model_file =
              std::string(line.substr(a, b == std::string_view::npos ? b : b - a)).substr(0, kMaxModelName);
        }
      }
    } else if (!line.empty() && line[0] == '[') {
      if (static_cast<int>(index.entries.size()) >= kMaxLibrarySymbols) break;
      SymbolIndexEntry e;
      std::string name, description;
      parse_header_line(line, name, description);
      e.name.assign(name);
      e.description.assign(description);
      e.position = static_cast<int64_t>(lines.position());
      index.entries.push_back(e);
    } else if (line.starts_with("V[") && !index.entries.empty()) {
      const size_t open = line.find('[');
      const size_t close = line.rfind(']');
      std::string_view v = close == std::string_view::npos || close <= open
                               ? line.substr(open + 1)
                               : line.substr(open + 1, close - open - 1);
      index.entries.back().default_value.assign(v.substr(0, 31));
    }
  }
  std::stable_sort(index.entries.begin(), index.entries.end(), [](const auto& a, const auto& b) {
    return a.name.str() < b.name.str();  // byte order, case-sensitive
  });
  return index;
}

std::vector<uint8_t> index_encode(const SymbolIndex& index) {
  ByteWriter w;
  FieldWriter io(w);
  stamp_fields(io, index.stamp);
  w.i32(index.version);
  w.counted_text32(std::string_view(index.model_file).substr(0, kMaxModelName));
  w.i32(static_cast<int32_t>(index.entries.size()));
  for (const auto& e : index.entries) entry_fields(io, e);
  return w.take();
}

std::optional<SymbolIndex> index_decode(std::string_view bytes) {
  ByteReader r({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  SymbolIndex index;
  if (!decode_stamp(r, index.stamp) || !r.i32(index.version) || !decode_body(r, index)) return std::nullopt;
  return index;
}

int library_reindex(SymbolLibrary& lib, Notify& notify) {
  auto text = read_text_file(lib.path);
  auto stamp = library_stamp(lib.path);
  if (!text || !stamp) {
    notify.error(strprintf("Cannot index. Error opening library file:\n%s", lib.path.c_str()));
    lib.index = SymbolIndex{};
    return 0;
  }
  lib.text = std::move(*text);
  SymbolIndex index = index_build(lib.text, lib.path, notify);
  if (index.entries.empty()) {
    notify.error(strprintf("No symbols found in library file:\n%s", lib.path.c_str()));
    lib.index = SymbolIndex{};
    return 0;
  }
  index.stamp = *stamp;
  // The index is kept in memory even when it cannot be written (a library in a
  // folder the user may not write to still opens).
  lib.index = index;
  if (lib.index_path.empty()) lib.index_path = index_path_for(lib.path);
  if (!write_file_atomic(lib.index_path, index_encode(index))) {
    notify.error(strprintf("Cannot create symbol library index file:\n%s", lib.index_path.c_str()));
    return 0;
  }
  return 1;
}

int library_open(SymbolLibrary& lib, const std::string& path, Notify& notify) {
  lib = SymbolLibrary{};
  lib.path = path;
  lib.index_path = index_path_for(path);
  // Rebuilding once is enough: a second mismatch means the index cannot be
  // written, and the one built in memory serves.
  bool rebuilt = false;
  auto rebuild = [&]() {
    rebuilt = true;
    return library_reindex(lib, notify) == 1 || !lib.index.entries.empty();
  };
  for (;;) {
    const auto stamp = library_stamp(path);
    auto bytes = read_file(lib.index_path, 64u << 20);
    if (!bytes) {
      if (rebuilt) return lib.index.entries.empty() ? 0 : 1;
      if (!rebuild()) return 0;
      continue;
    }
    ByteReader r(*bytes);
    SymbolIndex index;
    bool ok = decode_stamp(r, index.stamp);
    if (ok && stamp && !stamp_matches(index.stamp, *stamp)) {
      if (rebuilt) return lib.index.entries.empty() ? 0 : 1;
      if (!rebuild()) return 0;
      continue;
    }
    ok = ok && r.i32(index.version);
    if (ok && (index.version <= kOldestIndexVersion || index.version > kNewestIndexVersion)) {
      if (rebuilt) return lib.index.entries.empty() ? 0 : 1;
      if (!rebuild()) return 0;
      continue;
    }
    ok = ok && decode_body(r, index);
    if (!ok) {
      const int a = notify.question(
          "Error reading symbol library index file.\nDo you want to reindex library?", QuestionKind::YesNo);
      if (a == 1 && !rebuilt) {
        if (!rebuild()) return 0;
        continue;
      }
      lib.index = SymbolIndex{};
      lib.text = read_text_file(path).value_or(std::string());
      return 1;
    }
    auto text = read_text_file(path);
    if (!text) {
      notify.error(strprintf("Cannot open library file:\n%s", path.c_str()));
      return 0;
    }
    lib.text = std::move(*text);
    lib.index = std::move(index);
    return 1;
  }
}

int library_write_listing(const SymbolLibrary& lib, Notify& notify) {
  const std::string out_path = lib.path + ".TXT";
  std::string s = strprintf("INDEX FOR SYMBOL LIBRARY FILE: %s\n\n", lib.path.c_str());
  for (size_t i = 0; i < lib.index.entries.size(); ++i)
    s += strprintf("%4d %s\t\t%s\n", static_cast<int>(i), lib.index.entries[i].name.str().c_str(),
                   lib.index.entries[i].description.str().c_str());
  s += strprintf("\nNUMBER OF SYMBOLS IN LIBRARY=%d\n\n", static_cast<int>(lib.index.entries.size()));
  if (!write_file_atomic(out_path, s)) {
    notify.error(strprintf("Cannot open index write file:\n%s", out_path.c_str()));
    return 0;
  }
  notify.information(strprintf("Symbol file index written to:\n%s", out_path.c_str()));
  return 1;
}

}  // namespace zephyrim
