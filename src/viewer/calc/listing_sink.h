#pragma once
// The listing readers' sink on the calculation side: the "#" statements of a
// listing go to the statement dispatcher, .WATCH lines to the automatic plot's
// set-up, the user parameter table to the expression evaluator's table.
#include <iosfwd>
#include <string_view>

#include "viewer/calc/expression.h"
#include "viewer/calc/script.h"
#include "viewer/data/spice_listing.h"

namespace zephyrim {

class Notify;

class ScriptListingSink final : public ListingSink {
 public:
  ScriptListingSink(ScriptState& state, UserParameters& parameters, Notify& notify)
      : state_(state), parameters_(parameters), notify_(notify) {}

  // Forgets the statements of an earlier listing; the user parameters stay,
  // as they belong to the data loaded, not to one listing.
  void begin() override;
  int statement(std::string_view statement, std::string_view full_line) override;
  bool subtitle_line(std::string_view line) override;
  void watch(std::string_view line) override;
  int user_parameters(std::istream& listing) override;

 private:
  ScriptState& state_;
  UserParameters& parameters_;
  Notify& notify_;
};

}  // namespace zephyrim
