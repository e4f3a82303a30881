#include "phononbackends.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>

namespace PhononBackEnds {

QString installed(const QString &prefix)
{
    const QDir plugins(QLibraryInfo::location(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/phonon4qt5_backend"));
    const QStringList files = plugins.entryList({prefix + QStringLiteral("*.so")}, QDir::Files);
    return files.isEmpty() ? QString() : files.first();
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
