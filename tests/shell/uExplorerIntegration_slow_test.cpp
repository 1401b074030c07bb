#include <gtest/gtest.h>

#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "ShellTestSupport.h"
#include "shell/uExplorerIntegration.h"
#include "shell/uSingleInstance.h"

namespace skimbrook {
namespace {

// A user may read for a while before answering "Download feed now?"; the bus's usual
// time-out of about 25 seconds must not fail the client meanwhile.
TEST(AutomationClient, WaitsForAnAnswerLongerThanTheBusTimeOut) {
  ASSERT_FALSE(FindAndActivateRunningCopy({}));
  RegisterAutomationObject([](const std::string&) {
    QEventLoop question;
    QTimer::singleShot(28000, &question, &QEventLoop::quit);
    question.exec();
  });
  QProcess client;
  client.start(test::ClientPath(), {"http://example.com/rss"});
  ASSERT_TRUE(test::WaitForExit(client, 90000));
  EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace skimbrook
