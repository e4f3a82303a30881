#include "frametrace.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtMath>

namespace {

constexpr int kProcessTimeoutMs = 120000;

bool runTool(const QString &folder, const QString &program, const QStringList &arguments,
             QByteArray *output, QString *error)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(kProcessTimeoutMs) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") +
                 QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return false;
    }
    *output = process.readAllStandardOutput();
    return true;
}

QString valueOf(const QString &argument)
{
    const int equals = argument.indexOf(QLatin1String(" = "));
    return equals < 0 ? argument : argument.mid(equals + 3);
}

// Splits "a = 1, b = {2, 3}, c = \"x, y\"" at the commas that separate arguments; returns
// false when the closing parenthesis is missing.
bool splitArguments(const QString &line, int from, QStringList *arguments)
{
    int depth = 0;
    bool inString = false;
    QString current;
    for (int pos = from; pos < line.size(); ++pos) {
        const QChar c = line.at(pos);
        if (inString) {
            current += c;
            if (c == QLatin1Char('\\') && pos + 1 < line.size())
                current += line.at(++pos);
            else if (c == QLatin1Char('"'))
                inString = false;
            continue;
        }
        if (depth == 0 && c == QLatin1Char(')')) {
            if (!current.trimmed().isEmpty())
                arguments->append(current.trimmed());
            return true;
        }
        if (depth == 0 && c == QLatin1Char(',')) {
            arguments->append(current.trimmed());
            current.clear();
            continue;
        }
        if (c == QLatin1Char('"'))
            inString = true;
        else if (c == QLatin1Char('(') || c == QLatin1Char('{') || c == QLatin1Char('['))
            ++depth;
        else if (c == QLatin1Char(')') || c == QLatin1Char('}') || c == QLatin1Char(']'))
            --depth;
        current += c;
    }
    return false;
}

// Calls that Qt and the still renderer make around a repaint; the scenes make none of them
// (they never bind a texture or a framebuffer and query nothing).
bool isHousekeeping(const QString &name)
{
    return name.startsWith(QLatin1String("glX")) || name.startsWith(QLatin1String("glGet")) ||
           name.contains(QLatin1String("Framebuffer")) ||
           name.contains(QLatin1String("Renderbuffer")) || name == QLatin1String("glBindTexture") ||
           name == QLatin1String("glReadBuffer") || name.startsWith(QLatin1String("glDrawBuffer"));
}

} // namespace

namespace FrameTrace {

bool parseLine(const QString &line, GlCall *call)
{
    static const QRegularExpression head(QStringLiteral("^\\d+ (\\w+)\\("));
    const QRegularExpressionMatch match = head.match(line);
    if (!match.hasMatch())
        return false;
    QStringList arguments;
    if (!splitArguments(line, match.capturedEnd(), &arguments))
        return false;
    call->name = match.captured(1);
    call->args.clear();
    call->numbers.clear();
    for (const QString &argument : arguments) {
        const QString value = valueOf(argument);
        bool ok = false;
        const double number = value.toDouble(&ok);
        call->args.append(value);
        call->numbers.append(ok ? number : qQNaN());
    }
    return true;
}

bool cutFrame(const QVector<GlCall> &trace, QVector<GlCall> *frame, QString *error)
{
    int start = -1;
    for (int i = 0; i < trace.size(); ++i) {
        const bool opensRun = i == 0 || isHousekeeping(trace.at(i - 1).name);
        if (!opensRun || trace.at(i).name != QLatin1String("glClearColor"))
            continue;
        if (start >= 0) {
            *error = QStringLiteral("the trace holds more than one frame");
            return false;
        }
        start = i;
    }
    if (start < 0) {
        *error = QStringLiteral("no run of drawing calls in the trace opens with glClearColor");
        return false;
    }
    int end = start;
    while (end < trace.size() && !isHousekeeping(trace.at(end).name))
        ++end;
    *frame = trace.mid(start, end - start);
    return true;
}

bool record(const QString &folder, int clock, const QSize &size, QVector<GlCall> *frame,
            QString *error)
{
    const QString name = QStringLiteral("frame%1").arg(clock);
    const QString traceFile = QDir(folder).filePath(name + QStringLiteral(".trace"));
    QFile::remove(traceFile);
    QByteArray ignored;
    const QStringList still = {QStringLiteral(TOVEK2_STILL),
                               QStringLiteral("--clock"),
                               QString::number(clock),
                               QStringLiteral("--size"),
                               QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                               QStringLiteral("--output"),
                               name + QStringLiteral(".png")};
    if (!runTool(folder, QStringLiteral("apitrace"),
                 QStringList{QStringLiteral("trace"), QStringLiteral("--api"), QStringLiteral("gl"),
                             QStringLiteral("-o"), traceFile} +
                     still,
                 &ignored, error))
        return false;
    QByteArray dump;
    if (!runTool(folder, QStringLiteral("apitrace"),
                 {QStringLiteral("dump"), QStringLiteral("--color=never"),
                  QStringLiteral("--multiline=no"), traceFile},
                 &dump, error))
        return false;
    QVector<GlCall> trace;
    for (const QByteArray &line : dump.split('\n')) {
        GlCall call;
        if (parseLine(QString::fromUtf8(line), &call))
            trace.append(call);
    }
    return cutFrame(trace, frame, error);
}

} // namespace FrameTrace
