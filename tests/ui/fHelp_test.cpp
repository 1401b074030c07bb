#include "ui/dialogs/fHelp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "DialogTestSupport.h"

namespace skimbrook {
namespace {

std::vector<TfmHelp*> HelpWindows() {
  std::vector<TfmHelp*> Found;
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    if (auto* Help = qobject_cast<TfmHelp*>(Window)) Found.push_back(Help);
  }
  return Found;
}

bool WaitFor(const std::function<bool()>& Condition) {
  return QTest::qWaitFor(Condition, 20000);
}

// The window is kept for the whole run, so its story is told in one test.
TEST(HelpWindow, IsOneKeptWindowThatLoadsThePageAgainOnEveryCall) {
  QWidget Main;
  Main.setGeometry(100, 80, 900, 700);
  Main.show();
  ShowHelpWindow(&Main);

  ASSERT_EQ(HelpWindows().size(), 1u);
  TfmHelp* Help = HelpWindows().front();
  // A load that another call replaces before it ends reports no start of its own, so the
  // finished loads are counted, one call at a time.
  int Loads = 0;
  QObject::connect(Help->WebBrowser, &QWebEngineView::loadFinished, Help, [&Loads] { ++Loads; });
  EXPECT_TRUE(Help->isVisible());
  EXPECT_EQ(Help->windowTitle(), QStringLiteral("Help"));
  EXPECT_EQ(Help->size(), QSize(600, 400));
  EXPECT_LE((Help->frameGeometry().center() - Main.frameGeometry().center()).manhattanLength(), 10);
  EXPECT_TRUE(WaitFor([&] { return Loads == 1; })) << "loads seen: " << Loads;
  EXPECT_EQ(
      Help->WebBrowser->url().toString(),
      QStringLiteral("file://") + QCoreApplication::applicationDirPath() + QStringLiteral("/help.html"));
  EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == Help; }));

  // Escape, pressed in the page, hides the window without destroying it.
  QWidget* InPage = Help->focusWidget();
  EXPECT_TRUE(InPage != nullptr && Help->WebBrowser->isAncestorOf(InPage));
  QTest::keyClick(InPage != nullptr ? InPage : Help, Qt::Key_Escape);
  EXPECT_FALSE(Help->isVisible());

  // Moved by the user and called again: the same window, where the user left it, loading
  // the page once more.
  Help->move(5, 5);
  ShowHelpWindow(&Main);
  ASSERT_EQ(HelpWindows(), std::vector<TfmHelp*>{Help});
  EXPECT_TRUE(Help->isVisible());
  EXPECT_EQ(Help->pos(), QPoint(5, 5));
  EXPECT_TRUE(WaitFor([&] { return Loads == 2; })) << "loads seen: " << Loads;

  // A call while it is open behind the main window brings it to the front and loads the
  // page once more.
  Main.activateWindow();
  EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &Main; }));
  ShowHelpWindow(&Main);
  EXPECT_TRUE(WaitFor([&] { return Loads == 3; })) << "loads seen: " << Loads;
  EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == Help; }));
  EXPECT_EQ(HelpWindows().size(), 1u);

  // Closing the main window ends the event loop although the help window is open, and
  // the end of the loop takes the help window with it.
  bool LastWindowClosed = false;
  QObject::connect(qApp, &QGuiApplication::lastWindowClosed, Help, [&] { LastWindowClosed = true; });
  QTimer::singleShot(0, &Main, &QWidget::close);
  QTimer Fallback;
  Fallback.setSingleShot(true);
  QObject::connect(&Fallback, &QTimer::timeout, qApp, &QCoreApplication::quit);
  Fallback.start(10000);
  QCoreApplication::exec();
  EXPECT_TRUE(LastWindowClosed);
  EXPECT_TRUE(HelpWindows().empty());
}

}  // namespace
}  // namespace skimbrook
