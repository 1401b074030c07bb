// One document read by one program per process, so that bench/run-peer.sh can time the
// whole process: the program's own reading (TFeed::LoadFromFile, TFeedList::LoadFromFile)
// beside pugixml parsing the same file and walking the fields the program reads.
//   xml_peer write rss|atom|rdf|opml PATH     writes a generated document
//   xml_peer skimbrook-feed|skimbrook-list|pugixml-feed|pugixml-list PATH
// Each reading mode prints the number of entries, a checksum of the field lengths (the
// same work must be visible to the compiler) and the process's peak resident size.
#include <pugixml.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"
#include "support/FeedGenerator.h"

namespace {

struct TTally {
  size_t Entries = 0;
  size_t Bytes = 0;
  void Add(std::string_view Field) { Bytes += Field.size(); }
};

// The high-water mark of the resident set, in KiB, from /proc/self/status. Read into a
// buffer on the stack: an allocation here would make the allocator first tidy up what
// the reader freed (work that an ending process otherwise never does), and that would be
// timed as the reader's.
long PeakResidentKiB() {
  char status[8192];
  const int file = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (file < 0) return -1;
  const ssize_t length = ::read(file, status, sizeof status - 1);
  ::close(file);
  if (length <= 0) return -1;
  status[length] = '\0';
  const char* const line = std::strstr(status, "\nVmHWM:");
  return line == nullptr ? -1 : std::strtol(line + 7, nullptr, 10);
}

TTally ReadFeedAsSkimbrook(const char* Path) {
  skimbrook::TFeed feed;
  feed.LoadFromFile(Path);
  TTally tally;
  for (int i = 0; i < feed.ItemCount(); ++i) {
    const skimbrook::TFeedItem& item = feed.Items(i);
    ++tally.Entries;
    tally.Add(item.Title);
    tally.Add(item.Link);
    tally.Add(item.Description);
  }
  return tally;
}

TTally ReadListAsSkimbrook(const char* Path) {
  skimbrook::TFeedList list;
  list.LoadFromFile(Path);
  TTally tally;
  for (int i = 0; i < list.Count(); ++i) {
    const skimbrook::TFeed& entry = *list.Feeds(i);
    ++tally.Entries;
    tally.Add(entry.Title);
    tally.Add(entry.XmlUrl);
    tally.Add(entry.HtmlUrl);
  }
  return tally;
}

pugi::xml_document LoadWithPugixml(const char* Path) {
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_file(Path);
  if (!result) std::fprintf(stderr, "pugixml: %s\n", result.description());
  return document;
}

// Items of RSS 2.0 (in the channel), RDF (beside the channel) and entries of Atom.
void WalkItems(pugi::xml_node Parent, const char* Name, bool Atom, TTally& Tally) {
  for (pugi::xml_node item = Parent.child(Name); item; item = item.next_sibling(Name)) {
    ++Tally.Entries;
    Tally.Add(item.child_value("title"));
    if (Atom) {
      Tally.Add(item.child("link").attribute("href").value());
      Tally.Add(item.child_value("summary"));
    } else {
      Tally.Add(item.child_value("link"));
      Tally.Add(item.child_value("description"));
    }
  }
}

TTally ReadFeedWithPugixml(const char* Path) {
  const pugi::xml_document document = LoadWithPugixml(Path);
  const pugi::xml_node root = document.document_element();
  TTally tally;
  if (std::strcmp(root.name(), "feed") == 0) {
    WalkItems(root, "entry", true, tally);
  } else {
    WalkItems(root.child("channel"), "item", false, tally);
    WalkItems(root, "item", false, tally);
  }
  return tally;
}

TTally ReadListWithPugixml(const char* Path) {
  const pugi::xml_document document = LoadWithPugixml(Path);
  TTally tally;
  // Every outline below the body, parents before their children.
  std::vector<pugi::xml_node> pending{document.document_element().child("body")};
  while (!pending.empty()) {
    const pugi::xml_node parent = pending.back();
    pending.pop_back();
    for (pugi::xml_node outline = parent.last_child(); outline; outline = outline.previous_sibling()) {
      ++tally.Entries;
      tally.Add(outline.attribute("title").value());
      tally.Add(outline.attribute("xmlUrl").value());
      tally.Add(outline.attribute("htmlUrl").value());
      if (outline.first_child()) pending.push_back(outline);
    }
  }
  return tally;
}

int Write(std::string_view Kind, const char* Path) {
  constexpr size_t kFeedBytes = 10u << 20;
  std::string document;
  if (Kind == "rss") document = skimbrook::bench::GenerateRss(kFeedBytes);
  if (Kind == "atom") document = skimbrook::bench::GenerateAtom(kFeedBytes);
  if (Kind == "rdf") document = skimbrook::bench::GenerateRdf(kFeedBytes);
  if (Kind == "opml") document = skimbrook::bench::GenerateOpml(10'000);
  if (document.empty()) return 2;
  std::ofstream(Path, std::ios::binary) << document;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "write") return Write(argv[2], argv[3]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: xml_peer write rss|atom|rdf|opml PATH | xml_peer MODE PATH\n");
    return 2;
  }
  const std::string_view mode = argv[1];
  TTally tally;
  if (mode == "skimbrook-feed")
    tally = ReadFeedAsSkimbrook(argv[2]);
  else if (mode == "skimbrook-list")
    tally = ReadListAsSkimbrook(argv[2]);
  else if (mode == "pugixml-feed")
    tally = ReadFeedWithPugixml(argv[2]);
  else if (mode == "pugixml-list")
    tally = ReadListWithPugixml(argv[2]);
  else
    return 2;
  // Written without stdio's buffer, for the same reason as in PeakResidentKiB.
  char line[128];
  const int length = std::snprintf(line, sizeof line, "%zu entries, %zu bytes, VmHWM %ld KiB\n",
                                   tally.Entries, tally.Bytes, PeakResidentKiB());
  return ::write(STDOUT_FILENO, line, static_cast<size_t>(length)) == length ? 0 : 1;
}
