#ifndef POINTERHIDER_H
#define POINTERHIDER_H

#include <QObject>

class QTimer;
class QWidget;

// Hides the pointer over the show once it has rested a moment, and shows it again while the
// mouse moves, as full-screen players do.
class PointerHider : public QObject
{
    Q_OBJECT

public:
    // Watches show, which the pointer is hidden over; the hider belongs to it.
    explicit PointerHider(QWidget *show);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *show;
    QTimer *rest;
};

#endif
