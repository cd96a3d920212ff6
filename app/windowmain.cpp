#include "app/Startup.h"
#include "app/globals.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QIcon>

#include <memory>

namespace {

int showMainWindow(const QString& archive)
{
    if (!MainWindow::getInstance()->show(archive))
        return 1;
    return QApplication::exec();
}

} // namespace

// The program with windows. "quenvar" starts it when there is a display; run
// without one, it still does what the command line asks where no window is
// needed.
int main(int argc, char** argv)
{
    installToolkitMessageFilter();
    // Commands that need no window still run on machines without a display;
    // their questions are answered as Cancel there. Such a run makes no
    // widget at all, so it starts without the window system's share of the
    // toolkit (platform, fonts, styles).
    const bool unattended = !hasDisplay();
    std::unique_ptr<QCoreApplication> application;
    if (unattended)
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    startQuenvar(unattended);
    if (!unattended) {
        QGuiApplication::setDesktopFileName(QStringLiteral("Quenvar"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":ico/Quenvar.ico")));
    }
    return runCommandLine(*application, unattended, &showMainWindow);
}
