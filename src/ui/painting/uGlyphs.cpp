#include "ui/painting/uGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace skimbrook {

namespace {

constexpr int kGlyphSize = 20;

const QColor kFeedOrange(240, 140, 30);
const QColor kArrowBlue(40, 100, 200);
const QColor kGoGreen(40, 150, 60);
const QColor kStopRed(200, 40, 40);

// The feed sign: a dot in the lower left corner and two quarter circles around it.
void DrawFeedSign(QPainter& Painter, const QRectF& Box) {
  Painter.setPen(Qt::NoPen);
  Painter.setBrush(kFeedOrange);
  Painter.drawRoundedRect(Box, Box.width() / 6, Box.width() / 6);
  const qreal unit = Box.width() / 8;
  const QPointF origin(Box.left() + 2 * unit, Box.bottom() - 2 * unit);
  Painter.setBrush(Qt::white);
  Painter.drawEllipse(origin, unit * 0.9, unit * 0.9);
  Painter.setBrush(Qt::NoBrush);
  Painter.setPen(QPen(Qt::white, unit * 1.1, Qt::SolidLine, Qt::FlatCap));
  for (const qreal radius : {unit * 3, unit * 5}) {
    const QRectF circle(origin.x() - radius, origin.y() - radius, 2 * radius, 2 * radius);
    Painter.drawArc(circle, 0, 90 * 16);
  }
}

void DrawArrow(QPainter& Painter, QPointF From, QPointF To, const QColor& Colour, qreal Width) {
  Painter.setPen(QPen(Colour, Width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  Painter.drawLine(From, To);
  const qreal angle = std::atan2(To.y() - From.y(), To.x() - From.x());
  const qreal head = Width * 2.2;
  for (const qreal side : {2.5, -2.5}) {
    const QPointF tip(To.x() - head * std::cos(angle + side * 0.3),
                      To.y() - head * std::sin(angle + side * 0.3));
    Painter.drawLine(To, tip);
  }
}

void DrawCross(QPainter& Painter, const QRectF& Box, const QColor& Colour, qreal Width) {
  Painter.setPen(QPen(Colour, Width, Qt::SolidLine, Qt::RoundCap));
  Painter.drawLine(Box.topLeft(), Box.bottomRight());
  Painter.drawLine(Box.topRight(), Box.bottomLeft());
}

void DrawGlyph(QPainter& Painter, TGlyph Glyph) {
  const qreal s = kGlyphSize;
  switch (Glyph) {
    case TGlyph::AddFeed:
      DrawFeedSign(Painter, QRectF(0, 3, 16, 16));
      Painter.setPen(QPen(kGoGreen, 3, Qt::SolidLine, Qt::FlatCap));
      Painter.drawLine(QPointF(15, 1), QPointF(15, 11));
      Painter.drawLine(QPointF(10, 6), QPointF(20, 6));
      break;
    case TGlyph::CheckFeed:
      DrawFeedSign(Painter, QRectF(0, 4, 14, 14));
      DrawArrow(Painter, QPointF(16, 1), QPointF(16, 15), kArrowBlue, 2.5);
      break;
    case TGlyph::CatchUp:
      Painter.setPen(QPen(kGoGreen, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      Painter.drawPolyline(QPolygonF({QPointF(3, 10), QPointF(8, 15), QPointF(17, 4)}));
      break;
    case TGlyph::CheckAll:
      DrawArrow(Painter, QPointF(6, 2), QPointF(6, 17), kArrowBlue, 2.5);
      DrawArrow(Painter, QPointF(14, 2), QPointF(14, 17), kArrowBlue, 2.5);
      break;
    case TGlyph::Close:
      DrawCross(Painter, QRectF(4, 4, s - 8, s - 8), kStopRed, 3);
      break;
    case TGlyph::BrowserHome: {
      Painter.setPen(QPen(kArrowBlue, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      Painter.setBrush(QColor(220, 232, 250));
      Painter.drawPolygon(QPolygonF({QPointF(3, 10), QPointF(10, 3), QPointF(17, 10), QPointF(15, 10),
                                     QPointF(15, 17), QPointF(5, 17), QPointF(5, 10)}));
      break;
    }
    case TGlyph::BrowserBack:
      DrawArrow(Painter, QPointF(16, 10), QPointF(4, 10), kArrowBlue, 2.5);
      break;
    case TGlyph::BrowserForward:
      DrawArrow(Painter, QPointF(4, 10), QPointF(16, 10), kArrowBlue, 2.5);
      break;
    case TGlyph::BrowserRefresh: {
      Painter.setPen(QPen(kGoGreen, 2.2, Qt::SolidLine, Qt::RoundCap));
      Painter.drawArc(QRectF(4, 4, 12, 12), 90 * 16, 270 * 16);
      DrawArrow(Painter, QPointF(8, 4), QPointF(11, 4), kGoGreen, 2.2);
      break;
    }
    case TGlyph::BrowserGo:
      DrawArrow(Painter, QPointF(3, 10), QPointF(17, 10), kGoGreen, 3);
      break;
    case TGlyph::BrowserClose:
      DrawCross(Painter, QRectF(5, 5, s - 10, s - 10), kStopRed, 2.5);
      break;
  }
}

}  // namespace

QIcon GlyphIcon(TGlyph Glyph) {
  QPixmap pixmap(kGlyphSize, kGlyphSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawGlyph(painter, Glyph);
  return QIcon(pixmap);
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 22, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawFeedSign(painter, QRectF(0, 0, size, size));
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace skimbrook
