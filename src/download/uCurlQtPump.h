// Drives libcurl from the Qt event loop: one socket notifier per watched direction of a
// socket and one single-shot timer. Nothing waits and nothing polls: transfers advance on
// the main loop's events, and an ended transfer is reported from a zero-time timer, so
// that windows repaint and take clicks throughout.
#pragma once

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

#include "download/uCurlHttpClient.h"

class QSocketNotifier;

namespace skimbrook {

class TCurlQtPump final : public QObject, public TCurlPump {
  Q_OBJECT

 public:
  TCurlQtPump();
  ~TCurlQtPump() override;

  void SetTarget(TTarget* Target) override;
  void WatchSocket(curl_socket_t Socket, int What) override;
  void SetTimer(long Ms) override;
  void SetWatchdog(long Ms) override;
  void Wait() override;
  void Wake() override;

 private:
  struct TNotifierRelease {
    void operator()(QSocketNotifier* Notifier) const;
  };
  using TNotifier = std::unique_ptr<QSocketNotifier, TNotifierRelease>;
  struct TWatch {
    TNotifier Read;
    TNotifier Write;
  };

  TNotifier NewNotifier(curl_socket_t Socket, bool ForWriting);
  void TimerFired();
  void WatchdogFired();
  void WakeFired();

  TTarget* target_ = nullptr;
  std::map<curl_socket_t, TWatch> sockets_;
  QTimer timer_;
  QTimer watchdog_;
  QTimer wake_;
};

// The program's HTTP client: libcurl driven by the Qt event loop. Its transfers are
// started with Start and report through their Done; Fetch and WaitForTransfers, which
// would wait, are not for it.
std::unique_ptr<HttpClient> NewQtHttpClient(TCurlLimits Limits = {});

}  // namespace skimbrook
