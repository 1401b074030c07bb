#include "shell/uSingleInstance.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QTemporaryDir>
#include <memory>

#include "ShellTestSupport.h"
#include "shell/uBusNames.h"

namespace skimbrook {
namespace {

using test::WaitFor;
using test::WaitForExit;

// This test process is the running copy, with a main window; a second connection of its
// own plays the later copy.
class RunningCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(FindAndActivateRunningCopy({}));
    SetActivationHandler([this](const QString& CommandLine) { refills_ << CommandLine; });
    window_->setWindowTitle("Skimbrook v.1.0");
  }
  void TearDown() override { SetActivationHandler({}); }

  // Calls Activate as a later copy does and waits for the answer.
  void Activate(const QString& CommandLine) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(BusServiceName, ActivationObjectPath, ActivationInterface, "Activate");
    call << CommandLine;
    QDBusPendingCall pending = client_.asyncCall(call);
    ASSERT_TRUE(WaitFor([&] { return pending.isFinished(); }));
    EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
  }

  QDBusConnection client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "later-copy");
  std::unique_ptr<QMainWindow> window_ = std::make_unique<QMainWindow>();
  QStringList refills_;
};

TEST_F(RunningCopyTest, RestoresAMinimisedMainWindowAndHandsOnTheTextUntouched) {
  window_->showMinimized();
  Activate("a  \"two words\" /x");
  EXPECT_FALSE(window_->isMinimized());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(refills_, QStringList({"a  \"two words\" /x"}));
}

TEST_F(RunningCopyTest, AnEmptyCommandLineOnlyBringsTheWindowForward) {
  window_->showMinimized();
  Activate("");
  EXPECT_FALSE(window_->isMinimized());
  EXPECT_TRUE(refills_.isEmpty());
}

TEST_F(RunningCopyTest, ShowsAMainWindowHiddenToTheNotificationArea) {
  window_->show();
  window_->hide();
  Activate("x");
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(refills_, QStringList({"x"}));
}

// The modal dialog is the window the user used last; it comes forward and ignores the text,
// so the main window does not refill its list under it.
TEST_F(RunningCopyTest, AnOpenModalDialogComesForwardAndTheTextIsIgnored) {
  window_->show();
  QDialog dialog(window_.get());
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  dialog.showMinimized();
  ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
  Activate("x");
  EXPECT_FALSE(dialog.isMinimized());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(refills_.isEmpty());
}

// ---- a later copy of the program --------------------------------------------------

class LaterCopyTest : public RunningCopyTest, public ::testing::WithParamInterface<QString> {
 protected:
  // Starts the program as a later copy with its own (empty) data folder and settings.
  int StartLaterCopy(const QStringList& Arguments) {
    QProcess copy;
    copy.setProcessEnvironment(test::IsolatedEnvironment(dir_.path()));
    copy.start(GetParam(), Arguments);
    EXPECT_TRUE(WaitForExit(copy, 60000));
    stderr_ = QString::fromLocal8Bit(copy.readAllStandardError());
    return copy.exitStatus() == QProcess::NormalExit ? copy.exitCode() : -1;
  }
  void ExpectDataAndSettingsUntouched() {
    EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/data")) << "the data folder was touched";
    EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/config")) << "the settings were touched";
    EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/log.txt")) << "the later copy started up";
  }

  QTemporaryDir dir_;
  QString stderr_;
};

TEST_P(LaterCopyTest, ForwardsItsArgumentsJoinedByBlanksAndEnds) {
  window_->showMinimized();
  EXPECT_EQ(StartLaterCopy({"a", "two words"}), 0) << stderr_.toStdString();
  EXPECT_EQ(refills_, QStringList({"a two words"}));
  EXPECT_FALSE(window_->isMinimized());
  ExpectDataAndSettingsUntouched();
}

TEST_P(LaterCopyTest, ForwardsTheOptionsTheToolkitTakesForItselfToo) {
  EXPECT_EQ(StartLaterCopy({"-reverse", "-style", "fusion", "feed:x"}), 0) << stderr_.toStdString();
  EXPECT_EQ(refills_, QStringList({"-reverse -style fusion feed:x"}));
  ExpectDataAndSettingsUntouched();
}

TEST_P(LaterCopyTest, WithoutArgumentsBringsTheRunningCopyForwardWithoutARefill) {
  window_->showMinimized();
  EXPECT_EQ(StartLaterCopy({}), 0) << stderr_.toStdString();
  EXPECT_TRUE(refills_.isEmpty());
  EXPECT_FALSE(window_->isMinimized());
  ExpectDataAndSettingsUntouched();
}

// Without SKIMBROOK_DATA the data folder is the one beside the executable; a later copy
// must not even create that.
TEST_F(RunningCopyTest, ALaterCopyBesideItsDataFolderCreatesNothing) {
  if (test::ProgramUnderTestPath() == test::TestAppPath()) GTEST_SKIP() << "the program is not built";
  QTemporaryDir dir;
  ASSERT_TRUE(QDir().mkpath(dir.path() + "/bin"));
  const QString program = dir.path() + "/bin/skimbrook";
  ASSERT_TRUE(QFile::copy(test::ProgramUnderTestPath(), program));
  QProcessEnvironment environment = test::IsolatedEnvironment(dir.path());
  environment.remove("SKIMBROOK_DATA");
  QProcess copy;
  copy.setProcessEnvironment(environment);
  copy.start(program, {"x"});
  ASSERT_TRUE(WaitForExit(copy, 60000));
  EXPECT_EQ(copy.exitCode(), 0) << copy.readAllStandardError().toStdString();
  EXPECT_EQ(refills_, QStringList({"x"}));
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/bin/data")) << "the data folder was created";
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/config")) << "the settings were touched";
}

INSTANTIATE_TEST_SUITE_P(Programs, LaterCopyTest, ::testing::ValuesIn([] {
                           QStringList programs = {test::TestAppPath()};
                           if (test::ProgramUnderTestPath() != test::TestAppPath())
                             programs << test::ProgramUnderTestPath();
                           return std::vector<QString>(programs.begin(), programs.end());
                         }()),
                         [](const auto& Info) {
                           return QFileInfo(Info.param).baseName().replace('-', '_').toStdString();
                         });

// ---- copies on a bus of their own -------------------------------------------------

TEST(SingleCopy, OfCopiesStartedTogetherOneRunsAndTheOthersHandItTheirCommandLine) {
  QTemporaryDir dir;
  test::TPrivateBus bus(dir.path() + "/no-services", test::IsolatedEnvironment(dir.path()));
  ASSERT_TRUE(bus.IsRunning());
  std::vector<std::unique_ptr<QProcess>> copies;
  for (int i = 0; i < 3; ++i) {
    copies.push_back(std::make_unique<QProcess>());
    copies.back()->setProcessEnvironment(bus.Environment());
  }
  for (auto& copy : copies) copy->start(test::TestAppPath(), {"x"});
  const auto running = [&] {
    return std::count_if(copies.begin(), copies.end(),
                         [](const auto& Copy) { return Copy->state() != QProcess::NotRunning; });
  };
  ASSERT_TRUE(WaitFor([&] { return running() == 1; }, 60000));
  for (auto& copy : copies) {
    if (copy->state() == QProcess::NotRunning) {
      EXPECT_EQ(copy->exitCode(), 0) << copy->readAllStandardError().toStdString();
    } else {
      EXPECT_EQ(bus.OwnerPid(BusServiceName), static_cast<uint>(copy->processId()));
    }
  }
  EXPECT_TRUE(WaitFor([&] { return test::ReadLines(dir.path() + "/log.txt").size() == 3; }));
  EXPECT_EQ(test::ReadLines(dir.path() + "/log.txt"), QStringList({"started", "refill x", "refill x"}));
}

TEST(SingleCopy, WithoutASessionBusTheProgramStartsAloneAndSaysSo) {
  QTemporaryDir dir;
  QProcessEnvironment environment = test::IsolatedEnvironment(dir.path());
  environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.path() + "/no-bus-here");
  environment.remove("DISPLAY");
  QProcess copy;
  copy.setProcessEnvironment(environment);
  copy.start(test::TestAppPath(), {"x"});
  ASSERT_TRUE(WaitFor([&] { return test::ReadLines(dir.path() + "/log.txt").contains("started"); }));
  EXPECT_EQ(copy.state(), QProcess::Running);
  copy.terminate();
  copy.waitForFinished(10000);
  EXPECT_TRUE(QString::fromLocal8Bit(copy.readAllStandardError()).contains("no D-Bus session bus"));
}

}  // namespace
}  // namespace skimbrook
