// The XML tree and the feed and list readers against their literal references: same tree,
// same error text, same fields and items, for documents whole and cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tools/ReferenceCompare.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

// Every reader on Source; fails with the first difference.
void ExpectSameAsReferences(const std::string& Source, const std::string& Name) {
  const std::string parse = test::ParseDifference(Source);
  const std::string feed = test::FeedDifference(Source);
  const std::string list = test::ListDifference(Source);
  EXPECT_TRUE(parse.empty()) << Name << ": tree: " << parse;
  EXPECT_TRUE(feed.empty()) << Name << ": feed: " << feed;
  EXPECT_TRUE(list.empty()) << Name << ": list: " << list;
}

// Source whole and cut at Cuts places spread over it.
void ExpectSameWholeAndCut(const std::string& Source, const std::string& Name, size_t Cuts) {
  ExpectSameAsReferences(Source, Name);
  const size_t step = std::max<size_t>(1, Source.size() / Cuts);
  for (size_t cut = 0; cut < Source.size(); cut += step)
    ExpectSameAsReferences(Source.substr(0, cut), Name + " cut at " + std::to_string(cut));
}

std::vector<std::filesystem::path> FilesUnder(const std::string& Folder) {
  std::vector<std::filesystem::path> files;
  if (Folder.empty() || !std::filesystem::exists(Folder)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ReadersMatchReferences, OnTheFixturesWholeAndCutAtEveryByte) {
  const auto files = FilesUnder(test::DataPath());
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    const std::string bytes = test::ReadFile(file.string());
    ExpectSameWholeAndCut(bytes, file.filename().string(), bytes.size());
  }
}

TEST(ReadersMatchReferences, OnTheSharedCorpusWholeAndCut) {
  const std::string corpus = test::CorpusPath();
  if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  const auto files = FilesUnder(corpus);
  ASSERT_GT(files.size(), 100u);
  for (const auto& file : files) {
    const std::string bytes = test::ReadFile(file.string());
    ExpectSameWholeAndCut(bytes, file.string(), 8);
  }
}

// Documents made of pieces of feeds, lists and broken markup in random order, so that
// the rules meet each other in ways no hand-written case does.
TEST(ReadersMatchReferences, OnDocumentsMadeOfRandomPieces) {
  static const std::vector<std::string> kPieces = {
      "<?xml version=\"1.0\" encoding='utf-8'?>",
      "<?xml version=1 x?>",
      "<rss version=\"2.0\">",
      "<feed>",
      "<rdf:RDF>",
      "<RSS>",
      "<opml>",
      "<body>",
      "<channel>",
      "<Channel>",
      "<item>",
      "<ITEM isRead=\"TRUE\">",
      "<item isRead='true'>",
      "<entry>",
      "<title>",
      "<link>",
      "<link href=\"h&amp;x\" type=\"text/html\"/>",
      "<link rel='self' type='application/atom+xml' href='s'/>",
      "<description>",
      "<content:encoded>",
      "<content type='html'>",
      "<summary>",
      "<issued>",
      "<modified>",
      "<dc:date>",
      "<pubDate>",
      "</item>",
      "</entry>",
      "</channel>",
      "</title>",
      "</a>",
      "</>",
      "<>",
      "<outline title=\"T &amp;amp; x\" xmlUrl=\"u\" htmlurl='h' unreadCount=\"12\"/>",
      "<outline xmlurl=\"v\" unreadCount=\"-3\">",
      "</outline>",
      "<outline text=\"t\" unreadCount=\"1x\"/>",
      "<![CDATA[<b>x</b> > y]]>",
      "<![CDATA[",
      "]]>",
      "<!-- c > d -->",
      "<?pi x?>",
      "text",
      "  ",
      " &lt;b&gt;bold&lt;/b&gt; ",
      "&amp;amp;",
      "&#233;",
      "&#8220;q&#8221;",
      "\\n",
      "\r\n\t",
      "<a\r\n b='1'\tc=\"2\">",
      "<a b = \"1\">",
      "<a b=1>",
      "<a b>",
      "<a b='x\">",
      "<a x=\"1\" x='2'>",
      "<e/>",
      "<e />",
      "<br   />",
      "<",
      ">",
      "=",
      "\"",
      "'",
      "/",
      "]]",
      "<title>A &amp; B</title>",
      "<description><![CDATA[<p>Hi</p>]]></description>"};
  std::mt19937 random(20260102);
  for (int round = 0; round < 3000; ++round) {
    std::string source;
    const size_t pieces = 1 + random() % 40;
    for (size_t i = 0; i < pieces; ++i) source += kPieces[random() % kPieces.size()];
    ExpectSameAsReferences(source, "round " + std::to_string(round));
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace skimbrook
