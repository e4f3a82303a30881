// tovek2-still's contact sheet: frames in a grid, each cell the frame rendered alone and
// scaled smoothly to the cell.
#include "testmedia.h"
#include "toolrun.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage shapedPicture()
{
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 220, 120));
    painter.drawEllipse(QRectF(2, 4, 26, 24));
    return picture;
}

} // namespace

class ContactSheetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cellsHoldTheFramesInOrder();
    void sheetShowsTheWholeShowByDefault();
    void badSheetOptionsFail_data();
    void badSheetOptionsFail();

private:
    ToolRun still(const QStringList &arguments);
    QImage frameAlone(int clock, const QSize &size, const QSize &cell);

    QTemporaryDir folder;
};

void ContactSheetTest::initTestCase()
{
    QVERIFY(folder.isValid());
    QVERIFY(shapedPicture().save(folder.filePath(QStringLiteral("round.png")), "PNG"));
}

ToolRun ContactSheetTest::still(const QStringList &arguments)
{
    return ToolRun::of(QStringLiteral(TOVEK2_STILL), arguments, folder.path(), 120000);
}

QImage ContactSheetTest::frameAlone(int clock, const QSize &size, const QSize &cell)
{
    const QString file = folder.filePath(QStringLiteral("alone-%1.png").arg(clock));
    const ToolRun run =
        still({QStringLiteral("--clock"), QString::number(clock), QStringLiteral("--size"),
               QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
               QStringLiteral("--output"), file});
    if (run.exitCode != 0)
        return QImage();
    return QImage(file)
        .convertToFormat(QImage::Format_RGB32)
        .scaled(cell, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void ContactSheetTest::cellsHoldTheFramesInOrder()
{
    const int clocks[] = {0, 30000, 65000, 15000};
    const QSize size(320, 240);
    const QSize cell(160, 120);
    QStringList arguments = {
        QStringLiteral("--sheet"),  QStringLiteral("3"),
        QStringLiteral("--size"),   QStringLiteral("320x240"),
        QStringLiteral("--cell"),   QStringLiteral("160x120"),
        QStringLiteral("--output"), folder.filePath(QStringLiteral("four.png"))};
    for (int clock : clocks)
        arguments << QStringLiteral("--clock") << QString::number(clock);
    const ToolRun run = still(arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText()));

    const QImage sheet =
        QImage(folder.filePath(QStringLiteral("four.png"))).convertToFormat(QImage::Format_RGB32);
    // Four frames in three columns take two rows.
    QCOMPARE(sheet.size(), QSize(3 * 160, 2 * 120));
    for (int index = 0; index < 4; ++index) {
        const QImage expected = frameAlone(clocks[index], size, cell);
        QVERIFY(!expected.isNull());
        const QRect place(index % 3 * 160, index / 3 * 120, 160, 120);
        QVERIFY2(sheet.copy(place) == expected, qPrintable(QStringLiteral("cell %1").arg(index)));
    }
    const QImage unused = sheet.copy(QRect(160, 120, 320, 120));
    for (int y = 0; y < unused.height(); ++y) {
        for (int x = 0; x < unused.width(); ++x)
            QCOMPARE(unused.pixel(x, y), qRgb(0, 0, 0));
    }
}

void ContactSheetTest::sheetShowsTheWholeShowByDefault()
{
    const QSize size(160, 90);
    const QSize cell(80, 45);
    const ToolRun run =
        still({QStringLiteral("--sheet"), QStringLiteral("5"), QStringLiteral("--size"),
               QStringLiteral("160x90"), QStringLiteral("--cell"), QStringLiteral("80x45")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText()));

    const QImage sheet = QImage(folder.filePath(QStringLiteral("contact-sheet.png")))
                             .convertToFormat(QImage::Format_RGB32);
    // One frame every 5 s from 0 to 75000 ms: sixteen frames, four rows of five.
    QCOMPARE(sheet.size(), QSize(5 * 80, 4 * 45));
    const struct
    {
        int index;
        int clock;
    } samples[] = {{0, 0}, {2, 10000}, {7, 35000}, {12, 60000}, {15, 75000}};
    for (const auto &sample : samples) {
        const QRect place(sample.index % 5 * 80, sample.index / 5 * 45, 80, 45);
        QVERIFY2(sheet.copy(place) == frameAlone(sample.clock, size, cell),
                 qPrintable(QStringLiteral("cell %1").arg(sample.index)));
    }
}

void ContactSheetTest::badSheetOptionsFail_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no columns") << QStringList{"--sheet", "0"};
    QTest::newRow("columns not a number") << QStringList{"--sheet", "four"};
    QTest::newRow("too many columns") << QStringList{"--sheet", "101"};
    QTest::newRow("cell without height") << QStringList{"--sheet", "2", "--cell", "10"};
    QTest::newRow("empty cell") << QStringList{"--sheet", "2", "--cell", "0x10"};
    QTest::newRow("sheet too large")
        << QStringList{"--sheet", "100", "--cell", "16384x16384", "--clock", "0", "--size", "8x8"};
}

void ContactSheetTest::badSheetOptionsFail()
{
    QFETCH(QStringList, arguments);
    const QString output = folder.filePath(QStringLiteral("bad.png"));
    const ToolRun run = still(arguments + QStringList{QStringLiteral("--output"), output});
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.errorText().startsWith(QLatin1String("tovek2-still: ")),
             qPrintable(run.errorText()));
    QCOMPARE(run.errorText().count(QLatin1Char('\n')), 1);
    QVERIFY(!QFile::exists(output));
}

QTEST_MAIN(ContactSheetTest)
#include "contactsheettest.moc"
