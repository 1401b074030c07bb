#include "download/uFeedDiscovery.h"

#include <curl/curl.h>
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <memory>
#include <set>

namespace skimbrook {

namespace {

char Lower(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

std::string LowerTrimmed(std::string_view Text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; };
  while (!Text.empty() && blank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && blank(Text.back())) Text.remove_suffix(1);
  std::string out(Text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

// The media type of a Content-Type or type attribute, without its parameters.
std::string MediaType(std::string_view Type) {
  return LowerTrimmed(Type.substr(0, Type.find(';')));
}

bool HasToken(std::string_view List, std::string_view Token) {
  const std::string lower = LowerTrimmed(List);
  size_t start = 0;
  while (start < lower.size()) {
    size_t end = lower.find_first_of(" \t\r\n\f", start);
    if (end == std::string::npos) end = lower.size();
    if (std::string_view(lower).substr(start, end - start) == Token) return true;
    start = end + 1;
  }
  return false;
}

bool IsFeedType(const std::string& Type) {
  return Type == "application/rss+xml" || Type == "application/atom+xml" || Type == "application/rdf+xml";
}

struct TDocRelease {
  void operator()(xmlDoc* Doc) const { xmlFreeDoc(Doc); }
};

std::string Attribute(xmlNode* Node, const char* Name) {
  xmlChar* value = xmlGetProp(Node, reinterpret_cast<const xmlChar*>(Name));
  if (!value) return {};
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

bool IsElement(xmlNode* Node, const char* Name) {
  return Node->type == XML_ELEMENT_NODE &&
         xmlStrcasecmp(Node->name, reinterpret_cast<const xmlChar*>(Name)) == 0;
}

// The next element after Node in document order, without recursion.
xmlNode* NextInDocument(xmlNode* Node) {
  if (Node->children) return Node->children;
  while (Node && !Node->next) Node = Node->parent;
  return Node ? Node->next : nullptr;
}

bool IsWebAddress(const std::string& Url) {
  const std::string lower = LowerTrimmed(Url.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

}  // namespace

std::string ResolveAddress(const std::string& Base, const std::string& Reference) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, Base.c_str(), 0) != CURLUE_OK) return {};
  // Setting a relative reference on a parsed address resolves it against that address.
  if (curl_url_set(url.get(), CURLUPART_URL, Reference.c_str(), 0) != CURLUE_OK) return {};
  char* text = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) return {};
  std::string resolved(text);
  curl_free(text);
  return resolved;
}

bool LooksLikeHtmlPage(std::string_view Body, std::string_view ContentType) {
  const std::string type = MediaType(ContentType);
  if (type == "text/html" || type == "application/xhtml+xml") return true;
  if (!type.empty() && type != "text/plain" && type != "application/octet-stream") return false;
  if (Body.substr(0, 3) == "\xEF\xBB\xBF") Body.remove_prefix(3);
  for (;;) {
    while (!Body.empty() &&
           (Body.front() == ' ' || Body.front() == '\t' || Body.front() == '\r' || Body.front() == '\n'))
      Body.remove_prefix(1);
    if (Body.substr(0, 4) != "<!--") break;
    const size_t end = Body.find("-->");
    if (end == std::string_view::npos) return false;
    Body.remove_prefix(end + 3);
  }
  const std::string start = LowerTrimmed(Body.substr(0, 14));
  return start.rfind("<!doctype html", 0) == 0 || start.rfind("<html", 0) == 0;
}

std::vector<TLinkedFeed> FindLinkedFeeds(std::string_view Html, const std::string& PageUrl) {
  constexpr int kOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
  std::unique_ptr<xmlDoc, TDocRelease> doc(
      htmlReadMemory(Html.data(), static_cast<int>(std::min(Html.size(), kMaxDiscoveryPageBytes)),
                     PageUrl.c_str(), nullptr, kOptions));
  std::vector<TLinkedFeed> feeds;
  if (!doc) return feeds;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  std::string base = PageUrl;
  for (xmlNode* node = root; node; node = NextInDocument(node)) {
    if (IsElement(node, "base")) {
      const std::string href = Attribute(node, "href");
      if (!href.empty()) base = ResolveAddress(PageUrl, href);
      break;
    }
  }
  std::set<std::string> seen;
  for (xmlNode* node = root; node && feeds.size() < kMaxLinkedFeeds; node = NextInDocument(node)) {
    if (!IsElement(node, "link") || !HasToken(Attribute(node, "rel"), "alternate")) continue;
    const std::string type = MediaType(Attribute(node, "type"));
    const std::string href = Attribute(node, "href");
    if (!IsFeedType(type) || href.empty()) continue;
    const std::string url = ResolveAddress(base, href);
    if (url.empty() || !IsWebAddress(url)) continue;
    if (!seen.insert(url).second) continue;
    feeds.push_back({Attribute(node, "title"), url, type});
  }
  return feeds;
}

}  // namespace skimbrook
