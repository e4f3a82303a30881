// The main window's form: its widget tree, layouts, texts and by-name wiring.
#include "mainwindowform.h"
#include "x11session.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QtTest>

namespace {

// A window with the two by-name slots the form wires, counting how often each runs.
class ProbeWindow : public QMainWindow
{
    Q_OBJECT

public:
    int playPresses = 0;
    int fullScreenPresses = 0;

public slots:
    void on_pushButton_pressed() { ++playPresses; }
    void on_pushButton_2_pressed() { ++fullScreenPresses; }
};

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void membersAreNamedChildrenOfTheirHosts_data();
    void membersAreNamedChildrenOfTheirHosts();
    void layoutsHaveTheirSpacingAndMargins_data();
    void layoutsHaveTheirSpacingAndMargins();
    void sliderHostKeepsOnlyTheStyleSideMargins();
    void framesStackWithTheDemoFrameOnTop();
    void gridPlacesButtonsSliderHostAndLabel_data();
    void gridPlacesButtonsSliderHostAndLabel();
    void widgetPropertiesAndTexts();
    void windowNameIsKeptOrDefaulted();
    void buttonsFireOnPressNotOnRelease();

private:
    ProbeWindow *window = nullptr;
    MainWindowForm form;
};

void FormTest::init()
{
    window = new ProbeWindow;
    form.setup(window);
}

void FormTest::cleanup()
{
    delete window;
    window = nullptr;
}

void FormTest::membersAreNamedChildrenOfTheirHosts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::newRow("centralWidget") << "centralWidget"
                                   << "QWidget"
                                   << "MainWindow";
    QTest::newRow("verticalLayout") << "verticalLayout"
                                    << "QVBoxLayout"
                                    << "centralWidget";
    QTest::newRow("frame") << "frame"
                           << "QFrame"
                           << "centralWidget";
    QTest::newRow("horizontalLayout") << "horizontalLayout"
                                      << "QHBoxLayout"
                                      << "frame";
    QTest::newRow("frame_2") << "frame_2"
                             << "QFrame"
                             << "centralWidget";
    QTest::newRow("gridLayout") << "gridLayout"
                                << "QGridLayout"
                                << "frame_2";
    QTest::newRow("pushButton") << "pushButton"
                                << "QPushButton"
                                << "frame_2";
    QTest::newRow("pushButton_2") << "pushButton_2"
                                  << "QPushButton"
                                  << "frame_2";
    QTest::newRow("label") << "label"
                           << "QLabel"
                           << "frame_2";
    QTest::newRow("widget") << "widget"
                            << "QWidget"
                            << "frame_2";
    QTest::newRow("horizontalLayout_2") << "horizontalLayout_2"
                                        << "QHBoxLayout"
                                        << "widget";
}

void FormTest::membersAreNamedChildrenOfTheirHosts()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    const QHash<QString, QObject *> members = {{"centralWidget", form.centralWidget},
                                               {"verticalLayout", form.verticalLayout},
                                               {"frame", form.frame},
                                               {"horizontalLayout", form.horizontalLayout},
                                               {"frame_2", form.frame_2},
                                               {"gridLayout", form.gridLayout},
                                               {"pushButton", form.pushButton},
                                               {"pushButton_2", form.pushButton_2},
                                               {"label", form.label},
                                               {"widget", form.widget},
                                               {"horizontalLayout_2", form.horizontalLayout_2}};
    QObject *member = members.value(name);
    QVERIFY(member);
    QCOMPARE(member->objectName(), name);
    QCOMPARE(QString::fromLatin1(member->metaObject()->className()), className);
    QVERIFY(member->parent());
    QCOMPARE(member->parent()->objectName(), parentName);
    QCOMPARE(window->findChild<QObject *>(name), member);
    if (auto *widget = qobject_cast<QWidget *>(member))
        QVERIFY(!widget->isWindow());
}

void FormTest::layoutsHaveTheirSpacingAndMargins_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<int>("margin");
    QTest::newRow("central widget") << "centralWidget"
                                    << "verticalLayout" << 0 << 0;
    QTest::newRow("demo frame") << "frame"
                                << "horizontalLayout" << 6 << 0;
    QTest::newRow("control frame") << "frame_2"
                                   << "gridLayout" << 6 << 11;
}

void FormTest::layoutsHaveTheirSpacingAndMargins()
{
    QFETCH(QString, host);
    QFETCH(QString, layout);
    QFETCH(int, spacing);
    QFETCH(int, margin);
    QWidget *hostWidget = window->findChild<QWidget *>(host);
    QVERIFY(hostWidget);
    QVERIFY(hostWidget->layout());
    QCOMPARE(hostWidget->layout()->objectName(), layout);
    QCOMPARE(hostWidget->layout()->spacing(), spacing);
    QCOMPARE(hostWidget->layout()->contentsMargins(), QMargins(margin, margin, margin, margin));
}

void FormTest::sliderHostKeepsOnlyTheStyleSideMargins()
{
    QCOMPARE(form.widget->layout(), form.horizontalLayout_2);
    QCOMPARE(form.horizontalLayout_2->spacing(), 6);
    const QMargins margins = form.horizontalLayout_2->contentsMargins();
    QStyle *style = form.widget->style();
    QCOMPARE(margins.left(), style->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, form.widget));
    QCOMPARE(margins.right(),
             style->pixelMetric(QStyle::PM_LayoutRightMargin, nullptr, form.widget));
    QCOMPARE(margins.top(), 0);
    QCOMPARE(margins.bottom(), 0);
    QCOMPARE(form.horizontalLayout_2->count(), 0);
    QCOMPARE(form.horizontalLayout->count(), 0);
}

void FormTest::framesStackWithTheDemoFrameOnTop()
{
    QCOMPARE(window->centralWidget(), form.centralWidget);
    QCOMPARE(form.verticalLayout->count(), 2);
    QCOMPARE(form.verticalLayout->itemAt(0)->widget(), static_cast<QWidget *>(form.frame));
    QCOMPARE(form.verticalLayout->itemAt(1)->widget(), static_cast<QWidget *>(form.frame_2));
    QCOMPARE(form.verticalLayout->stretch(0), 0);
    QCOMPARE(form.verticalLayout->stretch(1), 0);
    QCOMPARE(form.verticalLayout->itemAt(0)->alignment(), Qt::Alignment());

    // With the control frame hidden the demo frame covers the whole central widget.
    form.frame_2->setVisible(false);
    window->show();
    VERIFY_NO_PROBLEM(X11Session::exposureProblem(window));
    QTRY_COMPARE(form.frame->geometry(), form.centralWidget->rect());
}

void FormTest::gridPlacesButtonsSliderHostAndLabel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    QTest::newRow("Play/Stop") << "pushButton" << 0 << 0 << 1 << 1;
    QTest::newRow("Fullscreen") << "pushButton_2" << 0 << 1 << 1 << 1;
    QTest::newRow("slider host") << "widget" << 1 << 0 << 1 << 2;
    QTest::newRow("position") << "label" << 2 << 0 << 1 << 1;
}

void FormTest::gridPlacesButtonsSliderHostAndLabel()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    const int index = form.gridLayout->indexOf(window->findChild<QWidget *>(name));
    QVERIFY(index >= 0);
    int r = -1, c = -1, rs = -1, cs = -1;
    form.gridLayout->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({row, column, rowSpan, columnSpan}));
    QCOMPARE(form.gridLayout->itemAt(index)->alignment(), Qt::Alignment());
    QCOMPARE(form.gridLayout->itemAtPosition(2, 1), nullptr);
    QCOMPARE(form.gridLayout->count(), 4);
}

void FormTest::widgetPropertiesAndTexts()
{
    QCOMPARE(window->size(), QSize(435, 362));
    QCOMPARE(window->windowTitle(), QStringLiteral("Tovek2"));
    QCOMPARE(form.pushButton->text(), QStringLiteral("Play/Stop"));
    QCOMPARE(form.pushButton_2->text(), QStringLiteral("Fullscreen"));
    QCOMPARE(form.label->text(), QStringLiteral("0"));

    QCOMPARE(form.frame->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(form.frame->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(form.frame->sizePolicy().horizontalStretch(), 0);
    QCOMPARE(form.frame->sizePolicy().verticalStretch(), 0);
    QCOMPARE(form.frame->frameShape(), QFrame::NoFrame);
    QCOMPARE(form.frame->frameShadow(), QFrame::Plain);
    QCOMPARE(form.frame->lineWidth(), 0);
    QCOMPARE(form.frame_2->frameShape(), QFrame::StyledPanel);
    QCOMPARE(form.frame_2->frameShadow(), QFrame::Raised);
    QCOMPARE(form.widget->minimumSize(), QSize(0, 30));

    // Creation order is sibling order and so the focus order.
    const QList<QWidget *> controls =
        form.frame_2->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(controls,
             QList<QWidget *>({form.pushButton, form.pushButton_2, form.label, form.widget}));
    QVERIFY(window->menuWidget() == nullptr);
    QVERIFY(window->findChild<QStatusBar *>() == nullptr);
}

void FormTest::windowNameIsKeptOrDefaulted()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    ProbeWindow named;
    named.setObjectName(QStringLiteral("player"));
    MainWindowForm namedForm;
    namedForm.setup(&named);
    QCOMPARE(named.objectName(), QStringLiteral("player"));
}

void FormTest::buttonsFireOnPressNotOnRelease()
{
    window->show();
    VERIFY_NO_PROBLEM(X11Session::exposureProblem(window));

    QTest::mousePress(form.pushButton, Qt::LeftButton);
    QCOMPARE(window->playPresses, 1);
    QTest::mouseRelease(form.pushButton, Qt::LeftButton);
    QCOMPARE(window->playPresses, 1);
    emit form.pushButton->released();
    emit form.pushButton->clicked();
    QCOMPARE(window->playPresses, 1);
    QCOMPARE(window->fullScreenPresses, 0);

    QTest::mouseClick(form.pushButton_2, Qt::LeftButton);
    QCOMPARE(window->fullScreenPresses, 1);
    QCOMPARE(window->playPresses, 1);
}

QTEST_MAIN(FormTest)
#include "formtest.moc"
