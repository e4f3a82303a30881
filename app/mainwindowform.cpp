#include "mainwindowform.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kSpacing = 6;
constexpr int kPanelMargin = 11;
// -1 asks the style for its default margin on that side.
constexpr int kStyleMargin = -1;

void setSpacingAndMargins(QLayout *layout, int spacing, int margin)
{
    layout->setSpacing(spacing);
    layout->setContentsMargins(margin, margin, margin, margin);
}

} // namespace

void MainWindowForm::setup(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(435, 362);

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    verticalLayout = new QVBoxLayout(centralWidget);
    setSpacingAndMargins(verticalLayout, 0, 0);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    frame = new QFrame(centralWidget);
    frame->setObjectName(QStringLiteral("frame"));
    QSizePolicy expanding(QSizePolicy::Expanding, QSizePolicy::Expanding);
    expanding.setHorizontalStretch(0);
    expanding.setVerticalStretch(0);
    expanding.setHeightForWidth(frame->sizePolicy().hasHeightForWidth());
    frame->setSizePolicy(expanding);
    frame->setFrameShape(QFrame::NoFrame);
    frame->setFrameShadow(QFrame::Plain);
    frame->setLineWidth(0);
    horizontalLayout = new QHBoxLayout(frame);
    setSpacingAndMargins(horizontalLayout, kSpacing, 0);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    verticalLayout->addWidget(frame);

    frame_2 = new QFrame(centralWidget);
    frame_2->setObjectName(QStringLiteral("frame_2"));
    frame_2->setFrameShape(QFrame::StyledPanel);
    frame_2->setFrameShadow(QFrame::Raised);
    gridLayout = new QGridLayout(frame_2);
    setSpacingAndMargins(gridLayout, kSpacing, kPanelMargin);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));

    pushButton = new QPushButton(frame_2);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    gridLayout->addWidget(pushButton, 0, 0, 1, 1);
    pushButton_2 = new QPushButton(frame_2);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    gridLayout->addWidget(pushButton_2, 0, 1, 1, 1);
    label = new QLabel(frame_2);
    label->setObjectName(QStringLiteral("label"));
    gridLayout->addWidget(label, 2, 0, 1, 1);

    widget = new QWidget(frame_2);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setMinimumSize(QSize(0, 30));
    horizontalLayout_2 = new QHBoxLayout(widget);
    setSpacingAndMargins(horizontalLayout_2, kSpacing, kPanelMargin);
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    // The slider's host keeps the style's side margins but no room above or below.
    horizontalLayout_2->setContentsMargins(kStyleMargin, 0, kStyleMargin, 0);
    gridLayout->addWidget(widget, 1, 0, 1, 2);

    verticalLayout->addWidget(frame_2);
    window->setCentralWidget(centralWidget);

    retranslate(window);
    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslate(QMainWindow *window)
{
    window->setWindowTitle(QCoreApplication::translate("MainWindow", "Tovek2", nullptr));
    pushButton->setText(QCoreApplication::translate("MainWindow", "Play/Stop", nullptr));
    pushButton_2->setText(QCoreApplication::translate("MainWindow", "Fullscreen", nullptr));
    label->setText(QCoreApplication::translate("MainWindow", "0", nullptr));
}
