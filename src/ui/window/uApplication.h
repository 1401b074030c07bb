// The application object. Any exception that leaves an event handler (a command, a timer
// tick, a posted call) ends up here: its text is shown in a message box titled "Skimbrook"
// and the program goes on.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>

namespace skimbrook {

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& Argc, char** Argv);

  bool notify(QObject* Receiver, QEvent* Event) override;

  // Shows Message as the application's error. Tests replace the message box.
  void ReportError(const QString& Message);
  std::function<void(const QString& Message)> OnError;
};

}  // namespace skimbrook
