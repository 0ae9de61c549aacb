#include "symbols/draw_command.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr int kTextFirstArg = 16;
constexpr int kTextBytes = 16;
constexpr size_t kMaxItems = 20;  // the letter and at most 19 arguments
constexpr size_t kMaxItemLength = 15;
constexpr int kMaxPolyValues = 15;
constexpr const char* kLetters = "FVMCEARPZTLDSO";

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '(' || c == ')';
}

std::vector<std::string> split_items(std::string_view piece) {
  std::vector<std::string> items;
  size_t i = 0;
  while (i < piece.size() && items.size() < kMaxItems) {
    while (i < piece.size() && is_separator(piece[i])) ++i;
    if (i >= piece.size()) break;
    const size_t start = i;
    while (i < piece.size() && !is_separator(piece[i])) ++i;
    items.emplace_back(piece.substr(start, std::min(i - start, kMaxItemLength)));
  }
  return items;
}

// The integer of an item; garbage reads as 0 and huge values are clamped.
int32_t to_int(const std::string& s) {
  errno = 0;
  const long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

int32_t arg(const std::vector<std::string>& items, size_t i, int32_t fallback = 0) {
  return i < items.size() ? to_int(items[i]) : fallback;
}

int32_t offset(int32_t v, int d) {
  return static_cast<int32_t>(static_cast<int64_t>(v) + d);
}

int32_t zero_or_one(int32_t v) {
  return v == 1 ? 1 : 0;
}

}  // namespace

std::string DrawCommand::text() const {
  std::string out;
  for (int i = 0; i < kTextBytes; ++i) {
    const auto u = static_cast<uint32_t>(args[kTextFirstArg + i / 4]);
    const char c = static_cast<char>((u >> (8 * (i % 4))) & 0xff);
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

void DrawCommand::set_text(const std::string& s) {
  uint32_t words[4] = {0, 0, 0, 0};
  for (int i = 0; i < kTextBytes - 1 && i < static_cast<int>(s.size()); ++i)
    words[i / 4] |= static_cast<uint32_t>(static_cast<uint8_t>(s[i])) << (8 * (i % 4));
  for (int w = 0; w < 4; ++w) args[kTextFirstArg + w] = static_cast<int32_t>(words[w]);
}

int draw_parse(const std::string& text, int dx, int dy, std::vector<DrawCommand>& out,
               const std::string& symbol_name, Notify& notify) {
  out.clear();
  std::vector<DrawCommand> parsed;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string_view piece(text.data() + start, end - start);
    start = end + 1;
    // Library authors indent drawing lines; the letter is the first non-blank.
    while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t')) piece.remove_prefix(1);
    if (piece.empty() || !std::strchr(kLetters, piece.front())) continue;

    const std::vector<std::string> items = split_items(piece);
    DrawCommand c;
    c.op = static_cast<uint8_t>(piece.front());
    switch (c.op) {
      case 'M':
      case 'V':
        c.args[0] = offset(arg(items, 1), dx);
        c.args[1] = offset(arg(items, 2), dy);
        break;
      case 'A':
        for (int i = 0; i < 6; ++i) c.args[i] = arg(items, 1 + i);
        c.args[0] = offset(c.args[0], dx);
        c.args[1] = offset(c.args[1], dy);
        break;
      case 'C':
      case 'E':
        for (int i = 0; i < (c.op == 'C' ? 3 : 4); ++i) c.args[i] = arg(items, 1 + i);
        c.args[0] = offset(c.args[0], dx);
        c.args[1] = offset(c.args[1], dy);
        break;
      case 'R':
      case 'D':
        for (int i = 0; i < (c.op == 'R' ? 4 : 6); ++i)
          c.args[i] = offset(arg(items, 1 + i), i % 2 ? dy : dx);
        break;
      case 'P':
      case 'Z': {
        const int32_t n = arg(items, 1);
        const int64_t present = items.size() > 2 ? static_cast<int64_t>(items.size()) - 2 : 0;
        int64_t count = std::min<int64_t>({2 * static_cast<int64_t>(std::max(n, 0)), present, 18});
        for (int i = 0; i < count; ++i) c.args[i] = offset(arg(items, 2 + i), i % 2 ? dy : dx);
        if (count > kMaxPolyValues) {
          notify.error(strprintf("Error: number of parameters exceed limit in symbol plot command:\n%.*s",
                                 static_cast<int>(piece.size()), piece.data()));
          count = kMaxPolyValues;
        }
        c.arg_count = static_cast<int32_t>(count);
        break;
      }
      case 'S':
        if (items.size() < 2 || items[1] != "A") continue;  // not an arrow: no command
        c.args[0] = 0;
        c.args[1] = arg(items, 2);
        for (int i = 0; i < 4; ++i) c.args[2 + i] = offset(arg(items, 3 + i), i % 2 ? dy : dx);
        break;
      case 'F':
        break;
      case 'T': {
        c.args[0] = zero_or_one(arg(items, 2));
        double size = items.size() > 3 ? std::strtod(items[3].c_str(), nullptr) : 1.0;
        if (!(size > 0) || !std::isfinite(size)) size = 1.0;
        c.args[1] = static_cast<int32_t>(std::lround(std::min(size, 1e7) * 100.0));
        c.args[2] = arg(items, 4, 1);
        c.args[3] = arg(items, 5, 1);
        c.set_text(items.size() > 1 ? items[1] : std::string());
        break;
      }
      case 'L': {
        const std::string which = items.size() > 1 ? items[1] : std::string();
        if (which == "R")
          c.args[0] = 0;
        else if (which == "V")
          c.args[0] = 1;
        else if (which == "P")
          c.args[0] = 2;
        else
          c.args[0] = offset(to_int(which), 10);
        c.args[1] = zero_or_one(arg(items, 2));
        c.args[2] = offset(arg(items, 3), dx);
        c.args[3] = offset(arg(items, 4), dy);
        c.args[4] = arg(items, 5, 0);
        c.args[5] = arg(items, 6, 2);
        break;
      }
      case 'O':
        dx = arg(items, 1);
        dy = arg(items, 2);
        break;
      default:
        continue;
    }
    parsed.push_back(c);
    if (parsed.size() > static_cast<size_t>(kMaxDrawCommands)) {
      notify.error(strprintf("Error: symbol %s number of draw commands exceed limit", symbol_name.c_str()));
      return 0;
    }
  }
  out = std::move(parsed);
  return static_cast<int>(out.size());
}

std::string draw_format(const DrawCommand& c) {
  std::string s = strprintf("%c(", static_cast<char>(c.op));
  auto values = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      if (i > from) s += ',';
      s += strprintf("%d", c.args[i]);
    }
  };
  switch (c.op) {
    case 'A':
    case 'D':
      values(0, 6);
      break;
    case 'C':
      values(0, 3);
      break;
    case 'E':
    case 'R':
      values(0, 4);
      break;
    case 'M':
    case 'V':
      values(0, 2);
      break;
    case 'L':
      if (c.args[0] >= 0 && c.args[0] <= 2)
        s += strprintf("%c,", "RVP"[c.args[0]]);
      else
        s += strprintf("%lld,", static_cast<long long>(c.args[0]) - 10);
      values(1, 6);
      break;
    case 'P':
    case 'Z': {
      const int count = std::clamp<int>(c.arg_count, 0, 18);
      s += strprintf("%d", (count + 1) / 2);
      if (count > 0) s += ',';
      values(0, count);
      break;
    }
    case 'S':
      s += "A,";
      values(1, 6);
      break;
    case 'T':
      s += strprintf("%s,%d", c.text().c_str(), c.args[0]);
      // Alignments other than the default follow the size, so that a symbol
      // written to a library and read back keeps where its text stands.
      if (c.args[2] != 1 || c.args[3] != 1)
        s += strprintf(",%f,%d,%d", c.args[1] / 100.0, c.args[2], c.args[3]);
      else if (c.args[1] != 100)
        s += strprintf(",%f", c.args[1] / 100.0);
      break;
    default:
      break;
  }
  s += ')';
  return s;
}

void orient_point(int& x, int& y, int scale, const int32_t* steps, int count) {
  x *= scale;
  y *= scale;
  for (int i = 0; i < count; ++i) {
    const int px = x, py = y;
    switch (steps[i]) {
      case 1:
        x = py;
        y = -px;
        break;
      case 5:
        x = -px;
        break;
      case 6:
        y = -py;
        break;
      default:
        break;
    }
  }
}

}  // namespace zephyrim
