// Writing a feed's cache file in the program's own form: an RSS 2.0 document in which
// read items carry isRead="true", titles and descriptions in CDATA sections, and items
// keep their guid and enclosures as RSS 2.0 writes them.
#include <algorithm>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"

namespace skimbrook {

namespace {

// Open, then Text as the content of a CDATA section, then Close. A "]]>" inside would end
// the section early, so its ">" is written as a reference, which the reader decodes like
// any other.
std::string CDataLine(std::string_view Open, const std::string& Text, std::string_view Close) {
  std::string line;
  line.reserve(Open.size() + Text.size() + Close.size() + 12);
  line += Open;
  line += "<![CDATA[";
  size_t from = 0;
  for (size_t at; (at = Text.find("]]>", from)) != std::string::npos; from = at + 3) {
    line.append(Text, from, at - from);
    line += "]]&gt;";
  }
  line.append(Text, from, std::string::npos);
  line += "]]>";
  line += Close;
  return line;
}

// Open, then XmlEscape(Text), then Close.
std::string EscapedLine(std::string_view Open, const std::string& Text, std::string_view Close) {
  std::string line;
  line.reserve(Open.size() + Text.size() + Close.size() + 8);
  line += Open;
  AppendXmlEscaped(line, Text);
  line += Close;
  return line;
}

// An RSS 2.0 enclosure element; type and length only when known.
std::string EnclosureLine(const TEnclosure& Enclosure) {
  std::string line = "      <enclosure url=\"";
  AppendXmlEscaped(line, Enclosure.Url);
  line += '"';
  if (!Enclosure.Length.empty()) {
    line += " length=\"";
    AppendXmlEscaped(line, Enclosure.Length);
    line += '"';
  }
  if (!Enclosure.Type.empty()) {
    line += " type=\"";
    AppendXmlEscaped(line, Enclosure.Type);
    line += '"';
  }
  line += " />";
  return line;
}

void AddItemLines(std::vector<std::string>& Lines, const TFeedItem& Item) {
  Lines.push_back(Item.IsRead ? "    <item isRead=\"true\">" : "    <item>");
  Lines.push_back(CDataLine("      <title>", Item.Title, "</title>"));
  Lines.push_back(EscapedLine("      <link>", Item.Link, "</link>"));
  Lines.push_back(CDataLine("      <description>", Item.Description, "</description>"));
  if (!Item.PubDate.empty()) Lines.push_back(EscapedLine("      <pubDate>", Item.PubDate, "</pubDate>"));
  // The identifier and the files only when the item has them, so that an item without
  // them keeps the lines it always had. The identifier is never taken for an address.
  if (!Item.Guid.empty())
    Lines.push_back(EscapedLine("      <guid isPermaLink=\"false\">", Item.Guid, "</guid>"));
  for (const TEnclosure& enclosure : Item.Enclosures) Lines.push_back(EnclosureLine(enclosure));
  Lines.push_back("    </item>");
}

}  // namespace

std::vector<std::string> CacheFileLines(const TFeed& Feed) {
  std::vector<std::string> lines;
  lines.reserve(10 + 6 * static_cast<size_t>(std::max(Feed.ItemCount(), 0)));
  lines.push_back("<?xml version=\"1.0\" encoding=\"US-ASCII\" ?>");
  lines.push_back("<rss version=\"2.0\">");
  lines.push_back("  <channel>");
  lines.push_back(CDataLine("    <title>", Feed.Title, "</title>"));
  lines.push_back(EscapedLine("    <link>", Feed.HtmlUrl, "</link>"));
  lines.push_back(CDataLine("    <description>", Feed.Description, "</description>"));
  if (!Feed.Language.empty()) lines.push_back(EscapedLine("    <language>", Feed.Language, "</language>"));
  if (!Feed.Copyright.empty())
    lines.push_back(EscapedLine("    <copyright>", Feed.Copyright, "</copyright>"));
  if (!Feed.PubDate.empty()) lines.push_back(EscapedLine("    <pubDate>", Feed.PubDate, "</pubDate>"));
  for (int i = 0; i < Feed.ItemCount(); ++i) AddItemLines(lines, Feed.Items(i));
  lines.push_back("  </channel>");
  lines.push_back("</rss>");
  return lines;
}

}  // namespace skimbrook
