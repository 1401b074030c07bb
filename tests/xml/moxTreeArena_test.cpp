// Each document's tree lives in an arena of its own; these cases move documents between
// threads and let single objects outlive the rest of their tree.
#include "xml/moxTreeArena.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "xml/moxXMLParser2.h"

namespace skimbrook {
namespace {

std::string ManyItems(int Count, const std::string& Tag) {
  std::string source = "<rss><channel>";
  for (int i = 0; i < Count; ++i) {
    source +=
        "<item n=\"" + std::to_string(i) + "\"><title>" + Tag + " " + std::to_string(i) + "</title></item>";
  }
  return source + "</channel></rss>";
}

TEST(TreeArenaTest, TreeBuiltOnAThreadThatEndedIsReleasedOnAnother) {
  std::unique_ptr<TmoxXMLParser2> doc;
  std::thread builder([&] {
    doc = std::make_unique<TmoxXMLParser2>();
    doc->LoadFromString(ManyItems(5000, "built"));
  });
  builder.join();
  ASSERT_EQ(doc->LastError, "");
  EXPECT_EQ(doc->Nodes[0].Nodes[4999].Nodes[0].Text, "built 4999");
  doc.reset();
}

TEST(TreeArenaTest, ElementTakenOutOfItsTreeOutlivesTheTree) {
  auto doc = std::make_unique<TmoxXMLParser2>();
  doc->LoadFromString(ManyItems(3000, "kept"));
  auto items = doc->Nodes[0].Nodes.TakeAll();
  std::unique_ptr<TmoxXMLNode2> survivor = std::move(items[1234]);
  items.clear();
  doc.reset();
  // Fresh trees would reuse memory that was given back too early.
  for (int i = 0; i < 5; ++i) {
    TmoxXMLParser2 other;
    other.LoadFromString(ManyItems(3000, "other"));
  }
  EXPECT_EQ(survivor->Name, "item");
  EXPECT_EQ(survivor->GetAttribute("n"), "1234");
  EXPECT_EQ(survivor->Nodes[0].Text, "kept 1234");
}

TEST(TreeArenaTest, ThreadsBuildAndReleaseEachOthersTrees) {
  std::mutex lock;
  std::deque<std::unique_ptr<TmoxXMLParser2>> handedOver;
  std::atomic<int> checked{0};
  auto worker = [&](int Id) {
    for (int round = 0; round < 40; ++round) {
      auto doc = std::make_unique<TmoxXMLParser2>();
      doc->LoadFromString(ManyItems(300 + Id, "w" + std::to_string(Id)));
      std::unique_ptr<TmoxXMLParser2> theirs;
      {
        std::lock_guard guard(lock);
        handedOver.push_back(std::move(doc));
        if (handedOver.size() > 2) {
          theirs = std::move(handedOver.front());
          handedOver.pop_front();
        }
      }
      if (theirs) {
        const TmoxXMLNode2& channel = theirs->Nodes[0];
        const TmoxXMLNode2& last = channel.Nodes[channel.Nodes.Count() - 1];
        EXPECT_EQ(last.GetAttribute("n"), std::to_string(channel.Nodes.Count() - 1));
        ++checked;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int id = 0; id < 4; ++id) threads.emplace_back(worker, id);
  for (auto& thread : threads) thread.join();
  EXPECT_GT(checked.load(), 100);
}

}  // namespace
}  // namespace skimbrook
