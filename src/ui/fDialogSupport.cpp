#include "ui/fDialogSupport.h"

#include <QDialog>
#include <QFrame>
#include <QPushButton>
#include <QRect>

namespace skimbrook {

namespace {

// Windows-1252 code points of the bytes 0x80..0x9F; the five unassigned bytes keep
// their own value, as Windows itself maps them.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252(unsigned char Byte) {
  return Byte >= 0x80 && Byte < 0xA0 ? kCp1252High[Byte - 0x80] : char16_t(Byte);
}

// The length of the well-formed UTF-8 sequence starting at Pos (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
size_t Utf8SequenceLength(std::string_view Bytes, size_t Pos) {
  const auto At = [&](size_t I) { return static_cast<unsigned char>(Bytes[I]); };
  const unsigned char Lead = At(Pos);
  size_t Length = 0;
  unsigned char Low = 0x80, High = 0xBF;  // allowed range of the second byte
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    if (Lead == 0xE0) Low = 0xA0;
    if (Lead == 0xED) High = 0x9F;
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    if (Lead == 0xF0) Low = 0x90;
    if (Lead == 0xF4) High = 0x8F;
  } else {
    return 0;
  }
  if (Pos + Length > Bytes.size()) return 0;
  if (At(Pos + 1) < Low || At(Pos + 1) > High) return 0;
  for (size_t I = 2; I < Length; ++I) {
    if (At(Pos + I) < 0x80 || At(Pos + I) > 0xBF) return 0;
  }
  return Length;
}

}  // namespace

QString DialogTextFromBytes(std::string_view Bytes) {
  QString Text;
  Text.reserve(static_cast<qsizetype>(Bytes.size()));
  size_t Pos = 0;
  while (Pos < Bytes.size()) {
    const unsigned char Byte = static_cast<unsigned char>(Bytes[Pos]);
    const size_t Length = Byte < 0x80 ? 1 : Utf8SequenceLength(Bytes, Pos);
    if (Length == 0) {
      Text += QChar(Cp1252(Byte));
      ++Pos;
    } else {
      Text += QString::fromUtf8(Bytes.data() + Pos, static_cast<qsizetype>(Length));
      Pos += Length;
    }
  }
  return Text;
}

std::string DialogBytesFromText(const QString& Text) {
  return Text.toStdString();
}

std::string EditedBytes(const QString& Text, const std::string& Original) {
  return Text == DialogTextFromBytes(Original) ? Original : DialogBytesFromText(Text);
}

void SetUpToolDialog(QDialog& Dialog, const QString& Title, int Width, int Height, bool Sizeable) {
  Dialog.setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  Dialog.setWindowTitle(Title);
  if (Sizeable) {
    Dialog.setMinimumSize(Width, Height);
    Dialog.resize(Width, Height);
  } else {
    Dialog.setFixedSize(Width, Height);
  }
}

QFrame* AddSeparator(QWidget& Parent, const QRect& Geometry) {
  auto* Line = new QFrame(&Parent);
  Line->setFrameShape(QFrame::HLine);
  Line->setFrameShadow(QFrame::Sunken);
  Line->setGeometry(Geometry);
  return Line;
}

QPushButton* AddButton(QWidget& Parent, const QString& Caption, int Left, int Top) {
  auto* Button = new QPushButton(Caption, &Parent);
  Button->setGeometry(Left, Top, 75, 25);
  return Button;
}

}  // namespace skimbrook
