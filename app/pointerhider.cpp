#include "pointerhider.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {
// How long the pointer rests before it goes.
constexpr int kRestMs = 1000;
} // namespace

PointerHider::PointerHider(QWidget *show) : QObject(show), show(show), rest(new QTimer(this))
{
    rest->setSingleShot(true);
    rest->setInterval(kRestMs);
    connect(rest, &QTimer::timeout, this, [this] { this->show->setCursor(Qt::BlankCursor); });
    // Without tracking, the show hears of the mouse only while a button is down.
    show->setMouseTracking(true);
    show->installEventFilter(this);
    rest->start();
}

bool PointerHider::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        show->unsetCursor();
        rest->start();
    }
    return QObject::eventFilter(watched, event);
}
