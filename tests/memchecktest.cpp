// tovek2-still under valgrind's memcheck, one frame of each scene from a picture of each kind
// the loader reads: no invalid read or write and no use of an uninitialised value may happen
// in our code, nor come from memory our code left uninitialised.
#include "pcxfile.h"
#include "timeline.h"

#include <QBuffer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// One frame of each scene, small enough for the software renderer under valgrind.
const QSize kFrameSize(64, 48);
constexpr int kValgrindTimeoutMs = 400000;

struct Frame
{
    QString object;
    QString function;
    QString file;
    QString line;
};

// One error of the report. The first stack is where it happened; a second one, for an
// uninitialised value, is where that memory came from.
struct MemoryError
{
    QString kind;
    QString what;
    QVector<QVector<Frame>> stacks;
};

Frame readFrame(QXmlStreamReader &xml)
{
    Frame frame;
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (name == QLatin1String("obj"))
            frame.object = text;
        else if (name == QLatin1String("fn"))
            frame.function = text;
        else if (name == QLatin1String("file"))
            frame.file = text;
        else if (name == QLatin1String("line"))
            frame.line = text;
    }
    return frame;
}

MemoryError readError(QXmlStreamReader &xml)
{
    MemoryError error;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("stack")) {
            QVector<Frame> stack;
            while (xml.readNextStartElement())
                stack.append(readFrame(xml));
            error.stacks.append(stack);
        } else if (xml.name() == QLatin1String("kind")) {
            error.kind = xml.readElementText();
        } else if (xml.name() == QLatin1String("what") || xml.name() == QLatin1String("xwhat")) {
            error.what = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else {
            xml.skipCurrentElement();
        }
    }
    return error;
}

// The errors of the report, leaks left out. Anything after the report's root element (valgrind
// may append leak records there) is not read.
bool readReport(const QString &path, QVector<MemoryError> *errors)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("valgrindoutput"))
        return false;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("error")) {
            xml.skipCurrentElement();
            continue;
        }
        const MemoryError error = readError(xml);
        if (!error.kind.startsWith(QLatin1String("Leak_")))
            errors->append(error);
    }
    return !xml.hasError();
}

// The innermost frame that is not valgrind's own replacement of malloc and friends.
const Frame *innermost(const QVector<Frame> &stack)
{
    for (const Frame &frame : stack)
        if (!frame.object.contains(QLatin1String("vgpreload")))
            return &frame;
    return nullptr;
}

bool inProgram(const Frame *frame, const QString &program)
{
    return frame && frame->object == program;
}

QString describe(const MemoryError &error)
{
    QString text = error.kind + QStringLiteral(": ") + error.what;
    for (const QVector<Frame> &stack : error.stacks) {
        for (int i = 0; i < stack.size() && i < 8; ++i)
            text += QStringLiteral("\n    %1 (%2:%3) in %4")
                        .arg(stack[i].function, stack[i].file, stack[i].line, stack[i].object);
        text += QStringLiteral("\n    --");
    }
    return text;
}

QImage patternPicture()
{
    QImage picture(24, 20, QImage::Format_Indexed8);
    picture.setColorCount(256);
    for (int index = 0; index < 256; ++index)
        picture.setColor(index, qRgb(index, 128, 255 - index));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, (x * 11 + y * 3) % 256);
    return picture;
}

} // namespace

class MemcheckTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void framesTouchOnlyValidMemory_data();
    void framesTouchOnlyValidMemory();

private:
    QString valgrind;
};

void MemcheckTest::initTestCase()
{
    valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    QVERIFY2(!valgrind.isEmpty(), "valgrind is not installed");
}

void MemcheckTest::framesTouchOnlyValidMemory_data()
{
    QTest::addColumn<QByteArray>("picture");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    patternPicture().convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    QTest::newRow("png") << png;
    QTest::newRow("paletted") << PcxFile::fromImage(patternPicture()).bytes();
}

void MemcheckTest::framesTouchOnlyValidMemory()
{
    QFETCH(QByteArray, picture);
    QTemporaryDir folder;
    QFile round(folder.filePath(QStringLiteral("round.png")));
    QVERIFY(round.open(QIODevice::WriteOnly));
    QCOMPARE(round.write(picture), qint64(picture.size()));
    round.close();

    const QString program = QFileInfo(QStringLiteral(TOVEK2_STILL)).canonicalFilePath();
    const QString report = folder.filePath(QStringLiteral("memcheck.xml"));
    QStringList arguments = {
        QStringLiteral("--tool=memcheck"),
        QStringLiteral("--track-origins=yes"),
        QStringLiteral("--num-callers=40"),
        QStringLiteral("--error-limit=no"),
        QStringLiteral("--leak-check=no"),
        QStringLiteral("--xml=yes"),
        QStringLiteral("--xml-file=") + report,
        program,
        QStringLiteral("--size"),
        QStringLiteral("%1x%2").arg(kFrameSize.width()).arg(kFrameSize.height()),
        QStringLiteral("--output"),
        QStringLiteral("frame-%1.png")};
    for (const Timeline::Scene &scene : Timeline::kScenes)
        arguments << QStringLiteral("--clock") << QString::number(scene.startMs);

    QProcess run;
    run.setWorkingDirectory(folder.path());
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(valgrind, arguments);
    QVERIFY2(run.waitForFinished(kValgrindTimeoutMs), "valgrind did not finish");
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);
    for (const Timeline::Scene &scene : Timeline::kScenes)
        QVERIFY2(
            QImage(folder.filePath(QStringLiteral("frame-%1.png").arg(scene.startMs))).size() ==
                kFrameSize,
            scene.name);

    QVector<MemoryError> errors;
    QVERIFY2(readReport(report, &errors), "valgrind's report cannot be read");
    QStringList ours;
    for (const MemoryError &error : errors) {
        if (error.stacks.isEmpty())
            continue;
        const bool happenedInOurs = inProgram(innermost(error.stacks.first()), program);
        const bool memoryFromOurs =
            error.stacks.size() > 1 && inProgram(innermost(error.stacks.last()), program);
        if (happenedInOurs || memoryFromOurs)
            ours.append(describe(error));
    }
    QVERIFY2(ours.isEmpty(), qPrintable(ours.join(QLatin1Char('\n'))));
}

QTEST_MAIN(MemcheckTest)
#include "memchecktest.moc"
