// Import and export of OPML files from the main window, with the check list scripted.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QListWidget>
#include <QStatusBar>
#include <filesystem>

#include "MainWindowFixture.h"
#include "download/uFetchState.h"
#include "ui/dialogs/fImpExp.h"
#include "ui/panes/uFeedListBox.h"
#include "ui/window/uApplication.h"

namespace skimbrook::test {

namespace {

const char kImportFile[] =
    "<?xml version=\"1.0\"?>\n<opml version=\"1.1\"><head><title>Shared</title></head><body>\n"
    "<outline text=\"A\" title=\"A\" description=\"About A\" xmlUrl=\"http://a.example/rss\" "
    "htmlUrl=\"http://a.example/\" unreadCount=\"7\"/>\n"
    "<outline title=\"Tech\">\n  <outline title=\"B\" xmlUrl=\"http://b.example/atom\"/>\n</outline>\n"
    "<outline title=\"C\" xmlUrl=\"http://c.example/rss\"/>\n</body></opml>\n";

class ImportExport : public MainWindowTest {
 protected:
  // Opens the window with the check list answered by `ticked` (nothing: Cancel).
  void OpenWithCheckList() {
    TMainWindowServices services = Services();
    services.Dialogs.ChooseEntries = [this](const TFeedList& List, const QString& Caption, QWidget*) {
      QStringList titles;
      for (int i = 0; i < List.Count(); ++i) titles << QString::fromStdString(List.Feeds(i)->Title);
      shown << Caption + ": " + titles.join(", ");
      return ticked;
    };
    window = std::make_unique<TfmMain>(services);
  }

  // The window with News (two items, the first shown) and the heading Sports.
  void OpenWithNews() {
    WriteSubscriptions({{"News", "http://example.org/news", 2}, {"Sports", ""}});
    WriteCache("http://example.org/news", {"One", "Two"}, "News");
    OpenWithCheckList();
    ClickFeedRow(0);
  }

  std::string ImportFile() {
    WriteFile(data.File("shared.opml"), kImportFile);
    return data.File("shared.opml");
  }

  QStringList shown;
  std::optional<std::vector<int>> ticked;
};

TEST_F(ImportExport, ImportAppendsTheTickedEntriesAtTheEndUnreadZeroAndSavesTheList) {
  OpenWithNews();
  const std::shared_ptr<TFeed> current = window->CurrentFeed();
  const std::shared_ptr<TFeedItem> item = window->CurrentItem();
  const QStringList lines = ItemLines();
  prompts.Answer(QString::fromStdString(ImportFile()));
  ticked = std::vector<int>{0, 1, 2};
  Ui().miFileImport->trigger();

  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Kind, TScriptedPrompts::TKind::OpenFileName);
  EXPECT_EQ(prompts.Asked()[0].Text, kOpmlFilter);
  EXPECT_EQ(shown, QStringList({"Import: A, Tech, B, C"}));
  EXPECT_EQ(FeedRows().mid(2), QStringList({"0 A", ". Tech", "0 B"}));
  ASSERT_EQ(window->FeedList().Count(), 5);
  const TFeed& a = *window->FeedList().Feeds(2);
  EXPECT_EQ(a.Description, "About A");
  EXPECT_EQ(a.HtmlUrl, "http://a.example/");
  EXPECT_EQ(a.UnreadCount, 0) << "the file's count is not taken over";
  EXPECT_EQ(a.ItemCount(), -1);

  const std::string saved = DefaultOpml();
  EXPECT_NE(saved.find("      <outline title=\"A\" description=\"About A\" xmlUrl=\"http://a.example/rss\" "
                       "htmlUrl=\"http://a.example/\" type=\"rss\" />\r\n"
                       "    </outline>\r\n"
                       "    <outline title=\"Tech\" description=\"\" htmlUrl=\"\" >\r\n"
                       "      <outline title=\"B\" description=\"\" xmlUrl=\"http://b.example/atom\""),
            std::string::npos)
      << saved;

  EXPECT_EQ(window->CurrentFeed(), current);
  EXPECT_EQ(window->CurrentItem(), item);
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 0);
  EXPECT_EQ(ItemLines(), lines);

  window->FeedList().Feeds(2)->UnreadCount = 5;
  window->FeedList().Feeds(2)->Changed();
  EXPECT_EQ(FeedRows()[2], "5 A") << "the row follows its entry";
}

TEST_F(ImportExport, ImportWithNothingTickedStillSavesTheList) {
  OpenWithNews();
  std::filesystem::remove(data.File("default.opml"));
  prompts.Answer(QString::fromStdString(ImportFile()));
  ticked = std::vector<int>{};
  window->ImportFeeds();
  EXPECT_EQ(window->FeedList().Count(), 2);
  EXPECT_TRUE(Exists(data.File("default.opml")));
}

TEST_F(ImportExport, CancellingTheFileOrTheCheckListImportsAndSavesNothing) {
  OpenWithNews();
  std::filesystem::remove(data.File("default.opml"));
  ticked = std::vector<int>{0};
  window->ImportFeeds();  // the open dialog cancelled
  EXPECT_TRUE(shown.isEmpty()) << "the check list is not shown";

  prompts.Answer(QString::fromStdString(ImportFile()));
  ticked.reset();
  window->ImportFeeds();
  EXPECT_EQ(shown.size(), 1);
  EXPECT_EQ(window->FeedList().Count(), 2);
  EXPECT_EQ(Ui().lbFeedList->count(), 2);
  EXPECT_FALSE(Exists(data.File("default.opml")));
}

TEST_F(ImportExport, AFileThatCannotBeReadGoesToTheApplicationsErrorAndChangesNothing) {
  OpenWithNews();
  auto& app = *static_cast<TApplication*>(QCoreApplication::instance());
  QStringList reported;
  app.OnError = [&](const QString& Message) { reported << Message; };
  prompts.Answer(QString::fromStdString(data.File("missing.opml")));
  ticked = std::vector<int>{0};
  // Delivered through the event loop, as a menu click is.
  QMetaObject::invokeMethod(
      window.get(), [this] { Trigger("miFileImport"); }, Qt::QueuedConnection);
  ProcessEvents();
  app.OnError = nullptr;
  EXPECT_EQ(reported.size(), 1);
  EXPECT_TRUE(shown.isEmpty());
  EXPECT_EQ(window->FeedList().Count(), 2);
}

TEST_F(ImportExport, ImportDuringADownloadAppendsWithoutDisturbingTheRun) {
  OpenWithNews();
  downloads.WaitInsideRun();
  ticked = std::vector<int>{3};
  window->DownloadAll();
  // While the run goes on.
  prompts.Answer(QString::fromStdString(ImportFile()));
  window->ImportFeeds();
  downloads.Release();
  ASSERT_EQ(downloads.Runs.size(), 1u);
  EXPECT_EQ(downloads.Runs[0].Queued.size(), 1u) << "the run keeps the queue it started with";
  EXPECT_EQ(FeedRows().last(), "0 C");
  EXPECT_NE(DefaultOpml().find("http://c.example/rss"), std::string::npos);
  EXPECT_FALSE(window->IsDownloading());
}

TEST_F(ImportExport, ImportLeavesOutAddressesAlreadySubscribedAndSaysHowMany) {
  WriteSubscriptions({{"A", "http://a.example/rss"}, {"Tech", ""}});
  OpenWithCheckList();
  const char file[] =
      "<opml><body>\n"
      "<outline title=\"A again\" xmlUrl=\"HTTP://A.example:80/rss\"/>\n"
      "<outline title=\"Tech\"/>\n"
      "<outline title=\"B\" xmlUrl=\"http://b.example/rss\"/>\n"
      "<outline title=\"B with a password\" xmlUrl=\"http://me:pw@b.example/rss\"/>\n"
      "<outline title=\"C\" xmlUrl=\"http://c.example/rss\"/>\n"
      "</body></opml>\n";
  WriteFile(data.File("dup.opml"), file);
  prompts.Answer(QString::fromStdString(data.File("dup.opml")));
  ticked = std::vector<int>{0, 1, 2, 3, 4};
  window->ImportFeeds();

  EXPECT_EQ(FeedRows(), QStringList({"0 A", ". Tech", ". Tech", "0 B", "0 C"}))
      << "headings are no addresses";
  EXPECT_EQ(Ui().StatusBar->currentMessage(),
            "2 entries were left out: their addresses are already subscribed.");
  EXPECT_EQ(prompts.Asked().size(), 1u) << "no message box for what is already there";
  TFeedList saved;
  saved.LoadDefault();
  EXPECT_EQ(saved.Count(), 5);
}

// The value of each attribute Name of the outlines of the OPML file at Path, in document
// order, read by libxml2 as another program would.
std::vector<std::string> OutlineAttributes(const std::string& Path, const char* Name) {
  std::vector<std::string> values;
  xmlDoc* document = xmlReadFile(Path.c_str(), nullptr, XML_PARSE_NONET);
  if (!document) return {"(not XML)"};
  std::vector<xmlNode*> pending = {xmlDocGetRootElement(document)};
  while (!pending.empty()) {
    xmlNode* node = pending.back();
    pending.pop_back();
    std::vector<xmlNode*> children;
    for (xmlNode* child = node->children; child; child = child->next)
      if (child->type == XML_ELEMENT_NODE) children.push_back(child);
    pending.insert(pending.end(), children.rbegin(), children.rend());
    if (std::string(reinterpret_cast<const char*>(node->name)) != "outline") continue;
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(Name));
    values.push_back(value ? reinterpret_cast<const char*>(value) : "(none)");
    xmlFree(value);
  }
  xmlFreeDoc(document);
  return values;
}

TEST_F(ImportExport, ExportWritesOpml2WithTitlesAsTheScreenShowsThemInUtf8) {
  const std::string orenburg = "http://127.0.0.1/orenburg";
  // "Новости Оренбурга" in windows-1251, which the feed's document named as its encoding.
  WriteSubscriptions({{"\xCD\xEE\xE2\xEE\xF1\xF2\xE8 \xCE\xF0\xE5\xED\xE1\xF3\xF0\xE3\xE0", orenburg},
                      {"Groupe \xC3\xA9t\xC3\xA9", ""},
                      {"multim\xC3\xA9"
                       "dia",
                       "http://fr.example/rss"},
                      {"Caf\xE9 &amp; &#8364;", "http://cafe.example/rss"}});
  TFetchState state(data.File("fetch-state.json"));
  state.For(orenburg).Encoding = "windows-1251";
  state.Save();
  OpenWithCheckList();
  ASSERT_EQ(FeedRows().first(), QString::fromUtf8("0 Новости Оренбурга"));

  ticked = std::vector<int>{0, 1, 2, 3};
  prompts.Answer(QString::fromStdString(data.File("export.opml")));
  window->ExportFeeds();

  const std::string file = data.File("export.opml");
  const std::vector<std::string> titles = {"Новости Оренбурга", "Groupe été", "multimédia", "Café & €"};
  EXPECT_EQ(OutlineAttributes(file, "title"), titles);
  EXPECT_EQ(OutlineAttributes(file, "text"), titles);
  EXPECT_EQ(
      OutlineAttributes(file, "xmlUrl"),
      (std::vector<std::string>{orenburg, "(none)", "http://fr.example/rss", "http://cafe.example/rss"}));
  const std::string written = ReadFile(file);
  EXPECT_TRUE(
      written.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<opml version=\"2.0\">\r\n"
                          "  <head>\r\n    <title>Skimbrook subscriptions</title>\r\n    <dateCreated>"))
      << written;
  EXPECT_NE(written.find("text=\"Новости Оренбурга\""), std::string::npos) << "characters, not references";

  // The program reads its own export back with the same titles.
  TFeedList reread;
  reread.LoadFromFile(file);
  ASSERT_EQ(reread.Count(), 4);
  EXPECT_EQ(reread.Feeds(0)->Title, titles[0]);
  EXPECT_EQ(reread.Feeds(3)->Title, titles[3]);
}

TEST_F(ImportExport, ExportTakesTheTickedEntriesOfTheSavedListWithoutDescriptionsOrCounts) {
  TFeedList list;
  auto news = std::make_shared<TFeed>("News", "http://example.org/", "http://example.org/news", "About news");
  news->UnreadCount = 3;
  list.Add(news);
  list.Add(std::make_shared<TFeed>("Tech", "http://tech.example/", "", "Tech things"));
  auto b = std::make_shared<TFeed>("B & Co", "http://b.example/", "http://b.example/rss", "About B");
  b->UnreadCount = 1;
  list.Add(b);
  list.SaveDefault();
  OpenWithCheckList();
  // Only in memory: the export takes what the file holds.
  window->FeedList().Add(std::make_shared<TFeed>("Unsaved", "", "http://unsaved.example/", ""));

  ticked = std::vector<int>{1, 2};
  prompts.Answer(QString::fromStdString(data.File("export")));
  Ui().miFileExport->trigger();

  EXPECT_EQ(shown, QStringList({"Export: News, Tech, B & Co"}));
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Kind, TScriptedPrompts::TKind::SaveFileName);
  EXPECT_EQ(prompts.Asked()[0].Text, kOpmlFilter);
  EXPECT_FALSE(Exists(data.File("export")));
  const std::string written = ReadFile(data.File("export.opml"));
  EXPECT_NE(written.find("  <body>\r\n"
                         "    <outline text=\"Tech\" title=\"Tech\" htmlUrl=\"http://tech.example/\">\r\n"
                         "      <outline text=\"B &amp; Co\" title=\"B &amp; Co\" type=\"rss\" "
                         "xmlUrl=\"http://b.example/rss\" htmlUrl=\"http://b.example/\"/>\r\n"
                         "    </outline>\r\n  </body>\r\n</opml>\r\n"),
            std::string::npos)
      << written;
}

TEST_F(ImportExport, ExportWithoutASavedListShowsAnEmptyListAndWritesAnEmptyBody) {
  OpenWithNews();
  std::filesystem::remove(data.File("default.opml"));
  ticked = std::vector<int>{};
  prompts.Answer(QString::fromStdString(data.File("empty.opml")));
  window->ExportFeeds();
  EXPECT_EQ(shown, QStringList({"Export: "}));
  const std::string written = ReadFile(data.File("empty.opml"));
  EXPECT_TRUE(written.ends_with("</head>\r\n  <body>\r\n  </body>\r\n</opml>\r\n")) << written;
}

TEST_F(ImportExport, CancellingEitherExportDialogWritesNothing) {
  OpenWithNews();
  ticked.reset();
  prompts.Answer(QString::fromStdString(data.File("never.opml")));
  window->ExportFeeds();
  EXPECT_EQ(prompts.Pending(), 1) << "no file is asked for after the check list is cancelled";
  prompts.Clear();

  ticked = std::vector<int>{0};
  window->ExportFeeds();  // the save dialog cancelled
  EXPECT_EQ(prompts.Unanswered(), 1);
  EXPECT_FALSE(Exists(data.File("never.opml")));
  EXPECT_FALSE(Exists(data.File(".opml")));
}

}  // namespace

}  // namespace skimbrook::test
