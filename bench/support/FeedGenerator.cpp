#include "support/FeedGenerator.h"

#include <array>
#include <string_view>

namespace skimbrook::bench {
namespace {

// splitmix64: small, fast and the same on every platform.
class TRandom {
 public:
  explicit TRandom(uint64_t Seed) : state_(Seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number from Low to High inclusive.
  size_t Between(size_t Low, size_t High) { return Low + static_cast<size_t>(Next() % (High - Low + 1)); }
  bool OneIn(size_t N) { return Next() % N == 0; }

 private:
  uint64_t state_;
};

constexpr std::array<std::string_view, 48> kWords = {
    "the",      "city",     "council", "approved", "a",       "new",    "budget",   "for",
    "schools",  "after",    "months",  "of",       "debate",  "over",   "funding",  "and",
    "teachers", "research", "shows",   "that",     "open",    "source", "software", "powers",
    "most",     "servers",  "today",   "while",    "critics", "say",    "release",  "notes",
    "mention",  "faster",   "startup", "improved", "memory",  "usage",  "weekend",  "weather",
    "brings",   "rain",     "to",      "northern", "regions", "update", "security", "patch"};

constexpr std::array<std::string_view, 7> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// N as two digits (N is below 100).
std::string Two(size_t N) {
  return {static_cast<char>('0' + N / 10 % 10), static_cast<char>('0' + N % 10)};
}

void AppendWords(std::string& Out, TRandom& Random, size_t Count) {
  for (size_t i = 0; i < Count; ++i) {
    if (i > 0) Out += ' ';
    Out += kWords[Random.Between(0, kWords.size() - 1)];
  }
}

std::string Words(TRandom& Random, size_t Low, size_t High) {
  std::string out;
  AppendWords(out, Random, Random.Between(Low, High));
  return out;
}

std::string Slug(TRandom& Random) {
  std::string slug = Words(Random, 2, 5);
  for (char& c : slug) {
    if (c == ' ') c = '-';
  }
  return slug;
}

std::string RfcDate(TRandom& Random) {
  return std::string(kDays[Random.Between(0, 6)]) + ", " + Two(Random.Between(1, 28)) + " " +
         std::string(kMonths[Random.Between(0, 11)]) + " 20" + Two(Random.Between(10, 25)) + " " +
         Two(Random.Between(0, 23)) + ":" + Two(Random.Between(0, 59)) + ":" + Two(Random.Between(0, 59)) +
         " GMT";
}

std::string IsoDate(TRandom& Random) {
  return "20" + Two(Random.Between(10, 25)) + "-" + Two(Random.Between(1, 12)) + "-" +
         Two(Random.Between(1, 28)) + "T" + Two(Random.Between(0, 23)) + ":" + Two(Random.Between(0, 59)) +
         ":00Z";
}

// A few paragraphs of HTML with links and emphasis, written either raw or escaped.
std::string Html(TRandom& Random, bool Escaped) {
  const std::string_view lt = Escaped ? "&lt;" : "<";
  const std::string_view gt = Escaped ? "&gt;" : ">";
  const std::string_view quote = Escaped ? "&quot;" : "\"";
  const std::string_view amp = Escaped ? "&amp;amp;" : "&amp;";
  std::string out;
  const size_t paragraphs = Random.Between(1, 4);
  for (size_t p = 0; p < paragraphs; ++p) {
    out.append(lt).append("p").append(gt);
    out += Words(Random, 10, 30);
    if (Random.OneIn(2)) {
      out.append(" ").append(lt).append("a href=").append(quote).append("http://example.com/");
      out.append(Slug(Random)).append("?a=1").append(amp).append("b=2").append(quote).append(gt);
      out += Words(Random, 1, 4);
      out.append(lt).append("/a").append(gt).append(" ");
    }
    if (Random.OneIn(3)) {
      out.append(lt).append("b").append(gt).append(Words(Random, 1, 3)).append(lt).append("/b").append(gt);
    }
    out += Words(Random, 5, 20);
    out.append(lt).append("/p").append(gt);
  }
  if (Random.OneIn(4)) {
    out.append(lt).append("img src=").append(quote).append("http://img.example.com/").append(Slug(Random));
    out.append(".jpg").append(quote).append(" alt=").append(quote).append(quote).append(" /").append(gt);
  }
  return out;
}

}  // namespace

std::string GenerateRss(size_t TargetBytes, uint64_t Seed) {
  TRandom random(Seed);
  std::string out;
  out.reserve(TargetBytes + 4096);
  out +=
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
      "xmlns:atom=\"http://www.w3.org/2005/Atom\">\r\n"
      "<channel>\r\n"
      "  <title>Example News &amp; Views</title>\r\n"
      "  <link>http://news.example.com/</link>\r\n"
      "  <description>Daily stories from the example newsroom</description>\r\n"
      "  <language>en-us</language>\r\n"
      "  <atom:link href=\"http://news.example.com/rss\" rel=\"self\" type=\"application/rss+xml\" />\r\n"
      "  <lastBuildDate>" +
      RfcDate(random) + "</lastBuildDate>\r\n";
  const std::string_view tail = "</channel>\r\n</rss>\r\n";
  for (size_t n = 1; out.size() + tail.size() < TargetBytes; ++n) {
    const std::string slug = Slug(random);
    out += "  <item>\r\n    <title>" + Words(random, 3, 10) + (random.OneIn(5) ? " &amp; more" : "") +
           "</title>\r\n";
    out += "    <link>http://news.example.com/" + std::to_string(n) + "/" + slug + "</link>\r\n";
    if (n % 2 == 0) {
      out += "    <description><![CDATA[" + Html(random, false) + "]]></description>\r\n";
    } else {
      out += "    <description>" + Html(random, true) + "</description>\r\n";
    }
    out += "    <pubDate>" + RfcDate(random) + "</pubDate>\r\n";
    out += "    <guid isPermaLink=\"false\">news-" + std::to_string(n) + "-" +
           std::to_string(random.Next() % 100000) + "</guid>\r\n";
    if (random.OneIn(3)) out += "    <category>" + Words(random, 1, 2) + "</category>\r\n";
    if (random.OneIn(3)) out += "    <dc:creator>" + Words(random, 2, 2) + "</dc:creator>\r\n";
    if (random.OneIn(10)) {
      out += "    <enclosure url=\"http://media.example.com/" + slug + ".mp3\" length=\"" +
             std::to_string(random.Between(100000, 90000000)) + "\" type=\"audio/mpeg\"/>\r\n";
    }
    out += "  </item>\r\n";
  }
  out += tail;
  return out;
}

std::string GenerateAtom(size_t TargetBytes, uint64_t Seed) {
  TRandom random(Seed);
  std::string out;
  out.reserve(TargetBytes + 4096);
  out +=
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:lang=\"en\">\r\n"
      "  <title type=\"text\">Example Weblog</title>\r\n"
      "  <subtitle>Notes &amp; links</subtitle>\r\n"
      "  <link rel=\"alternate\" type=\"text/html\" href=\"http://blog.example.org/\"/>\r\n"
      "  <link rel=\"self\" type=\"application/atom+xml\" href=\"http://blog.example.org/atom.xml\"/>\r\n"
      "  <id>tag:blog.example.org,2024:feed</id>\r\n"
      "  <updated>" +
      IsoDate(random) + "</updated>\r\n";
  const std::string_view tail = "</feed>\r\n";
  for (size_t n = 1; out.size() + tail.size() < TargetBytes; ++n) {
    const std::string slug = Slug(random);
    out += "  <entry>\r\n    <title type=\"html\">" + Words(random, 3, 10) + "</title>\r\n";
    out += "    <link rel=\"alternate\" type=\"text/html\" href=\"http://blog.example.org/" +
           std::to_string(n) + "/" + slug + "\"/>\r\n";
    out += "    <id>tag:blog.example.org,2024:entry-" + std::to_string(n) + "</id>\r\n";
    out += "    <updated>" + IsoDate(random) + "</updated>\r\n";
    out += "    <published>" + IsoDate(random) + "</published>\r\n";
    out += "    <author>\r\n      <name>" + Words(random, 2, 2) + "</name>\r\n    </author>\r\n";
    out += "    <summary type=\"html\">" + Html(random, true) + "</summary>\r\n";
    if (n % 2 == 0) out += "    <content type=\"html\"><![CDATA[" + Html(random, false) + "]]></content>\r\n";
    out += "  </entry>\r\n";
  }
  out += tail;
  return out;
}

std::string GenerateRdf(size_t TargetBytes, uint64_t Seed) {
  TRandom random(Seed);
  // The items come first, so that the channel can list their addresses before them.
  std::string items;
  std::string sequence;
  const size_t headBytes = 1024;
  for (size_t n = 1; headBytes + sequence.size() + items.size() < TargetBytes; ++n) {
    const std::string about = "http://daily.example.org/" + std::to_string(n) + "/" + Slug(random);
    sequence += "      <rdf:li rdf:resource=\"" + about + "\" />\n";
    items += "<item rdf:about=\"" + about + "\">\n  <title>" + Words(random, 3, 10) + "</title>\n  <link>" +
             about + "</link>\n  <description>" + Html(random, true) + "</description>\n  <dc:date>" +
             IsoDate(random) + "</dc:date>\n  <dc:creator>" + Words(random, 2, 2) +
             "</dc:creator>\n</item>\n";
  }
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
         "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
         "<channel rdf:about=\"http://daily.example.org/\">\n"
         "  <title>Example Daily</title>\n  <link>http://daily.example.org/</link>\n"
         "  <description>Stories &amp; notes, one line each</description>\n"
         "  <items>\n    <rdf:Seq>\n" +
         sequence + "    </rdf:Seq>\n  </items>\n</channel>\n" + items + "</rdf:RDF>\n";
}

std::string GenerateOpml(size_t Entries, size_t GroupSize, uint64_t Seed) {
  TRandom random(Seed);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
      "<opml>\r\n"
      "  <body>\r\n";
  if (GroupSize == 0) GroupSize = Entries + 1;
  bool groupOpen = false;
  for (size_t n = 0; n < Entries; ++n) {
    if (n % GroupSize == 0) {
      if (groupOpen) out += "    </outline>\r\n";
      out += "    <outline title=\"Group " + std::to_string(n / GroupSize + 1) +
             " &amp; friends\" description=\"" + Words(random, 2, 6) + "\" htmlUrl=\"\" >\r\n";
      groupOpen = true;
    }
    const std::string host = "site" + std::to_string(n) + ".example.net";
    out += "      <outline title=\"" + Words(random, 1, 5) + "\" description=\"" + Words(random, 0, 12) +
           "\" xmlUrl=\"http://" + host + "/feed.xml\" htmlUrl=\"http://" + host + "/\" type=\"rss\"";
    if (random.OneIn(3)) out += " unreadCount=\"" + std::to_string(random.Between(1, 500)) + "\"";
    out += " />\r\n";
  }
  if (groupOpen) out += "    </outline>\r\n";
  out +=
      "  </body>\r\n"
      "</opml>\r\n";
  return out;
}

}  // namespace skimbrook::bench
