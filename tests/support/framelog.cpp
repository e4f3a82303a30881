#include "framelog.h"
#include "sceneframe.h"

#include <QFile>

#include <cmath>

namespace {

const SceneFrame *const kSceneFrames[] = {&SceneFrame::crossedPlanes, &SceneFrame::swarm,
                                          &SceneFrame::tumblingSwarm, &SceneFrame::wave,
                                          &SceneFrame::grid,          &SceneFrame::ring};

// The clock whose first time rotation, in the scene of that band, is angle; -1 when none is.
int clockOf(float red, float green, float blue, float angle)
{
    for (const SceneFrame *frame : kSceneFrames) {
        if (frame->band.red != red || frame->band.green != green || frame->band.blue != blue)
            continue;
        const double rate = frame->rotations[0].degreesPerMs;
        const int clock = int(std::lround(angle / rate));
        if (static_cast<float>(clock * rate) == angle)
            return clock;
    }
    return -1;
}

} // namespace

void FrameLog::attach(QProcessEnvironment *environment) const
{
    // A sanitized run preloads a library of its own, which stays.
    const QString preloaded = environment->value(QStringLiteral("LD_PRELOAD"));
    environment->insert(
        QStringLiteral("LD_PRELOAD"),
        (preloaded + QLatin1Char(' ') + QStringLiteral(TOVEK2_FRAME_SPY)).trimmed());
    environment->insert(QStringLiteral("TOVEK2_FRAME_LOG"), path);
}

bool FrameLog::clocks(QVector<int> *clocks, QString *error) const
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no frame log: ") + log.errorString();
        return false;
    }
    clocks->clear();
    while (!log.atEnd()) {
        const QByteArray line = log.readLine().trimmed();
        const QList<QByteArray> fields = line.split(' ');
        const int clock = fields.size() == 4 ? clockOf(fields[0].toFloat(), fields[1].toFloat(),
                                                       fields[2].toFloat(), fields[3].toFloat())
                                             : -1;
        if (clock < 0) {
            *error = QStringLiteral("frame %1 fits no scene: %2")
                         .arg(clocks->size())
                         .arg(QString::fromLatin1(line));
            return false;
        }
        clocks->append(clock);
    }
    return true;
}
