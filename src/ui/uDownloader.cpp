#include "ui/uDownloader.h"

#include "download/fDownload.h"

namespace skimbrook {

namespace {

class TDownloadWindowAdapter : public TDownloader {
 public:
  TDownloadWindowAdapter(const TSettings& Settings, QWidget* MainWindow) : window_(Settings, MainWindow) {
    window_.OnFeedApplied = [this](TFeed& Feed) {
      if (OnFeedApplied) OnFeedApplied(Feed);
    };
  }
  void QueueFeed(std::shared_ptr<TFeed> Feed) override { window_.QueueFeed(std::move(Feed)); }
  void RunQueue() override { window_.RunQueue(); }
  void Abort() override { window_.Abort(); }

 private:
  TfmDownload window_;
};

}  // namespace

std::unique_ptr<TDownloader> CreateDownloadWindow(const TSettings& Settings, QWidget* MainWindow) {
  return std::make_unique<TDownloadWindowAdapter>(Settings, MainWindow);
}

}  // namespace skimbrook
