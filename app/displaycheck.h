#ifndef DISPLAYCHECK_H
#define DISPLAYCHECK_H

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>

// Whether the player can reach a display of a platform that Qt will try, found out before the
// application object exists: where Qt can connect to none, it ends the process with an abort.
class DisplayCheck
{
public:
    // Reads the platforms and the X display the way Qt does, from its own options on the
    // command line (-platform, -display) and from the environment.
    DisplayCheck(int argc, char **argv);

    // Empty where Qt will find a display; otherwise what is missing, in a few words.
    QString missing() const;

private:
    bool reachable(const QByteArray &platform, QStringList *reasons) const;
    bool x11DisplayOpens(QStringList *reasons) const;
    static bool waylandDisplayConnects(QStringList *reasons);

    QByteArrayList platforms;
    QByteArray x11Display;
};

#endif
