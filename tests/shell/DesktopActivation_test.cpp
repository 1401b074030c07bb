// A later start brings the running copy's window to the front on a real X display, while
// another program has the focus: without a window manager, and with one that keeps
// programs in the background from taking the focus (there the window is also minimised).
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "ShellTestSupport.h"

namespace skimbrook {
namespace {

using test::TVirtualDesktop;
using test::WaitForExit;

class DesktopActivationTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    const QStringList tools = {"Xvfb", "xdotool", "xprop", "xeyes", GetParam() ? "openbox" : "Xvfb"};
    if (const QString missing = TVirtualDesktop::MissingTool(tools); !missing.isEmpty())
      GTEST_SKIP() << missing.toStdString() << " is not installed";
    desktop_ = std::make_unique<TVirtualDesktop>(GetParam());
    ASSERT_TRUE(desktop_->IsRunning()) << desktop_->ManagerReport().toStdString();
    environment_ = desktop_->Environment(test::IsolatedEnvironment(dir_.path()));
  }
  void TearDown() override {
    for (QProcess* process : {&first_, &eyes_}) {
      process->kill();
      process->waitForFinished(5000);
    }
  }
  void Start(QProcess& Process, const QString& Program, const QStringList& Arguments = {}) {
    Process.setProcessEnvironment(environment_);
    Process.start(Program, Arguments);
    ASSERT_TRUE(Process.waitForStarted(20000));
  }

  // The manager iconifies only a window it has taken in (it then sets WM_STATE); on a busy
  // machine a request sent earlier is lost, so this waits for that and asks until it holds.
  bool Minimise(const QString& Window) {
    const auto state = [&] { return desktop_->WindowProperty(Window, "WM_STATE"); };
    if (!test::WaitFor([&] { return state().contains("Normal"); }, 30000)) return false;
    return test::WaitFor(
        [&] {
          desktop_->XDoTool({"windowminimize", Window});
          return test::WaitFor([&] { return state().contains("Iconic"); }, 3000);
        },
        60000);
  }

  QTemporaryDir dir_;
  std::unique_ptr<TVirtualDesktop> desktop_;
  QProcessEnvironment environment_;
  QProcess first_, eyes_;
};

TEST_P(DesktopActivationTest, ALaterStartGivesTheRunningCopyTheFocus) {
  Start(first_, test::TestAppPath());
  // A generous wait: beside other test programs on a busy machine the first start is slow.
  const QString window = desktop_->WindowNamed("Skimbrook v.1.0", 60000);
  ASSERT_FALSE(window.isEmpty()) << "state " << first_.state()
                                 << ", output: " << first_.readAllStandardError().toStdString();
  if (GetParam()) {
    ASSERT_TRUE(Minimise(window)) << desktop_->WindowProperty(window, "WM_STATE").toStdString() << "; "
                                  << desktop_->ManagerReport().toStdString();
  }
  Start(eyes_, "xeyes");
  desktop_->XDoTool({"windowfocus", "--sync", desktop_->WindowNamed("xeyes")});
  ASSERT_EQ(desktop_->FocusedWindowName(), "xeyes");

  QProcess later;
  Start(later, test::TestAppPath(), {"a"});
  ASSERT_TRUE(WaitForExit(later, 60000));
  EXPECT_EQ(later.exitCode(), 0);
  EXPECT_FALSE(desktop_->WindowNamed("Skimbrook v.1.0", 10000).isEmpty()) << "not shown again";
  EXPECT_TRUE(test::WaitFor([&] { return desktop_->FocusedWindowName() == "Skimbrook v.1.0"; }, 10000))
      << desktop_->FocusedWindowName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopActivationTest, ::testing::Bool(), [](const auto& Info) {
  return Info.param ? "WithWindowManager" : "WithoutWindowManager";
});

}  // namespace
}  // namespace skimbrook
