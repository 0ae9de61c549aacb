// Tools > Tabulate: a value the listing printed once per run, as a vector over the runs.
#include <QInputDialog>
#include <QLineEdit>

#include "common/text_format.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/calc/tabulate.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

void ViewerMainWindow::add_tabulate_handlers() {
  handle(CMD_TABULATE, [this] {
    // The listing first: without one there is nothing to ask about.
    TabulateListing listing;
    const std::string path = tabulate_listing_path(store_->current_data_path());
    if (!listing.open(path)) {
      notify_.error(strprintf("Cannot open file %s", path.c_str()));
      return;
    }
    QInputDialog dialog(this);
    dialog.setObjectName("tabulate_var");
    dialog.setWindowTitle(tr("Tabulate"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(tr("Variable name:"));
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(static_cast<int>(kTabulateNameMax));
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string name = ascii_upper(dialog.textValue().trimmed().toStdString());
    if (name.empty()) return;

    TabulateOutcome outcome;
    busy(tr("Tabulating variables ..."), [&] {
      outcome = tabulate_name(*store_, listing.text(), {name, ""});
    });
    if (outcome.points == 0) {
      notify_.error(strprintf("Variable %s not found", outcome.name.c_str()));
      return;
    }
    // A graph of its own: the values against RUN#, in the text class.
    cursors_.cursor[0].active = cursors_.cursor[1].active = false;
    view_->clear_zoom();
    graph_ = Graph{};
    forget_transforms();
    graph_.options = graph_options_of(config_);
    graph_.analysis = ANALYSIS_OTHER;
    graph_.cls = DATA_CLASS_TEXT;
    std::vector<TraceRequest> requests{{.name = outcome.name, .run = outcome.vector->run}};
    add_traces(requests);
    update_readout();
    update_actions();
    notify_.information(strprintf("TABULATE %s: %d data points found", outcome.name.c_str(), outcome.points));
  });
}

}  // namespace zephyrim
