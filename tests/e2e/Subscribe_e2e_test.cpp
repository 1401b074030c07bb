// A user's road: Skimbrook runs on a desktop with a notification area; a browser hands a
// feed link to skimbrook-addfeed; the user answers "Download feed now?" with Return; the
// feed is downloaded; starting Skimbrook again brings the running copy to the front.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "ShellTestSupport.h"
#include "tools/LoopbackHttpServer.h"

namespace skimbrook {
namespace {

using test::WaitFor;
using test::WaitForExit;

const char* const Feed = R"(<?xml version="1.0"?>
<rss version="2.0"><channel><title>Loopback News</title><link>http://127.0.0.1/</link>
<description>Three items</description>
<item><title>One</title><link>http://127.0.0.1/1</link><description>First</description></item>
<item><title>Two</title><link>http://127.0.0.1/2</link><description>Second</description></item>
<item><title>Three</title><link>http://127.0.0.1/3</link><description>Third</description></item>
</channel></rss>
)";

QString Read(const QString& Path) {
  QFile file(Path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void Write(const QString& Path, const QByteArray& Bytes) {
  QDir().mkpath(QFileInfo(Path).absolutePath());
  QFile file(Path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Bytes);
}

// Letters and digits of the address, then ".xml": the feed's cache file.
QString CacheFileName(const std::string& Url) {
  QString name;
  for (char c : Url)
    if (std::isalnum(static_cast<unsigned char>(c))) name += QLatin1Char(c);
  return name + ".xml";
}

class DesktopSession : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString missing =
        test::TVirtualDesktop::MissingTool({"Xvfb", "trayer", "xdotool", "xeyes", "gdbus"});
    if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString() << " is not installed";
    ASSERT_TRUE(desktop_.IsRunning());
    environment_ = desktop_.Environment(test::IsolatedEnvironment(dir_.path()));
    environment_.insert("HOME", dir_.path() + "/home");
    environment_.remove("SHELL_TEST_LOG");
    // No tip of the day and no hourly download in the way.
    Write(dir_.path() + "/config/Skimbrook/HKCU.reg",
          "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Options]\r\n\"ShowTips\"=\"0\"\r\n"
          "\"AutomaticallyDownload\"=\"0\"\r\n");
    // The notification area, so that the program's icon is really there.
    Start(trayer_, "trayer",
          {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
  }
  void TearDown() override {
    for (QProcess* process : {&program_, &trayer_, &eyes_}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->kill();
      process->waitForFinished(5000);
    }
  }

  void Start(QProcess& Process, const QString& Program, const QStringList& Arguments) {
    Process.setProcessEnvironment(environment_);
    Process.start(Program, Arguments);
    ASSERT_TRUE(Process.waitForStarted(20000)) << Program.toStdString();
  }
  // Presses Key in the window with this name, as the user would.
  void AnswerIn(const QString& Window, const QString& Key) {
    desktop_.XDoTool({"windowfocus", "--sync", Window});
    desktop_.XDoTool({"key", Key});
  }
  static bool OwnsBusName() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.skimbrook.Skimbrook");
  }

  QTemporaryDir dir_;
  test::TVirtualDesktop desktop_;
  QProcessEnvironment environment_;
  QProcess trayer_, eyes_, program_;
};

TEST_F(DesktopSession, AFeedLinkIsSubscribedDownloadedAndASecondStartBringsTheWindowForward) {
  test::LoopbackHttpServer server;
  server.Serve("/feed.xml", Feed, 200, {{"Content-Type", "application/rss+xml"}});
  const std::string url = server.Url("/feed.xml");
  const QString data = dir_.path() + "/data/";

  Start(program_, test::ProgramUnderTestPath(), {});
  ASSERT_TRUE(WaitFor([&] { return OwnsBusName(); }, 90000)) << program_.readAllStandardError().toStdString();
  ASSERT_FALSE(desktop_.WindowNamed("Skimbrook v.1.0", 60000).isEmpty());

  // The browser hands over the link; the user answers the question with Return.
  QProcess client;
  Start(client, test::ClientPath(), {"feed://" + QString::fromStdString(url).mid(7)});
  const QString question = desktop_.WindowNamed("Confirm", 60000);
  ASSERT_FALSE(question.isEmpty()) << "no question appeared";
  AnswerIn(question, "Return");
  ASSERT_TRUE(WaitForExit(client, 90000));
  EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
  const QString cache = data + CacheFileName(url);
  EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(cache) && !QFileInfo::exists(cache + ".bak"); }, 60000))
      << cache.toStdString();
  EXPECT_GE(server.RequestCount(), 1u);

  // The same address once more, from a script and written another way: the entry already
  // there is selected; nothing is asked or added.
  QProcess script;
  Start(script, "gdbus",
        {"call", "--session", "--timeout", "300", "--dest", "org.skimbrook.Skimbrook", "--object-path",
         "/org/skimbrook/Popup", "--method", "org.skimbrook.IExpInt.AddFeed",
         "HTTP://" + QString::fromStdString(url).mid(7)});
  ASSERT_TRUE(WaitForExit(script, 60000));
  EXPECT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
  EXPECT_TRUE(desktop_.WindowNamed("Confirm", 2000).isEmpty()) << "no question for a feed already there";

  // What is no web address is refused over the bus with its reason; nothing is asked or added.
  for (const QString& refused :
       {QStringLiteral("javascript:alert(1)"), QStringLiteral("file:///etc/passwd"),
        QStringLiteral("data:text/xml,<rss/>"), QStringLiteral("http://a.example/x\ny"),
        QStringLiteral("http://a.example/") + QString(9000, QLatin1Char('a'))}) {
    QProcess call;
    Start(call, "gdbus",
          {"call", "--session", "--timeout", "30", "--dest", "org.skimbrook.Skimbrook", "--object-path",
           "/org/skimbrook/Popup", "--method", "org.skimbrook.IExpInt.AddFeed", refused});
    ASSERT_TRUE(WaitForExit(call, 60000));
    EXPECT_NE(call.exitCode(), 0) << refused.left(40).toStdString();
    EXPECT_TRUE(call.readAllStandardError().contains("org.skimbrook.IExpInt.Error.Failed"));
  }

  // Another window has the focus; a second start gives it back to Skimbrook and ends.
  Start(eyes_, "xeyes", {});
  desktop_.XDoTool({"windowfocus", "--sync", desktop_.WindowNamed("xeyes")});
  ASSERT_EQ(desktop_.FocusedWindowName(), "xeyes");
  const QDateTime settingsTime = QFileInfo(dir_.path() + "/config/Skimbrook/HKCU.reg").lastModified();
  QProcess second;
  Start(second, test::ProgramUnderTestPath(), {});
  ASSERT_TRUE(WaitForExit(second, 90000));
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  EXPECT_TRUE(WaitFor([&] { return desktop_.FocusedWindowName() == "Skimbrook v.1.0"; }, 10000))
      << desktop_.FocusedWindowName().toStdString();
  EXPECT_EQ(QFileInfo(dir_.path() + "/config/Skimbrook/HKCU.reg").lastModified(), settingsTime);
  EXPECT_EQ(program_.state(), QProcess::Running);

  // A clean shutdown writes the list with the feed's unread count.
  program_.terminate();
  ASSERT_TRUE(WaitForExit(program_, 60000));
  EXPECT_EQ(program_.exitCode(), 0);
  const QString list = Read(data + "default.opml");
  EXPECT_EQ(list.count("xmlUrl=\"" + QString::fromStdString(url) + "\""), 1) << list.toStdString();
  EXPECT_EQ(list.count("xmlUrl="), 1) << list.toStdString();
  // Three items; the first counts as read once it has been on screen for a second after the
  // download, which the machine's pace decides.
  EXPECT_TRUE(list.contains("unreadCount=\"3\"") || list.contains("unreadCount=\"2\"")) << list.toStdString();
  EXPECT_TRUE(QFileInfo::exists(cache));
}

}  // namespace
}  // namespace skimbrook
