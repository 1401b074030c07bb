// The subscription list as OPML: the exact bytes written, what reads back, how any
// outline tree becomes a flat list of feeds and headings, and the damaged default file.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "base/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"

namespace skimbrook {
namespace {

using test::DataFolderTest;
using test::MakeFeed;

std::shared_ptr<TFeed> Entry(std::string Title, std::string XmlUrl, std::string Description = "",
                             std::string HtmlUrl = "", int UnreadCount = 0) {
  auto feed = std::make_shared<TFeed>(std::move(Title), std::move(HtmlUrl), std::move(XmlUrl),
                                      std::move(Description));
  feed->UnreadCount = UnreadCount;
  return feed;
}

// Feed A before any group, a group with one feed, an empty group, and a group holding a
// feed with a negative count.
void FillGroups(TFeedList& List) {
  List.Add(Entry("A", "http://a.example/feed?x=1&y=2", "Feed A", "http://a.example/", 3));
  List.Add(Entry("G1", "", "Group one"));
  List.Add(Entry("&<>\"'", "http://b.example/rss"));
  List.Add(Entry("G2", ""));
  List.Add(Entry("G3", "", "", "http://g3.example/"));
  List.Add(Entry("Caf\xe9", "http://c.example/", "", "", -2));
}

// One line per entry: title | xmlUrl | htmlUrl | description | count.
std::vector<std::string> Describe(const TFeedList& List) {
  std::vector<std::string> rows;
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& f = *List.Feeds(i);
    rows.push_back(f.Title + "|" + f.XmlUrl + "|" + f.HtmlUrl + "|" + f.Description + "|" +
                   std::to_string(f.UnreadCount));
  }
  return rows;
}

TEST_F(DataFolderTest, SubscriptionFileIsWrittenByteForByte) {
  TFeedList list;
  FillGroups(list);
  list.SaveDefault();
  EXPECT_EQ(test::ReadFile(InData("default.opml")), test::ReadFile(test::DataPath("opml/groups.opml")));

  TFeedList empty;
  empty.SaveToFile(InData("empty.opml"));
  EXPECT_EQ(test::ReadFile(InData("empty.opml")),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<opml>\r\n  <body>\r\n  </body>\r\n</opml>\r\n");
}

TEST_F(DataFolderTest, TheSubscriptionFileIsWellFormedWhateverATitleHoldsAndIsTheUsersAlone) {
  TFeedList list;
  list.Add(MakeFeed(std::string("Bell\x07 and\x01 tab\tend"), "http://example.com/feed"));
  list.SaveDefault();
  struct stat st {};
  ASSERT_EQ(::stat(InData("default.opml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string written = test::ReadFile(InData("default.opml"));
  EXPECT_NE(written.find("title=\"Bell and tab\tend\""), std::string::npos) << written;
  TFeedList read;
  read.LoadDefault();
  EXPECT_TRUE(read.LastParseError().empty());
  EXPECT_EQ(read.Count(), 1);
}

TEST_F(DataFolderTest, SubscriptionFileReadsBackToTheSameList) {
  TFeedList written, read;
  FillGroups(written);
  read.Add(MakeFeed("dropped by the load", "http://old.example/"));
  read.LoadFromFile(test::DataPath("opml/groups.opml"));
  EXPECT_EQ(Describe(read), Describe(written));
  EXPECT_TRUE(read.LastParseError().empty());
  EXPECT_EQ(read.Feeds(0)->Owner, &read);
}

TEST_F(DataFolderTest, AUsersTitleIsMarkedInTheFileAndOutlivesTheFeedsOwnTitle) {
  TFeedList list;
  list.Add(Entry("Mine", "http://mine.example/rss", "", "", 2));
  list.Feeds(0)->UserTitle = true;
  list.Add(Entry("Theirs", "http://theirs.example/rss"));
  list.SaveDefault();
  const std::string written = test::ReadFile(InData("default.opml"));
  EXPECT_NE(written.find("type=\"rss\" unreadCount=\"2\" userTitle=\"1\" />"), std::string::npos) << written;
  EXPECT_EQ(written.find("userTitle", written.find("Theirs")), std::string::npos)
      << "only where the user named it";

  TFeedList read;
  read.LoadDefault();
  ASSERT_EQ(read.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    TFeed& feed = *read.Feeds(i);
    EXPECT_EQ(feed.UserTitle, i == 0);
    // The feed's document names it "Published"; a download reads it as the cache file.
    test::WriteFile(feed.CacheFileName(),
                    "<rss version=\"2.0\"><channel><title>Published</title><item><title>x</title></item>"
                    "</channel></rss>");
    feed.LoadCache();
    EXPECT_EQ(feed.Title, i == 0 ? "Mine" : "Published");
  }
}

TEST_F(DataFolderTest, SubscriptionRoundTripLosesOneLevelOfEncodingAndOuterBlanks) {
  TFeedList list;
  list.Add(Entry("&amp;lt;", "http://x.example/", " padded ", "", 0));
  list.Add(Entry("tab\\there", "http://y.example/"));
  list.SaveToFile(InData("loss.opml"));
  EXPECT_NE(test::ReadFile(InData("loss.opml")).find("title=\"&amp;amp;lt;\""), std::string::npos);
  list.LoadFromFile(InData("loss.opml"));
  EXPECT_EQ(Describe(list), (std::vector<std::string>{"&lt;|http://x.example/||padded|0",
                                                      "tab\there|http://y.example/|||0"}));
}

// ---------------------------------------------------------------------------------------
// Export as OPML 2.0

// Two feeds before any group (one title needs escaping, one cannot be written as it is),
// a group of two feeds titled in Cyrillic and French, and a group without feeds.
void FillForExport(TFeedList& List) {
  List.Add(Entry("A & B", "http://a.example/feed?x=1&y=2", "not exported", "http://a.example/", 3));
  List.Add(Entry("Bell\x07 tab\there \xE9 \xF0\x9F\x93\xB0", "http://z.example/"));
  List.Add(Entry("\xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0", "", "", "http://g.example/"));
  List.Add(Entry("\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8", "http://ru.example/rss"));
  List.Add(
      Entry("multim\xC3\xA9"
            "dia \"<Libre>\"",
            "http://fr.example/rss"));
  List.Add(Entry("Empty", ""));
}

constexpr std::time_t kCreated = 1714551780;  // Wed, 01 May 2024 08:23:00 GMT

std::string AttributeOf(xmlNode* Node, const char* Name) {
  xmlChar* value = xmlGetProp(Node, reinterpret_cast<const xmlChar*>(Name));
  if (!value) return "(none)";
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

std::vector<xmlNode*> ElementsBelow(xmlNode* Parent) {
  std::vector<xmlNode*> elements;
  for (xmlNode* child = Parent ? Parent->children : nullptr; child; child = child->next)
    if (child->type == XML_ELEMENT_NODE) elements.push_back(child);
  return elements;
}

std::string NameOf(xmlNode* Node) {
  return reinterpret_cast<const char*>(Node->name);
}

TEST_F(DataFolderTest, ExportIsOpml2WithTitlesWrittenAsTheirCharacters) {
  TFeedList list;
  FillForExport(list);
  list.ExportToFile(InData("export.opml"), "Skimbrook subscriptions", kCreated);
  EXPECT_EQ(test::ReadFile(InData("export.opml")), test::ReadFile(test::DataPath("opml/export.opml")));
  struct stat st {};
  ASSERT_EQ(::stat(InData("export.opml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the addresses may hold passwords";
}

TEST_F(DataFolderTest, AnotherXmlReaderReadsTheExportAsWritten) {
  TFeedList list;
  FillForExport(list);
  list.ExportToFile(InData("export.opml"), "Mine & yours", kCreated);
  xmlDoc* document = xmlReadFile(InData("export.opml").c_str(), nullptr, XML_PARSE_NONET);
  ASSERT_NE(document, nullptr);
  xmlNode* opml = xmlDocGetRootElement(document);
  EXPECT_EQ(NameOf(opml), "opml");
  EXPECT_EQ(AttributeOf(opml, "version"), "2.0");
  const std::vector<xmlNode*> parts = ElementsBelow(opml);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(NameOf(parts[0]), "head");
  std::vector<std::string> head;
  for (xmlNode* field : ElementsBelow(parts[0])) {
    xmlChar* text = xmlNodeGetContent(field);
    head.push_back(NameOf(field) + ": " + reinterpret_cast<const char*>(text));
    xmlFree(text);
  }
  EXPECT_EQ(head,
            (std::vector<std::string>{"title: Mine & yours", "dateCreated: Wed, 01 May 2024 08:23:00 GMT"}));

  // text | title | type | xmlUrl | htmlUrl, nested lines indented.
  std::vector<std::string> outlines;
  auto describe = [](xmlNode* Outline, const std::string& Indent) {
    return Indent + AttributeOf(Outline, "text") + " | " + AttributeOf(Outline, "title") + " | " +
           AttributeOf(Outline, "type") + " | " + AttributeOf(Outline, "xmlUrl") + " | " +
           AttributeOf(Outline, "htmlUrl");
  };
  for (xmlNode* outline : ElementsBelow(parts[1])) {
    outlines.push_back(describe(outline, ""));
    for (xmlNode* inner : ElementsBelow(outline)) outlines.push_back(describe(inner, "  "));
  }
  xmlFreeDoc(document);
  EXPECT_EQ(outlines,
            (std::vector<std::string>{
                "A & B | A & B | rss | http://a.example/feed?x=1&y=2 | http://a.example/",
                "Bell tab\there \uFFFD 📰 | Bell tab\there \uFFFD 📰 | rss | http://z.example/ | (none)",
                "Группа | Группа | (none) | (none) | http://g.example/",
                "  Новости | Новости | rss | http://ru.example/rss | (none)",
                "  multimédia \"<Libre>\" | multimédia \"<Libre>\" | rss | http://fr.example/rss | (none)",
                "Empty | Empty | (none) | (none) | (none)",
            }));
}

TEST_F(DataFolderTest, TheExportReadsBackAsTheSameGroupsTitlesAndAddresses) {
  TFeedList written, read;
  FillForExport(written);
  written.ExportToFile(InData("export.opml"), "Subscriptions", kCreated);
  read.LoadFromFile(InData("export.opml"));
  EXPECT_TRUE(read.LastParseError().empty());
  std::vector<std::string> expected = Describe(written);
  for (std::string& row : expected) row = row.substr(0, row.rfind('|', row.rfind('|') - 1)) + "||0";
  // The byte that was no character and the bell come back as written in the file.
  expected[1] = "Bell tab\there \uFFFD 📰|http://z.example/|||0";
  EXPECT_EQ(Describe(read), expected);
}

struct TOutlineCase {
  std::string Name;
  std::string Body;  // the content of <body>
  std::vector<std::string> Entries;
};

void PrintTo(const TOutlineCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class OpmlReader : public ::testing::TestWithParam<TOutlineCase> {};

TEST_P(OpmlReader, TurnsOutlinesIntoEntries) {
  TFeedList list;
  LoadFeedListFromString(
      list, "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><head><title>t</title></head><body>" +
                GetParam().Body + "</body></opml>");
  EXPECT_EQ(Describe(list), GetParam().Entries);
}

INSTANTIATE_TEST_SUITE_P(
    Outlines, OpmlReader,
    ::testing::Values(
        TOutlineCase{"LowerCaseUrlAttributes",
                     "<outline xmlurl=\"http://x/\" htmlurl=\"http://h/\"/>"
                     "<outline xmlUrl=\"\" xmlurl=\"http://lower/\"/>"
                     "<outline xmlUrl=\"http://upper/\" xmlurl=\"http://lower/\"/>",
                     {"|http://x/|http://h/||0", "|http://lower/|||0", "|http://upper/|||0"}},
        TOutlineCase{
            "UnreadCounts",
            "<outline xmlUrl=\"a\" unreadCount=\"-2\"/><outline xmlUrl=\"b\" unreadCount=\"12abc\"/>"
            "<outline xmlUrl=\"c\" unreadCount=\"99999999999\"/><outline xmlUrl=\"d\" unreadCount=\"+7\"/>"
            "<outline xmlUrl=\"e\" unreadCount=\" 5\"/><outline xmlUrl=\"f\" unreadCount=\"\"/>",
            {"|a|||-2", "|b|||0", "|c|||0", "|d|||7", "|e|||0", "|f|||0"}},
        TOutlineCase{
            "TextNamesAnOutlineWithoutTitleHeadingsIncluded",
            "<outline text=\"Only text\" xmlUrl=\"u\"/><outline title=\"\" text=\"Empty &amp;amp; title\" "
            "xmlUrl=\"v\"/><outline title=\"Title\" text=\"not this\" xmlUrl=\"w\"/>"
            "<outline text=\" Group \"><outline text=\"In group\" xmlUrl=\"x\"/></outline>",
            {"Only text|u|||0", "Empty & title|v|||0", "Title|w|||0", "Group||||0", "In group|x|||0"}},
        TOutlineCase{
            "DeepNestingIsFlattenedDepthFirst",
            "<outline title=\"G\"><outline title=\"Sub\"><outline title=\"f1\" xmlUrl=\"1\"/></outline>"
            "<outline title=\"f2\" xmlUrl=\"2\"><outline title=\"child\" xmlUrl=\"3\"/></outline></outline>"
            "<anything title=\"h\"/>",
            {"G||||0", "Sub||||0", "f1|1|||0", "f2|2|||0", "child|3|||0", "h||||0"}},
        TOutlineCase{
            "DuplicatesStay",
            "<outline title=\"a\" xmlUrl=\"http://same/\"/><outline title=\"b\" xmlUrl=\"http://same/\"/>",
            {"a|http://same/|||0", "b|http://same/|||0"}},
        TOutlineCase{"ValuesAreDecodedTwiceAndTrimmed",
                     "<outline title=\" Caf&#233; &amp;amp; co \" description=\"&#8220;d&#8221;\" "
                     "xmlUrl=\"u?a=1&amp;b=2\"/>",
                     {"Caf\xe9 & co|u?a=1&b=2||\"d\"|0"}}),
    [](const auto& Info) { return Info.param.Name; });

TEST(OpmlReader, DocumentWithoutBodyGivesAnEmptyListWhateverItsRootIsCalled) {
  TFeedList list;
  list.Add(MakeFeed("old", "http://old/"));
  LoadFeedListFromString(list, "<opml><head><outline xmlUrl=\"u\"/></head></opml>");
  EXPECT_EQ(list.Count(), 0);
  LoadFeedListFromString(list, "not xml");
  EXPECT_EQ(list.Count(), 0);
  LoadFeedListFromString(list, "<other><body><outline xmlUrl=\"u\"/></body></other>");
  EXPECT_EQ(list.Count(), 1);
}

TEST(OpmlReader, AMillionNestedOutlinesAreReadWithoutExhaustingTheStack) {
  constexpr int kDepth = 1'000'000;
  std::string document = "<opml><body>";
  for (int i = 0; i < kDepth; ++i) document += "<outline xmlUrl='u'>";
  TFeedList list;
  LoadFeedListFromString(list, std::move(document));
  ASSERT_EQ(list.Count(), kDepth);
  EXPECT_EQ(list.Feeds(kDepth - 1)->XmlUrl, "u");
  EXPECT_FALSE(list.LastParseError().empty()) << "the document was cut off";
}

// ---------------------------------------------------------------------------------------
// default.opml

class DefaultOpml : public DataFolderTest {
 protected:
  std::string Default() const { return InData("default.opml"); }
  std::vector<std::string> DamagedCopies() const {
    std::vector<std::string> copies;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path().filename().string().starts_with("default.opml.damaged-"))
        copies.push_back(entry.path());
    return copies;
  }
};

TEST_F(DefaultOpml, MissingFileLeavesTheListUnchanged) {
  TFeedList list;
  list.Add(MakeFeed("kept", "http://kept/"));
  list.LoadDefault();
  EXPECT_EQ(list.Count(), 1);
  EXPECT_TRUE(list.DamagedCopyPath().empty());
}

TEST_F(DefaultOpml, CleanFileMakesNoCopy) {
  TFeedList list;
  FillGroups(list);
  list.SaveDefault();
  list.LoadDefault();
  EXPECT_EQ(list.Count(), 6);
  EXPECT_TRUE(list.DamagedCopyPath().empty());
  EXPECT_TRUE(DamagedCopies().empty());
}

TEST_F(DefaultOpml, DamagedFileIsCopiedAsideBeforeItCanBeOverwritten) {
  std::string damaged =
      "<?xml version=\"1.0\"?>\r\n<opml>\r\n  <body>\r\n    <outline title=\"a\" xmlUrl=\"http://a/\" />\r\n"
      "    <outline title=\"b\" xmlUrl=\"http://b/";
  test::WriteFile(Default(), damaged);
  TFeedList list;
  list.LoadDefault();
  EXPECT_EQ(Describe(list), std::vector<std::string>{"a|http://a/|||0"})
      << "the list keeps what could be read";
  EXPECT_FALSE(list.LastParseError().empty());
  ASSERT_EQ(DamagedCopies(), std::vector<std::string>{list.DamagedCopyPath()});
  EXPECT_TRUE(
      std::regex_match(list.DamagedCopyPath(), std::regex(".*/default\\.opml\\.damaged-\\d{8}-\\d{6}")))
      << list.DamagedCopyPath();
  list.SaveDefault();
  EXPECT_EQ(test::ReadFile(list.DamagedCopyPath()), damaged);
  list.LoadDefault();
  EXPECT_TRUE(list.DamagedCopyPath().empty()) << "the rewritten file is clean";
}

TEST_F(DefaultOpml, FileThatRaisesIsCopiedAsideAndTheErrorStillReachesTheCaller) {
  std::string damaged = "<?xml version=1.0?><opml><body><outline xmlUrl=\"u\"/></body></opml>";
  test::WriteFile(Default(), damaged);
  TFeedList list;
  list.Add(MakeFeed("old", "http://old/"));
  EXPECT_THROW(list.LoadDefault(), std::runtime_error);
  EXPECT_EQ(list.Count(), 0);
  ASSERT_FALSE(list.DamagedCopyPath().empty());
  EXPECT_EQ(test::ReadFile(list.DamagedCopyPath()), damaged);
  // A second damaged load within the same second reuses the identical copy.
  EXPECT_THROW(list.LoadDefault(), std::runtime_error);
  EXPECT_LE(DamagedCopies().size(), 2u);
  EXPECT_EQ(test::ReadFile(list.DamagedCopyPath()), damaged);
}

// A list that stands for a file not read must never be saved over it: neither directly
// nor through a mark-as-read, which saves the list of the item's feed.
TEST_F(DefaultOpml, AListHeldBackLeavesTheFileAloneUntilItHasBeenRead) {
  const std::string users = "<opml><body><outline title=\"mine\" xmlUrl=\"http://mine/\" /></body></opml>";
  test::WriteFile(Default(), users);
  TFeedList list;
  list.HoldBackDefault();
  auto feed = MakeFeed("new", "http://new/");
  list.Add(feed);
  auto item = std::make_shared<TFeedItem>();
  item->Title = "t";
  feed->AddItem(item);
  EXPECT_THROW(list.SaveDefault(), std::runtime_error);
  EXPECT_THROW(item->SetRead(true), std::runtime_error);
  EXPECT_EQ(test::ReadFile(Default()), users);
  list.LoadDefault();
  EXPECT_FALSE(list.DefaultHeldBack());
  EXPECT_NO_THROW(list.SaveDefault());
}

TEST_F(DefaultOpml, AFileThatCanNeitherBeReadNorCopiedHoldsTheListBack) {
  const std::string damaged = "<?xml version=1.0?><opml><body><outline xmlUrl=\"u\"/></body></opml>";
  test::WriteFile(Default(), damaged);
  TFeedList list;
  SetWriteFaultHookForTests([](size_t) { return ENOSPC; });
  EXPECT_THROW(list.LoadDefault(), std::runtime_error);
  SetWriteFaultHookForTests({});
  EXPECT_TRUE(list.DefaultHeldBack());
  list.Add(MakeFeed("added later", "http://later/"));
  EXPECT_THROW(list.SaveDefault(), std::runtime_error);
  EXPECT_EQ(test::ReadFile(Default()), damaged);
}

}  // namespace
}  // namespace skimbrook
