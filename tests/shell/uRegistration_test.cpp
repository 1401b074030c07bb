#include "shell/uRegistration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "ShellTestSupport.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::WaitForExit;

QString Read(const QString& Path) {
  QFile file(Path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString LineStartingWith(const QString& Text, const QString& Key) {
  for (const QString& line : Text.split(QLatin1Char('\n')))
    if (line.startsWith(Key)) return line;
  return {};
}

TRegistration RegistrationIn(const QTemporaryDir& Dir, const QString& Program = "/opt/skimbrook/skimbrook") {
  return {Program, Dir.path() + "/share"};
}

// ---- start switches ---------------------------------------------------------------

struct TSwitchCase {
  QStringList Arguments;
  bool Automation, RegServer, UnregServer;
};

class ReadStartSwitchesTest : public ::testing::TestWithParam<TSwitchCase> {};

TEST_P(ReadStartSwitchesTest, FindsSwitchesAnywhereWithDashOrSlashInAnyCase) {
  const TStartSwitches found = ReadStartSwitches(GetParam().Arguments);
  EXPECT_EQ(found.Automation, GetParam().Automation);
  EXPECT_EQ(found.RegServer, GetParam().RegServer);
  EXPECT_EQ(found.UnregServer, GetParam().UnregServer);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ReadStartSwitchesTest,
    ::testing::Values(TSwitchCase{{}, false, false, false}, TSwitchCase{{"-REGSERVER"}, false, true, false},
                      TSwitchCase{{"/regserver"}, false, true, false},
                      TSwitchCase{{"a", "-RegServer", "b"}, false, true, false},
                      TSwitchCase{{"/UnRegServer"}, false, false, true},
                      TSwitchCase{{"-AUTOMATION"}, true, false, false},
                      TSwitchCase{{"/embedding"}, true, false, false},
                      TSwitchCase{{"x", "-automation", "/REGSERVER"}, true, true, false},
                      // not switches: no prefix, a doubled prefix, a longer word, inside a word
                      TSwitchCase{{"regserver"}, false, false, false},
                      TSwitchCase{{"--regserver"}, false, false, false},
                      TSwitchCase{{"-regserverx"}, false, false, false},
                      TSwitchCase{{"a -regserver"}, false, false, false}));

// ---- what a start does with them --------------------------------------------------

class HandleStartSwitchesTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  TRegistration registration_ = RegistrationIn(dir_);

  bool AllFilesExist() const {
    return QFileInfo::exists(ServiceFilePath(registration_)) &&
           QFileInfo::exists(DesktopEntryPath(registration_)) &&
           QFileInfo::exists(HandlerEntryPath(registration_));
  }
  bool NoFileExists() const {
    return !QFileInfo::exists(ServiceFilePath(registration_)) &&
           !QFileInfo::exists(DesktopEntryPath(registration_)) &&
           !QFileInfo::exists(HandlerEntryPath(registration_));
  }
  // A data folder below a plain file cannot be created, whoever runs the test.
  void MakeDataHomeUnwritable() {
    QFile blocker(dir_.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    registration_.DataHome = dir_.path() + "/blocker/share";
  }
};

TEST_F(HandleStartSwitchesTest, RegServerWritesTheFilesAndEnds) {
  const TStartOutcome outcome = HandleStartSwitches({"-REGSERVER"}, registration_);
  EXPECT_TRUE(outcome.Exit);
  EXPECT_EQ(outcome.ExitCode, 0);
  EXPECT_TRUE(AllFilesExist());
}

TEST_F(HandleStartSwitchesTest, UnregServerRemovesTheFilesAndEndsAlsoWhenNoneExist) {
  ASSERT_TRUE(HandleStartSwitches({"/regserver"}, registration_).Exit);
  for (int round = 0; round < 2; ++round) {
    const TStartOutcome outcome = HandleStartSwitches({"/unregserver"}, registration_);
    EXPECT_TRUE(outcome.Exit);
    EXPECT_EQ(outcome.ExitCode, 0);
    EXPECT_TRUE(NoFileExists());
  }
}

TEST_F(HandleStartSwitchesTest, RegServerReportsAFailureWithANonZeroCode) {
  MakeDataHomeUnwritable();
  testing::internal::CaptureStderr();
  const TStartOutcome outcome = HandleStartSwitches({"-regserver"}, registration_);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(outcome.Exit);
  EXPECT_NE(outcome.ExitCode, 0);
  EXPECT_NE(said.find("cannot register"), std::string::npos) << said;
}

TEST_F(HandleStartSwitchesTest, AnOrdinaryStartRegistersSilentlyAndGoesOnEvenWhenThatFails) {
  TStartOutcome outcome = HandleStartSwitches({"a", "b"}, registration_);
  EXPECT_FALSE(outcome.Exit);
  EXPECT_FALSE(outcome.StartedByActivation);
  EXPECT_TRUE(AllFilesExist());

  MakeDataHomeUnwritable();
  testing::internal::CaptureStderr();
  outcome = HandleStartSwitches({}, registration_);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(outcome.Exit);
}

TEST_F(HandleStartSwitchesTest, AnActivationStartGoesOnAndWinsOverRegServer) {
  const TStartOutcome outcome = HandleStartSwitches({"-REGSERVER", "-AUTOMATION"}, registration_);
  EXPECT_FALSE(outcome.Exit);
  EXPECT_TRUE(outcome.StartedByActivation);
  EXPECT_TRUE(AllFilesExist());
}

// ---- the files' contents ----------------------------------------------------------

TEST(RegistrationFiles, LieWhereTheBusAndTheDesktopLookForThem) {
  const TRegistration registration{"/opt/skimbrook/skimbrook", "/home/u/.local/share"};
  EXPECT_EQ(ServiceFilePath(registration),
            "/home/u/.local/share/dbus-1/services/org.skimbrook.Skimbrook.service");
  EXPECT_EQ(DesktopEntryPath(registration), "/home/u/.local/share/applications/skimbrook.desktop");
  EXPECT_EQ(HandlerEntryPath(registration), "/home/u/.local/share/applications/skimbrook-addfeed.desktop");
}

TEST(RegistrationFiles, DataHomeFollowsXdgDataHomeAndIgnoresARelativeOne) {
  {
    test::TScopedEnv env("XDG_DATA_HOME", "/somewhere/share");
    EXPECT_EQ(TRegistration::ForThisProgram().DataHome, "/somewhere/share");
  }
  test::TScopedEnv env("XDG_DATA_HOME", "relative/share");
  EXPECT_EQ(TRegistration::ForThisProgram().DataHome, QDir::homePath() + "/.local/share");
}

TEST(RegistrationFiles, SystemDataDirsFollowXdgDataDirsAndIgnoreRelativeOnes) {
  {
    test::TScopedEnv env("XDG_DATA_DIRS", "/opt/a/share:relative::/b/share/");
    EXPECT_EQ(TRegistration::ForThisProgram().SystemDataDirs, QStringList({"/opt/a/share", "/b/share/"}));
  }
  test::TScopedEnv env("XDG_DATA_DIRS", std::nullopt);
  EXPECT_EQ(TRegistration::ForThisProgram().SystemDataDirs, QStringList({"/usr/local/share", "/usr/share"}));
}

// An installed copy is registered by its package in a system data folder. A user's file of
// the same name would hide the package's (and outlive it), so the copy leaves none; a copy
// the system does not register writes its files as always.
TEST(RegistrationFiles, ACopyTheSystemAlreadyRegistersLeavesNoUserFileToHideThatRegistration) {
  QTemporaryDir dir;
  const QString systemData = dir.path() + "/usr/share";
  const TRegistration installed{
      "/usr/bin/skimbrook", dir.path() + "/home", {dir.path() + "/none", systemData}};
  const TRegistration fromBuild{dir.path() + "/build/skimbrook", installed.DataHome,
                                installed.SystemDataDirs};
  const TRegistration packaged{installed.ExecutablePath, systemData};
  const auto userFilesExist = [&] {
    return QFileInfo::exists(ServiceFilePath(installed)) && QFileInfo::exists(DesktopEntryPath(installed)) &&
           QFileInfo::exists(HandlerEntryPath(installed));
  };
  WriteRegistration(fromBuild);
  ASSERT_TRUE(userFilesExist());
  WriteRegistration(packaged);

  WriteRegistration(installed);
  EXPECT_FALSE(QFileInfo::exists(ServiceFilePath(installed)));
  EXPECT_FALSE(QFileInfo::exists(DesktopEntryPath(installed)));
  EXPECT_FALSE(QFileInfo::exists(HandlerEntryPath(installed)));
  EXPECT_EQ(Read(DesktopEntryPath(packaged)), DesktopEntryText(installed)) << "the system's file stays";

  WriteRegistration(fromBuild);
  EXPECT_TRUE(userFilesExist());
  EXPECT_EQ(Read(ServiceFilePath(fromBuild)), ServiceFileText(fromBuild));
}

TEST(RegistrationFiles, ActivationFileStartsTheProgramWithAutomation) {
  const QString text = ServiceFileText({"/opt/skimbrook/skimbrook", "/tmp"});
  EXPECT_EQ(text,
            "[D-BUS Service]\nName=org.skimbrook.Skimbrook\nExec='/opt/skimbrook/skimbrook' -AUTOMATION\n");
}

struct TQuotingCase {
  const char* Program;
  const char* ServiceExec;
  const char* DesktopExec;
};

class ExecQuotingTest : public ::testing::TestWithParam<TQuotingCase> {};

TEST_P(ExecQuotingTest, KeepsTheProgramPathOneArgument) {
  const TRegistration registration{QString::fromUtf8(GetParam().Program), "/tmp"};
  EXPECT_EQ(LineStartingWith(ServiceFileText(registration), "Exec=").toStdString(),
            std::string("Exec=") + GetParam().ServiceExec + " -AUTOMATION");
  EXPECT_EQ(LineStartingWith(DesktopEntryText(registration), "Exec=").toStdString(),
            std::string("Exec=") + GetParam().DesktopExec);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecQuotingTest,
    ::testing::Values(TQuotingCase{"/a b/skimbrook", "'/a b/skimbrook'", "\"/a b/skimbrook\""},
                      TQuotingCase{"/it's/skimbrook", "'/it'\\\\''s/skimbrook'", "\"/it's/skimbrook\""},
                      TQuotingCase{"/100%/skimbrook", "'/100%/skimbrook'", "\"/100%%/skimbrook\""},
                      TQuotingCase{"/x\"y/$HOME/`z`/skimbrook", "'/x\"y/$HOME/`z`/skimbrook'",
                                   "\"/x\\\\\"y/\\\\$HOME/\\\\`z\\\\`/skimbrook\""},
                      TQuotingCase{"/back\\slash/skimbrook", "'/back\\\\slash/skimbrook'",
                                   "\"/back\\\\\\\\slash/skimbrook\""}));

TEST(RegistrationFiles, RefuseAPathWithALineBreak) {
  EXPECT_THROW(ServiceFileText({"/a\nb/skimbrook", "/tmp"}), std::runtime_error);
  EXPECT_THROW(DesktopEntryText({"/a\nb/skimbrook", "/tmp"}), std::runtime_error);
}

// Only links: for a feed file the desktop hands over a local copy, which the client refuses.
TEST(RegistrationFiles, HandlerEntryRunsTheClientBesideTheProgramForFeedLinks) {
  const QString text = HandlerEntryText({"/opt/sk/skimbrook", "/tmp"});
  EXPECT_EQ(LineStartingWith(text, "Exec="), "Exec=\"/opt/sk/skimbrook-addfeed\" %u");
  EXPECT_EQ(LineStartingWith(text, "MimeType="), "MimeType=x-scheme-handler/feed;x-scheme-handler/feeds;");
}

TEST(RegistrationFiles, IconIsTheOneBesideTheProgramWhenThereIsOne) {
  QTemporaryDir dir;
  const TRegistration registration{dir.path() + "/skimbrook", "/tmp"};
  EXPECT_EQ(LineStartingWith(DesktopEntryText(registration), "Icon="), "Icon=skimbrook");
  QFile icon(dir.path() + "/skimbrook.svg");
  ASSERT_TRUE(icon.open(QIODevice::WriteOnly));
  icon.close();
  EXPECT_EQ(LineStartingWith(DesktopEntryText(registration), "Icon="),
            "Icon=" + dir.path() + "/skimbrook.svg");
}

TEST(RegistrationFiles, DesktopEntriesPassTheValidator) {
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
  QTemporaryDir dir;
  const TRegistration registration = RegistrationIn(dir, dir.path() + "/with blank/100%/skimbrook");
  WriteRegistration(registration);
  for (const QString& entry : {DesktopEntryPath(registration), HandlerEntryPath(registration)}) {
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {entry});
    ASSERT_TRUE(validate.waitForFinished(20000));
    EXPECT_EQ(validate.exitCode(), 0) << entry.toStdString() << "\n" << validate.readAll().toStdString();
  }
}

// ---- the program ------------------------------------------------------------------

// Without a display a window cannot be opened, so a program that ends with code 0 there
// has ended without one.
TEST(RegistrationSwitches, ProgramRegistersAndUnregistersWithoutAWindow) {
  QTemporaryDir dir;
  QProcessEnvironment environment = test::IsolatedEnvironment(dir.path());
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  const TRegistration registration{test::ProgramUnderTestPath(), dir.path() + "/share"};
  for (const char* argument : {"-REGSERVER", "/unregserver"}) {
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(test::ProgramUnderTestPath(), {argument});
    ASSERT_TRUE(WaitForExit(program)) << argument;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << argument;
    EXPECT_EQ(program.exitCode(), 0) << argument << program.readAllStandardError().toStdString();
    const bool registering = QString(argument) == "-REGSERVER";
    EXPECT_EQ(QFileInfo::exists(ServiceFilePath(registration)), registering) << argument;
    EXPECT_EQ(QFileInfo::exists(DesktopEntryPath(registration)), registering) << argument;
    EXPECT_EQ(QFileInfo::exists(HandlerEntryPath(registration)), registering) << argument;
    if (registering) {
      EXPECT_TRUE(Read(ServiceFilePath(registration)).contains(test::ProgramUnderTestPath()));
    }
  }
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/data")) << "the data folder was touched";
  EXPECT_FALSE(QFileInfo::exists(dir.path() + "/config")) << "the settings were touched";
}

}  // namespace
}  // namespace skimbrook
