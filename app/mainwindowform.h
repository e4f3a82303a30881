#ifndef MAINWINDOWFORM_H
#define MAINWINDOWFORM_H

class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QMainWindow;
class QPushButton;
class QVBoxLayout;
class QWidget;

// The main window's widget tree: the demo's frame above a control frame holding the two
// buttons, the seek slider's host and the position label. The widgets belong to the window.
class MainWindowForm
{
public:
    void setup(QMainWindow *window);
    void retranslate(QMainWindow *window);

    QWidget *centralWidget;
    QVBoxLayout *verticalLayout;
    QFrame *frame;
    QHBoxLayout *horizontalLayout;
    QFrame *frame_2;
    QGridLayout *gridLayout;
    QPushButton *pushButton;
    QPushButton *pushButton_2;
    QLabel *label;
    QWidget *widget;
    QHBoxLayout *horizontalLayout_2;
};

#endif
