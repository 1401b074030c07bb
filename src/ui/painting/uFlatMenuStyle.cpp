#include "ui/painting/uFlatMenuStyle.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <algorithm>

namespace skimbrook {

namespace {

constexpr int kTextGap = 6;
constexpr int kRightMargin = 20;
constexpr int kItemHeight = 20;
constexpr int kSeparatorHeight = 7;
// The least room between an entry's caption and its shortcut.
constexpr int kShortcutGap = 24;

void DrawCheckMark(QPainter& Painter, const QRect& Column, const QColor& Colour) {
  Painter.save();
  Painter.setRenderHint(QPainter::Antialiasing);
  Painter.setPen(QPen(Colour, 2));
  const QPointF c = QRectF(Column).center();
  const QPointF points[3] = {c + QPointF(-4, 0), c + QPointF(-1, 3), c + QPointF(4, -3)};
  Painter.drawPolyline(points, 3);
  Painter.restore();
}

void DrawMenuItem(const QStyleOptionMenuItem& Item, QPainter& Painter) {
  const QPalette& palette = Item.palette;
  const QRect& rect = Item.rect;
  const QRect column(rect.left(), rect.top(), TFlatMenuStyle::kIconColumn, rect.height());
  Painter.fillRect(rect, palette.color(QPalette::Base));
  Painter.fillRect(column, palette.color(QPalette::Button));

  if (Item.menuItemType == QStyleOptionMenuItem::Separator) {
    const int y = rect.center().y();
    Painter.setPen(palette.color(QPalette::Mid));
    Painter.drawLine(column.right() + kTextGap, y, rect.right() - 2, y);
    return;
  }

  const bool enabled = Item.state & QStyle::State_Enabled;
  const bool selected = enabled && (Item.state & QStyle::State_Selected);
  if (selected) {
    Painter.fillRect(rect.adjusted(1, 0, -1, 0), TFlatMenuStyle::SelectionColour());
    Painter.setPen(TFlatMenuStyle::SelectionColour().darker(160));
    Painter.drawRect(rect.adjusted(1, 0, -2, -1));
  }

  const QColor text =
      enabled ? palette.color(QPalette::Text) : palette.color(QPalette::Disabled, QPalette::Text);
  if (Item.checkType != QStyleOptionMenuItem::NotCheckable && Item.checked)
    DrawCheckMark(Painter, column, text);
  else if (!Item.icon.isNull())
    Item.icon.paint(&Painter, column.adjusted(4, 2, -4, -2), Qt::AlignCenter,
                    enabled ? QIcon::Normal : QIcon::Disabled);

  QFont font = Item.font;
  if (Item.menuItemType == QStyleOptionMenuItem::DefaultItem) font.setBold(true);
  Painter.setFont(font);
  Painter.setPen(text);
  const QRect textRect = rect.adjusted(column.width() + kTextGap, 0, -kRightMargin, 0);
  const qsizetype tab = Item.text.indexOf(QLatin1Char('\t'));
  const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
  Painter.drawText(textRect, flags | Qt::AlignLeft, Item.text.left(tab));
  if (tab >= 0) Painter.drawText(textRect, flags | Qt::AlignRight, Item.text.mid(tab + 1));
}

}  // namespace

TFlatMenuStyle::TFlatMenuStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void TFlatMenuStyle::drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                                 const QWidget* Widget) const {
  if (Element == CE_MenuItem) {
    if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option)) {
      Painter->save();
      DrawMenuItem(*item, *Painter);
      Painter->restore();
      return;
    }
  }
  if (Element == CE_MenuBarItem) {
    if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option)) {
      const bool open = (item->state & State_Selected) && (item->state & (State_Sunken | State_HasFocus));
      const bool hot = item->state & State_Selected;
      Painter->save();
      Painter->fillRect(item->rect, item->palette.color(QPalette::Window));
      if (open || hot) {
        Painter->fillRect(item->rect.adjusted(0, 1, -1, -1), SelectionColour());
        Painter->setPen(SelectionColour().darker(160));
        Painter->drawRect(item->rect.adjusted(0, 1, -1, -1));
      }
      Painter->setPen(item->palette.color(QPalette::WindowText));
      Painter->drawText(item->rect, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine, item->text);
      Painter->restore();
      return;
    }
  }
  QProxyStyle::drawControl(Element, Option, Painter, Widget);
}

void TFlatMenuStyle::drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                                   const QWidget* Widget) const {
  if (Element == PE_PanelMenu || Element == PE_FrameMenu) {
    Painter->save();
    if (Element == PE_PanelMenu) Painter->fillRect(Option->rect, Option->palette.color(QPalette::Base));
    Painter->setPen(Option->palette.color(QPalette::Dark));
    Painter->drawRect(Option->rect.adjusted(0, 0, -1, -1));
    Painter->restore();
    return;
  }
  QProxyStyle::drawPrimitive(Element, Option, Painter, Widget);
}

QSize TFlatMenuStyle::sizeFromContents(ContentsType Type, const QStyleOption* Option, const QSize& Size,
                                       const QWidget* Widget) const {
  if (Type == CT_MenuItem) {
    if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option)) {
      if (item->menuItemType == QStyleOptionMenuItem::Separator) return QSize(Size.width(), kSeparatorHeight);
      QFont font = item->font;
      if (item->menuItemType == QStyleOptionMenuItem::DefaultItem) font.setBold(true);
      const qsizetype tab = item->text.indexOf('\t');
      const QFontMetrics metrics(font);
      int textWidth = metrics.horizontalAdvance(item->text.left(tab));
      // The shortcuts of a menu stand in one column as wide as the widest of them.
      if (tab >= 0)
        textWidth += kShortcutGap + std::max(item->reservedShortcutWidth,
                                             metrics.horizontalAdvance(item->text.mid(tab + 1)));
      const int width = kIconColumn + kTextGap + std::max(Size.width(), textWidth) + kRightMargin;
      return QSize(width, std::max(kItemHeight, Size.height() + 6));
    }
  }
  return QProxyStyle::sizeFromContents(Type, Option, Size, Widget);
}

int TFlatMenuStyle::pixelMetric(PixelMetric Metric, const QStyleOption* Option, const QWidget* Widget) const {
  switch (Metric) {
    case PM_MenuPanelWidth:
      return 1;
    case PM_MenuHMargin:
      return 0;
    case PM_MenuVMargin:
      return 1;
    default:
      return QProxyStyle::pixelMetric(Metric, Option, Widget);
  }
}

}  // namespace skimbrook
