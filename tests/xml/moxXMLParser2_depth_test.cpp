// Documents nested far deeper than any feed: reading, writing and releasing them must not
// depend on the size of the call stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>

#include "xml/moxXMLParser2.h"

namespace skimbrook {
namespace {

std::string Repeat(std::string_view Piece, size_t Count) {
  std::string out;
  out.reserve(Piece.size() * Count);
  for (size_t i = 0; i < Count; ++i) out += Piece;
  return out;
}

size_t DepthBelow(const TmoxXMLNode2& Root) {
  size_t depth = 0;
  for (const TmoxXMLNode2* node = &Root; node->Nodes.Count() > 0; node = &node->Nodes[0]) ++depth;
  return depth;
}

// Runs Work on a thread whose whole stack is StackBytes.
void RunOnSmallStack(size_t StackBytes, const std::function<void()>& Work) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, StackBytes), 0);
  pthread_t thread;
  auto body = [](void* work) -> void* {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, body, const_cast<std::function<void()>*>(&Work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST(DepthTest, MillionDeepDocumentIsReadAndReleased) {
  const size_t depth = 1000000;
  auto doc = std::make_unique<TmoxXMLParser2>();
  doc->LoadFromString(Repeat("<a>", depth) + Repeat("</a>", depth));
  EXPECT_EQ(doc->LastError, "");
  EXPECT_EQ(DepthBelow(*doc), depth - 1);
  doc.reset();
}

TEST(DepthTest, UnclosedMillionDeepDocumentGivesABoundedErrorText) {
  const std::string source = Repeat("<a>", 1000000);
  TmoxXMLParser2 doc;
  doc.LoadFromString(source);
  EXPECT_TRUE(doc.LastError.starts_with("Expected < when parsing text near a><a><a>"))
      << doc.LastError.substr(0, 80);
  // Written in full, the tree's indentation alone would take a terabyte.
  EXPECT_LT(doc.LastError.size(), (size_t{1} << 20) + 3 * source.size());
  EXPECT_EQ(DepthBelow(doc), 999999u);
}

TEST(DepthTest, ParseXmlAndTeardownRunOnA64KiBStack) {
  const size_t depth = 3000;
  std::string expected = "<?xml version='1.0' encoding='ISO-8859-1' ?>\r\n";
  for (size_t level = 0; level < depth - 1; ++level) expected += std::string(2 * level, ' ') + "<a>\r\n";
  expected += std::string(2 * (depth - 1), ' ') + "<a/>";
  for (size_t level = depth - 1; level-- > 0;) expected += "\r\n" + std::string(2 * level, ' ') + "</a>";
  const std::string source = Repeat("<a>", depth - 1) + "<a/>" + Repeat("</a>", depth - 1);

  std::string xml;
  std::string error = "not run";
  RunOnSmallStack(64 * 1024, [&] {
    TmoxXMLParser2 doc;
    doc.LoadFromString(source);
    error = doc.LastError;
    xml = doc.Xml();
  });
  EXPECT_EQ(error, "");
  EXPECT_TRUE(xml == expected) << "Xml differs from the expected text";
}

}  // namespace
}  // namespace skimbrook
