#include "xml/moxXMLParser2.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

const std::string kDefaultDeclaration = "<?xml version='1.0' encoding='ISO-8859-1' ?>\r\n";

std::unique_ptr<TmoxXMLParser2> Load(std::string Source) {
  auto document = std::make_unique<TmoxXMLParser2>();
  document->LoadFromString(std::move(Source));
  return document;
}

// The element reached from Root by following child indices.
const TmoxXMLNode2& At(const TmoxXMLNode2& Root, const std::vector<int>& Path) {
  const TmoxXMLNode2* node = &Root;
  for (int index : Path) {
    if (index >= node->Nodes.Count()) throw std::out_of_range("no such child");
    node = &node->Nodes[index];
  }
  return *node;
}

// Every element name in document order, root first.
std::vector<std::string> NamesInOrder(const TmoxXMLNode2& Root) {
  std::vector<std::string> names;
  std::vector<const TmoxXMLNode2*> pending{&Root};
  while (!pending.empty()) {
    const TmoxXMLNode2* node = pending.back();
    pending.pop_back();
    names.push_back(node->Name);
    for (int i = node->Nodes.Count() - 1; i >= 0; --i) pending.push_back(&node->Nodes[i]);
  }
  return names;
}

// Fails unless every child points back at its parent and at the document.
void ExpectLinksConsistent(const TmoxXMLParser2& Document) {
  EXPECT_EQ(Document.Parent, nullptr);
  std::vector<const TmoxXMLNode2*> pending{&Document};
  while (!pending.empty()) {
    const TmoxXMLNode2* node = pending.back();
    pending.pop_back();
    for (const auto& child : node->Nodes) {
      ASSERT_EQ(child->Parent, node);
      ASSERT_EQ(child->Document, &Document);
      pending.push_back(child.get());
    }
  }
}

// ---------------------------------------------------------------------------------------
// Reading documents

TEST(ParserTest, ReadsRssRootAttributesAndRawTrimmedText) {
  auto doc = Load(
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
      "<rss version=\"2.0\">\n<channel>\n<title>\r\n  Tom &amp; Jerry \n\t</title>\n</channel>\n</rss>\n");
  EXPECT_EQ(doc->LastError, "");
  EXPECT_EQ(doc->Name, "rss");
  EXPECT_EQ(doc->GetAttribute("version"), "2.0");
  EXPECT_EQ(doc->Declaration->GetAttribute("encoding"), "windows-1252");
  TmoxXMLNode2* channel = doc->FindNode("channel");
  ASSERT_NE(channel, nullptr);
  ASSERT_NE(channel->FindNode("title"), nullptr);
  EXPECT_EQ(channel->FindNode("title")->Text, "Tom &amp; Jerry");
  EXPECT_EQ(doc->FindNode("title"), nullptr) << "grandchildren are not searched";
  EXPECT_EQ(channel->FindNode("Title"), nullptr) << "names compare case-sensitively";
  ExpectLinksConsistent(*doc);
}

struct TTreeCase {
  const char* Rule;
  std::string Source;
  std::vector<int> Path;
  std::string Name;
  std::string Text;
  int Children;
};

class TreeShapeTest : public ::testing::TestWithParam<TTreeCase> {};

TEST_P(TreeShapeTest, BuildsTheElementAsDescribed) {
  const TTreeCase& c = GetParam();
  auto doc = Load(c.Source);
  EXPECT_EQ(doc->LastError, "");
  const TmoxXMLNode2& element = At(*doc, c.Path);
  EXPECT_EQ(element.Name, c.Name);
  EXPECT_EQ(element.Text, c.Text);
  EXPECT_EQ(element.Nodes.Count(), c.Children);
  ExpectLinksConsistent(*doc);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TreeShapeTest,
    ::testing::Values(
        TTreeCase{"CdataAsFirstMarkupIsTheTextWithItsMarkup",
                  "<a>\n  <![CDATA[ <p>Hi &amp; <b>you</b></p>\n ]]>\n</a>",
                  {},
                  "a",
                  "<p>Hi &amp; <b>you</b></p>",
                  0},
        TTreeCase{
            "TextIsOnlyWhatStandsBeforeTheFirstChild", "<a> first <b/> second </a>", {}, "a", "first", 1},
        TTreeCase{
            "CommentEndsAtItsFirstGreaterThan", "<a><b>1</b><!-- x > y --><c>2</c></a>", {1}, "c", "2", 0},
        TTreeCase{"SecondCdataIsSkippedToItsFirstGreaterThan",
                  "<a><![CDATA[one]]> <![CDATA[1 > 0 <b>bold</b>]]></a>",
                  {0},
                  "b",
                  "bold",
                  0},
        TTreeCase{"TextBeforeALeadingCdataIsDropped", "<a>text <![CDATA[x > y]]></a>", {}, "a", "x > y", 0},
        TTreeCase{"CdataAfterAChildIsSkipped", "<a><b/>more <![CDATA[1 > 0]]></a>", {}, "a", "", 1},
        TTreeCase{"CrossedEndTagsCloseTheInnermostElement", "<r><a><b></a></b><c/></r>", {0, 0}, "b", "", 0},
        TTreeCase{"CrossedEndTagsKeepFollowingSiblingsInPlace", "<r><a><b></a></b><c/></r>", {1}, "c", "", 0},
        TTreeCase{"StartTagOverSeveralLinesKeepsTheFirstWord",
                  "<a\r\n   href=\"x\"\n\tlang='en'>t</a>",
                  {},
                  "a",
                  "t",
                  0},
        TTreeCase{"EverythingAfterTheRootIsIgnored", "<a>x</a>trailing<b>y</b><c", {}, "a", "x", 0},
        TTreeCase{"BytesBeforeTheFirstTagAreIgnored",
                  "\xEF\xBB\xBF\r\n\r\n<?xml version=\"1.0\"?><rss/>",
                  {},
                  "rss",
                  "",
                  0},
        TTreeCase{"EmptyRootTagEndsTheScan", "<opml version=\"1.1\" /><more>", {}, "opml", "", 0},
        TTreeCase{"DoctypeAndProcessingInstructionsAreSkipped",
                  "<!DOCTYPE rss><?xml-stylesheet href=\"a.xsl\"?><rss><?pi x?><c/></rss>",
                  {0},
                  "c",
                  "",
                  0},
        TTreeCase{"PrefixedNamesAreKeptWhole",
                  "<rdf:RDF><dc:date>2024</dc:date></rdf:RDF>",
                  {0},
                  "dc:date",
                  "2024",
                  0},
        TTreeCase{"EndTagNamesAreNotCompared", "<a><b>x</zzz><c/></a>", {1}, "c", "", 0},
        TTreeCase{"TrimmedTagBeforeSlashStillStartsWithItsName", "<a><br   /><c/></a>", {0}, "br", "", 0}),
    [](const auto& info) { return std::string(info.param.Rule); });

// Every element in document order as "name:Text|TextAfter".
std::vector<std::string> TextsInOrder(const TmoxXMLNode2& Root) {
  std::vector<std::string> texts;
  std::vector<const TmoxXMLNode2*> pending{&Root};
  while (!pending.empty()) {
    const TmoxXMLNode2* node = pending.back();
    pending.pop_back();
    texts.push_back(std::string(node->Name) + ":" + std::string(node->Text) + "|" +
                    std::string(node->TextAfter));
    for (int i = node->Nodes.Count() - 1; i >= 0; --i) pending.push_back(&node->Nodes[i]);
  }
  return texts;
}

struct TMixedCase {
  const char* Rule;
  std::string Source;
  std::vector<std::string> Texts;  // as TextsInOrder gives them
};

class MixedContentTest : public ::testing::TestWithParam<TMixedCase> {};

TEST_P(MixedContentTest, KeepsTheTextAfterEachChildOnTheChild) {
  auto doc = Load(GetParam().Source);
  EXPECT_EQ(TextsInOrder(*doc), GetParam().Texts);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MixedContentTest,
    ::testing::Values(
        TMixedCase{"InlineElementsInAParagraph",
                   "<p>The <a href='x'>interface</a> is <em>a bit</em> low level,<br/> but workable:</p>",
                   {"p:The|", "a:interface| is ", "em:a bit| low level,", "br:| but workable:"}},
        TMixedCase{"BlanksBetweenElementsAreKeptAsWritten",
                   "<item>\r\n  <title>T</title>\r\n  <link>L</link>\r\n</item>\r\ntrailing",
                   {"item:|", "title:T|\r\n  ", "link:L|\r\n"}},
        TMixedCase{"NestedElementsKeepTheirOwnTexts", "<a><b>1<c>2</c>3</b>4</a>", {"a:|", "b:1|4", "c:2|3"}},
        TMixedCase{"TextAfterStopsAtACommentAndWhatFollowsItIsSkipped",
                   "<a><b/> kept <!-- c --> skipped</a>",
                   {"a:|", "b:| kept "}},
        TMixedCase{
            "CdataAfterAChildIsSkippedAsBefore", "<a><b/>more <![CDATA[1 > 0]]></a>", {"a:|", "b:|more "}},
        TMixedCase{
            "ReferencesStayUndecodedAndBlanksStay", "<a><b/> &amp;amp; </a>", {"a:|", "b:| &amp;amp; "}},
        TMixedCase{"TextAfterTheRootIsNotKept", "<a>x</a> after", {"a:x|"}},
        TMixedCase{"TextCutOffBeforeTheNextTagIsNotKept", "<a><b/> cut", {"a:|", "b:|"}}),
    [](const auto& info) { return std::string(info.param.Rule); });

struct TAttributeCase {
  const char* Rule;
  std::string Source;
  std::vector<std::pair<std::string, std::string>> Attributes;
};

class AttributeListTest : public ::testing::TestWithParam<TAttributeCase> {};

TEST_P(AttributeListTest, StoresNamesAndRawValuesInOrder) {
  const TAttributeCase& c = GetParam();
  auto doc = Load(c.Source);
  EXPECT_EQ(doc->LastError, "");
  ASSERT_EQ(doc->AttributeCount(), static_cast<int>(c.Attributes.size()));
  for (int i = 0; i < doc->AttributeCount(); ++i) {
    EXPECT_EQ(doc->AttributeName(i), c.Attributes[i].first);
    EXPECT_EQ(doc->GetAttribute(i), c.Attributes[i].second);
    EXPECT_EQ(doc->GetAttribute(c.Attributes[i].first), c.Attributes[i].second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AttributeListTest,
    ::testing::Values(
        TAttributeCase{"BothQuoteKinds", "<a x=\"1\" y='2'/>", {{"x", "1"}, {"y", "2"}}},
        TAttributeCase{
            "OtherQuoteInsideValue", "<a t=\"it's\" u='say \"hi\"'/>", {{"t", "it's"}, {"u", "say \"hi\""}}},
        TAttributeCase{"RepeatedNameKeepsFirstPlaceAndLastValue",
                       "<a x=\"1\" y=\"2\" x=\"3\"/>",
                       {{"x", "3"}, {"y", "2"}}},
        TAttributeCase{"StrayWordsBecomePartOfTheName", "<a junk x=\"1\"/>", {{"junk x", "1"}}},
        TAttributeCase{"LineBreaksAndTabsInValuesBecomeSpaces",
                       "<a v=\"one\r\ntwo\tthree\"/>",
                       {{"v", "one  two three"}}},
        TAttributeCase{"ValuesStayUndecoded", "<a x=\"&amp;&#38;&lt;\"/>", {{"x", "&amp;&#38;&lt;"}}},
        TAttributeCase{"EmptyValue", "<a x=\"\" y=''/>", {{"x", ""}, {"y", ""}}},
        TAttributeCase{"NoSpaceNeededBetweenAttributes", "<a x=\"1\"y='2'/>", {{"x", "1"}, {"y", "2"}}},
        TAttributeCase{"PrefixedAndMixedCaseNamesAreKept",
                       "<a xmlns:dc=\"u\" htmlUrl=\"h\"/>",
                       {{"xmlns:dc", "u"}, {"htmlUrl", "h"}}}),
    [](const auto& info) { return std::string(info.param.Rule); });

TEST(ParserTest, TagWithTensOfThousandsOfAttributesKeepsTheRules) {
  std::string source = "<a";
  const int count = 50000;
  for (int i = 0; i < count; ++i) source += " n" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  source += " n0=\"last\" n17=\"again\"/>";
  auto doc = Load(source);
  EXPECT_EQ(doc->LastError, "");
  ASSERT_EQ(doc->AttributeCount(), count);
  EXPECT_EQ(doc->GetAttribute(0), "last");
  EXPECT_EQ(doc->GetAttribute(17), "again");
  EXPECT_EQ(doc->AttributeName(count - 1), "n" + std::to_string(count - 1));
}

// ---------------------------------------------------------------------------------------
// Scan errors

struct TErrorCase {
  std::string Source;
  std::string Message;
  size_t Position;
};

class ScanErrorTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(ScanErrorTest, ReportsMessageAndPositionWithoutThrowing) {
  const TErrorCase& c = GetParam();
  auto doc = Load(c.Source);
  EXPECT_TRUE(doc->LastError.starts_with(c.Message + " near ")) << doc->LastError;
  EXPECT_NE(doc->LastError.find("\r\nError position=" + std::to_string(c.Position) + "\r\n<?xml "),
            std::string::npos)
      << doc->LastError;
  ExpectLinksConsistent(*doc);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ScanErrorTest,
    ::testing::Values(TErrorCase{"", "Missing <", 0}, TErrorCase{"just text", "Missing <", 0},
                      TErrorCase{"<a>x<b/>tail", "Missing <", 0}, TErrorCase{"<a><b", "Missing >", 4},
                      TErrorCase{"<a>text", "Expected < when parsing text", 4},
                      TErrorCase{"<a><![CDATA[x]]", "Expected ]]> when parsing CDATA section", 13},
                      TErrorCase{"<a><b c = \"1\">", "missing value delimiter when parsing attributes", 15},
                      TErrorCase{"<a b=1>", "missing value delimiter when parsing attributes", 8},
                      TErrorCase{"<a b=>", "missing value delimiter when parsing attributes", 7},
                      TErrorCase{"<a b>", "missing = when parsing attributes", 6},
                      TErrorCase{"< a>", "missing = when parsing attributes", 5},
                      TErrorCase{"<a b=\"1>", "Expected closing \" when parsing attributes", 9},
                      TErrorCase{"<a b='1\">", "Expected closing ' when parsing attributes", 10},
                      TErrorCase{"</a><a/>", "End tag without an open element", 5}));

TEST(ParserTest, ErrorTextShowsContextPositionAndTreeSoFar) {
  auto doc = Load("<rss version=\"2.0\"><channel><title>News</title><item><title>Cut");
  EXPECT_EQ(doc->LastError,
            "Expected < when parsing text near /title><item><title>Cut\r\n"
            "Error position=61\r\n" +
                kDefaultDeclaration +
                "<rss version='2.0'>\r\n"
                "  <channel>\r\n"
                "    <title>News\r\n"
                "    </title>\r\n"
                "    <item>\r\n"
                "      <title/>\r\n"
                "    </item>\r\n"
                "  </channel>\r\n"
                "</rss>");
}

TEST(ParserTest, ErrorContextIsFiftyBytesStartingTwentyBeforeThePosition) {
  const std::string filler(100, 'f');
  const std::string source = "<a>" + filler + "<b c=\"1\" d>" + filler;
  const size_t position = source.find("d>") + 3;
  auto doc = Load(source);
  EXPECT_EQ(doc->LastError.substr(0, doc->LastError.find("\r\n")),
            "missing = when parsing attributes near " + source.substr(position - 1 - 20, 50));
  const TmoxXMLNode2& b = doc->Nodes[0];
  EXPECT_EQ(b.GetAttribute("c"), "1") << "attributes before the failing one stay";
  EXPECT_EQ(doc->Text, filler);
}

// A feed of the usual shape, cut at every byte: the parse never throws, and the tree
// holds exactly the elements whose start tag lies whole before the cut.
TEST(ParserTest, FeedCutAtEveryByteKeepsEveryElementStartedBeforeTheCut) {
  const std::string feed =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<!-- generated -->\r\n"
      "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\r\n"
      "<channel>\r\n"
      "  <title>Example &amp; Co</title>\r\n"
      "  <link>http://example.com/</link>\r\n"
      "  <item>\r\n"
      "    <title>First</title>\r\n"
      "    <description><![CDATA[<p>Hello <b>there</b></p>]]></description>\r\n"
      "    <enclosure url=\"http://example.com/a.mp3\" length=\"12\" type='audio/mpeg'/>\r\n"
      "    <guid isPermaLink=\"false\">id-1</guid>\r\n"
      "  </item>\r\n"
      "  <item>\r\n"
      "    <title>Second</title>\r\n"
      "    <description>&lt;p&gt;escaped&lt;/p&gt;</description>\r\n"
      "    <dc:date>2024-01-02</dc:date>\r\n"
      "  </item>\r\n"
      "</channel>\r\n"
      "</rss>\r\n";
  auto full = Load(feed);
  ASSERT_EQ(full->LastError, "");
  const std::vector<std::string> allNames = NamesInOrder(*full);
  // Where each element's start tag ends, in document order.
  std::vector<size_t> startTagEnds;
  size_t from = 0;
  for (const std::string& name : allNames) {
    from = feed.find("<" + name, from);
    while (feed.find_first_of(" >/\r\n", from + 1 + name.size()) != from + 1 + name.size()) {
      from = feed.find("<" + name, from + 1);
    }
    startTagEnds.push_back(feed.find('>', from));
  }
  const size_t rootEnd = feed.rfind('>');
  const size_t declarationEnd = feed.find("?>") + 2;
  const std::vector<std::string> scanMessages = {"Missing < near ", "Missing > near ",
                                                 "Expected < when parsing text near ",
                                                 "Expected ]]> when parsing CDATA section near "};
  for (size_t cut = 0; cut <= feed.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    std::unique_ptr<TmoxXMLParser2> doc;
    ASSERT_NO_THROW(doc = Load(feed.substr(0, cut)));
    if (cut > rootEnd) {
      EXPECT_EQ(doc->LastError, "");
    } else if (doc->LastError == "Missing ?> in xml declaration.") {
      EXPECT_LT(cut, declarationEnd);
    } else {
      bool known = false;
      for (const std::string& m : scanMessages) known = known || doc->LastError.starts_with(m);
      EXPECT_TRUE(known) << doc->LastError.substr(0, 60);
    }
    size_t started = 0;
    while (started < startTagEnds.size() && startTagEnds[started] < cut) ++started;
    std::vector<std::string> names = NamesInOrder(*doc);
    if (started == 0) {
      EXPECT_EQ(names, std::vector<std::string>{""});
    } else {
      EXPECT_EQ(names, std::vector<std::string>(allNames.begin(), allNames.begin() + started));
    }
    ExpectLinksConsistent(*doc);
  }
}

// ---------------------------------------------------------------------------------------
// Declaration

TEST(DeclarationTest, PseudoAttributesAreStoredRaw) {
  auto doc = Load("<?xml version=\"1.0\" encoding='UTF-8' standalone=\"yes\"?>\n<a/>");
  EXPECT_EQ(doc->LastError, "");
  ASSERT_EQ(doc->Declaration->AttributeCount(), 3);
  EXPECT_EQ(doc->Declaration->GetAttribute("encoding"), "UTF-8");
  EXPECT_EQ(doc->Declaration->AttributeName(2), "standalone");
  // The declaration's values do not have their line breaks replaced.
  EXPECT_EQ(Load("<?xml version=\"1\n0\"?><a/>")->Declaration->GetAttribute("version"), "1\n0");
  EXPECT_EQ(Load("<?xml?><a/>")->Declaration->AttributeCount(), 0);
}

TEST(DeclarationTest, IsRecognisedOnlyAsTheFirstTagInLowerCase) {
  for (const char* source : {"<!-- c --><?xml version=\"1.1\" encoding=\"UTF-8\"?><a>x</a>",
                             "<?XML version=\"1.1\" encoding=\"UTF-8\"?><a>x</a>"}) {
    SCOPED_TRACE(source);
    auto doc = Load(source);
    EXPECT_EQ(doc->LastError, "");
    EXPECT_EQ(doc->Declaration->AttributeCount(), 0);
    EXPECT_EQ(doc->Name, "a");
    EXPECT_EQ(doc->Xml(), kDefaultDeclaration + "<a>x\r\n</a>");
  }
}

TEST(DeclarationTest, MissingEndGivesPlainMessageAndEmptyTree) {
  auto doc = Load("<?xml version=\"1.0\"><rss><channel/></rss>");
  EXPECT_EQ(doc->LastError, "Missing ?> in xml declaration.");
  EXPECT_EQ(doc->Name, "");
  EXPECT_EQ(doc->Nodes.Count(), 0);
}

TEST(DeclarationTest, MalformedPseudoAttributesThrowFromEveryLoad) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<?xml version=1.0?><a/>", "missing value delimiter when parsing attributes"},
      {"<?xml version=\"1.0?><a/>", "Expected closing \" when parsing attributes"},
      {"<?xml version?><a/>", "missing = when parsing attributes"},
  };
  test::TTempDir dir;
  for (const auto& [source, message] : cases) {
    SCOPED_TRACE(source);
    TmoxXMLParser2 doc;
    try {
      doc.LoadFromString(source);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
    EXPECT_EQ(doc.Name, "");
    test::WriteFile(dir.File("bad.xml"), source);
    EXPECT_THROW(doc.LoadFromFile(dir.File("bad.xml")), std::runtime_error);
  }
}

// ---------------------------------------------------------------------------------------
// Files and reuse

TEST(LoadTest, FileIsReadByteForByte) {
  test::TTempDir dir;
  static constexpr char kText[] = "caf\xE9 \x80\x9F\r\nline\0two";
  const std::string text(kText, sizeof kText - 1);
  test::WriteFile(dir.File("f.xml"), "<a>" + text + "</a>");
  TmoxXMLParser2 doc;
  doc.LoadFromFile(dir.File("f.xml"));
  EXPECT_EQ(doc.LastError, "");
  EXPECT_EQ(doc.Text, text);
}

TEST(LoadTest, UnreadableFileThrowsAndLeavesTheTreeAlone) {
  test::TTempDir dir;
  TmoxXMLParser2 doc;
  doc.LoadFromString("<opml><body/></opml>");
  for (const std::string& path : {dir.File("missing.xml"), dir.Path()}) {
    SCOPED_TRACE(path);
    try {
      doc.LoadFromFile(path);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(doc.Name, "opml");
    EXPECT_EQ(doc.Nodes.Count(), 1);
  }
}

TEST(LoadTest, SecondLoadReplacesTreeDeclarationAndError) {
  TmoxXMLParser2 doc;
  doc.LoadFromString("<?xml version=\"1.0\" encoding=\"koi8-r\"?><rss a=\"1\"><c>x</c></rss");
  EXPECT_FALSE(doc.LastError.empty());
  doc.LoadFromString("<feed>t</feed>");
  EXPECT_EQ(doc.LastError, "");
  EXPECT_EQ(doc.Name, "feed");
  EXPECT_EQ(doc.Text, "t");
  EXPECT_EQ(doc.AttributeCount(), 0);
  EXPECT_EQ(doc.Nodes.Count(), 0);
  EXPECT_EQ(doc.Declaration->AttributeCount(), 0);
}

// Real-world feeds and OPML files: no crash, and only a malformed declaration may throw.
TEST(LoadTest, CorpusFilesLoadWithoutCrashing) {
  const std::string corpus = test::CorpusPath();
  if (corpus.empty()) GTEST_SKIP() << "shared corpus not on this machine";
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    TmoxXMLParser2 doc;
    try {
      doc.LoadFromFile(entry.path().string());
    } catch (const std::runtime_error& e) {
      EXPECT_TRUE(std::string(e.what()).ends_with("when parsing attributes"))
          << entry.path() << ": " << e.what();
    }
    ExpectLinksConsistent(doc);
    ++files;
  }
  EXPECT_GT(files, 100);
}

// ---------------------------------------------------------------------------------------
// Element operations

TEST(NodeTest, AttributeAccessOutsideTheListIsHarmless) {
  auto doc = Load("<outline htmlUrl=\"h\" text=\"t\"/>");
  EXPECT_EQ(doc->GetAttribute("htmlurl"), "");
  EXPECT_EQ(doc->AttributeIndex("htmlurl"), -1);
  EXPECT_EQ(doc->AttributeIndex("text"), 1);
  for (int index : {-1, 2, 1000}) {
    EXPECT_EQ(doc->AttributeName(index), "");
    EXPECT_EQ(doc->GetAttribute(index), "");
    doc->SetAttribute(index, "x");
  }
  EXPECT_EQ(doc->AttributeCount(), 2);
  doc->SetAttribute(0, "new");
  doc->SetAttribute("title", "added");
  doc->SetAttribute("text", "replaced");
  EXPECT_EQ(doc->GetAttribute(0), "new");
  EXPECT_EQ(doc->GetAttribute(1), "replaced");
  EXPECT_EQ(doc->AttributeName(2), "title");
}

TEST(NodeTest, FindNodeReturnsTheFirstOfSeveralNamesakes) {
  auto doc = Load("<a><item>1</item><item>2</item></a>");
  ASSERT_NE(doc->FindNode("item"), nullptr);
  EXPECT_EQ(doc->FindNode("item")->Text, "1");
  EXPECT_EQ(doc->FindNode("ite"), nullptr);
}

// ---------------------------------------------------------------------------------------
// Serialisation

TEST(XmlTest, TextOnlyRootEndsWithItsEndTagOnItsOwnLine) {
  auto doc = Load("<a>x</a>");
  EXPECT_EQ(doc->Xml(),
            "<?xml version='1.0' encoding='ISO-8859-1' ?>\r\n"
            "<a>x\r\n"
            "</a>");
}

TEST(XmlTest, WritesAttributesIndentationEmptyElementsAndCdata) {
  auto doc = Load(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<r a=\"1\" b='x\"y'><e/><t>A &amp; B</t><h><![CDATA[<p>hi</p>]]><k/></h><g>1 > 0</g></r>");
  EXPECT_EQ(doc->Xml(),
            "<?xml version='1.0' encoding='utf-8' ?>\r\n"
            "<r a='1' b='x\"y'>\r\n"
            "  <e/>\r\n"
            "  <t>A &amp; B\r\n"
            "  </t>\r\n"
            "  <h><![CDATA[<p>hi</p>]]>\r\n"
            "    <k/>\r\n"
            "  </h>\r\n"
            "  <g><![CDATA[1 > 0]]>\r\n"
            "  </g>\r\n"
            "</r>");
}

TEST(XmlTest, OutputBeyondTheFirstBufferIsWhole) {
  const std::string big(200000, 'b');
  std::string source = "<a>" + big;
  std::string expected = kDefaultDeclaration + "<a>" + big;
  for (int i = 0; i < 20000; ++i) {
    source += "<c" + std::to_string(i) + "/>";
    expected += "\r\n  <c" + std::to_string(i) + "/>";
  }
  source += "</a>";
  expected += "\r\n</a>";
  EXPECT_EQ(Load(source)->Xml(), expected);
}

}  // namespace
}  // namespace skimbrook
