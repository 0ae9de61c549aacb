#include "symbols/symbol_record.h"

namespace zephyrim {

bool symbol_identical(const SymbolRecord& a, const SymbolRecord& b) {
  return a.kind == b.kind && a.reserved8 == b.reserved8 && a.name == b.name &&
         a.description == b.description && a.default_value == b.default_value && a.region == b.region &&
         a.pins == b.pins && a.draws == b.draws && a.rotatable == b.rotatable && a.rot_draws == b.rot_draws &&
         a.rot_region == b.rot_region && a.rot_pins == b.rot_pins && a.text236 == b.text236 &&
         a.reserved240 == b.reserved240 && a.template_text == b.template_text && a.text260 == b.text260 &&
         a.model_link_kind == b.model_link_kind && a.model_file == b.model_file && a.text272 == b.text272;
}

}  // namespace zephyrim
