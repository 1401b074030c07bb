// Pieces of the stored formats shared by the sources of uRSS, the tests and the fuzz
// targets. Not for the windows: they use uRSS.h.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"

namespace skimbrook {

class TmoxXMLNode2;

// As TFeed::LoadFromFile, with the document's bytes given directly.
void LoadFeedFromString(TFeed& Feed, std::string Source);
// As TFeedList::LoadFromFile, with the document's bytes given directly.
void LoadFeedListFromString(TFeedList& List, std::string Source);

// The element E written back as markup: CR, start tag with its attributes as stored
// (values in apostrophes), its text, then each child followed by the text after it
// (trimmed, as the text is), end tag, CR; "/>" for an element without text and
// children. Works without recursion at any depth.
std::string SerializeElement(const TmoxXMLNode2& E);

// The lines of the feed's cache file in the program's own form (each to be ended by CR LF).
std::vector<std::string> CacheFileLines(const TFeed& Feed);
// The lines of the subscription list as an OPML file (each to be ended by CR LF).
std::vector<std::string> OpmlLines(const TFeedList& List);
// The lines of the list as an OPML 2.0 document for other programs (each to be ended by
// CR LF): an opml element of version "2.0", a head with Title and the date Created (RFC 822,
// GMT), one outline per entry named by both text and title, each feed inside the group of
// the heading it follows. Texts are taken as UTF-8 and written as their characters: only
// what XML needs is escaped, an invalid byte becomes U+FFFD and a control character XML
// cannot hold is left out. Descriptions and unread counts are not written.
std::vector<std::string> Opml2Lines(const TFeedList& List, std::string_view Title, std::time_t Created);

// Letter case ignored for ASCII letters only: every other byte must be equal.
bool SameText(std::string_view A, std::string_view B);

// XmlEscape(Text) appended to Out.
void AppendXmlEscaped(std::string& Out, std::string_view Text);
// XmlUnescape(Text) written at Out, which has room for Text.size() bytes and does not
// overlap Text; returns the length. Marks is working memory, reused between calls.
size_t XmlUnescapeInto(std::string_view Text, char* Out, std::vector<size_t>& Marks);
// StripTags of the Size bytes at Text, in place; returns the new length.
size_t StripTagsInPlace(char* Text, size_t Size);

// The treatments of the fields read from documents, each writing its result into a
// string of the model. The working memory stays from one field to the next.
class TFieldDecoder {
 public:
  // Out := Trim(XmlUnescape(Raw)).
  void Decode(std::string_view Raw, std::string& Out);
  // Out := Trim(StripTags(XmlUnescape(Raw))), the treatment of item and entry titles.
  void DecodeTitle(std::string_view Raw, std::string& Out);

 private:
  // Working memory for at least Size bytes.
  char* Room(size_t Size);

  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  std::vector<size_t> marks_;
};

}  // namespace skimbrook
