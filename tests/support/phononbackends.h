#ifndef PHONONBACKENDS_H
#define PHONONBACKENDS_H

#include <QString>
#include <QStringList>

// Phonon's back-end plugins as installed and as a running process has loaded them.
namespace PhononBackEnds {

// The file of the installed back end whose name starts with prefix, in the plugin folder of
// this build's Qt: VLC's is phonon_vlc.so on Debian 12, phonon_vlc_qt5.so and phonon_vlc_qt6.so
// on Debian 13. Its base name is what PHONON_BACKEND takes.
QString installed(const QString &prefix);
// The back-end plugins the process has loaded.
QStringList loadedBy(qint64 pid);

} // namespace PhononBackEnds

#endif
