#include "app/InstallCommands.h"

#include "app/Logger.h"
#include "app/settings.h"
#include "desktop/RegistryUtils.h"
#include "fileops/utils.h"

#include <QDebug>

bool isInstallCommand(const QString& command)
{
    return command == QLatin1String("r") || command == QLatin1String("ur") || command == QLatin1String("rc");
}

int runInstallCommand(const QString& command)
{
    if (command == QLatin1String("r")) {
        const QList<ZipFormat> formats = getListOfExtensionsToRegister();
        qDebug() << "before SetRegisteredExtensions_global";
        SetRegisteredExtensions_global(formats);
        SetRegisteredExtensions_local(formats);
        // Every user's next start associates the formats for that user; only
        // an administrator can write this.
        CSettings::setBoolValue(QStringLiteral("globalRegistered"), true, true);
    } else if (command == QLatin1String("ur")) {
        UnregisterExtensions_local();
        UnregisterExtensions_global();
        removeSettings();
        Logger::removeLogFolder();
    } else if (command == QLatin1String("rc")) {
        removeSharedDllCounter();
    }
    return 0;
}
