#include "app/globals.h"

#include <QApplication>
#include <QLocale>

// Each benchmark defines runBenchmark(); it runs with an application object
// (offscreen when there is no display) so that program code behaves as in use.
int runBenchmark(int argc, char** argv);

int main(int argc, char** argv)
{
    if (!hasDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initQuenvarResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return runBenchmark(argc, argv);
}
