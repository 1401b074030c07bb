// Import and export of subscription lists as OPML files, each entry chosen in the
// import/export dialog.
#include <QFile>
#include <ctime>
#include <unordered_set>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/dialogs/fImpExp.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/panes/uFeedListPane.h"
#include "ui/window/fMain.h"

namespace skimbrook {

namespace {

std::string FileNameBytes(const QString& Path) {
  return QFile::encodeName(Path).toStdString();
}

}  // namespace

void TfmMain::ImportFeeds() {
  const QString path = Prompts().OpenFileName(QStringLiteral("Import"), QString::fromLatin1(kOpmlFilter),
                                              QString::fromLatin1(kOpmlExtension));
  if (path.isEmpty()) return;
  TFeedList chosen;
  // A file that cannot be read ends the command here, before anything has changed.
  chosen.LoadFromFile(FileNameBytes(path));
  const std::optional<std::vector<int>> ticked =
      services_.Dialogs.ChooseEntries(chosen, QStringLiteral("Import"), this);
  // The window may have shut down while the dialog was open; the list has been saved then.
  if (!ticked || shutDown_) return;

  // Entries go to the end of the list, so that rows, the current feed and a running
  // download (which holds its own queue) are not disturbed. An entry whose address is no
  // web address (a local file, a script) is left out, and so is one whose address is
  // already subscribed or came earlier in the file: one subscription per address.
  std::unordered_set<std::string> subscribed;
  for (int i = 0; i < FeedList().Count(); ++i)
    if (!FeedList().Feeds(i)->XmlUrl.empty()) subscribed.insert(FeedAddressKey(FeedList().Feeds(i)->XmlUrl));
  int refused = 0;
  int duplicates = 0;
  for (const int line : *ticked) {
    const TFeed& source = *chosen.Feeds(line);
    if (!source.XmlUrl.empty() && !FeedAddressProblem(source.XmlUrl).empty()) {
      ++refused;
      continue;
    }
    if (!source.XmlUrl.empty() && !subscribed.insert(FeedAddressKey(source.XmlUrl)).second) {
      ++duplicates;
      continue;
    }
    feedListPane_->InsertFeedRow(
        FeedList().Count(),
        std::make_shared<TFeed>(source.Title, source.HtmlUrl, source.XmlUrl, source.Description));
  }
  FeedList().SaveDefault();
  if (duplicates > 0)
    NoteStatus(duplicates == 1
                   ? QStringLiteral("1 entry was left out: its address is already subscribed.")
                   : QStringLiteral("%1 entries were left out: their addresses are already subscribed.")
                         .arg(duplicates));
  if (refused > 0)
    Prompts().Information(
        QStringLiteral("Import"),
        QStringLiteral("%1 of the chosen entries %2 left out: only http and https addresses of "
                       "at most 8 KiB without control characters can be subscribed to.")
            .arg(refused)
            .arg(refused == 1 ? QStringLiteral("was") : QStringLiteral("were")));
}

void TfmMain::ExportFeeds() {
  // The saved list, not the one in memory: what is exported is what the file holds.
  TFeedList saved;
  saved.LoadDefault();
  const std::optional<std::vector<int>> ticked =
      services_.Dialogs.ChooseEntries(saved, QStringLiteral("Export"), this);
  if (!ticked) return;
  const QString path = Prompts().SaveFileName(QStringLiteral("Export"), QString::fromLatin1(kOpmlFilter),
                                              QString::fromLatin1(kOpmlExtension));
  if (path.isEmpty()) return;

  // Other programs read the file as UTF-8: each text goes in as the screen shows it, the
  // title decoded through its feed's encoding.
  const auto utf8 = [](const std::string& Bytes) { return FromDisplay(ToDisplay(Bytes)); };
  TFeedList exported;
  for (const int line : *ticked) {
    const TFeed& source = *saved.Feeds(line);
    exported.Add(std::make_shared<TFeed>(FromDisplay(ToDisplayTitle(source.Title, EncodingOf(source))),
                                         utf8(source.HtmlUrl), utf8(source.XmlUrl), std::string()));
  }
  exported.ExportToFile(FileNameBytes(path), "Skimbrook subscriptions", std::time(nullptr));
}

}  // namespace skimbrook
