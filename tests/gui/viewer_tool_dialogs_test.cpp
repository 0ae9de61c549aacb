#include <QtTest>

#include "viewer_test_support.h"

class ViewerToolDialogsTest : public QObject {
  Q_OBJECT
};

QTEST_MAIN(ViewerToolDialogsTest)
#include "viewer_tool_dialogs_test.moc"
