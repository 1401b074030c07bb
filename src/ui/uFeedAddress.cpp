#include "ui/uFeedAddress.h"

#include "display/uDisplayText.h"
#include "model/uRSS.h"

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

}  // namespace skimbrook
