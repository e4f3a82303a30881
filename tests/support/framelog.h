#ifndef FRAMELOG_H
#define FRAMELOG_H

#include <QProcessEnvironment>
#include <QString>
#include <QVector>

// The frames a player drew, as the frame spy preloaded into it logs them: each frame's clock,
// worked out from its band colour and its first time rotation.
class FrameLog
{
public:
    explicit FrameLog(const QString &path) : path(path) {}

    // Preloads the spy into a player started with environment, logging to this log.
    void attach(QProcessEnvironment *environment) const;
    // Each logged frame's clock, in order; false, with the reason, for a frame whose band and
    // turn fit no scene at a whole millisecond.
    bool clocks(QVector<int> *clocks, QString *error) const;

private:
    QString path;
};

#endif
