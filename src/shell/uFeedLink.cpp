#include "shell/uFeedLink.h"

#include <algorithm>

#include <QByteArray>
#include <QRegularExpression>

namespace skimbrook {

namespace {

bool StartsWith(QStringView Text, QLatin1String Prefix) {
  return Text.startsWith(Prefix, Qt::CaseInsensitive);
}

bool IsWebAddress(QStringView Text) {
  return StartsWith(Text, QLatin1String("http://")) || StartsWith(Text, QLatin1String("https://"));
}

bool IsEncodedWebAddress(QStringView Text) {
  return StartsWith(Text, QLatin1String("http%3a")) || StartsWith(Text, QLatin1String("https%3a"));
}

// "javascript:", "file:" and the like; "host:8080" is a host and its port.
bool StartsWithOtherScheme(QStringView Text) {
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:(?![0-9])"));
  return scheme.match(Text.toString()).hasMatch();
}

bool HasControlCharacter(const QString& Text) {
  return std::any_of(Text.begin(), Text.end(),
                     [](QChar C) { return C.unicode() < 0x20 || C.unicode() == 0x7f; });
}

// What follows "feed:" or "feeds:"; Secure tells which of the two it was.
QString Inner(QStringView Rest, bool Secure) {
  if (IsWebAddress(Rest)) return Rest.toString();
  if (IsEncodedWebAddress(Rest)) return QString::fromUtf8(QByteArray::fromPercentEncoding(Rest.toUtf8()));
  if (Rest.startsWith(QLatin1String("//"))) Rest = Rest.mid(2);
  // "feed://https://host/..." as some pages write it.
  if (IsWebAddress(Rest)) return Rest.toString();
  // "feed:file:///..." must not become "http://file:///...".
  if (Rest.isEmpty() || StartsWithOtherScheme(Rest)) return {};
  return (Secure ? QStringLiteral("https://") : QStringLiteral("http://")) + Rest.toString();
}

}  // namespace

QString FeedAddressFromLink(const QString& Link) {
  const QString link = Link.trimmed();
  const QStringView text(link);
  QString address = link;
  if (StartsWith(text, QLatin1String("feeds:")))
    address = Inner(text.mid(6), true);
  else if (StartsWith(text, QLatin1String("feed:")))
    address = Inner(text.mid(5), false);
  // A downloaded copy (a file path or file: address) or any other scheme is no address
  // to subscribe to: it would not be there at the next download.
  // A decoded address may also hide a line break or other control character.
  const bool complete = IsWebAddress(address) && address.size() > address.indexOf(QLatin1String("//")) + 2 &&
                        !HasControlCharacter(address);
  return complete ? address : QString();
}

}  // namespace skimbrook
