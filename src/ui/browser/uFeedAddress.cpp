#include "ui/browser/uFeedAddress.h"

#include <stdexcept>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "shell/uFeedLink.h"

namespace skimbrook {

QUrl FeedBaseUrl(const std::string& XmlUrl) {
  const QString text = ToDisplay(Trim(XmlUrl));
  if (text.isEmpty()) return QUrl();
  QUrl base(text);
  // "example.org/feed.xml" is fetched as http; its links resolve the same way.
  if (base.scheme().isEmpty()) base = QUrl(QStringLiteral("http://") + text);
  return base;
}

QUrl ResolveFeedAddress(const std::string& Address, const QUrl& Base) {
  // Feeds often wrap their links in white space.
  const QUrl address(ToDisplay(Trim(Address)));
  return Base.isValid() ? Base.resolved(address) : address;
}

bool IsWebAddress(const QUrl& Url) {
  return Url.isValid() && (Url.scheme() == QLatin1String("http") || Url.scheme() == QLatin1String("https"));
}

QString RefusedAddressNote(const QUrl& Url) {
  if (!Url.isValid() || Url.scheme().isEmpty())
    return QStringLiteral("Not opened: the address is not a web address (only http and https are opened)");
  return QStringLiteral("Not opened: %1: addresses are not followed (only http and https are opened)")
      .arg(Url.scheme());
}

std::string SubscriptionAddress(const std::string& Asked) {
  // Blanks around a typed or pasted address go; any other control character, wherever it
  // stands, is refused. Checked on the bytes first: a megabyte of text is refused before
  // anything reads it.
  const size_t first = Asked.find_first_not_of(" \t\r\n");
  std::string address = first == std::string::npos
                            ? std::string()
                            : Asked.substr(first, Asked.find_last_not_of(" \t\r\n") - first + 1);
  if (address.size() > kMaxFeedAddressBytes) throw std::runtime_error(FeedAddressProblem(address));
  if (QString::fromStdString(address.substr(0, 5)).startsWith(QLatin1String("feed"), Qt::CaseInsensitive)) {
    const QString web = FeedAddressFromLink(ToDisplay(address, "utf-8"));
    if (web.isEmpty()) throw std::runtime_error("The feed: link names no http or https address.");
    address = FromDisplay(web);
  }
  if (const std::string problem = FeedAddressProblem(address); !problem.empty())
    throw std::runtime_error(problem);
  return address;
}

}  // namespace skimbrook
