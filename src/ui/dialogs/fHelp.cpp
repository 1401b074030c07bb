#include "ui/dialogs/fHelp.h"

#include <QCoreApplication>
#include <QFile>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "settings/uProgramFiles.h"

namespace skimbrook {

namespace {

TfmHelp* HelpWindow = nullptr;

// Centres Window on Parent's window, or on its screen when there is no parent.
void CentreOn(QWidget& Window, QWidget* Parent) {
  QRect Frame = Window.frameGeometry();
  if (Parent != nullptr) {
    Frame.moveCenter(Parent->window()->frameGeometry().center());
  } else if (Window.screen() != nullptr) {
    Frame.moveCenter(Window.screen()->availableGeometry().center());
  }
  Window.move(Frame.topLeft());
}

// file:// and the folder of the program's pages (beside it, or an installation's share
// folder); built from the local path so that a folder name holding '#', '%' or '?' still
// names the file.
QUrl HelpPageUrl() {
  const TProgramFiles program =
      LocateProgramFiles(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
  return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(program.PagesFolder + "help.html")));
}

}  // namespace

TfmHelp::TfmHelp() : QWidget(nullptr, Qt::Tool) {
  setObjectName(QStringLiteral("fmHelp"));
  setWindowTitle(QStringLiteral("Help"));
  // A kept helper window must not keep the program alive once the main window closes.
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(600, 400);
  WebBrowser = new QWebEngineView(this);
  WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(WebBrowser);
  // A shortcut rather than a key handler: the browser takes the key events first and
  // would not hand Escape on.
  auto* Escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  Escape->setContext(Qt::WindowShortcut);
  connect(Escape, &QShortcut::activated, this, &TfmHelp::FormKeyEscape);
}

void TfmHelp::FormKeyEscape() {
  hide();
}

void ShowHelpWindow(QWidget* Parent) {
  if (HelpWindow == nullptr) {
    HelpWindow = new TfmHelp;
    CentreOn(*HelpWindow, Parent);
    // The kept window goes when the event loop ends: its page must be gone before the
    // browser engine shuts down with the application object.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] {
      delete HelpWindow;
      HelpWindow = nullptr;
    });
  }
  HelpWindow->WebBrowser->load(HelpPageUrl());
  HelpWindow->show();
  HelpWindow->raise();
  HelpWindow->activateWindow();
}

}  // namespace skimbrook
