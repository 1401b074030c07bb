#include "shell/uSingleInstance.h"

#include "shell/uRegistration.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <string_view>
#include <utility>

#include "shell/uBusNames.h"
#include "shell/uWindowActivation.h"

namespace skimbrook {

namespace {

// How long a later copy waits for the running copy to take its command line. The running
// copy may still be starting when two copies are launched together, so this is generous.
constexpr int ActivateTimeoutMs = 60000;
// How often a later copy tries again when the copy it found ended before it could be called.
constexpr int ClaimAttempts = 10;

QApplication* WidgetApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance());
}

QMainWindow* MainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<QMainWindow*>(widget)) return window;
  }
  return nullptr;
}

void Restore(QWidget* Window) {
  if (Window->isMinimized()) Window->setWindowState(Window->windowState() & ~Qt::WindowMinimized);
}

void BringToFront(QWidget* Window) {
  Restore(Window);
  // A main window hidden to the notification area comes back, as its "Restore" would do.
  if (!Window->isVisible()) Window->show();
  ActivateWindowFromOutside(Window);
}

// Sends the reply to a delayed call when it goes out of scope, so that the waiting copy is
// released even when the handler throws on its way to the application's error handler.
class TReplyOnExit {
 public:
  TReplyOnExit(QDBusConnection Bus, QDBusMessage Call) : bus_(std::move(Bus)), call_(std::move(Call)) {}
  ~TReplyOnExit() { bus_.send(call_.createReply()); }
  TReplyOnExit(const TReplyOnExit&) = delete;
  TReplyOnExit& operator=(const TReplyOnExit&) = delete;

 private:
  QDBusConnection bus_;
  QDBusMessage call_;
};

// Serves org.skimbrook.Skimbrook for the copy that owns the bus name: a later copy calls
// Activate with its command line. It also remembers which of this copy's windows the user
// used last, since that is the window to bring forward.
class TActivation : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.skimbrook.Skimbrook")

 public:
  explicit TActivation(QObject* Parent);

  std::function<void(const QString&)> Handler;

 public slots:
  // Brings this copy forward and hands CommandLine to the handler; answers when done.
  Q_SCRIPTABLE void Activate(const QString& CommandLine);

 private:
  void FocusWindowChanged(QWindow* Focused);
  void Handle(const QDBusConnection& Bus, const QDBusMessage& Call, const QString& CommandLine);
  QWidget* Target() const;

  QPointer<QWidget> lastActive_;
};

static_assert(std::string_view(ActivationInterface) == "org.skimbrook.Skimbrook");

TActivation::TActivation(QObject* Parent) : QObject(Parent) {
  if (auto* app = WidgetApplication())
    connect(app, &QGuiApplication::focusWindowChanged, this, &TActivation::FocusWindowChanged);
}

void TActivation::FocusWindowChanged(QWindow* Focused) {
  if (!Focused) return;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowHandle() == Focused) lastActive_ = widget;
  }
}

void TActivation::Activate(const QString& CommandLine) {
  // Handled from the event loop, not inside the bus's delivery, so that an error of the
  // handler reaches the application's error handler like any other event's error.
  setDelayedReply(true);
  QDBusConnection bus = connection();
  QDBusMessage call = message();
  QTimer::singleShot(0, this, [this, bus, call, CommandLine] { Handle(bus, call, CommandLine); });
}

// The window of this copy the user used last: an open modal dialog first, since the main
// window cannot be used while it is open; then the active window; then the one last
// active; then the main window.
QWidget* TActivation::Target() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (lastActive_ && lastActive_->isVisible()) return lastActive_;
  return MainWindow();
}

void TActivation::Handle(const QDBusConnection& Bus, const QDBusMessage& Call, const QString& CommandLine) {
  TReplyOnExit reply(Bus, Call);
  QWidget* target = nullptr;
  if (WidgetApplication()) {
    QMainWindow* main = MainWindow();
    if (main) Restore(main);
    target = Target();
    if (target) BringToFront(target);
  }
  // The command line goes to the main window only; a dialog in front of it ignores it.
  const bool targetIgnoresIt = target && target != MainWindow();
  if (!CommandLine.isEmpty() && Handler && !targetIgnoresIt) Handler(CommandLine);
}

TActivation* TheActivation() {
  static QPointer<TActivation> object;
  if (!object) object = new TActivation(QCoreApplication::instance());
  return object;
}

enum class TClaim { Owned, OwnedByAnother, Failed };

TClaim ClaimBusName(QDBusConnection& Bus) {
  QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = Bus.interface()->registerService(
      QString::fromLatin1(BusServiceName), QDBusConnectionInterface::DontQueueService,
      QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) {
    SayOnStandardError("cannot claim the name " + QString::fromLatin1(BusServiceName) + " (" +
                       reply.error().message() + "); starting as the only copy.");
    return TClaim::Failed;
  }
  return reply.value() == QDBusConnectionInterface::ServiceRegistered ? TClaim::Owned
                                                                      : TClaim::OwnedByAnother;
}

// Calls Activate on the copy that owns the name. Never starts a copy for the call: if the
// owner has just ended, the caller claims the name itself.
QDBusMessage CallActivate(QDBusConnection& Bus, const QString& CommandLine) {
  QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(BusServiceName),
                                                     QString::fromLatin1(ActivationObjectPath),
                                                     QString::fromLatin1(ActivationInterface), "Activate");
  call << CommandLine;
  call.setAutoStartService(false);
  return Bus.call(call, QDBus::Block, ActivateTimeoutMs);
}

bool OwnerHasGone(const QDBusMessage& Answer) {
  const QString name = Answer.errorName();
  return name == QDBusError::errorString(QDBusError::ServiceUnknown) ||
         name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

}  // namespace

QStringList CommandLineArguments(int Argc, char** Argv) {
  QStringList arguments;
  for (int i = 1; i < Argc; ++i) arguments << QString::fromLocal8Bit(Argv[i]);
  return arguments;
}

bool FindAndActivateRunningCopy(const QStringList& Arguments) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    SayOnStandardError("no D-Bus session bus (" + bus.lastError().message() +
                       "); starting as the only copy.");
    return false;
  }
  // Registered before the name is claimed, so that a later copy never finds the name
  // without the object behind it.
  bus.registerObject(QString::fromLatin1(ActivationObjectPath), TheActivation(),
                     QDBusConnection::ExportScriptableSlots);
  const QString commandLine = Arguments.join(QLatin1Char(' '));
  for (int attempt = 0; attempt < ClaimAttempts; ++attempt) {
    switch (ClaimBusName(bus)) {
      case TClaim::Owned:
      case TClaim::Failed:
        return false;
      case TClaim::OwnedByAnother:
        break;
    }
    QDBusMessage answer = CallActivate(bus, commandLine);
    if (answer.type() == QDBusMessage::ReplyMessage) return true;
    if (!OwnerHasGone(answer)) {
      SayOnStandardError("the running copy did not take the command line (" + answer.errorMessage() + ").");
      return true;
    }
  }
  SayOnStandardError("the running copy kept ending while this one started; ending.");
  return true;
}

void SetActivationHandler(std::function<void(const QString& CommandLine)> Handler) {
  TheActivation()->Handler = std::move(Handler);
}

}  // namespace skimbrook

#include "uSingleInstance.moc"
