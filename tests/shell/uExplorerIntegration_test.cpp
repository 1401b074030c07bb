#include "shell/uExplorerIntegration.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>

#include "ShellTestSupport.h"
#include "shell/uBusNames.h"
#include "shell/uRegistration.h"
#include "shell/uSingleInstance.h"

namespace skimbrook {
namespace {

using test::WaitFor;
using test::WaitForExit;

// Keeps the event loop running for Ms, as a question waiting for the user does.
void AskFor(int Ms) {
  QEventLoop question;
  QTimer::singleShot(Ms, &question, &QEventLoop::quit);
  question.exec();
}

QDBusMessage AddFeedCall(const QString& Url) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(BusServiceName, PopupObjectPath, PopupInterface, "AddFeed");
  call << Url;
  return call;
}

// This test process is the running copy; a second connection of its own plays the caller.
class AutomationObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterAutomationObject([this](const std::string& Url) { received_.push_back(Url); });
    ASSERT_FALSE(FindAndActivateRunningCopy({}));
    ASSERT_TRUE(client_.isConnected());
  }
  void TearDown() override { RegisterAutomationObject({}); }

  QDBusPendingCall CallAddFeed(const QString& Url, QDBusConnection* From = nullptr) {
    return (From ? *From : client_).asyncCall(AddFeedCall(Url), std::numeric_limits<int>::max());
  }
  static QDBusMessage Answer(QDBusPendingCall Pending) {
    EXPECT_TRUE(WaitFor([&] { return Pending.isFinished(); }));
    return Pending.reply();
  }
  // Runs a program with the event loop going, since it calls this very process.
  static int Run(const QString& Program, const QStringList& Arguments, QString* Error = nullptr) {
    QProcess process;
    process.start(Program, Arguments);
    EXPECT_TRUE(WaitForExit(process)) << Program.toStdString();
    if (Error) *Error = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  QDBusConnection client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "automation-client");
  std::vector<std::string> received_;
};

TEST_F(AutomationObjectTest, HandsEachAddressToAddFeedEvenOneAlreadyGiven) {
  EXPECT_EQ(Answer(CallAddFeed("http://example.com/rss")).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Answer(CallAddFeed("http://example.com/rss")).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(received_, std::vector<std::string>({"http://example.com/rss", "http://example.com/rss"}));
}

TEST_F(AutomationObjectTest, PassesTheAddressOnAsUtf8) {
  Answer(CallAddFeed(QString::fromUtf8("http://example.com/caf\xC3\xA9")));
  EXPECT_EQ(received_, std::vector<std::string>({"http://example.com/caf\xC3\xA9"}));
}

TEST_F(AutomationObjectTest, AnErrorOfAddFeedComesBackAsABusErrorWithItsText) {
  RegisterAutomationObject([](const std::string&) { throw std::runtime_error("Feed address refused"); });
  const QDBusMessage answer = Answer(CallAddFeed("http://example.com/rss"));
  EXPECT_EQ(answer.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(answer.errorName(), AddFeedErrorName);
  EXPECT_EQ(answer.errorMessage(), "Feed address refused");
}

// A second caller's call arrives while the first question is open. Were it run at once from
// the event loop, it would nest inside the first question, and the first caller would get
// its answer only after the second question had been answered.
TEST_F(AutomationObjectTest, ALaterCallDuringTheQuestionDoesNotHoldBackTheEarlierAnswer) {
  std::vector<std::string> events;
  QDBusConnection otherClient = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "other-client");
  std::optional<QDBusPendingCall> first, second;
  RegisterAutomationObject([&](const std::string& Url) {
    events.push_back("asked " + Url);
    if (Url == "first") {
      second = CallAddFeed("second", &otherClient);
      AskFor(800);
    } else if (WaitFor([&] { return first->isFinished(); }, 3000)) {
      events.push_back("first caller has its answer");
    }
    events.push_back("answered " + Url);
  });
  first = CallAddFeed("first");
  ASSERT_TRUE(WaitFor([&] { return second && second->isFinished(); }));
  EXPECT_EQ(events, std::vector<std::string>({"asked first", "answered first", "asked second",
                                              "first caller has its answer", "answered second"}));
  EXPECT_FALSE(first->isError());
  EXPECT_FALSE(second->isError());
}

// The process's bus connection is not held by an open question: a later copy started
// meanwhile is answered at once instead of hanging until the user has answered.
TEST_F(AutomationObjectTest, TheBusKeepsServingWhileAQuestionIsOpen) {
  QDBusConnection otherClient = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "other-client");
  bool answeredDuringQuestion = false;
  RegisterAutomationObject([&](const std::string&) {
    QDBusMessage activate =
        QDBusMessage::createMethodCall(BusServiceName, ActivationObjectPath, ActivationInterface, "Activate");
    activate << QString();
    QDBusPendingCall pending = otherClient.asyncCall(activate, 5000);
    answeredDuringQuestion = WaitFor([&] { return pending.isFinished() && !pending.isError(); }, 4000);
  });
  EXPECT_EQ(Answer(CallAddFeed("http://example.com/rss")).type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(answeredDuringQuestion);
}

TEST_F(AutomationObjectTest, GdbusCallReachesAddFeedAndGetsItsError) {
  const QStringList call = {
      "call",          "--session",     "--dest",   BusServiceName,
      "--object-path", PopupObjectPath, "--method", QString(PopupInterface) + ".AddFeed"};
  EXPECT_EQ(Run("gdbus", call + QStringList{"http://example.com/a"}), 0);
  EXPECT_EQ(received_, std::vector<std::string>({"http://example.com/a"}));

  RegisterAutomationObject([](const std::string&) { throw std::runtime_error("Cannot subscribe now"); });
  QString error;
  EXPECT_NE(Run("gdbus", call + QStringList{"http://example.com/b"}, &error), 0);
  EXPECT_TRUE(error.contains("Cannot subscribe now")) << error.toStdString();
}

TEST_F(AutomationObjectTest, ClientHandsOverTheConvertedAddressAndReportsErrors) {
  EXPECT_EQ(Run(test::ClientPath(), {"feed:https%3A%2F%2Fexample.com%2Frss%3Fa%3D1"}), 0);
  EXPECT_EQ(Run(test::ClientPath(), {"feed://example.com/atom"}), 0);
  EXPECT_EQ(received_, std::vector<std::string>({"https://example.com/rss?a=1", "http://example.com/atom"}));

  QString error;
  EXPECT_NE(Run(test::ClientPath(), {"file:///tmp/rss.xml"}, &error), 0);
  EXPECT_TRUE(error.contains("file:///tmp/rss.xml")) << error.toStdString();
  EXPECT_EQ(received_.size(), 2u) << "a local file reached AddFeed";

  RegisterAutomationObject([](const std::string&) { throw std::runtime_error("Cannot subscribe now"); });
  EXPECT_NE(Run(test::ClientPath(), {"http://example.com/x"}, &error), 0);
  EXPECT_TRUE(error.contains("Cannot subscribe now")) << error.toStdString();
}

// ---- the published interface description ------------------------------------------

// "interface.method(name:type:direction,...)" for each method of an introspection text.
std::set<std::string> Methods(const QString& Xml) {
  std::set<std::string> methods;
  QXmlStreamReader reader(Xml);
  QString interface, method, arguments;
  while (!reader.atEnd()) {
    reader.readNext();
    const auto attribute = [&](const char* Name) { return reader.attributes().value(Name).toString(); };
    if (reader.isStartElement() && reader.name() == QLatin1String("interface")) interface = attribute("name");
    if (reader.isStartElement() && reader.name() == QLatin1String("method")) {
      method = attribute("name");
      arguments.clear();
    }
    if (reader.isStartElement() && reader.name() == QLatin1String("arg"))
      arguments += attribute("name") + ":" + attribute("type") + ":" + attribute("direction") + ",";
    if (reader.isEndElement() && reader.name() == QLatin1String("method"))
      methods.insert((interface + "." + method + "(" + arguments + ")").toStdString());
  }
  EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
  return methods;
}

QString Published(const QString& Name) {
  QFile file(QStringLiteral(SHELL_SOURCE_DIR "/") + Name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << Name.toStdString();
  return QString::fromUtf8(file.readAll());
}

TEST_F(AutomationObjectTest, ObjectsServeTheMethodsTheirPublishedDescriptionsName) {
  for (const auto& [path, file] : {std::pair{PopupObjectPath, "org.skimbrook.IExpInt.xml"},
                                   std::pair{ActivationObjectPath, "org.skimbrook.Skimbrook.xml"}}) {
    QDBusMessage introspect = QDBusMessage::createMethodCall(
        BusServiceName, path, "org.freedesktop.DBus.Introspectable", "Introspect");
    const QDBusMessage answer = Answer(client_.asyncCall(introspect));
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << path;
    const std::set<std::string> served = Methods(answer.arguments().value(0).toString());
    const std::set<std::string> published = Methods(Published(file));
    ASSERT_FALSE(published.empty()) << file;
    for (const std::string& method : published) EXPECT_TRUE(served.count(method)) << method << " not served";
  }
}

TEST(AutomationTypeLibrary, DescriptionCarriesTheLibraryNameHelpStringAndVersion) {
  const QString xml = Published("org.skimbrook.IExpInt.xml");
  EXPECT_TRUE(xml.contains("value=\"Skimbrook\""));
  EXPECT_TRUE(xml.contains("value=\"Skimbrook Library\""));
  EXPECT_TRUE(xml.contains("value=\"1.0\""));
}

// ---- start by D-Bus activation ----------------------------------------------------

// The program is copied to a folder whose name needs quoting, registered from there, and
// started by the bus for the client's call.
TEST(AutomationActivation, ACallStartsTheProgramWhichServesItAndStaysOpen) {
  QTemporaryDir dir;
  const QString folder = dir.path() + "/it's a folder";
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString program = folder + "/skimbrook";
  ASSERT_TRUE(QFile::copy(test::TestAppPath(), program));
  const TRegistration registration{program, dir.path() + "/share"};
  WriteRegistration(registration);

  test::TPrivateBus bus(dir.path() + "/share/dbus-1/services", test::IsolatedEnvironment(dir.path()));
  ASSERT_TRUE(bus.IsRunning());
  QProcess client;
  client.setProcessEnvironment(bus.Environment());
  client.start(test::ClientPath(), {"feed://example.com/rss?wait=200"});
  ASSERT_TRUE(WaitForExit(client, 60000));
  EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
  EXPECT_EQ(test::ReadLines(dir.path() + "/log.txt"),
            QStringList({"started", "addfeed http://example.com/rss?wait=200",
                         "answered http://example.com/rss?wait=200"}));

  // Still serving after its caller is gone: a second call reaches the same copy.
  const uint pid = bus.OwnerPid(BusServiceName);
  EXPECT_NE(pid, 0u);
  client.start(test::ClientPath(), {"http://example.com/second"});
  ASSERT_TRUE(WaitForExit(client, 30000));
  EXPECT_EQ(client.exitCode(), 0);
  EXPECT_EQ(bus.OwnerPid(BusServiceName), pid);
}

}  // namespace
}  // namespace skimbrook
