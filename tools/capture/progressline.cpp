#include "progressline.h"

#include <QString>

#include <cstdio>
#include <unistd.h>

namespace {

// Often enough to look alive, rarely enough to cost nothing.
constexpr qint64 kRefreshMs = 250;

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressLine::ProgressLine(int totalFrames)
    : totalFrames(totalFrames), enabled(isatty(STDERR_FILENO))
{
    clock.start();
}

void ProgressLine::update(int framesDone)
{
    if (enabled && (lastShownMs < 0 || clock.elapsed() - lastShownMs >= kRefreshMs))
        show(framesDone);
}

void ProgressLine::finish(int framesDone)
{
    if (!enabled)
        return;
    show(framesDone);
    std::fputc('\n', stderr);
}

void ProgressLine::show(int framesDone)
{
    lastShownMs = clock.elapsed();
    const double seconds = lastShownMs / 1000.0;
    const double rate = seconds > 0 ? framesDone / seconds : 0;
    const QString left = rate > 0 ? minutesAndSeconds(qRound64((totalFrames - framesDone) / rate))
                                  : QStringLiteral("--:--");
    const QString line = QStringLiteral("%1/%2 frames  %3%  %4 frames/s  %5 left")
                             .arg(framesDone)
                             .arg(totalFrames)
                             .arg(100.0 * framesDone / totalFrames, 0, 'f', 1)
                             .arg(rate, 0, 'f', 1)
                             .arg(left);
    // "\033[K" clears what a longer earlier line left behind.
    std::fprintf(stderr, "\r%s\033[K", qPrintable(line));
    std::fflush(stderr);
}
