#include <QtTest>

#include "viewer_test_support.h"

class ViewerPlotDialogsTest : public QObject {
  Q_OBJECT
};

QTEST_MAIN(ViewerPlotDialogsTest)
#include "viewer_plot_dialogs_test.moc"
