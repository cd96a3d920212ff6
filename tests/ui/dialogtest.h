#pragma once

#include <QWidget>

namespace dialogtest {

// The named widget of the dialog; a missing one ends the test run, since
// every later step would act on nothing.
template <typename T>
T* child(QWidget* parent, const char* name)
{
    T* widget = parent->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

} // namespace dialogtest
