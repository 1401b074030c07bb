#include "ui/uApplication.h"

#include <QMessageBox>
#include <exception>

#include "display/uDisplayText.h"
#include "ui/uProduct.h"

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
  QMessageBox::critical(activeWindow(), QString::fromLatin1(product::kName), Message);
}

}  // namespace skimbrook
