// Slow, literal implementations of the XML tree and of the feed and list readers, written
// straight from their rules with whole strings and 1-based searches. The fast readers
// must give exactly what these give, for every input; tests and fuzz targets compare
// the two.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace skimbrook::test {

struct TRefElement {
  std::string Name;
  std::string Text;
  std::string TextAfter;  // the bytes between its end and the parent's next tag
  std::vector<std::pair<std::string, std::string>> Attributes;  // name, value
  std::vector<std::unique_ptr<TRefElement>> Children;
};

struct TRefDocument {
  TRefElement Root;
  std::vector<std::pair<std::string, std::string>> Declaration;
  std::string LastError;
  std::optional<std::string> Exception;  // the message of a malformed declaration
};

// Parses Source the way the XML tree does, step by step. Depth is limited only by the
// call stack; keep inputs to a few thousand nested elements.
TRefDocument ReferenceParse(const std::string& Source);
// The tree as Xml writes it, cut after Limit bytes.
std::string ReferenceXml(const TRefDocument& Document, size_t Limit = std::string::npos);

struct TRefEnclosure {
  std::string Url, Type, Length;
};

struct TRefItem {
  std::string Title, Link, Description, PubDate, Guid;
  std::vector<TRefEnclosure> Enclosures;
  bool IsRead = false;
};

struct TRefFeed {
  std::optional<std::string> Title, HtmlUrl, Description;  // absent: left as it was
  std::vector<TRefItem> Items;
  std::optional<std::string> Error;  // the reader's or the parser's error
};

// Reads a feed document as TFeed's reader does, from the whole tree.
TRefFeed ReferenceReadFeed(const std::string& Source);

struct TRefEntry {
  std::string Title, XmlUrl, HtmlUrl, Description;
  int UnreadCount = 0;
};

struct TRefList {
  std::vector<TRefEntry> Entries;
  std::string ParseError;
  std::optional<std::string> Error;
};

// Reads a subscription list as TFeedList's reader does.
TRefList ReferenceReadList(const std::string& Source);

}  // namespace skimbrook::test
