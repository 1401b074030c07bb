// Who owns what in a tree: texts that refer to the document's bytes, texts and elements
// added afterwards, elements taken out, and elements handed to a handler while the
// document is read. The sanitizer build turns every slip here into a report.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "xml/moxXMLParser2.h"

namespace skimbrook {
namespace {

std::unique_ptr<TmoxXMLParser2> Load(std::string Source) {
  auto document = std::make_unique<TmoxXMLParser2>();
  document->LoadFromString(std::move(Source));
  return document;
}

// Parses other documents, so that memory given back by a tree is handed out again.
void ReuseTreeMemory() {
  for (int i = 0; i < 3; ++i) Load(std::string(5000, ' ') + "<a><b c='zzzzzzzz'>overwritten</b><b/></a>");
}

// ---------------------------------------------------------------------------------------
// Texts

TEST(TreeTextTest, ReadsAndComparesLikeAString) {
  auto doc = Load("<rss version=\"2.0\"><title> Tom &amp; Jerry </title></rss>");
  const TmoxXMLString& title = doc->Nodes[0].Text;
  EXPECT_EQ(title, "Tom &amp; Jerry");
  EXPECT_EQ(title, std::string("Tom &amp; Jerry"));
  EXPECT_EQ(std::string_view("Tom &amp; Jerry"), title);
  EXPECT_NE(title, "Tom");
  EXPECT_EQ(title.size(), 15u);
  EXPECT_FALSE(title.empty());
  EXPECT_EQ(title.front(), 'T');
  EXPECT_EQ(title.back(), 'y');
  EXPECT_TRUE(title.starts_with("Tom"));
  EXPECT_EQ(doc->GetAttribute("version"), doc->GetAttribute(0));
  EXPECT_TRUE(doc->GetAttribute("missing").empty());
  const std::string copy = title;
  std::string assigned;
  assigned = title;
  std::ostringstream out;
  out << title;
  EXPECT_EQ(copy, assigned);
  EXPECT_EQ(out.str(), copy);
}

TEST(TreeTextTest, CopiesAndMovesOwnTheirBytesAndOutliveTheDocument) {
  auto doc = Load("<a note='kept value'>kept text<b>child text</b></a>");
  TmoxXMLString copied = doc->Text;
  TmoxXMLString moved = std::move(doc->Nodes[0].Text);
  TmoxXMLString assigned;
  assigned = doc->GetAttribute("note");
  std::vector<TmoxXMLString> many(3, doc->Name);
  doc.reset();
  ReuseTreeMemory();
  EXPECT_EQ(copied, "kept text");
  EXPECT_EQ(moved, "child text");
  EXPECT_EQ(assigned, "kept value");
  for (const auto& name : many) EXPECT_EQ(name, "a");
}

TEST(TreeTextTest, AssigningReplacesTheTextWhereverItCameFrom) {
  auto doc = Load("<a>first</a>");
  doc->Text = "second";
  EXPECT_EQ(doc->Text, "second");
  doc->Text = doc->Text.View().substr(1);  // from its own bytes
  EXPECT_EQ(doc->Text, "econd");
  doc->Text = std::string("third");
  doc->Name.assign("renamed");
  doc->Text.clear();
  EXPECT_EQ(doc->Text, "");
  EXPECT_EQ(doc->Xml(), "<?xml version='1.0' encoding='ISO-8859-1' ?>\r\n<renamed/>");
}

// ---------------------------------------------------------------------------------------
// Trees changed after the parse

TEST(TreeEditTest, EditedTreeIsReleasedWithEverythingAddedToIt) {
  auto doc = Load("<rss><channel><item><title>t</title></item></channel></rss>");
  TmoxXMLNode2& channel = doc->Nodes[0];
  channel.Nodes[0].Nodes[0].Text = "a title long enough to need memory of its own";
  channel.SetAttribute("added", "a value long enough to need memory of its own");
  auto extra = std::make_unique<TmoxXMLNode2>();
  extra->Name = "extra";
  extra->Nodes.Add(std::make_unique<TmoxXMLNode2>()).Name = "inner";
  extra->SetAttribute("k", "v");
  channel.Nodes.Add(std::move(extra));
  EXPECT_EQ(doc->Xml(),
            "<?xml version='1.0' encoding='ISO-8859-1' ?>\r\n"
            "<rss>\r\n"
            "  <channel added='a value long enough to need memory of its own'>\r\n"
            "    <item>\r\n"
            "      <title>a title long enough to need memory of its own\r\n"
            "      </title>\r\n"
            "    </item>\r\n"
            "    <extra k='v'>\r\n"
            "      <inner/>\r\n"
            "    </extra>\r\n"
            "  </channel>\r\n"
            "</rss>");
  channel.Nodes[0].Nodes.Clear();
  EXPECT_EQ(channel.Nodes[0].Nodes.Count(), 0);
  doc.reset();
}

TEST(TreeEditTest, ReusedDocumentStartsAfreshAfterEdits) {
  TmoxXMLParser2 doc;
  doc.LoadFromString("<a><b/></a>");
  doc.Nodes.Add(std::make_unique<TmoxXMLNode2>()).Name = "added";
  doc.Nodes[0].Text = "edited";
  doc.LoadFromString("<c>x<d/></c>");
  EXPECT_EQ(doc.Name, "c");
  ASSERT_EQ(doc.Nodes.Count(), 1);
  EXPECT_EQ(doc.Nodes[0].Name, "d");
}

TEST(TreeEditTest, AttributesTakenOutKeepTheirNamesAndValues) {
  auto doc = Load("<a x='1' y='two'/>");
  auto attributes = doc->Attributes.TakeAll();
  doc.reset();
  ReuseTreeMemory();
  ASSERT_EQ(attributes.size(), 2u);
  EXPECT_EQ(attributes[1]->Name, "y");
  EXPECT_EQ(attributes[1]->Value, "two");
}

// ---------------------------------------------------------------------------------------
// Reading with a handler

// Writes down what it hears and drops the elements named in Drop.
class TRecorder : public TmoxXMLElementHandler {
 public:
  explicit TRecorder(std::string Drop = "") : drop_(std::move(Drop)) {}
  void ElementStarted(TmoxXMLNode2& Element) override {
    events.push_back("+" + std::string(Element.Name) +
                     (Element.Text.empty() ? "" : ":" + std::string(Element.Text)));
  }
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override {
    events.push_back("-" + std::string(Element.Name) + "/" + std::to_string(Element.Nodes.Count()));
    if (Element.Parent != nullptr && Element.Parent->Nodes.Count() != 0)
      events.push_back("parent listed early");
    return Element.Name == drop_ ? TAfterEnd::Drop : TAfterEnd::Keep;
  }
  std::vector<std::string> events;

 private:
  std::string drop_;
};

TEST(HandlerTest, HearsStartsInDocumentOrderAndEndsOnceTheSubtreeIsComplete) {
  TRecorder recorder;
  TmoxXMLParser2 doc;
  doc.LoadFromString("<a><b/><c>t<d>x</d><e/></c></a>", recorder);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"+a", "+b", "-b/0", "+c:t", "+d:x", "-d/0", "+e",
                                                       "-e/0", "-c/2", "-a/2"}));
  EXPECT_EQ(doc.LastError, "");
  EXPECT_EQ(doc.Nodes[1].Nodes[1].Name, "e");
}

TEST(HandlerTest, DroppedElementsLeaveTheTreeWithTheirSubtrees) {
  TRecorder recorder("item");
  TmoxXMLParser2 doc;
  doc.LoadFromString(
      "<rss><channel><title>T</title><item><x>1</x></item><item/><link>L</link></channel></rss>", recorder);
  EXPECT_EQ(doc.Xml(),
            "<?xml version='1.0' encoding='ISO-8859-1' ?>\r\n"
            "<rss>\r\n"
            "  <channel>\r\n"
            "    <title>T\r\n"
            "    </title>\r\n"
            "    <link>L\r\n"
            "    </link>\r\n"
            "  </channel>\r\n"
            "</rss>");
}

TEST(HandlerTest, TextAfterADroppedElementGoesNowhereAndNeighboursKeepTheirs) {
  TRecorder recorder("x");
  TmoxXMLParser2 doc;
  doc.LoadFromString("<p>a<b>1</b>after b<x>2</x>after x<c/>after c</p>", recorder);
  ASSERT_EQ(doc.Nodes.Count(), 2);
  EXPECT_EQ(doc.Nodes[0].TextAfter, "after b");
  EXPECT_EQ(doc.Nodes[1].Name, "c");
  EXPECT_EQ(doc.Nodes[1].TextAfter, "after c");
  // A copy taken out of the tree keeps its text after.
  const auto taken = doc.Nodes.TakeAll();
  doc.LoadFromString("<other/>");
  EXPECT_EQ(taken[0]->TextAfter, "after b");
}

TEST(HandlerTest, AfterAnErrorEveryElementNotYetEndedEndsInnermostFirst) {
  TRecorder recorder("c");
  TmoxXMLParser2 doc;
  doc.LoadFromString("<a><b>t<c x='1' y>", recorder);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"+a", "+b:t", "+c", "-c/0", "-b/0", "-a/1"}));
  // The error text shows the tree that was kept.
  EXPECT_TRUE(doc.LastError.starts_with("missing = when parsing attributes near ")) << doc.LastError;
  EXPECT_TRUE(doc.LastError.ends_with("<a>\r\n  <b>t\r\n  </b>\r\n</a>")) << doc.LastError;
}

TEST(HandlerTest, RootIsKeptEvenWhenDropped) {
  TRecorder recorder("a");
  TmoxXMLParser2 doc;
  doc.LoadFromString("<a><a/></a>", recorder);
  EXPECT_EQ(doc.Name, "a");
  EXPECT_EQ(doc.Nodes.Count(), 0);
}

// A handler that changes what it is given before the element is dropped.
class TEditingHandler : public TmoxXMLElementHandler {
 public:
  void ElementStarted(TmoxXMLNode2& Element) override {
    Element.Text = std::string(Element.Name) + " edited while the document is read";
  }
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override {
    if (Element.Name == "keep") taken = Element.Nodes.TakeAll();
    if (Element.Name == "grow")
      Element.Nodes.Add(std::make_unique<TmoxXMLNode2>()).Text = "added by the handler";
    return Element.Parent == Element.Document ? TAfterEnd::Drop : TAfterEnd::Keep;
  }
  std::vector<std::unique_ptr<TmoxXMLNode2>> taken;
};

TEST(HandlerTest, ChangesMadeByTheHandlerAreReleasedWithTheDroppedElements) {
  TEditingHandler handler;
  auto doc = std::make_unique<TmoxXMLParser2>();
  doc->LoadFromString("<r><item><keep><x a='1'>x</x></keep><grow/></item><item/></r>", handler);
  EXPECT_EQ(doc->Nodes.Count(), 0);
  doc.reset();
  ReuseTreeMemory();
  ASSERT_EQ(handler.taken.size(), 1u);
  EXPECT_EQ(handler.taken[0]->Text, "x edited while the document is read");
  EXPECT_EQ(handler.taken[0]->GetAttribute("a"), "1");
}

}  // namespace
}  // namespace skimbrook
