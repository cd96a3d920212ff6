#include "app/Startup.h"
#include "app/globals.h"
#include "app/settings.h"
#include "fileops/FileNameCodec.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace {

// The program with windows is a file of its own, so that a run without a
// display maps none of the window system's libraries: starting them costs
// more than a small archive takes to extract. Next to this file in a build
// folder, at its installed place otherwise.
QByteArray windowProgram()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return QByteArrayLiteral(QUENVAR_WINDOW_PROGRAM_INSTALLED);
    QByteArray folder(self, int(length));
    folder.truncate(folder.lastIndexOf('/') + 1);
    const QByteArray sibling = folder + QUENVAR_WINDOW_PROGRAM_NAME;
    if (access(sibling.constData(), X_OK) == 0)
        return sibling;
    return folder + QUENVAR_WINDOW_PROGRAM_FROM_BINDIR;
}

int windowProgramMissing(int argc, char** argv, const QByteArray& program, int error)
{
    QCoreApplication app(argc, argv);
    installFileNameCodec();
    installLanguage(static_cast<QLocale::Language>(CSettings::getIntValue(QStringLiteral("DefaultLanguage"))));
    printToStandardError(QCoreApplication::translate("main", "quenvar: cannot start %1: %2")
                             .arg(QFile::decodeName(program), systemErrorText(error)));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (hasDisplay()) {
        // The same process goes on as the program with windows: its id,
        // arguments and environment stay.
        const QByteArray program = windowProgram();
        execv(program.constData(), argv);
        return windowProgramMissing(argc, argv, program, errno);
    }
    installToolkitMessageFilter();
    QCoreApplication app(argc, argv);
    startQuenvar(true);
    return runCommandLine(app, true, nullptr);
}
