// The page pane as the program gets it, where the engine's module cannot be loaded (a test
// binary has none beside it): it waits for the window's first paint, then says why pages
// cannot be shown, and whoever waits for a page hears that it is ready.
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <stdexcept>

#include <gtest/gtest.h>

#include "ui/browser/uEngineModule.h"
#include "ui/browser/uWebBrowser.h"

namespace skimbrook::test {

namespace {

TEST(EngineModule, WithoutTheModuleThePagePaneSaysWhyAndNoPageWaitsForever) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  TWebBrowser* browser = CreateWebEngineBrowser(&window);
  layout->addWidget(browser);
  QSignalSpy ready(browser, &TWebBrowser::ReadyStateChanged);

  // Asked before the window is shown: the request waits.
  browser->Navigate("about:blank");
  EXPECT_EQ(browser->ReadyState(), TWebBrowser::Loading);
  EXPECT_THROW(browser->GoBack(), std::runtime_error);
  EXPECT_EQ(browser->findChild<QLabel*>(), nullptr) << "nothing is loaded before the first paint";

  window.resize(400, 300);
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return browser->findChild<QLabel*>() != nullptr; }));
  const QString note = browser->findChild<QLabel*>()->text();
  EXPECT_TRUE(note.startsWith("Pages cannot be shown: ")) << note.toStdString();
  EXPECT_TRUE(note.contains("skimbrook-webengine.so")) << note.toStdString();

  // The request that waited is answered: whoever waits for the page goes on.
  EXPECT_TRUE(QTest::qWaitFor([&] { return ready.count() >= 2; }));
  EXPECT_EQ(browser->ReadyState(), TWebBrowser::Complete);
  EXPECT_THROW(browser->GoForward(), std::runtime_error);
}

}  // namespace

}  // namespace skimbrook::test
