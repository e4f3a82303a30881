#include "phononbackends.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>

namespace PhononBackEnds {

QString installed(const QString &prefix)
{
    for (const QString &path : QCoreApplication::libraryPaths()) {
        const QDir plugins(path + QStringLiteral("/" TOVEK2_PHONON_PLUGINS));
        const QStringList files = plugins.entryList({prefix + QStringLiteral("*.so")}, QDir::Files);
        if (!files.isEmpty())
            return files.first();
    }
    return QString();
}

QStringList loadedBy(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList loaded;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString plugin = QFileInfo(QString::fromLocal8Bit(line.trimmed())).fileName();
        if (plugin.startsWith(QLatin1String("phonon_")) && !loaded.contains(plugin))
            loaded << plugin;
    }
    return loaded;
}

} // namespace PhononBackEnds
