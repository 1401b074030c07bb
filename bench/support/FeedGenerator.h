// Generators of realistic feed and subscription documents for benchmarks. Each output is
// fully determined by its arguments, so runs on different days compare the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace skimbrook::bench {

// An RSS 2.0 document of at least TargetBytes bytes (one item more at most): a channel
// with its head fields, then items with title, link, description (escaped HTML or a
// CDATA section of HTML, alternately), pubDate, guid, and now and then a category,
// dc:creator or enclosure.
std::string GenerateRss(size_t TargetBytes, uint64_t Seed = 1);

// An Atom 1.0 document of the same kind: feed head, then entries with title, link
// elements, id, updated, published, author, summary (escaped HTML) and content (CDATA).
std::string GenerateAtom(size_t TargetBytes, uint64_t Seed = 1);

// An RSS 1.0 (RDF) document of the same kind: the channel with its rdf:Seq of item
// addresses, then the items beside the channel with title, link, description (escaped
// HTML), dc:date and dc:creator.
std::string GenerateRdf(size_t TargetBytes, uint64_t Seed = 1);

// An OPML subscription list of Entries feeds in groups of GroupSize, written the way the
// program writes its own list: each group heading an outline that holds its feeds.
std::string GenerateOpml(size_t Entries, size_t GroupSize = 25, uint64_t Seed = 1);

}  // namespace skimbrook::bench
