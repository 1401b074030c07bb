#include "xml/moxXMLParser2.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "xml/moxSlabPool.h"
#include "xml/moxStrings.h"

namespace skimbrook {

namespace {

const std::string kEmpty;

constexpr const char* kMissingLessThan = "Missing <";
constexpr const char* kMissingGreaterThan = "Missing >";
constexpr const char* kEndTagFirst = "End tag without an open element";
constexpr const char* kTextWithoutLessThan = "Expected < when parsing text";
constexpr const char* kCdataWithoutEnd = "Expected ]]> when parsing CDATA section";
constexpr const char* kMissingEquals = "missing = when parsing attributes";
constexpr const char* kMissingDelimiter = "missing value delimiter when parsing attributes";
constexpr const char* kDeclarationWithoutEnd = "Missing ?> in xml declaration.";

// ---------------------------------------------------------------------------------------
// Attribute lists

// Sets the attributes of one attribute list on one element. A tag may carry any number of
// attributes, so past a handful the names are looked up through a hash index instead of
// the linear search of SetAttribute; the result is the same (first position, last value).
// The index keys point into the attribute text and the stored names, so the writer must
// not outlive the text it is given.
class TAttributeWriter {
 public:
  explicit TAttributeWriter(TmoxXMLNode2& Target) : target_(Target) {}

  void Set(std::string_view Name, std::string_view Value) {
    if (target_.Attributes.Count() < kIndexThreshold) {
      target_.SetAttribute(Name, Value);
      return;
    }
    if (index_.empty()) BuildIndex();
    auto [it, added] = index_.try_emplace(Name, target_.Attributes.Count());
    if (!added) {
      target_.Attributes[it->second].Value.assign(Value);
      return;
    }
    auto attribute = std::make_unique<TmoxXMLAttribute2>();
    attribute->Value.assign(Value);
    attribute->Name.assign(Name);
    target_.Attributes.Add(std::move(attribute));
  }

 private:
  static constexpr int kIndexThreshold = 16;

  void BuildIndex() {
    for (int i = 0; i < target_.Attributes.Count(); ++i) {
      index_.try_emplace(target_.Attributes[i].Name, i);
    }
  }

  TmoxXMLNode2& target_;
  std::unordered_map<std::string_view, int> index_;
};

// Reads Text as a list of name="value" or name='value' pairs into Target. Returns the
// empty string, or the message of the first malformed pair; the pairs before it stay set.
std::string ParseAttributeList(std::string_view Text, TmoxXMLNode2& Target) {
  TAttributeWriter writer(Target);
  std::string_view rest = Trim(Text);
  while (!rest.empty()) {
    size_t equals = FindFrom("=", rest, 1);
    if (equals == 0) return kMissingEquals;
    // 1-based equals + 1 is the byte after "=", at 0-based index equals.
    if (equals >= rest.size() || (rest[equals] != '"' && rest[equals] != '\'')) return kMissingDelimiter;
    const char delimiter = rest[equals];
    size_t closing = FindFrom(std::string_view(&delimiter, 1), rest, equals + 2);
    if (closing == 0) return std::string("Expected closing ") + delimiter + " when parsing attributes";
    // Whatever stands before the "=" is the name, stray words included.
    writer.Set(Trim(Slice(rest, 1, equals - 1)), Slice(rest, equals + 2, closing - 1));
    rest.remove_prefix(closing);
  }
  return {};
}

// ---------------------------------------------------------------------------------------
// Element scan

// One forward pass over the source that builds the tree. Its whole state is the open
// element and the position, so neither the number of tags nor their depth costs stack.
class TElementScan {
 public:
  TElementScan(std::string_view Source, size_t Position, TmoxXMLParser2& Document)
      : begin_(Source.data()), end_(Source.data() + Source.size()), document_(Document) {
    cursor_ = Position > Source.size() ? end_ : begin_ + (Position - 1);
  }

  // Runs to the end of the root element; false when a step failed, with its message
  // in Error().
  bool Run();
  const std::string& Error() const { return error_; }
  // The 1-based position reached, 0 when the search for the next tag failed.
  size_t Position() const { return lost_ ? 0 : static_cast<size_t>(cursor_ - begin_) + 1; }

 private:
  bool Fail(std::string Message) {
    error_ = std::move(Message);
    return false;
  }
  bool StartElement(std::string_view Tag, bool IsEmptyTag, bool& Completed);
  bool ReadText(TmoxXMLNode2& Element);

  const char* const begin_;
  const char* const end_;
  const char* cursor_;
  bool lost_ = false;
  TmoxXMLParser2& document_;
  TmoxXMLNode2* open_ = nullptr;
  std::string attributeText_;  // reused for every tag that has attributes
  std::string error_;
};

bool TElementScan::Run() {
  for (;;) {
    const char* const less = FindByte(cursor_, end_, '<');
    if (less == nullptr) {
      lost_ = true;
      return Fail(kMissingLessThan);
    }
    cursor_ = less;
    const char* const greater = FindByte(less + 1, end_, '>');
    if (greater == nullptr) return Fail(kMissingGreaterThan);
    std::string_view tag(less + 1, static_cast<size_t>(greater - less - 1));
    cursor_ = greater + 1;

    if (!tag.empty() && tag.front() == '/') {
      // End tags close whatever is open; their names are not compared.
      if (open_ == nullptr) return Fail(kEndTagFirst);
      open_ = open_->Parent;
      if (open_ == nullptr) return true;
      continue;
    }
    bool isEmptyTag = false;
    if (!tag.empty() && tag.back() == '/') {
      isEmptyTag = true;
      tag = Trim(tag.substr(0, tag.size() - 1));
    }
    // Comments, DOCTYPE, processing instructions and misplaced CDATA end at this ">".
    if (!tag.empty() && (tag.front() == '!' || tag.front() == '?')) continue;

    bool completed = false;
    if (!StartElement(tag, isEmptyTag, completed)) return false;
    if (completed) return true;
  }
}

// Line breaks and tabs count as spaces in a tag, so a start tag may spread over lines.
bool IsTagSpace(char Byte) {
  return Byte == ' ' || Byte == '\r' || Byte == '\n' || Byte == '\t';
}

bool TElementScan::StartElement(std::string_view Tag, bool IsEmptyTag, bool& Completed) {
  size_t space = 0;
  while (space < Tag.size() && !IsTagSpace(Tag[space])) ++space;
  const std::string_view name = Tag.substr(0, space);
  const std::string_view attributes = space < Tag.size() ? Trim(Tag.substr(space + 1)) : std::string_view();

  TmoxXMLNode2* element = &document_;
  if (open_ != nullptr) {
    // Default-initialised: every member has its initialiser, and zeroing the object
    // first would only cost time.
    std::unique_ptr<TmoxXMLNode2> child(new TmoxXMLNode2);
    child->Document = &document_;
    element = &open_->Nodes.Add(std::move(child));
  }
  element->Name.assign(name);
  element->Parent = open_;

  if (!attributes.empty()) {
    attributeText_.assign(attributes);
    for (char& c : attributeText_) {
      if (IsTagSpace(c)) c = ' ';
    }
    std::string error = ParseAttributeList(attributeText_, *element);
    if (!error.empty()) return Fail(std::move(error));
  }
  if (IsEmptyTag) {
    Completed = open_ == nullptr;
    return true;
  }
  if (!ReadText(*element)) return false;
  open_ = element;
  return true;
}

// The first "]]>" in [From, End), or nullptr.
const char* FindCdataEnd(const char* From, const char* End) {
  while (End - From >= 3) {
    const char* bracket =
        static_cast<const char*>(std::memchr(From, ']', static_cast<size_t>(End - From - 2)));
    if (bracket == nullptr) return nullptr;
    if (bracket[1] == ']' && bracket[2] == '>') return bracket;
    From = bracket + 1;
  }
  return nullptr;
}

// Reads the text right after a start tag: the bytes up to the next "<", or the content
// of a CDATA section when that is the first markup.
bool TElementScan::ReadText(TmoxXMLNode2& Element) {
  static constexpr std::string_view kCdataStart = "<![CDATA[";
  const char* const next = FindByte(cursor_, end_, '<');
  if (next == nullptr) return Fail(kTextWithoutLessThan);
  if (static_cast<size_t>(end_ - next) >= kCdataStart.size() &&
      std::memcmp(next, kCdataStart.data(), kCdataStart.size()) == 0) {
    cursor_ = next + kCdataStart.size();
    const char* const close = FindCdataEnd(cursor_, end_);
    if (close == nullptr) return Fail(kCdataWithoutEnd);
    Element.Text.assign(Trim(std::string_view(cursor_, static_cast<size_t>(close - cursor_))));
    cursor_ = close + 3;
  } else {
    Element.Text.assign(Trim(std::string_view(cursor_, static_cast<size_t>(next - cursor_))));
    cursor_ = next;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Serialisation

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
    std::memcpy(data_ + length_, Piece.data(), Piece.size());
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

void WriteText(TXmlOutput& Out, const std::string& Text) {
  if (Text.find_first_of("<>") == std::string::npos) {
    Out.Write(Text);
    return;
  }
  Out.Write("<![CDATA[");
  Out.Write(Text);
  Out.Write("]]>");
}

// Writes the start tag, attributes and text of Element; returns false when the element
// was written whole as an empty-element tag.
bool WriteStart(TXmlOutput& Out, const TmoxXMLNode2& Element, size_t Level) {
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

// The declaration line and the tree, walked with an explicit stack of open elements.
std::string SerializeDocument(const TmoxXMLParser2& Document, size_t Limit) {
  TXmlOutput out(Limit);
  const std::string& version = Document.Declaration->GetAttribute("version");
  const std::string& encoding = Document.Declaration->GetAttribute("encoding");
  out.Write("<?xml version='");
  out.Write(version.empty() ? "1.0" : version);
  out.Write("' encoding='");
  out.Write(encoding.empty() ? "ISO-8859-1" : encoding);
  out.Write("' ?>\r\n");

  struct TFrame {
    const TmoxXMLNode2* Element;
    int NextChild;
  };
  std::vector<TFrame> open;
  if (WriteStart(out, Document, 0)) open.push_back({&Document, 0});
  while (!open.empty() && !out.Full()) {
    const size_t level = open.size() - 1;
    TFrame& top = open.back();
    if (top.NextChild < top.Element->Nodes.Count()) {
      const TmoxXMLNode2& child = top.Element->Nodes[top.NextChild++];
      out.Write("\r\n");
      if (WriteStart(out, child, level + 1)) open.push_back({&child, 0});
    } else {
      WriteEnd(out, *top.Element, level);
      open.pop_back();
    }
  }
  return out.Take();
}

// How much of the tree an error text may show. The tree of a truncated document is
// normally about as large as the document, but indentation grows with depth, so a deeply
// nested document would otherwise ask for an error text of many gigabytes.
size_t ErrorTreeLimit(size_t SourceSize) {
  return (size_t{1} << 20) + 2 * SourceSize;
}

std::string ReadWholeFile(const std::string& Path) {
  FILE* file = std::fopen(Path.c_str(), "rb");
  if (file == nullptr) {
    throw std::runtime_error("Cannot open file \"" + Path + "\". " + std::strerror(errno));
  }
  std::string bytes;
  char chunk[65536];
  size_t read = 0;
  while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, read);
  const int error = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (error != 0) throw std::runtime_error("Cannot read file \"" + Path + "\". " + std::strerror(error));
  return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TmoxXMLNode2

void* TmoxXMLAttribute2::operator new(std::size_t Size) {
  return AllocateTreeObject(Size);
}
void TmoxXMLAttribute2::operator delete(void* Attribute, std::size_t Size) noexcept {
  ReleaseTreeObject(Attribute, Size);
}
void* TmoxXMLNode2::operator new(std::size_t Size) {
  return AllocateTreeObject(Size);
}
void TmoxXMLNode2::operator delete(void* Element, std::size_t Size) noexcept {
  ReleaseTreeObject(Element, Size);
}

TmoxXMLNode2::~TmoxXMLNode2() {
  if (Nodes.Count() == 0) return;
  // Children are taken out of their parents before they die, so no destructor ever
  // reaches a grandchild and the teardown depth stays at one.
  std::vector<std::unique_ptr<TmoxXMLNode2>> pending = Nodes.TakeAll();
  while (!pending.empty()) {
    std::unique_ptr<TmoxXMLNode2> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Nodes.TakeAll()) pending.push_back(std::move(child));
  }
}

TmoxXMLNode2* TmoxXMLNode2::FindNode(std::string_view Name) const {
  for (const auto& node : Nodes) {
    if (node->Name == Name) return node.get();
  }
  return nullptr;
}

const std::string& TmoxXMLNode2::AttributeName(int Index) const {
  if (Index < 0 || Index >= Attributes.Count()) return kEmpty;
  return Attributes[Index].Name;
}

const std::string& TmoxXMLNode2::GetAttribute(std::string_view Name) const {
  const int index = AttributeIndex(Name);
  return index < 0 ? kEmpty : Attributes[index].Value;
}

const std::string& TmoxXMLNode2::GetAttribute(int Index) const {
  if (Index < 0 || Index >= Attributes.Count()) return kEmpty;
  return Attributes[Index].Value;
}

void TmoxXMLNode2::SetAttribute(std::string_view Name, std::string_view Value) {
  const int index = AttributeIndex(Name);
  if (index >= 0) {
    Attributes[index].Value.assign(Value);
    return;
  }
  auto attribute = std::make_unique<TmoxXMLAttribute2>();
  attribute->Value.assign(Value);
  attribute->Name.assign(Name);
  Attributes.Add(std::move(attribute));
}

void TmoxXMLNode2::SetAttribute(int Index, std::string_view Value) {
  if (Index < 0 || Index >= Attributes.Count()) return;
  Attributes[Index].Value.assign(Value);
}

int TmoxXMLNode2::AttributeIndex(std::string_view Name) const {
  for (int i = 0; i < Attributes.Count(); ++i) {
    if (Attributes[i].Name == Name) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------
// TmoxXMLParser2

TmoxXMLParser2::TmoxXMLParser2() : Declaration(std::make_unique<TmoxXMLNode2>()) {
  Declaration->Document = this;
}

TmoxXMLParser2::~TmoxXMLParser2() = default;

void TmoxXMLParser2::LoadFromFile(const std::string& Path) {
  LoadFromString(ReadWholeFile(Path));
}

void TmoxXMLParser2::LoadFromString(std::string Source) {
  source_ = std::move(Source);
  LastError.clear();
  try {
    LastError = Parse();
  } catch (const std::runtime_error& e) {
    LastError = e.what();
    throw;
  }
}

std::string TmoxXMLParser2::Parse() {
  Attributes.Clear();
  Nodes.Clear();
  Name.clear();
  Text.clear();
  // A reused document must not report the previous document's version or encoding.
  Declaration->Attributes.Clear();

  const std::string_view source = source_;
  size_t position = 1;
  const size_t first = FindFrom("<", source, 1);
  if (first > 0 && HasAt(source, first, "<?xml")) {
    const size_t end = FindFrom("?>", source, first);
    if (end == 0) return kDeclarationWithoutEnd;
    position = end + 2;
    // The byte right after "<?xml" is passed over whatever it is.
    std::string error = ParseAttributeList(Trim(Slice(source, first + 6, end - 1)), *Declaration);
    if (!error.empty()) throw std::runtime_error(error);
  }

  TElementScan scan(source, position, *this);
  if (scan.Run()) return {};

  const size_t at = scan.Position();
  const size_t nearFrom = at > 20 ? at - 20 : 1;
  std::string result = scan.Error();
  result += " near ";
  result += Slice(source, nearFrom, nearFrom + 49);
  result += "\r\nError position=";
  result += std::to_string(at);
  result += "\r\n";
  result += SerializeDocument(*this, ErrorTreeLimit(source.size()));
  return result;
}

std::string TmoxXMLParser2::Xml() {
  return SerializeDocument(*this, SIZE_MAX);
}

}  // namespace skimbrook
