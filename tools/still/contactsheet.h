#ifndef CONTACTSHEET_H
#define CONTACTSHEET_H

#include <QImage>
#include <QSize>

// Thumbnails of frames in a grid on black, filled left to right and top to bottom.
class ContactSheet
{
public:
    ContactSheet(int columns, const QSize &cell, int count);

    // Whether the sheet for count frames stays within 16384 pixels each way.
    static bool fits(int columns, const QSize &cell, int count);

    // Scales frame smoothly to the cell size and puts it in cell index.
    void place(int index, const QImage &frame);
    const QImage &image() const { return sheet; }

private:
    static int rowsFor(int columns, int count) { return (count + columns - 1) / columns; }

    int columns;
    QSize cell;
    QImage sheet;
};

#endif
