#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QElapsedTimer>

// One line on the terminal, rewritten in place, that tells how far the capture has come:
// frames done, percent, rate and time left. Says nothing when stderr is not a terminal, so
// logs and pipes stay clean.
class ProgressLine
{
public:
    explicit ProgressLine(int totalFrames);

    void update(int framesDone);
    // Shows the final count and ends the line.
    void finish(int framesDone);

private:
    void show(int framesDone);

    int totalFrames;
    bool enabled;
    QElapsedTimer clock;
    qint64 lastShownMs = -1;
};

#endif
