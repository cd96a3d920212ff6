// Small helpers shared by the dialog tests: reaching the form's widgets by
// object name and reading what a combo box or the user choices hold.
#pragma once

#include "fileops/UserActions.h"

#include <QComboBox>
#include <QList>
#include <QString>
#include <QStringList>
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

inline QStringList itemTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// The recorded answers as "action:this/all" for every action with a flag set.
inline QStringList chosenAnswers()
{
    QStringList answers;
    for (int a = 0; a < UserActions::kActionCount; ++a) {
        const auto action = E_UserAction(a);
        if (UserActions::isChosen(action) || UserActions::isChosenForAll(action))
            answers << QStringLiteral("%1:%2/%3")
                           .arg(a)
                           .arg(int(UserActions::isChosen(action)))
                           .arg(int(UserActions::isChosenForAll(action)));
    }
    return answers;
}

} // namespace dialogtest
