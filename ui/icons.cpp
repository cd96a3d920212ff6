#include "ui/icons.h"

QIcon themedIcon(const QString& themeName, const QString& resource)
{
    return QIcon::fromTheme(themeName, QIcon(resource));
}
