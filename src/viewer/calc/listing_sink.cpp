#include "viewer/calc/listing_sink.h"

#include <istream>

#include "viewer/calc/autoplot.h"

namespace zephyrim {

void ScriptListingSink::begin() {
  script_begin_listing(state_);
}

int ScriptListingSink::statement(std::string_view statement, std::string_view full_line) {
  return dispatch_listing_statement(state_, statement, full_line, notify_);
}

bool ScriptListingSink::subtitle_line(std::string_view line) {
  return take_subtitle_line(state_, line);
}

// A .WATCH line carries the same options and traces as an #AUTOPLOT statement,
// its first word standing where the statement word stands.
void ScriptListingSink::watch(std::string_view line) {
  parse_autoplot(state_.autoplot, line, notify_);
}

int ScriptListingSink::user_parameters(std::istream& listing) {
  return expr_read_user_parameters(listing, parameters_, notify_);
}

}  // namespace zephyrim
