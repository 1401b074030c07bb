// How the window's downloads are set up from the settings: the download window for a run,
// the proxy, and the fetch behind Add Feed's look at a page.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "download/uDownloader.h"
#include "download/uHttpClient.h"
#include "ui/dialogs/uAddFeedDiscovery.h"

class QWidget;

namespace skimbrook {

class TSettings;

// Creates a run for the main window with the proxy settings of Settings.
using TDownloaderFactory =
    std::function<std::unique_ptr<TDownloader>(const TSettings& Settings, QWidget* MainWindow)>;

// The proxy that downloads go through: none unless UseProxy is on. The user name and
// password are handed over whether or not UseAuthentication is set; it only decides whether
// they go out with the first request.
std::optional<THttpProxy> DownloadProxy(const TSettings& Settings);

// The page at Url for Add Feed's look at a typed address: fetched with the program's client
// and proxy (its status lines go nowhere), at most kMaxDiscoveryPageBytes of it and for
// seconds, while a window over Parent offers Cancel; none unless the answer is a success,
// and a page marked Cancelled when the user stopped it.
std::optional<TFetchedPage> FetchPageForDiscovery(const TSettings& Settings, const std::string& Url,
                                                  QWidget* Parent = nullptr);

// The download window for a run, with the options and proxy of Settings.
std::unique_ptr<TDownloader> CreateDownloadWindow(const TSettings& Settings, QWidget* MainWindow);

}  // namespace skimbrook
