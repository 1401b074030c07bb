// Drives libcurl from the Qt event loop: one socket notifier per watched direction of a
// socket and one single-shot timer, so that a fetch waits inside a nested event loop in
// which windows repaint and take clicks, and nothing polls.
#pragma once

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

#include "download/uCurlHttpClient.h"

class QEventLoop;
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

  TTarget* target_ = nullptr;
  std::map<curl_socket_t, TWatch> sockets_;
  QTimer timer_;
  QTimer watchdog_;
  QEventLoop* loop_ = nullptr;
};

// The program's HTTP client: libcurl driven by the Qt event loop.
std::unique_ptr<HttpClient> NewQtHttpClient(TCurlLimits Limits = {});

}  // namespace skimbrook
