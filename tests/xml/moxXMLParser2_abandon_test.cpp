// A parse that an exception leaves halfway: a handler that throws, or memory that runs
// out at any allocation. The exception reaches the caller, the document stays usable and
// everything it took is given back (the sanitizer build reports any leak).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "xml/moxXMLParser2.h"

namespace {

// Allocations still allowed while a test has armed the failure; negative: no limit.
long allocationsLeft = -1;

void* Allocate(std::size_t Size, std::size_t Alignment) {
  if (allocationsLeft == 0) throw std::bad_alloc();
  if (allocationsLeft > 0) --allocationsLeft;
  void* memory = Alignment > alignof(std::max_align_t)
                     ? std::aligned_alloc(Alignment, (Size + Alignment - 1) / Alignment * Alignment)
                     : std::malloc(Size == 0 ? 1 : Size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t Size) {
  return Allocate(Size, 0);
}
void* operator new(std::size_t Size, std::align_val_t Alignment) {
  return Allocate(Size, static_cast<std::size_t>(Alignment));
}
void operator delete(void* Memory) noexcept {
  std::free(Memory);
}
void operator delete(void* Memory, std::size_t) noexcept {
  std::free(Memory);
}
void operator delete(void* Memory, std::align_val_t) noexcept {
  std::free(Memory);
}
void operator delete(void* Memory, std::size_t, std::align_val_t) noexcept {
  std::free(Memory);
}

namespace skimbrook {
namespace {

const std::string kFeed =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel><title>T</title>"
    "<item n=\"1\"><title>one</title><link>l</link></item>"
    "<item n=\"2\" a=\"x\"\n b='y'><title>two</title><description><![CDATA[<p>d</p>]]></description></item>"
    "</channel></rss>";

// Keeps every element, or drops the items; throws at the end of the element named Fail.
class TThrowingHandler : public TmoxXMLElementHandler {
 public:
  explicit TThrowingHandler(std::string Fail = "", bool Drop = false) : fail_(std::move(Fail)), drop_(Drop) {}
  void ElementStarted(TmoxXMLNode2&) override {}
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override {
    if (Element.Name == fail_) throw std::runtime_error("handler gave up");
    return drop_ && Element.Name == "item" ? TAfterEnd::Drop : TAfterEnd::Keep;
  }

 private:
  std::string fail_;
  bool drop_;
};

TEST(AbandonTest, HandlerThrowingInMidParseLeavesAUsableDocument) {
  for (const char* fail : {"title", "item", "link", "channel", "rss"}) {
    TThrowingHandler handler(fail, true);
    TmoxXMLParser2 doc;
    EXPECT_THROW(doc.LoadFromString(kFeed, handler), std::runtime_error) << fail;
    EXPECT_EQ(doc.Name, "rss") << fail;
    doc.LoadFromString("<a><b/></a>");
    EXPECT_EQ(doc.LastError, "");
    ASSERT_EQ(doc.Nodes.Count(), 1);
    EXPECT_EQ(doc.Nodes[0].Name, "b");
  }
}

TEST(AbandonTest, EveryAllocationOfAParseMayFail) {
  for (const bool withHandler : {false, true}) {
    bool completed = false;
    for (long allowed = 0; !completed; ++allowed) {
      ASSERT_LT(allowed, 10000) << "the parse never completed";
      TmoxXMLParser2 doc;
      TThrowingHandler handler("", true);
      std::string source = kFeed;
      allocationsLeft = allowed;
      try {
        if (withHandler)
          doc.LoadFromString(std::move(source), handler);
        else
          doc.LoadFromString(std::move(source));
        completed = true;
      } catch (const std::bad_alloc&) {
      }
      allocationsLeft = -1;
      if (completed) {
        EXPECT_EQ(doc.LastError, "");
        EXPECT_EQ(doc.Declaration->GetAttribute("encoding"), "utf-8");
        EXPECT_EQ(doc.Nodes[0].Nodes.Count(), withHandler ? 1 : 3);
      }
    }
  }
}

TEST(AbandonTest, EditsMayFailWithoutHarmingTheTree) {
  TmoxXMLParser2 doc;
  doc.LoadFromString(kFeed);
  TmoxXMLNode2& channel = doc.Nodes[0];
  for (long allowed = 0; allowed < 20; ++allowed) {
    allocationsLeft = allowed;
    try {
      auto extra = std::make_unique<TmoxXMLNode2>();
      extra->Name = "extra";
      extra->SetAttribute("k", "a value long enough to need memory");
      extra->Nodes.Add(std::make_unique<TmoxXMLNode2>()).Text = "inner";
      channel.Nodes.Add(std::move(extra));
      auto taken = channel.Nodes[1].Attributes.TakeAll();
    } catch (const std::bad_alloc&) {
    }
    allocationsLeft = -1;
  }
  EXPECT_EQ(channel.Nodes[0].Name, "title");
  EXPECT_EQ(channel.Nodes[2].GetAttribute("n"), "2");
  EXPECT_EQ(channel.Nodes[channel.Nodes.Count() - 1].Name, "extra");
}

}  // namespace
}  // namespace skimbrook
