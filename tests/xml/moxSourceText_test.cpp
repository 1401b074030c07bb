// The bytes a document is read from: files mapped or read, and pages given back while
// a large file is read.
#include "xml/moxSourceText.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tools/TestSupport.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook {
namespace {

// Text of Size bytes in which no two 4 KiB pages are alike: each starts with an empty
// element numbered after it.
std::string PageNumberedText(size_t Size) {
  std::string text;
  text.reserve(Size + 32);
  for (size_t page = 0; text.size() < Size; ++page) {
    std::string block = "<p n=\"" + std::to_string(page) + "\"/>";
    block.resize(4096, 'x');
    text += block;
  }
  text.resize(Size);
  return text;
}

TEST(SourceTextTest, FilesOfEveryKindReadByteForByte) {
  test::TTempDir dir;
  const std::string bytes = std::string("a\0b\x80\xff", 5) + PageNumberedText(100000);
  test::WriteFile(dir.File("f.xml"), bytes);
  test::WriteFile(dir.File("empty.xml"), "");
  TmoxSourceText source;
  source.Load(dir.File("f.xml"));
  EXPECT_TRUE(source.View() == bytes);
  source.Load(dir.File("empty.xml"));
  EXPECT_EQ(source.View(), "");
  // A file whose size is not known beforehand cannot be mapped and is read instead.
  source.Load("/proc/self/status");
  EXPECT_TRUE(source.View().starts_with("Name:"));
}

TEST(SourceTextTest, FailedLoadNamesTheFileAndKeepsThePreviousText) {
  test::TTempDir dir;
  TmoxSourceText source;
  source.Assign("previous");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir.File("missing.xml"),
       "Cannot open file \"" + dir.File("missing.xml") + "\". No such file or directory"},
      {dir.Path(), "Cannot read file \"" + dir.Path() + "\". Is a directory"}};
  for (const auto& [path, message] : cases) {
    try {
      source.Load(path);
      ADD_FAILURE() << "no exception for " << path;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
    EXPECT_EQ(source.View(), "previous");
  }
}

TEST(SourceTextTest, PagesGivenBackReadAgainFromTheFile) {
  test::TTempDir dir;
  const std::string bytes = PageNumberedText(3 * TmoxSourceText::ReleaseStep() + 12345);
  test::WriteFile(dir.File("big.xml"), bytes);
  TmoxSourceText source;
  source.Load(dir.File("big.xml"));
  const char* const start = source.View().data();
  source.ReleaseBefore(start + TmoxSourceText::ReleaseStep() / 2);
  EXPECT_EQ(source.ReleasedBytes(), 0u) << "pages go back in steps";
  source.ReleaseBefore(start + 2 * TmoxSourceText::ReleaseStep() + 100);
  EXPECT_EQ(source.ReleasedBytes(), 2 * TmoxSourceText::ReleaseStep());
  EXPECT_TRUE(source.View() == bytes) << "bytes given back come again from the file";
  source.ReleaseBefore(start);  // never goes back
  EXPECT_EQ(source.ReleasedBytes(), 2 * TmoxSourceText::ReleaseStep());

  TmoxSourceText inMemory;
  inMemory.Assign(bytes);
  inMemory.ReleaseBefore(inMemory.View().data() + bytes.size());
  EXPECT_EQ(inMemory.ReleasedBytes(), 0u) << "text in memory is the caller's";
}

// Drops every child of the root, remembering the attribute of each.
class TDropEverything : public TmoxXMLElementHandler {
 public:
  void ElementStarted(TmoxXMLNode2&) override {}
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override {
    if (Element.Parent != nullptr) numbers.push_back(Element.GetAttribute("n"));
    return TAfterEnd::Drop;
  }
  std::vector<std::string> numbers;
};

TEST(SourceTextTest, FileReadWithAHandlerGivesBackWhatItHasRead) {
  test::TTempDir dir;
  const std::string body = PageNumberedText(3 * TmoxSourceText::ReleaseStep());
  test::WriteFile(dir.File("big.xml"), "<r>" + body + "</r>");
  TDropEverything handler;
  TmoxXMLParser2 doc;
  doc.LoadFromFile(dir.File("big.xml"), handler);
  EXPECT_EQ(doc.LastError, "");
  EXPECT_GE(doc.SourceBytesReleased(), 2 * TmoxSourceText::ReleaseStep());
  ASSERT_EQ(handler.numbers.size(), body.size() / 4096);
  for (size_t page = 0; page < handler.numbers.size(); ++page)
    ASSERT_EQ(handler.numbers[page], std::to_string(page));
}

}  // namespace
}  // namespace skimbrook
