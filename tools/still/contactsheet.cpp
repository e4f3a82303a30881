#include "contactsheet.h"

#include <QPainter>

namespace {
constexpr qint64 kMaxSide = 16384;
} // namespace

ContactSheet::ContactSheet(int columns, const QSize &cell, int count)
    : columns(columns), cell(cell),
      sheet(columns * cell.width(), rowsFor(columns, count) * cell.height(), QImage::Format_RGB32)
{
    sheet.fill(Qt::black);
}

bool ContactSheet::fits(int columns, const QSize &cell, int count)
{
    return qint64(columns) * cell.width() <= kMaxSide &&
           qint64(rowsFor(columns, count)) * cell.height() <= kMaxSide;
}

void ContactSheet::place(int index, const QImage &frame)
{
    const QPoint corner(index % columns * cell.width(), index / columns * cell.height());
    QPainter painter(&sheet);
    painter.drawImage(corner, frame.scaled(cell, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}
