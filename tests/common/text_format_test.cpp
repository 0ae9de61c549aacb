#include "common/text_format.h"

#include <gtest/gtest.h>

#include <optional>

namespace zephyrim {
namespace {

TEST(TextCase, AsciiOnlyWhateverTheLocale) {
  EXPECT_EQ(ascii_upper("v(out)_1.lib"), "V(OUT)_1.LIB");
  EXPECT_EQ(ascii_lower("V(OUT)@Z"), "v(out)@z");
  EXPECT_EQ(ascii_upper('q'), 'Q');
  EXPECT_EQ(ascii_lower('['), '[');                  // next to the letters, not one of them
  EXPECT_EQ(ascii_upper("\xE9t\xE9"), "\xE9T\xE9");  // bytes above 127 stay
  EXPECT_TRUE(iequals("Power+", "POWER+"));
  EXPECT_FALSE(iequals("\xE9", "\xC9"));
  EXPECT_FALSE(iequals("GND", "GN"));
  EXPECT_FALSE(iequals("@", "`"));  // 0x40 and 0x60 differ by the case bit but are no letters
}

TEST(TextCase, StartsWithoutRegardToCase) {
  EXPECT_TRUE(istarts_with(".lib models.lib", ".LIB"));
  EXPECT_TRUE(istarts_with("Rev: 3", "REV: "));
  EXPECT_TRUE(istarts_with("anything", ""));
  EXPECT_TRUE(istarts_with(".End", ".END"));
  EXPECT_FALSE(istarts_with(".EN", ".END"));  // shorter than the prefix
  EXPECT_FALSE(istarts_with("REV:3", "REV: "));
  EXPECT_FALSE(istarts_with(" .LIB", ".LIB"));
}

// Reads a quoted text back; absent when it is not one quote_text() could have made.
std::optional<std::string> unquote(std::string_view q) {
  if (q.size() < 2 || q.front() != '"' || q.back() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i + 1 < q.size(); ++i) {
    const char c = q[i];
    if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i + 1 >= q.size()) return std::nullopt;
    if (q[i] == '"' || q[i] == '\\') {
      out += q[i];
    } else if (q[i] == 'n') {
      out += '\n';
    } else if (q[i] == 'x' && i + 3 < q.size()) {
      out += static_cast<char>(std::stoi(std::string(q.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

TEST(QuoteText, EveryByteShowsAndReadsBack) {
  EXPECT_EQ(quote_text(""), "\"\"");
  EXPECT_EQ(quote_text("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
  EXPECT_EQ(quote_text("a\nb\tc\x7f"), "\"a\\nb\\x09c\\x7F\"");
  EXPECT_EQ(quote_text("\xC3\xA9"), "\"\xC3\xA9\"");  // UTF-8 stays readable
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  for (const std::string& text : {std::string("\\\"\\\""), std::string("\\n"), std::string(1, '\0'), every}) {
    const std::string q = quote_text(text);
    EXPECT_EQ(unquote(q), text) << q;
  }
}

}  // namespace
}  // namespace zephyrim
