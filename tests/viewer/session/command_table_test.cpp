// The viewer's command table: identifiers, menus, accelerators and kinds.
#include "viewer/session/command_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace zephyrim {
namespace {

std::vector<const ViewerCommand*> primaries() {
  std::vector<const ViewerCommand*> out;
  for (const ViewerCommand& c : viewer_commands())
    if (!c.secondary) out.push_back(&c);
  return out;
}

// QKeySequence's portable text for one key with at most one of each modifier,
// in Qt's order.
bool valid_accelerator(std::string_view s) {
  for (std::string_view mod : {"Ctrl+", "Alt+", "Shift+"})
    if (s.size() > mod.size() && s.substr(0, mod.size()) == mod) s.remove_prefix(mod.size());
  static const std::set<std::string_view> named = {"Ins",  "Del",  "Space", "Left", "Right",  "Up",
                                                   "Down", "Home", "End",   "PgUp", "PgDown", "Esc"};
  if (named.count(s)) return true;
  if (s.size() == 1)
    return (s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= '0' && s[0] <= '9') || s == "+" || s == "-";
  static const std::set<std::string_view> function_keys = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                                           "F7", "F8", "F9", "F10", "F11", "F12"};
  return function_keys.count(s) > 0;
}

TEST(ViewerCommandTable, EveryCommandOnceWithItsPlace) {
  // The identifiers of the command table, row by row.
  const std::vector<int> listed = {
      100, 102, 114, 112, 113, 103, 270, 109, 271, 110, 111, 274, 275, 126, 127, 108, 105, 106, 107, 101, 115,
      116, 117, 118, 119, 121, 124, 123, 122, 140, 141, 147, 142, 145, 144, 143, 149, 146, 148, 160, 161, 162,
      163, 164, 165, 166, 181, 180, 182, 190, 191, 193, 192, 194, 200, 201, 211, 212, 213, 214, 215, 216, 217,
      218, 203, 204, 208, 205, 206, 207, 219, 220, 202, 209, 230, 231, 232, 250, 240, 241, 244, 245, 246, 247,
      248, 251, 252, 249, 242, 243, 265, 264, 263, 268, 262, 261, 260, 273, 272, 266, 280, 276, 277, 278, 279,
      269, 267, 301, 302,
      // Beyond the classic table: About, Reload.
      303, 304};
  std::set<int> ids;
  for (const ViewerCommand* c : primaries()) EXPECT_TRUE(ids.insert(c->id).second) << "twice: " << c->id;
  EXPECT_EQ(ids, std::set<int>(listed.begin(), listed.end()));
  EXPECT_EQ(listed.size(), ids.size());

  for (const ViewerCommand& c : viewer_commands()) {
    EXPECT_FALSE(c.text.empty()) << c.id;
    ASSERT_FALSE(c.status_tip.empty()) << c.id;
    EXPECT_TRUE(c.status_tip.front() >= 'A' && c.status_tip.front() <= 'Z' && c.status_tip.back() == '.')
        << c.id;
    if (c.secondary) {
      EXPECT_NE(find_viewer_command(c.id), &c);
    }
  }

  const ViewerCommand* redraw = find_viewer_command(CMD_REDRAW);
  ASSERT_NE(redraw, nullptr);
  EXPECT_EQ(redraw->path[0], "Plot");
  EXPECT_EQ(redraw->text, "Redraw");
  EXPECT_EQ(find_viewer_command(999), nullptr);

  const ViewerCommand* inc = find_viewer_command(112);
  ASSERT_NE(inc, nullptr);
  EXPECT_EQ(inc->path, (MenuPath{"File", "Save As", "Text (ASCII) Data File"}));
  EXPECT_EQ(inc->text, "SPICE .INC Format");
  EXPECT_EQ(find_viewer_command(279)->path, (MenuPath{"Tools", "Play Audio"}));
  EXPECT_EQ(find_viewer_command(273)->text, "X at Maximum");
}

TEST(ViewerCommandTable, MenusInOrderAndSubmenusInOnePiece) {
  const auto menus = viewer_menus();
  const std::vector<std::string_view> expected = {"File", "Edit",      "Plot",    "Traces", "Axis", "Format",
                                                  "View", "Transform", "Cursors", "Tools",  "Help"};
  EXPECT_TRUE(std::equal(menus.begin(), menus.end(), expected.begin(), expected.end()));

  size_t last_menu = 0;
  std::map<std::string, size_t> first_row, last_row;
  std::map<std::string, int> rows;
  const auto commands = viewer_commands();
  for (size_t i = 0; i < commands.size(); ++i) {
    const MenuPath& p = commands[i].path;
    const auto at = std::find(menus.begin(), menus.end(), p[0]);
    ASSERT_NE(at, menus.end()) << commands[i].id;
    const auto menu = static_cast<size_t>(at - menus.begin());
    EXPECT_GE(menu, last_menu) << "menu out of order at " << commands[i].id;
    last_menu = menu;
    // A submenu left is never entered again, or the window would build it twice.
    std::string prefix(p[0]);
    for (size_t depth = 1; depth < kMaxMenuDepth && !p[depth].empty(); ++depth) {
      prefix += ">" + std::string(p[depth]);
      if (!first_row.count(prefix)) first_row[prefix] = i;
      last_row[prefix] = i;
      ++rows[prefix];
    }
    EXPECT_TRUE(p[2].empty() || !p[1].empty()) << commands[i].id;
  }
  EXPECT_EQ(last_menu, menus.size() - 1);
  for (const auto& [prefix, n] : rows)
    EXPECT_EQ(last_row[prefix] - first_row[prefix] + 1, static_cast<size_t>(n)) << prefix;
}

TEST(ViewerCommandTable, AcceleratorsUniqueAndInQtForm) {
  std::map<std::string_view, int> seen;
  for (const ViewerCommand& c : viewer_commands()) {
    if (c.accelerator.empty()) continue;
    EXPECT_TRUE(valid_accelerator(c.accelerator)) << c.id << ": " << c.accelerator;
    const auto [it, fresh] = seen.emplace(c.accelerator, c.id);
    EXPECT_TRUE(fresh) << c.accelerator << " on " << it->second << " and " << c.id;
  }
  const std::map<int, std::string_view> some = {
      {100, "Ctrl+O"},      {101, "Ctrl+W"}, {107, "Alt+X"},  {160, "Ins"},
      {161, "Del"},         {200, "+"},      {201, "-"},      {217, "Ctrl+PgUp"},
      {218, "Ctrl+PgDown"}, {250, "Space"},  {241, "Alt+2"},  {251, "Shift+F6"},
      {242, "Down"},        {301, "F1"},     {192, "Ctrl+S"}, {304, "F5"}};
  for (const auto& [id, key] : some) EXPECT_EQ(find_viewer_command(id)->accelerator, key) << id;
  EXPECT_EQ(seen.size(), 37u);
  // The check itself refuses what QKeySequence would not read.
  for (std::string_view bad :
       {"Control+O", "ctrl+o", "F13", "F0", "Ctrl+", "Spacebar", "PageUp", "Shift+Ctrl+A"})
    EXPECT_FALSE(valid_accelerator(bad)) << bad;
}

TEST(ViewerCommandTable, KindsAndWhatTheOperationsTake) {
  std::set<int> toggles, choices, recent;
  for (const ViewerCommand* c : primaries()) {
    if (c->kind == CommandKind::kToggle) toggles.insert(c->id);
    if (c->kind == CommandKind::kChoice) choices.insert(c->id);
    if (c->kind == CommandKind::kRecentFile) recent.insert(c->id);
    EXPECT_EQ(c->checkable(), c->kind == CommandKind::kToggle || c->kind == CommandKind::kChoice);
  }
  EXPECT_EQ(toggles,
            (std::set<int>{122, 123, 124, 163, 194, 208, 231, 240, 241, 247, 248, 249, 251, 252, 269, 279}));
  EXPECT_EQ(choices, (std::set<int>{205, 206, 207, 219, 220}));
  EXPECT_EQ(recent, (std::set<int>{115, 116, 117, 118, 119}));

  const std::map<int, int> args = {{102, 0}, {114, 1}, {112, 2}, {124, 3}, {123, 4}, {122, 5},
                                   {211, 1}, {218, 8}, {205, 0}, {206, 1}, {207, 2}, {219, 3},
                                   {220, 4}, {115, 1}, {119, 5}, {240, 1}, {241, 2}, {100, -1}};
  for (const auto& [id, arg] : args) EXPECT_EQ(find_viewer_command(id)->arg, arg) << id;
  for (int id = 211; id <= 218; ++id) EXPECT_EQ(find_viewer_command(id)->arg, id - 210);
}

TEST(PointerModes, LabelCommandsToggleTheirMode) {
  EXPECT_EQ(toggle_pointer_mode(POINTER_NORMAL, POINTER_ADD_LABEL), POINTER_ADD_LABEL);
  EXPECT_EQ(toggle_pointer_mode(POINTER_ADD_LABEL, POINTER_ADD_LABEL), POINTER_NORMAL);
  EXPECT_EQ(toggle_pointer_mode(POINTER_ADD_LABEL, POINTER_MOVE_LABEL), POINTER_MOVE_LABEL);
  EXPECT_EQ(toggle_pointer_mode(POINTER_ZOOM_AREA, POINTER_DELETE_LABEL), POINTER_DELETE_LABEL);
  EXPECT_EQ(static_cast<int>(POINTER_MOVE_LABEL), 5);
}

}  // namespace
}  // namespace zephyrim
