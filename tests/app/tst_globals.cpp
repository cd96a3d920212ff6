// The input blocker.
#include "common/testenv.h"

#include "app/globals.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

class TestGlobals : public QObject
{
    Q_OBJECT

private slots:
    void blockerSwallowsInputOnly();
    void blockerInstalledOnTheApplication();
};

void TestGlobals::blockerSwallowsInputOnly()
{
    QObject target;
    AppFilter& filter = appFilter();
    QCOMPARE(filter.parent(), nullptr);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QKeyEvent keyPress(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent keyRelease(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    for (QEvent* event : QList<QEvent*>{&press, &release, &dbl, &keyPress, &keyRelease})
        QVERIFY(filter.eventFilter(&target, event));
    QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QEvent paint(QEvent::Paint);
    QEvent timer(QEvent::Timer);
    for (QEvent* event : QList<QEvent*>{&move, &paint, &timer})
        QVERIFY(!filter.eventFilter(&target, event));
}

void TestGlobals::blockerInstalledOnTheApplication()
{
    QLineEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    qApp->installEventFilter(&appFilter());
    QTest::keyClicks(&edit, "blocked");
    QCOMPARE(edit.text(), QString());
    qApp->removeEventFilter(&appFilter());
    QTest::keyClicks(&edit, "typed");
    QCOMPARE(edit.text(), QStringLiteral("typed"));
}

QUENVAR_TEST_MAIN(TestGlobals)
#include "tst_globals.moc"
