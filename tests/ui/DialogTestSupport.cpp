#include "DialogTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "tools/TestSupport.h"

namespace skimbrook::test {

namespace {

void PollForModal(std::function<void(QDialog&)> Action, int TriesLeft) {
  auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (Dialog == nullptr || !Dialog->isVisible()) {
    if (TriesLeft == 0) {
      ADD_FAILURE() << "no modal dialog was shown";
      return;
    }
    QTimer::singleShot(10, qApp, [Action, TriesLeft] { PollForModal(Action, TriesLeft - 1); });
    return;
  }
  QTimer::singleShot(10000, Dialog, [Dialog] {
    if (!Dialog->isVisible()) return;
    ADD_FAILURE() << Dialog->objectName().toStdString() << " did not close";
    Dialog->reject();
  });
  Action(*Dialog);
}

}  // namespace

void WhenModalShows(std::function<void(QDialog&)> Action) {
  QTimer::singleShot(0, qApp, [Action] { PollForModal(Action, 500); });
}

void PressKey(QWidget& Window, Qt::Key Key) {
  QWidget* Target = Window.focusWidget() != nullptr ? Window.focusWidget() : &Window;
  QTest::keyClick(Target, Key);
}

std::vector<std::string> TabOrder(QWidget& Window, int Count) {
  std::vector<std::string> Names;
  for (int I = 0; I < Count; ++I) {
    QWidget* Focused = Window.focusWidget();
    Names.push_back(Focused != nullptr ? Focused->objectName().toStdString() : "(none)");
    PressKey(Window, Qt::Key_Tab);
  }
  return Names;
}

}  // namespace skimbrook::test

// Window tests need the application object before the first test; the engine of the
// help window wants shared OpenGL contexts set before it exists.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  skimbrook::test::TTempDir Config;
  skimbrook::test::TScopedEnv ConfigHome("XDG_CONFIG_HOME", Config.Path());
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication App(argc, argv);
  return RUN_ALL_TESTS();
}
