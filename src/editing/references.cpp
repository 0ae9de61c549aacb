#include "editing/references.h"

#include <charconv>
#include <cstring>

#include "common/text_format.h"

namespace zephyrim {

namespace {

// The number after the reference's letter, or -1 when the reference is not
// that letter followed by digits only.
int reference_number(const std::string& ref, char letter) {
  if (ref.size() < 2 || ascii_upper(ref[0]) != letter) return -1;
  int n = -1;
  const char* end = ref.data() + ref.size();
  const auto r = std::from_chars(ref.data() + 1, end, n);
  return r.ec == std::errc() && r.ptr == end && n >= 0 ? n : -1;
}

bool in_scope(const Schematic& s, const Page& page, const PartRecord& p) {
  const BlockRecord* scope = s.page().edit_block ? s.page().edit_block : s.page().top();
  if (&page == &s.page()) return p.owner == scope;
  // Other pages count only for the top circuit.
  return scope == s.page().top() && p.owner == page.top();
}

template <typename F>
void for_each_in_scope(const Schematic& s, F&& f) {
  for (const auto& page : s.pages)
    for (const auto& p : page->parts)
      if (in_scope(s, *page, *p)) f(*p);
}

}  // namespace

char reference_letter(const PartRecord& p) {
  if (!p.device.empty()) return ascii_upper(p.device.str()[0]);
  if (!p.symbol || p.symbol->name.empty()) return 0;
  return ascii_upper(p.symbol->name.str()[0]);
}

int reference_counter_index(char letter) {
  if (letter == 0) return -1;
  const char* at = std::strchr(kReferenceLetters, ascii_upper(letter));
  return at ? static_cast<int>(at - kReferenceLetters) : -1;
}

int reference_counter_of(const PartRecord& p) {
  if (!p.symbol || p.symbol->kind == kSymbolGround) return -1;
  if (p.symbol->name.str() == "PINOUT") return kIoPinCounter;
  return reference_counter_index(reference_letter(p));
}

void references_recount(const Schematic& s, ReferenceCounters& c) {
  c.next.fill(1);
  for_each_in_scope(s, [&](const PartRecord& p) {
    const int k = reference_counter_of(p);
    if (k < 0) return;
    const int n = reference_number(p.reference.str(), kReferenceLetters[k]);
    if (n >= c.next[k]) c.next[k] = n + 1;
  });
}

int reference_assign(const Schematic& s, PartRecord& p, ReferenceCounters& c) {
  const int k = reference_counter_of(p);
  if (k < 0) return 0;
  const std::string own = p.reference.str();
  bool used = own.empty();
  if (!used)
    for_each_in_scope(s, [&](const PartRecord& q) {
      if (&q != &p && q.reference.str() == own) used = true;
    });
  const char letter = kReferenceLetters[k];
  if (used) {
    p.reference.assign(std::string(1, letter) + std::to_string(c.next[k]));
  }
  const int n = reference_number(p.reference.str(), letter);
  if (n >= c.next[k]) c.next[k] = n + 1;
  return used ? 1 : 0;
}

}  // namespace zephyrim
