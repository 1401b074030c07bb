// Xml: the document as text, for the error text of a parse.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "xml/moxTreeWalk.h"
#include "xml/moxXMLTree_internal.h"

namespace skimbrook {

namespace {

// The output of Xml: one buffer that starts at 64 KiB and grows by at least 64 KiB, or by
// the piece when that is longer. realloc lets large buffers grow without copying. Past
// Limit bytes the writer stops and drops everything else.
class TXmlOutput {
 public:
  explicit TXmlOutput(size_t Limit) : limit_(Limit) {}
  ~TXmlOutput() { std::free(data_); }
  TXmlOutput(const TXmlOutput&) = delete;
  TXmlOutput& operator=(const TXmlOutput&) = delete;

  bool Full() const { return full_; }

  void Write(std::string_view Piece) {
    if (full_) return;
    if (Piece.size() > limit_ - length_) {
      Piece = Piece.substr(0, limit_ - length_);
      full_ = true;
    }
    Reserve(Piece.size());
    if (!Piece.empty()) std::memcpy(data_ + length_, Piece.data(), Piece.size());
    length_ += Piece.size();
  }

  void WriteSpaces(size_t Count) {
    if (full_) return;
    if (Count > limit_ - length_) {
      Count = limit_ - length_;
      full_ = true;
    }
    Reserve(Count);
    std::memset(data_ + length_, ' ', Count);
    length_ += Count;
  }

  std::string Take() const { return std::string(data_ == nullptr ? "" : data_, length_); }

 private:
  static constexpr size_t kGrowthStep = 65536;

  void Reserve(size_t PieceLength) {
    if (data_ != nullptr && PieceLength <= capacity_ - length_) return;
    size_t capacity = data_ == nullptr ? kGrowthStep : capacity_;
    if (PieceLength > capacity - length_) capacity += std::max(kGrowthStep, PieceLength);
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
  }

  char* data_ = nullptr;
  size_t capacity_ = 0;
  size_t length_ = 0;
  size_t limit_;
  bool full_ = false;
};

void WriteText(TXmlOutput& Out, std::string_view Text) {
  if (std::memchr(Text.data(), '<', Text.size()) == nullptr &&
      std::memchr(Text.data(), '>', Text.size()) == nullptr) {
    Out.Write(Text);
    return;
  }
  Out.Write("<![CDATA[");
  Out.Write(Text);
  Out.Write("]]>");
}

// Writes the start tag, attributes and text of Element at Level; returns false when the
// element was written whole as an empty-element tag.
bool WriteStart(TXmlOutput& Out, const TmoxXMLNode2& Element, size_t Level) {
  if (Level > 0) Out.Write("\r\n");
  Out.WriteSpaces(2 * Level);
  Out.Write("<");
  Out.Write(Element.Name);
  for (const auto& attribute : Element.Attributes) {
    Out.Write(" ");
    Out.Write(attribute->Name);
    Out.Write("='");
    Out.Write(attribute->Value);
    Out.Write("'");
  }
  if (Element.Nodes.Count() == 0 && Element.Text.empty()) {
    Out.Write("/>");
    return false;
  }
  Out.Write(">");
  WriteText(Out, Element.Text);
  return true;
}

void WriteEnd(TXmlOutput& Out, const TmoxXMLNode2& Element, size_t Level) {
  Out.Write("\r\n");
  Out.WriteSpaces(2 * Level);
  Out.Write("</");
  Out.Write(Element.Name);
  Out.Write(">");
}

}  // namespace

std::string SerializeDocument(const TmoxXMLParser2& Document, size_t Limit) {
  TXmlOutput out(Limit);
  const std::string_view version = Document.Declaration->GetAttribute("version");
  const std::string_view encoding = Document.Declaration->GetAttribute("encoding");
  out.Write("<?xml version='");
  out.Write(version.empty() ? "1.0" : version);
  out.Write("' encoding='");
  out.Write(encoding.empty() ? "ISO-8859-1" : encoding);
  out.Write("' ?>\r\n");
  WalkTree(
      Document,
      [&out](const TmoxXMLNode2& Element, size_t Level) {
        return !out.Full() && WriteStart(out, Element, Level);
      },
      [&out](const TmoxXMLNode2& Element, size_t Level) { WriteEnd(out, Element, Level); });
  return out.Take();
}

}  // namespace skimbrook
