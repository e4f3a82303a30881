#ifndef IDLEINHIBITOR_H
#define IDLEINHIBITOR_H

#include <QObject>
#include <QString>

class QDBusMessage;
struct _XDisplay;

// Holds the desktop's idle off (screen saver, blanking) while asked to, through whatever the
// session offers: the desktop portal (GNOME, sandboxes), the freedesktop screen saver service
// (KDE), or the X server's screen saver extension. Where nothing answers it does nothing.
class IdleInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit IdleInhibitor(QObject *parent = nullptr);
    // Releases a hold that is still on, waiting for the desktop to hear it.
    ~IdleInhibitor() override;

    void setInhibited(bool inhibited);

private:
    enum class Hold
    {
        Nothing,
        Portal,
        ScreenSaver,
        X11
    };

    void askPortal();
    void askScreenSaver();
    void suspendX11ScreenSaver();
    // Keeps the hold that came, or lets it go at once when it is no longer wanted.
    void held(Hold kind);
    void release(bool waitForTheDesktop);
    // Sends request on the session bus and calls reply with the answer, on this thread, once
    // it comes.
    template <typename Reply> void ask(const QDBusMessage &request, Reply reply);

    bool wanted = false;
    bool asking = false;
    Hold hold = Hold::Nothing;
    QString portalRequest;
    uint screenSaverCookie = 0;
    _XDisplay *x11 = nullptr;
};

#endif
