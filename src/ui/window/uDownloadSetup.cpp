#include "ui/window/uDownloadSetup.h"

#include <QProgressDialog>

#include "display/uDisplayText.h"
#include "download/fDownload.h"
#include "download/uCurlHttpClient.h"
#include "download/uCurlQtPump.h"
#include "download/uFeedDiscovery.h"
#include "settings/uSettings.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

std::optional<TFetchedPage> FetchPageForDiscovery(const TSettings& Settings, const std::string& Url,
                                                  QWidget* Parent) {
  if (!Url.starts_with("http://") && !Url.starts_with("https://")) return std::nullopt;
  // A look at a page, not a download: a page is read up to a few megabytes and for a few
  // seconds at most, and the user can stop it at any time.
  TCurlLimits limits;
  limits.MaxBodyBytes = kMaxDiscoveryPageBytes;
  limits.ReadTimeout = std::chrono::seconds(10);
  limits.TotalTimeout = std::chrono::seconds(20);
  std::unique_ptr<HttpClient> client = NewQtHttpClient(limits);
  client->UserAgent = ProductUserAgent(product::kHomePage);
  if (std::optional<THttpProxy> proxy = DownloadProxy(Settings)) client->SetProxy(*proxy);

  // The look waits in a modal window that offers Cancel (Escape too).
  QProgressDialog progress(QStringLiteral("Looking for feeds at %1...").arg(ToDisplayAddress(Url)),
                           QStringLiteral("Cancel"), 0, 0, Parent);
  progress.setObjectName(QStringLiteral("dlgDiscoveryProgress"));
  progress.setWindowTitle(QStringLiteral("Add Feed"));
  std::optional<THttpOutcome> outcome;
  client->Start({Url, {}, {}}, {nullptr, nullptr, [&outcome, &progress](THttpOutcome Ended) {
                                  outcome = std::move(Ended);
                                  progress.done(QDialog::Accepted);
                                }});
  // The answer comes from the client's events, which the modal window's loop handles.
  progress.exec();
  if (!outcome) {
    // Cancelled: the client goes with this function, its transfer unreported.
    return TFetchedPage{{}, {}, Url, true};
  }
  if (!outcome->Response) return std::nullopt;  // the typed address is then added as it is
  const THttpResponse& answer = *outcome->Response;
  if (answer.Code < 200 || answer.Code > 299) return std::nullopt;
  return TFetchedPage{answer.Body, answer.Header("Content-Type").value_or(""), Url};
}

std::optional<THttpProxy> DownloadProxy(const TSettings& Settings) {
  if (!Settings.UseProxy) return std::nullopt;
  return THttpProxy{Settings.ProxyAddress, Settings.ProxyPort, Settings.ProxyUserName, Settings.ProxyPassword,
                    Settings.UseAuthentication};
}

std::unique_ptr<TDownloader> CreateDownloadWindow(const TSettings& Settings, QWidget* MainWindow) {
  auto window = std::make_unique<TfmDownload>(DownloadProxy(Settings), MainWindow);
  TRunOptions options;
  options.UserAgent = ProductUserAgent(product::kHomePage);
  options.FollowRedirects = Settings.FollowRedirects;
  options.Simultaneous = Settings.SimultaneousDownloads;
  window->SetOptions(std::move(options));
  return window;
}

}  // namespace skimbrook
