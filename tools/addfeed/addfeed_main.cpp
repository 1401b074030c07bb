// skimbrook-addfeed URL: subscribes Skimbrook to a feed, the way a browser hands over a
// feed: link. Calls AddFeed on the running copy (the session bus starts one when none
// runs), waits until the user has answered its question, and exits 0 on success or
// non-zero with the error text on standard error.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdio>
#include <limits>

#include "shell/uBusNames.h"
#include "shell/uFeedLink.h"

namespace {

int Fail(const QString& Text, int Code) {
  std::fputs(("skimbrook-addfeed: " + Text + "\n").toLocal8Bit().constData(), stderr);
  return Code;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skimbrook;
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  if (arguments.size() != 1) return Fail(QStringLiteral("usage: skimbrook-addfeed URL"), 2);
  const QString address = FeedAddressFromLink(arguments.first());
  if (address.isEmpty()) return Fail("no feed address in \"" + arguments.first() + "\"", 2);

  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return Fail("no D-Bus session bus: " + bus.lastError().message(), 1);
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(BusServiceName), QString::fromLatin1(PopupObjectPath),
      QString::fromLatin1(PopupInterface), QStringLiteral("AddFeed"));
  call << address;
  // The answer comes once the user has answered "Download feed now?"; the bus's usual
  // time-out of about 25 seconds would fail a user who reads first. The largest value
  // means no time-out.
  const QDBusMessage answer = bus.call(call, QDBus::Block, std::numeric_limits<int>::max());
  if (answer.type() != QDBusMessage::ReplyMessage) return Fail(answer.errorMessage(), 1);
  return 0;
}
