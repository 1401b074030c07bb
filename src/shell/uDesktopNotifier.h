// Desktop notifications: one message at a time shown by the desktop's notification daemon
// (the freedesktop.org service org.freedesktop.Notifications on the session bus), with a
// click that comes back to the program.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace skimbrook {

// What the main window needs of a notifier; tests put a stand-in in its place.
class TNotifier {
 public:
  virtual ~TNotifier() = default;
  // Shows Summary with Body; a later message replaces one still on show.
  virtual void Notify(const QString& Summary, const QString& Body) = 0;
  // Called when the user clicks the message on show.
  std::function<void()> OnClicked;
};

// The notifier over the session bus. Without a notification service on the bus, Notify
// hands the message to Fallback (for example the notification-area icon's balloon), when
// one is set.
class TDesktopNotifier final : public QObject, public TNotifier {
  Q_OBJECT

 public:
  explicit TDesktopNotifier(QObject* Parent = nullptr);
  void Notify(const QString& Summary, const QString& Body) override;

  std::function<void(const QString& Summary, const QString& Body)> Fallback;

 private slots:
  // Signals of the notification service.
  void ActionInvoked(uint Id, const QString& Action);
  void NotificationClosed(uint Id, uint Reason);

 private:
  uint shownId_ = 0;  // the message on show, 0 for none
};

}  // namespace skimbrook
