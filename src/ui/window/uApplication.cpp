#include "ui/window/uApplication.h"

#include <QMessageBox>
#include <exception>

#include "display/uDisplayText.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
  setApplicationName(QString::fromLatin1(product::kName));
  setApplicationVersion(QString::fromLatin1(product::kVersion));
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& error) {
    ReportError(ToDisplay(error.what()));
  } catch (...) {
    ReportError(QStringLiteral("Unknown error."));
  }
  return false;
}

void TApplication::ReportError(const QString& Message) {
  if (OnError) {
    OnError(Message);
    return;
  }
  // An error's text may quote a server or a file.
  ShowPlainMessageBox(activeWindow(), QMessageBox::Critical, QString::fromLatin1(product::kName), Message,
                      QMessageBox::Ok);
}

}  // namespace skimbrook
