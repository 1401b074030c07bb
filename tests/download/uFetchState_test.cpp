// The fetch state file: what it keeps per feed, what it keeps of what it does not know, and
// how it survives a damaged file.
#include "download/uFetchState.h"
#include "download/uFetchRules.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <utility>

#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::ReadFile;
using test::WriteFile;

class FetchStateTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir.File("fetch-state.json"); }
  TFetchRecord Full() const {
    TFetchRecord record;
    record.ETag = "W/\"\xe9t\xff\"";  // not UTF-8: kept byte for byte
    record.LastModified = "Tue, 08 Dec 2026 10:00:00 GMT";
    record.LastSuccess = 1'796'000'000;
    record.LastFailure = "HTTP/1.1 503 Service Unavailable";
    record.LastFailureTime = 1'796'000'100;
    record.WaitUntil = 1'796'003'600;
    record.FreshUntil = 1'796'001'000;
    record.MovedTo = "https://example.org/new.xml";
    record.Encoding = "windows-1251";
    return record;
  }

  test::TTempDir dir;
};

TEST_F(FetchStateTest, KeepsEveryFieldOfEveryFeedByteForByte) {
  const std::string url = "http://example.org/\xd0\xbd\xe9ws.xml";
  {
    TFetchState state(Path());
    EXPECT_EQ(state.Load(), "");
    state.For(url) = Full();
    state.For("http://b.example/feed").ETag = "\"b\"";
    state.Save();
  }
  TFetchState again(Path());
  EXPECT_EQ(again.Load(), "");
  ASSERT_NE(again.Find(url), nullptr);
  EXPECT_EQ(*again.Find(url), Full());
  EXPECT_EQ(again.Find("http://b.example/feed")->ETag, "\"b\"");
  EXPECT_EQ(again.Find("http://unknown.example/"), nullptr);
}

TEST_F(FetchStateTest, KeepsEntriesAndFieldsItDoesNotKnow) {
  WriteFile(Path(),
            R"({"comment": "by a later version", "feeds": {)"
            R"("http://a.example/": {"etag": "\"1\"", "colour": "blue", "lastSuccess": "not a number"},)"
            R"("http://other.example/": {"future": [1, 2]}}})");
  TFetchState state(Path());
  ASSERT_EQ(state.Load(), "");
  EXPECT_EQ(state.Find("http://a.example/")->ETag, "\"1\"");
  EXPECT_EQ(state.Find("http://a.example/")->LastSuccess, 0);
  state.For("http://a.example/").ETag = "\"2\"";
  state.Save();

  const std::string text = ReadFile(Path());
  EXPECT_NE(text.find(R"("comment":"by a later version")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("colour":"blue")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("future")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("etag":"\"2\"")"), std::string::npos) << text;
}

TEST_F(FetchStateTest, ClearedFieldsLeaveTheFile) {
  TFetchState state(Path());
  state.For("http://a.example/") = Full();
  state.Save();
  state.For("http://a.example/") = TFetchRecord{};
  state.Save();
  EXPECT_EQ(ReadFile(Path()).find("etag"), std::string::npos);
}

// A document nested Levels deep: an object holding Key's arrays, one in the other.
std::string Nested(int Levels, const std::string& Key) {
  const auto arrays = static_cast<size_t>(Levels - 1);
  return "{\"" + Key + "\": " + std::string(arrays, '[') + std::string(arrays, ']') + "}";
}

TEST_F(FetchStateTest, ADamagedTooLargeTooDeepOrMisshapenFileIsCopiedAsideAndIgnored) {
  const std::string deepEntry =
      R"({"feeds": {"http://a/": {"x": )" + std::string(100'000, '[') + std::string(100'000, ']') + "}}}";
  std::string tooLarge = R"({"feeds": {}})";
  tooLarge.resize(TFetchState::kMaxFileBytes + 1, ' ');
  const std::pair<const char*, std::string> cases[] = {
      {"cut short", "{\"feeds\": {\"http://a/\": "},
      {"an array", "[1, 2]"},
      {"a text", "\"feeds\""},
      {"feeds a number", "{\"feeds\": 7}"},
      {"feeds an array", "{\"feeds\": [{\"http://a/\": {}}]}"},
      {"not UTF-8", "\xff\xfe"},
      {"100,000 arrays in an entry", deepEntry},
      {"one byte over the size", tooLarge},
      {"one level too deep", Nested(TFetchState::kMaxDepth + 1, "x")},
      // A scan that took the backslash before the quote for an escape would see no brackets.
      {"too deep after a key ending in a backslash", Nested(TFetchState::kMaxDepth + 1, "x\\\\")},
  };
  for (const auto& [name, damaged] : cases) {
    SCOPED_TRACE(name);
    std::filesystem::remove_all(dir.Path());
    std::filesystem::create_directories(dir.Path());
    WriteFile(Path(), damaged);
    TFetchState state(Path());
    const std::string copy = state.Load();
    ASSERT_NE(copy, "");
    EXPECT_EQ(copy.rfind(Path() + ".damaged-", 0), 0u) << copy;
    EXPECT_TRUE(ReadFile(copy) == damaged);
    EXPECT_EQ(state.Find("http://a/"), nullptr);
    state.For("http://a/").ETag = "\"x\"";
    state.Save();
    TFetchState again(Path());
    EXPECT_EQ(again.Load(), "");
    EXPECT_EQ(again.Find("http://a/")->ETag, "\"x\"");
  }
}

TEST_F(FetchStateTest, AFileAtTheDepthLimitIsKeptWhole) {
  // Brackets inside texts, after an escaped quote too, are not nesting.
  const std::string brackets = "\\\"" + std::string(100, '[');
  const std::string deep =
      std::string(TFetchState::kMaxDepth - 3, '[') + std::string(TFetchState::kMaxDepth - 3, ']');
  WriteFile(Path(), R"({"feeds": {"http://a/": {"etag": "\"1\"", "note": ")" + brackets + R"(", "deep": )" +
                        deep + "}}}");
  for (int pass = 0; pass < 2; ++pass) {
    TFetchState state(Path());
    ASSERT_EQ(state.Load(), "") << "pass " << pass;
    EXPECT_EQ(state.Find("http://a/")->ETag, "\"1\"");
    state.Save();
    const std::string text = ReadFile(Path());
    EXPECT_NE(text.find(deep), std::string::npos) << text;
    EXPECT_NE(text.find(brackets), std::string::npos) << text;
  }
}

TEST_F(FetchStateTest, WhatIsSavedAlwaysReadsBack) {
  // Each "1e9" is written "1000000000.0": the unknown part would grow past the size limit.
  std::string numbers = R"({"numbers": [0)";
  while (numbers.size() < TFetchState::kMaxFileBytes - 16) numbers += ",1e9";
  WriteFile(Path(), numbers + "]}");
  TFetchState state(Path());
  ASSERT_EQ(state.Load(), "");
  state.For("http://a/").ETag = "\"e\"";
  state.Save();
  TFetchState again(Path());
  ASSERT_EQ(again.Load(), "");
  EXPECT_EQ(again.Find("http://a/")->ETag, "\"e\"");
  EXPECT_EQ(ReadFile(Path()).find("numbers"), std::string::npos);
}

TEST_F(FetchStateTest, OnlySubscribedFeedsAreKeptAndTheFileIsOwnerOnly) {
  WriteFile(
      Path(),
      R"({"feeds": {"http://a/": {"etag": "\"a\"", "colour": "red"}, "http://gone/": {"etag": "\"g\""},)"
      R"("http://\u00e9/": {"colour": "blue"}, "http://unknown-gone/": [1]}})");
  ASSERT_EQ(::chmod(Path().c_str(), 0644), 0);
  TFetchState state(Path());
  ASSERT_EQ(state.Load(), "");
  state.For("http://new-gone/").ETag = "\"n\"";
  state.KeepOnly({"http://a/", "http://\xe9/", "http://never-fetched/"});
  EXPECT_EQ(state.Find("http://gone/"), nullptr);
  EXPECT_EQ(state.Find("http://new-gone/"), nullptr);
  EXPECT_EQ(state.Find("http://never-fetched/"), nullptr);
  state.Save();
  const std::string text = ReadFile(Path());
  EXPECT_EQ(text.find("gone"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("colour":"red")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("colour":"blue")"), std::string::npos) << text;
  struct stat status {};
  ASSERT_EQ(::stat(Path().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  TFetchState again(Path());
  ASSERT_EQ(again.Load(), "");
  EXPECT_EQ(again.Find("http://a/")->ETag, "\"a\"");
  EXPECT_NE(again.Find("http://\xe9/"), nullptr);
}

TEST_F(FetchStateTest, RenameMovesTheRecordWithWhatItDoesNotKnow) {
  WriteFile(Path(), R"({"feeds": {"http://old/": {"etag": "\"e\"", "colour": "red"}}})");
  TFetchState state(Path());
  state.Load();
  state.Rename("http://old/", "https://new/");
  state.Rename("http://none/", "https://other/");
  EXPECT_EQ(state.Find("http://old/"), nullptr);
  EXPECT_EQ(state.Find("https://other/"), nullptr);
  ASSERT_NE(state.Find("https://new/"), nullptr);
  EXPECT_EQ(state.Find("https://new/")->ETag, "\"e\"");
  state.Save();
  const std::string text = ReadFile(Path());
  EXPECT_EQ(text.find("http://old/"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("colour":"red")"), std::string::npos) << text;
}

}  // namespace
}  // namespace skimbrook

namespace skimbrook {
namespace {

TEST(FetchRules, WaitsFreshnessAndEncodingAreReadFromTheAnswer) {
  THttpResponse limited{429, "HTTP/1.1 429 Too Many Requests", {{"Retry-After", "120"}}, "", ""};
  EXPECT_EQ(RetryAfterUntil(limited, 1000), 1120);
  limited.Headers = {{"retry-after", "Thu, 01 Jan 1970 00:10:00 GMT"}};
  EXPECT_EQ(RetryAfterUntil(limited, 1000), 600);
  THttpResponse ok{
      200, "HTTP/1.1 200 OK", {{"Retry-After", "120"}, {"Cache-Control", "public, max-age=60"}}, "", ""};
  EXPECT_EQ(RetryAfterUntil(ok, 1000), 0);
  EXPECT_EQ(FreshUntilFrom(ok, 1000), 1060);
  ok.Headers = {{"Cache-Control", "no-cache, max-age=60"}};
  EXPECT_EQ(FreshUntilFrom(ok, 1000), 0);

  TFetchRecord record;
  record.WaitUntil = 2000;
  EXPECT_EQ(SkipStatus(record, TRunKind::UserOne, 1000), "");
  EXPECT_NE(SkipStatus(record, TRunKind::UserSeveral, 1000).find("skipped: server asked to wait until"),
            std::string::npos);
  record = {};
  record.FreshUntil = 2000;
  EXPECT_EQ(SkipStatus(record, TRunKind::UserSeveral, 1000), "");
  EXPECT_NE(SkipStatus(record, TRunKind::Automatic, 1000), "");

  EXPECT_EQ(
      DocumentEncoding("<?xml version='1.0' encoding='windows-1251'?><rss/>", "text/xml; charset=utf-8"),
      "windows-1251");
  EXPECT_EQ(DocumentEncoding("<rss/>", "text/xml; charset=\"KOI8-R\""), "KOI8-R");
  EXPECT_EQ(DocumentEncoding("<rss/>", std::nullopt), "");
}

}  // namespace
}  // namespace skimbrook
