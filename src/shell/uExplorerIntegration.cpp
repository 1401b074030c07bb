#include "shell/uExplorerIntegration.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <exception>
#include <string_view>
#include <utility>

#include "shell/uBusNames.h"

namespace skimbrook {

namespace {

// One AddFeed call waiting for its turn, with what is needed to answer it later.
struct TAddFeedRequest {
  QDBusConnection Bus;
  QDBusMessage Call;
  QString Url;
};

// Serves org.skimbrook.IExpInt. Every call is answered later (a delayed reply): the calls
// are queued and run one at a time from the event loop. Running a call inside the slot
// would nest the next call's question inside the previous one's dialog loop, and the
// earlier caller would get its answer only after the later question had been answered.
class TExpInt : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.skimbrook.IExpInt")

 public:
  explicit TExpInt(QObject* Parent) : QObject(Parent) {}
  ~TExpInt() override;

  void SetAddFeed(std::function<void(const std::string&)> AddFeed) { addFeed_ = std::move(AddFeed); }

 public slots:
  // Subscribes to the feed at URL; answers once the main window's AddFeed has returned.
  Q_SCRIPTABLE void AddFeed(const QString& URL);

 private:
  void ScheduleNext() { QTimer::singleShot(0, this, &TExpInt::RunNext); }
  void RunNext();
  QDBusMessage Serve(const TAddFeedRequest& Request);

  std::function<void(const std::string&)> addFeed_;
  std::deque<TAddFeedRequest> queue_;
  bool running_ = false;
};

static_assert(std::string_view(PopupInterface) == "org.skimbrook.IExpInt");

TExpInt::~TExpInt() {
  // Callers still waiting get an answer instead of a time-out.
  for (const TAddFeedRequest& request : queue_)
    request.Bus.send(
        request.Call.createErrorReply(AddFeedErrorName, QStringLiteral("Skimbrook is closing.")));
}

void TExpInt::AddFeed(const QString& URL) {
  setDelayedReply(true);
  queue_.push_back({connection(), message(), URL});
  ScheduleNext();
}

void TExpInt::RunNext() {
  // While a request waits for the user, the dialog's loop may run this again for a newer
  // request; that one waits its turn.
  if (running_ || queue_.empty()) return;
  TAddFeedRequest request = std::move(queue_.front());
  queue_.pop_front();
  running_ = true;
  QDBusMessage answer = Serve(request);
  running_ = false;
  request.Bus.send(answer);
  if (!queue_.empty()) ScheduleNext();
}

QDBusMessage TExpInt::Serve(const TAddFeedRequest& Request) {
  try {
    if (!addFeed_)
      return Request.Call.createErrorReply(AddFeedErrorName, QStringLiteral("Skimbrook is not ready."));
    addFeed_(Request.Url.toUtf8().toStdString());
    return Request.Call.createReply();
  } catch (const std::exception& error) {
    return Request.Call.createErrorReply(AddFeedErrorName, QString::fromUtf8(error.what()));
  } catch (...) {
    return Request.Call.createErrorReply(AddFeedErrorName, QStringLiteral("Unknown error."));
  }
}

QPointer<TExpInt>& TheExpInt() {
  static QPointer<TExpInt> object;
  return object;
}

}  // namespace

void RegisterAutomationObject(std::function<void(const std::string& Url)> AddFeed) {
  QPointer<TExpInt>& object = TheExpInt();
  if (!object) {
    object = new TExpInt(QCoreApplication::instance());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
      bus.registerObject(QString::fromLatin1(PopupObjectPath), object,
                         QDBusConnection::ExportScriptableSlots);
  }
  object->SetAddFeed(std::move(AddFeed));
}

}  // namespace skimbrook

#include "uExplorerIntegration.moc"
