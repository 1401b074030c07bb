#include "shell/uDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace skimbrook {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
// The action a click on the message body invokes.
constexpr char kDefaultAction[] = "default";
// How long the daemon shows the message, in milliseconds.
constexpr int kShownMs = 10000;

}  // namespace

TDesktopNotifier::TDesktopNotifier(QObject* Parent) : QObject(Parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
              SLOT(ActionInvoked(uint, QString)));
  bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
              SLOT(NotificationClosed(uint, uint)));
}

void TDesktopNotifier::Notify(const QString& Summary, const QString& Body) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  const QStringList actions{QString::fromLatin1(kDefaultAction), QStringLiteral("Show Skimbrook")};
  const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("skimbrook")}};
  call << QStringLiteral("Skimbrook") << shownId_ << QStringLiteral("skimbrook") << Summary << Body << actions
       << hints << kShownMs;
  // A short wait: the daemon answers at once, and without one the call fails at once.
  QDBusReply<uint> reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
  if (reply.isValid()) {
    shownId_ = reply.value();
    return;
  }
  shownId_ = 0;
  if (Fallback) Fallback(Summary, Body);
}

void TDesktopNotifier::ActionInvoked(uint Id, const QString& Action) {
  if (Id != shownId_ || shownId_ == 0 || Action != QLatin1String(kDefaultAction)) return;
  if (OnClicked) OnClicked();
}

void TDesktopNotifier::NotificationClosed(uint Id, uint) {
  if (Id == shownId_) shownId_ = 0;
}

}  // namespace skimbrook
