#include "tooloptions.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {
constexpr int kMaxSide = 16384;
} // namespace

namespace ToolOptions {

bool parseSize(const QString &text, QSize *size)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).toInt();
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return false;
    *size = QSize(width, height);
    return true;
}

bool parseClock(const QString &text, int *clock)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok)
        *clock = value;
    return ok;
}

int fail(const QString &message)
{
    const QString line = QCoreApplication::applicationName() + QStringLiteral(": ") + message;
    std::fprintf(stderr, "%s\n", qPrintable(line));
    return 1;
}

} // namespace ToolOptions
