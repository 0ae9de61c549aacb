#pragma once
// The part chooser: the current library's index with descriptions and default
// values, narrowed by a filter as the user types.
#include <QDialog>
#include <optional>
#include <string>

#include "symbols/symbol_library.h"

class QLineEdit;
class QTreeWidget;

namespace zephyrim {

class SymbolChooser : public QDialog {
  Q_OBJECT
 public:
  // kind 0 offers every symbol, otherwise only those of that kind.
  SymbolChooser(const SymbolLibrary& library, int kind, QWidget* parent = nullptr);
  std::optional<std::string> chosen() const;

 private:
  void refilter();
  QLineEdit* filter_;
  QTreeWidget* list_;
};

}  // namespace zephyrim
