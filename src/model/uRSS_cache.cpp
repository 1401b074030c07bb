// Writing a feed's cache file in the program's own form: an RSS 2.0 document in which
// read items carry isRead="true", titles and descriptions in CDATA sections.
#include <algorithm>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"

namespace skimbrook {

namespace {

// Text as the content of a CDATA section. A "]]>" inside would end the section early,
// so its ">" is written as a reference, which the reader decodes like any other.
std::string CData(const std::string& Text) {
  std::string out = "<![CDATA[";
  size_t from = 0;
  for (size_t at; (at = Text.find("]]>", from)) != std::string::npos; from = at + 3) {
    out.append(Text, from, at - from);
    out += "]]&gt;";
  }
  out.append(Text, from, std::string::npos);
  out += "]]>";
  return out;
}

void AddItemLines(std::vector<std::string>& Lines, const TFeedItem& Item) {
  Lines.push_back(Item.IsRead ? "    <item isRead=\"true\">" : "    <item>");
  Lines.push_back("      <title>" + CData(Item.Title) + "</title>");
  Lines.push_back("      <link>" + XmlEscape(Item.Link) + "</link>");
  Lines.push_back("      <description>" + CData(Item.Description) + "</description>");
  if (!Item.PubDate.empty()) Lines.push_back("      <pubDate>" + XmlEscape(Item.PubDate) + "</pubDate>");
  Lines.push_back("    </item>");
}

}  // namespace

std::vector<std::string> CacheFileLines(const TFeed& Feed) {
  std::vector<std::string> lines;
  lines.reserve(10 + 6 * static_cast<size_t>(std::max(Feed.ItemCount(), 0)));
  lines.push_back("<?xml version=\"1.0\" encoding=\"US-ASCII\" ?>");
  lines.push_back("<rss version=\"2.0\">");
  lines.push_back("  <channel>");
  lines.push_back("    <title>" + CData(Feed.Title) + "</title>");
  lines.push_back("    <link>" + XmlEscape(Feed.HtmlUrl) + "</link>");
  lines.push_back("    <description>" + CData(Feed.Description) + "</description>");
  if (!Feed.Language.empty()) lines.push_back("    <language>" + XmlEscape(Feed.Language) + "</language>");
  if (!Feed.Copyright.empty())
    lines.push_back("    <copyright>" + XmlEscape(Feed.Copyright) + "</copyright>");
  if (!Feed.PubDate.empty()) lines.push_back("    <pubDate>" + XmlEscape(Feed.PubDate) + "</pubDate>");
  for (int i = 0; i < Feed.ItemCount(); ++i) AddItemLines(lines, Feed.Items(i));
  lines.push_back("  </channel>");
  lines.push_back("</rss>");
  return lines;
}

}  // namespace skimbrook
