// Reading feed documents: one fixture per dialect and variant with the fields it must
// give, then the rules of the mapping and the failures, case by case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook {
namespace {

struct TItemFields {
  std::string Title, Link, Description, PubDate;
  bool IsRead = false;
};

struct TFeedFile {
  std::string File;
  std::string Title, HtmlUrl, Description;
  std::vector<TItemFields> Items;
};

void PrintTo(const TFeedFile& Case, std::ostream* Out) {
  *Out << Case.File;
}

class FeedFile : public ::testing::TestWithParam<TFeedFile> {};

// The feed starts with channel fields of its own, so the table shows which ones the
// document replaced and which it left.
TEST_P(FeedFile, GivesItsChannelFieldsAndItems) {
  const TFeedFile& expected = GetParam();
  TFeed feed("previous title", "previous link", "http://kept.example/", "previous description");
  feed.UnreadCount = -5;
  feed.LoadFromFile(test::DataPath("feeds/" + expected.File));
  EXPECT_EQ(feed.Title, expected.Title);
  EXPECT_EQ(feed.HtmlUrl, expected.HtmlUrl);
  EXPECT_EQ(feed.Description, expected.Description);
  EXPECT_EQ(feed.XmlUrl, "http://kept.example/");
  EXPECT_TRUE(feed.Language.empty());
  ASSERT_EQ(feed.ItemCount(), static_cast<int>(expected.Items.size()));
  int unread = 0;
  for (int i = 0; i < feed.ItemCount(); ++i) {
    const TFeedItem& item = feed.Items(i);
    const TItemFields& want = expected.Items[static_cast<size_t>(i)];
    SCOPED_TRACE("item " + std::to_string(i));
    EXPECT_EQ(item.Title, want.Title);
    EXPECT_EQ(item.Link, want.Link);
    EXPECT_EQ(item.Description, want.Description);
    EXPECT_EQ(item.PubDate, want.PubDate);
    EXPECT_EQ(item.IsRead, want.IsRead);
    EXPECT_EQ(item.Feed, &feed);
    unread += want.IsRead ? 0 : 1;
  }
  EXPECT_EQ(feed.UnreadCount, unread);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, FeedFile,
    ::testing::Values(
        TFeedFile{"rss091.xml",
                  "Harbour Town Notices",
                  "http://harbour.example.org/notices/?lang=en&page=1",
                  "Notices from the harbour master & the town clerk",
                  {{"Tide tables for May", "http://harbour.example.org/notices/tides-may",
                    "The tide tables for May are posted at the quay.", ""},
                   {"Tom & Jerry visit the pier", "http://harbour.example.org/notices/visit?day=1&time=2",
                    "<p>A <b>visit</b> on Sunday.</p>", ""}}},
        TFeedFile{"rss20-content.xml",
                  "Workbench Diary",
                  "https://workbench.example.net/",
                  "Notes from a <em>small</em> workshop",
                  {{"Breaking news", "https://workbench.example.net/2024/03/breaking",
                    "<p>The full story, with <a href=\"https://example.net/\">a link</a>.</p>",
                    "2024-03-05T09:30:00Z"},
                   {"Both dates", "https://workbench.example.net/2024/03/dates", "Summary only",
                    "Mon, 04 Mar 2024 08:00:00 GMT", true},
                   {"a > b <i>c</i>", "https://workbench.example.net/2024/03/compare", "",
                    "Sun, 03 Mar 2024 07:00:00 GMT"},
                   {"Other prefix", "", "kept", ""}}},
        TFeedFile{"rdf.xml",
                  "Meadow Observatory",
                  "http://meadow.example.com/",
                  "Sightings & records",
                  {{"Swallows return", "http://meadow.example.com/1", "First swallows seen over the pond.",
                    "2024-04-12T18:00:00+01:00"},
                   {"Hare at dawn", "http://meadow.example.com/2", "", "2024-04-13T05:40:00+01:00"}}},
        TFeedFile{
            "atom03.xml",
            "Lantern Street Journal",
            "http://lantern.example.org/?from=atom&v=0.3",
            "previous description",
            {{"Lamps relit", "http://lantern.example.org/2004/06/lamps",
              "<content type='text/html' mode='escaped'><p>Long text</p></content>", "2004-06-01T19:30:00Z"},
             {"Only content", "http://lantern.example.org/2004/06/only",
              "<content type='text/html' mode='escaped'><p>Hi</p></content>", "2004-06-02T19:00:00Z"}}},
        TFeedFile{"atom10.xml",
                  "Quarry Road Notes",
                  "https://quarry.example.com/",
                  "previous description",
                  {{"Gravel & sand", "https://quarry.example.com/gravel",
                    "<content type='xhtml'>\r<div "
                    "xmlns='http://www.w3.org/1999/xhtml'>\r<p>Loads\r<b>moved</b>\r</p>"
                    "\r\r<br/></div>\r</content>",
                    "2024-05-19T10:00:00Z"},
                   {"Quiet week", "https://quarry.example.com/quiet",
                    "<content type='html'><p>The content wins</p></content>", ""}}},
        TFeedFile{"podcast.xml",
                  "Tidewater Talks",
                  "https://tidewater.example.fm/",
                  "Conversations by the estuary",
                  {{"Episode 2: Salt marshes", "https://tidewater.example.fm/2", "",
                    "Tue, 12 Mar 2024 06:00:00 +0000"},
                   {"Episode 1: Mudflats", "https://tidewater.example.fm/1", "", ""}}},
        TFeedFile{"truncated.xml",
                  "Cut Short",
                  "http://cut.example.com/",
                  "previous description",
                  {{"Complete item", "http://cut.example.com/1", "", ""},
                   {"Partial item", "http://cut.example.com/2", "", ""}}},
        TFeedFile{"bom.xml",
                  "Byte Order Mark",
                  "http://bom.example.com/",
                  "Starts with EF BB BF",
                  {{"After the mark", "http://bom.example.com/1", "", ""}}},
        TFeedFile{"windows1252.xml",
                  "Caf\xe9 Zeitung \x96 Kurzmeldungen",
                  "http://zeitung.example.de/",
                  "Gr\xfc\xdf"
                  "e aus K\xf6ln",
                  {{"\x93Quoted\x94 headline for \x80 5", "http://zeitung.example.de/artikel?id=5&s=\xe9",
                    "Stra\xdf"
                    "e \xe9 \xf6",
                    ""}}},
        TFeedFile{"utf8.xml",
                  "\xe6\x97\xa5\xe6\x9c\xac\xe3\x81\xae\xe3\x83\x8b\xe3\x83\xa5\xe3\x83\xbc\xe3\x82\xb9",
                  "http://utf8.example.jp/",
                  "previous description",
                  {{"Caf\xc3\xa9 \xe2\x80\x93 Stra\xc3\x9f"
                    "e",
                    "http://utf8.example.jp/1",
                    "\xce\x9a\xce\xb1\xce\xbb\xce\xb7\xce\xbc\xce\xad\xcf\x81\xce\xb1 \"quoted\"", ""}}}),
    [](const auto& Info) {
      std::string name = Info.param.File.substr(0, Info.param.File.find('.'));
      for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

struct TItemFiles {
  std::string File;
  int Item;
  std::string Guid;
  std::vector<TEnclosure> Enclosures;
};

void PrintTo(const TItemFiles& Case, std::ostream* Out) {
  *Out << Case.File << " item " << Case.Item;
}

class ItemFiles : public ::testing::TestWithParam<TItemFiles> {};

// The identifier and the files of an item: RSS enclosure and guid, Atom link
// rel="enclosure" and id, Media RSS media:content (alone or in a media:group); a file
// named twice is kept once, a file without an address not at all.
TEST_P(ItemFiles, GiveTheItemsGuidAndEnclosures) {
  const TItemFiles& c = GetParam();
  TFeed feed;
  feed.LoadFromFile(test::DataPath("feeds/" + c.File));
  ASSERT_GT(feed.ItemCount(), c.Item);
  EXPECT_EQ(feed.Items(c.Item).Guid, c.Guid);
  EXPECT_EQ(feed.Items(c.Item).Enclosures, c.Enclosures);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ItemFiles,
    ::testing::Values(
        TItemFiles{"podcast.xml",
                   0,
                   "tidewater-0002",
                   {{"https://cdn.example.fm/ep2.mp3?src=feed&x=1", "audio/mpeg", "24986239"},
                    {"https://cdn.example.fm/ep2.ogg", "audio/ogg", "19000000"}}},
        TItemFiles{"podcast.xml",
                   1,
                   "https://tidewater.example.fm/1",
                   {{"https://cdn.example.fm/ep1.mp3", "audio/mpeg", ""},
                    {"https://cdn.example.fm/ep1-notes.pdf", "application/pdf", "5120"}}},
        TItemFiles{"atom03.xml", 1, "", {{"http://lantern.example.org/audio/1.mp3", "audio/mpeg", ""}}},
        TItemFiles{"rss20-content.xml", 1, "", {}}));

// ---------------------------------------------------------------------------------------
// Rules of the mapping, each on a small document.

std::unique_ptr<TFeed> Read(const std::string& Document) {
  auto feed = std::make_unique<TFeed>();
  LoadFeedFromString(*feed, Document);
  return feed;
}

std::string Rss(const std::string& ChannelContent) {
  return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel>" + ChannelContent + "</channel></rss>";
}

struct TRaise {
  std::string Document;
  std::string Message;
};

class ReaderRaises : public ::testing::TestWithParam<TRaise> {};

TEST_P(ReaderRaises, WithItsNumberedMessageAndLeavesAnEmptyLoadedList) {
  TFeed feed;
  feed.AddItem(test::MakeItem("old"));
  feed.UnreadCount = 9;
  std::shared_ptr<TFeedItem> old = feed.ItemPtr(0);
  try {
    LoadFeedFromString(feed, GetParam().Document);
    FAIL() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().Message);
  }
  EXPECT_EQ(feed.ItemCount(), 0);
  EXPECT_EQ(feed.UnreadCount, 9);
  EXPECT_EQ(old->Feed, nullptr) << "a replaced item no longer belongs to the feed";
}

INSTANTIATE_TEST_SUITE_P(
    Documents, ReaderRaises,
    ::testing::Values(TRaise{"<html><body>Not found</body></html>", "1: unrecognized feed format"},
                      TRaise{"plain text, no markup at all", "1: unrecognized feed format"},
                      TRaise{"", "1: unrecognized feed format"},
                      TRaise{"<channel><title>x</title></channel>", "1: unrecognized feed format"},
                      TRaise{"<rss><Channel><title>x</title></Channel></rss>", "2: <channel> not found"},
                      TRaise{"<rdf:RDF><item><title>x</title></item></rdf:RDF>", "2: <channel> not found"}));

TEST(FeedReader, DocumentElementNameIgnoresCaseButChildNamesDoNot) {
  auto rss = Read(
      "<RSS><channel><title>Upper</title><ITEM><title>i</title><Title>no</Title></ITEM></channel></RSS>");
  EXPECT_EQ(rss->Title, "Upper");
  ASSERT_EQ(rss->ItemCount(), 1);
  EXPECT_EQ(rss->Items(0).Title, "i");
  auto atom = Read("<Feed><title>A</title><Entry><Title>no</Title></Entry></Feed>");
  EXPECT_EQ(atom->Title, "A");
  ASSERT_EQ(atom->ItemCount(), 1);
  EXPECT_EQ(atom->Items(0).Title, "");
}

TEST(FeedReader, DocumentLevelItemsComeBeforeChannelItems) {
  auto feed = Read(
      "<rdf:RDF><item><title>outside</title></item><channel><item><title>inside</title></item>"
      "</channel><item><title>outside 2</title></item></rdf:RDF>");
  ASSERT_EQ(feed->ItemCount(), 3);
  EXPECT_EQ(feed->Items(0).Title, "outside");
  EXPECT_EQ(feed->Items(1).Title, "outside 2");
  EXPECT_EQ(feed->Items(2).Title, "inside");
  for (int i = 0; i < feed->ItemCount(); ++i) {
    int reported = -1;
    feed->Items(i).OnChange = [&reported](int Index, TFeedItem&) { reported = Index; };
    feed->Items(i).Changed();
    EXPECT_EQ(reported, i) << "each item reports its place in the feed, whichever list it came from";
  }
}

TEST(FeedReader, TakesTheFirstItemsOfADocumentUpToTheBoundInEitherDialect) {
  std::string rssItems, atomEntries;
  for (int i = 0; i < kMaxFeedItems + 3; ++i) {
    rssItems += "<item><title>" + std::to_string(i) + "</title></item>";
    atomEntries += "<entry><title>" + std::to_string(i) + "</title></entry>";
  }
  for (const std::string& document : {Rss(rssItems), "<feed>" + atomEntries + "</feed>"}) {
    auto feed = Read(document);
    ASSERT_EQ(feed->ItemCount(), kMaxFeedItems);
    EXPECT_EQ(feed->Items(0).Title, "0");
    EXPECT_EQ(feed->Items(kMaxFeedItems - 1).Title, std::to_string(kMaxFeedItems - 1));
    EXPECT_EQ(feed->UnreadCount, kMaxFeedItems);
  }
}

TEST(FeedReader, TitlesAreDecodedTwiceThenStrippedThenTrimmed) {
  auto feed =
      Read(Rss("<item><title>&lt;b&gt;Breaking&lt;/b&gt; news &#32;</title></item>"
               "<item><title>&amp;#60;i&amp;#62;Twice&amp;lt;/i&amp;gt;</title></item>"
               "<item><title>x &lt; y</title><link> &#32;http://a/?b=1&amp;amp;c=2</link></item>"));
  ASSERT_EQ(feed->ItemCount(), 3);
  EXPECT_EQ(feed->Items(0).Title, "Breaking news");
  EXPECT_EQ(feed->Items(1).Title, "Twice");
  EXPECT_EQ(feed->Items(2).Title, "x < y");
  EXPECT_EQ(feed->Items(2).Link, "http://a/?b=1&c=2");
}

TEST(FeedReader, ReadFlagIsTrueInAnyLetterCaseAndNothingElse) {
  auto feed =
      Read(Rss("<item isRead=\"true\"/><item isRead=\"True\"/><item isRead=\"TRUE\"/>"
               "<item isRead=\"yes\"/><item isRead=\"1\"/><item isread=\"true\"/><item/>"));
  std::vector<bool> flags;
  for (int i = 0; i < feed->ItemCount(); ++i) flags.push_back(feed->Items(i).IsRead);
  EXPECT_EQ(flags, (std::vector<bool>{true, true, true, false, false, false, false}));
  EXPECT_EQ(feed->UnreadCount, 4);
}

TEST(FeedReader, MissingChannelElementsKeepThePreviousValues) {
  TFeed feed("T", "H", "X", "D");
  LoadFeedFromString(feed, Rss("<description>new</description>"));
  EXPECT_EQ(feed.Title, "T");
  EXPECT_EQ(feed.HtmlUrl, "H");
  EXPECT_EQ(feed.Description, "new");
  EXPECT_EQ(feed.ItemCount(), 0) << "a document without items is a valid empty feed";
}

struct TAtomCase {
  const char* Rule;
  std::string Content;  // of the feed element
  std::string HtmlUrl;  // "kept" when the feed keeps its previous one
  std::string Link, Description, PubDate;
};

void PrintTo(const TAtomCase& Case, std::ostream* Out) {
  *Out << Case.Rule;
}

class AtomRules : public ::testing::TestWithParam<TAtomCase> {};

// Atom 1.0 and 0.3 side by side: the feed's web page, and the link, description and date
// of its one entry.
TEST_P(AtomRules, ChooseTheFeedPageAndTheEntrysFields) {
  const TAtomCase& c = GetParam();
  TFeed feed("", "kept", "", "");
  LoadFeedFromString(feed, "<feed>" + c.Content + "</feed>");
  EXPECT_EQ(feed.HtmlUrl, c.HtmlUrl);
  if (c.Content.find("<entry>") == std::string::npos) return;
  ASSERT_EQ(feed.ItemCount(), 1);
  EXPECT_EQ(feed.Items(0).Link, c.Link);
  EXPECT_EQ(feed.Items(0).Description, c.Description);
  EXPECT_EQ(feed.Items(0).PubDate, c.PubDate);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AtomRules,
    ::testing::Values(
        TAtomCase{"PageIsTheFirstAlternateHtmlLinkAfterASelfLink",
                  "<link rel='self' type='application/atom+xml' href='http://self/'/>"
                  "<link rel='alternate' type='application/pdf' href='http://pdf/'/>"
                  "<link rel='alternate' type='text/html' href=' http://a/?x=1&amp;amp;y=2 '/>"
                  "<link href='http://later/'/>",
                  "http://a/?x=1&y=2", "", "", ""},
        TAtomCase{"WithoutAPageTheFirstTextHtmlLinkStillCounts",
                  "<link rel='self' type='text/html' href='http://first/'/><link rel='x' href='http://no/'/>",
                  "http://first/", "", "", ""},
        TAtomCase{"TypeAndRelCompareExactly",
                  "<link rel='self' href='http://self/'/><link type='TEXT/HTML' href='http://upper/'/>"
                  "<link rel='Alternate' href='http://cap/'/>",
                  "kept", "", "", ""},
        TAtomCase{"EntryLinkIsTheAlternateOneWhateverItsPlace",
                  "<entry><link rel='enclosure' href='http://e.mp3'/><link rel='related' href='http://r/'/>"
                  "<link href='http://page/'/><link rel='alternate' href='http://later/'/></entry>",
                  "kept", "http://page/", "", ""},
        TAtomCase{"EntryWithoutAlternateLinkTakesItsFirstLink",
                  "<entry><link rel='enclosure' href='http://e.mp3'/><link rel='related' "
                  "href='http://r/'/></entry>",
                  "kept", "http://e.mp3", "", ""},
        TAtomCase{"DatesOfAtom03WinOverThoseOfAtom10",
                  "<entry><published>P</published><issued>I</issued><updated>U</updated></entry>", "kept", "",
                  "", "I"},
        TAtomCase{"PublishedWinsOverUpdated", "<entry><updated>U</updated><published> P </published></entry>",
                  "kept", "", "", "P"},
        TAtomCase{"ContentWithTextWinsOverSummary",
                  "<entry><summary>S</summary><content type='html'>&lt;p&gt;C&lt;/p&gt;</content></entry>",
                  "kept", "", "<content type='html'><p>C</p></content>", ""},
        TAtomCase{"ContentElsewhereLeavesTheSummary",
                  "<entry><content src='http://c/'/><summary>S</summary></entry>", "kept", "", "S", ""},
        TAtomCase{"EmptyContentAloneIsWrittenWhole", "<entry><summary></summary><content/></entry>", "kept",
                  "", "<content/>", ""},
        TAtomCase{
            "XhtmlContentKeepsTheTextAfterEachInlineElement",
            "<entry><content type='xhtml'><div><p>The <a href='http://i/'>interface</a> is a bit low level, "
            "but workable:</p></div></content></entry>",
            "kept", "",
            "<content type='xhtml'>\r<div>\r<p>The\r<a href='http://i/'>interface</a>\ris a bit low level, "
            "but "
            "workable:</p>\r</div>\r</content>",
            ""},
        TAtomCase{"XhtmlSummaryIsItsTextWithoutMarkup",
                  "<entry><summary type='xhtml'><div>Less: <em>&amp;lt;</em> and "
                  "<b>more</b></div></summary></entry>",
                  "kept", "", "Less: < and more", ""}),
    [](const auto& Info) { return std::string(Info.param.Rule); });

TEST(FeedReader, MalformedDeclarationPassesTheParsersErrorOnUnchanged) {
  TFeed feed;
  feed.UnreadCount = 3;
  try {
    LoadFeedFromString(feed, "<?xml version=1.0 ?><rss><channel/></rss>");
    FAIL() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("when parsing attributes"), std::string::npos) << e.what();
  }
  EXPECT_EQ(feed.ItemCount(), 0);
  EXPECT_EQ(feed.UnreadCount, 3);
}

TEST(FeedReader, UnreadableFileRaisesAndLeavesAnEmptyLoadedList) {
  TFeed feed;
  EXPECT_THROW(feed.LoadFromFile(test::DataPath("feeds/no-such-file.xml")), std::runtime_error);
  EXPECT_EQ(feed.ItemCount(), 0);
}

// A file larger than the steps in which read parts go back to the system, written in
// the program's own cache form.
TEST(FeedReader, LargeFileReadsAsItsBytesInMemoryDo) {
  TFeed written("big", "http://big.example/", "http://big.example/rss", "many items");
  for (int i = 0; i < 4000; ++i) {
    written.AddItem(
        test::MakeItem("item " + std::to_string(i), i % 3 == 0, "http://big.example/" + std::to_string(i),
                       "<p>" + std::string(900, static_cast<char>('a' + i % 26)) + "</p>", "Mon"));
  }
  const std::string bytes = JoinLinesCRLF(CacheFileLines(written));
  ASSERT_GT(bytes.size(), 3u << 20);
  test::TTempDir dir;
  test::WriteFile(dir.File("big.xml"), bytes);
  TFeed fromFile;
  fromFile.LoadFromFile(dir.File("big.xml"));
  TFeed fromMemory;
  LoadFeedFromString(fromMemory, bytes);
  ASSERT_EQ(fromFile.ItemCount(), 4000);
  ASSERT_EQ(fromMemory.ItemCount(), 4000);
  for (int i = 0; i < 4000; ++i) {
    ASSERT_EQ(fromFile.Items(i).Title, fromMemory.Items(i).Title);
    ASSERT_EQ(fromFile.Items(i).Description, written.Items(i).Description);
    ASSERT_EQ(fromFile.Items(i).IsRead, i % 3 == 0);
  }
  EXPECT_EQ(fromFile.UnreadCount, fromMemory.UnreadCount);
}

TEST(FeedReader, LoadCacheWithoutCacheFileDoesNothing) {
  test::TTempDir dir;
  SetDataFolder(dir.Path());
  TFeed feed("", "", "http://none.example/", "");
  feed.LoadCache();
  EXPECT_EQ(feed.ItemCount(), -1);
  SetDataFolder("");
}

// ---------------------------------------------------------------------------------------
// SerializeElement

TmoxXMLParser2& Parsed(TmoxXMLParser2& Document, const std::string& Text) {
  Document.LoadFromString(Text);
  return Document;
}

TEST(SerializeElement, WritesAttributesAsStoredTextBeforeChildrenAndEmptyElementsShort) {
  TmoxXMLParser2 document;
  Parsed(document,
         "<content type=\"html\" title=\"it's &amp; more\">lead<a href='x'/> tail <b>bold</b></content>");
  EXPECT_EQ(
      SerializeElement(document),
      "\r<content type='html' title='it's &amp; more'>lead\r<a href='x'/>tail\r<b>bold</b>\r</content>\r");
  Parsed(document, "<empty/>");
  EXPECT_EQ(SerializeElement(document), "\r<empty/>");
  // A text that touches a tag stays with it: no CR shows there as a blank.
  Parsed(document, "<p>the <em>next event</em>, look at H<sub>2</sub>O and <b>this</b> </p>");
  EXPECT_EQ(SerializeElement(document),
            "\r<p>the\r<em>next event</em>, look at H<sub>2</sub>O and\r<b>this</b>\r</p>\r");
}

TEST(SerializeElement, AMillionNestedElementsDoNotExhaustTheStack) {
  constexpr int kDepth = 1'000'000;
  std::string document = "<feed><entry><content>";
  document.reserve(static_cast<size_t>(kDepth) * 7 + 100);
  for (int i = 0; i < kDepth; ++i) document += "<d>";
  document += "x";
  auto feed = Read(document);
  ASSERT_EQ(feed->ItemCount(), 1);
  const std::string& description = feed->Items(0).Description;
  // "<content>" and "</content>" around kDepth - 1 of "\r<d>...</d>\r" and the innermost "\r<d/>".
  EXPECT_EQ(description.size(), 19 + static_cast<size_t>(kDepth - 1) * 9 + 5);
  EXPECT_EQ(description.substr(0, 12), "<content>\r<d");
}

TEST(SerializeElement, AMillionNestedElementsWithTextAfterEachAreReadWithoutRecursion) {
  constexpr size_t kDepth = 1'000'000;
  std::string document = "<feed><entry><title type='xhtml'>";
  document.reserve(kDepth * 9 + 100);
  for (size_t i = 0; i < kDepth; ++i) document += "<d>a";
  for (size_t i = 0; i < kDepth; ++i) document += "</d>b";
  document += "</title><content>";
  for (size_t i = 0; i < kDepth; ++i) document += "<d>a";
  for (size_t i = 0; i < kDepth; ++i) document += "</d>b";
  auto feed = Read(document);
  ASSERT_EQ(feed->ItemCount(), 1);
  const std::string& title = feed->Items(0).Title;
  ASSERT_EQ(title.size(), 4 * kDepth - 1);
  EXPECT_EQ(title.substr(0, 4), "a a ");
  EXPECT_EQ(title.substr(title.size() - 3), "b b");
  // "<content>", "\r<d>a" kDepth times, "</d>b" kDepth times but the last "b", which no
  // tag follows, so that the last end tag is followed by a CR, then "</content>".
  const std::string& description = feed->Items(0).Description;
  EXPECT_EQ(description.size(), 9 + 5 * kDepth + 5 * kDepth + 10);
  EXPECT_TRUE(description.ends_with("</d>b</d>\r</content>"));
}

}  // namespace
}  // namespace skimbrook
