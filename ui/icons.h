#pragma once

#include <QIcon>
#include <QString>

// The desktop theme's icon of that freedesktop name when the theme has one,
// otherwise the program's own (a resource under ":ico/").
QIcon themedIcon(const QString& themeName, const QString& resource);
