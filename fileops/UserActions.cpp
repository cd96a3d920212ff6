#include "fileops/UserActions.h"

#include "app/settings.h"
#include "fileops/utils.h"

std::atomic<bool> UserActions::m_actions[2 * UserActions::kActionCount];

bool UserActions::isChosen(E_UserAction action)
{
    return m_actions[2 * action].load();
}

bool UserActions::isChosenForAll(E_UserAction action)
{
    return m_actions[2 * action + 1].load();
}

void UserActions::setAction(E_UserAction action, bool chosen, bool forAll)
{
    m_actions[2 * action].store(chosen);
    m_actions[2 * action + 1].store(forAll);
}

void UserActions::select(E_UserAction action, bool forAll)
{
    setAction(action, true, forAll);
}

void UserActions::reset()
{
    for (auto& flag : m_actions)
        flag.store(false);
    CSettings::setElevated(false);
    terminateFileServer();
}

void UserActions::resetAfterSingleAction()
{
    for (E_UserAction action : {UA_REPLACE, UA_SKIP, UA_RENAME, UA_AS_ADMIN}) {
        if (!isChosenForAll(action)) {
            m_actions[2 * action].store(false);
            if (action == UA_AS_ADMIN)
                CSettings::setElevated(false);
        }
    }
}

void UserActions::resetSkip()
{
    if (!isChosenForAll(UA_SKIP))
        m_actions[2 * UA_SKIP].store(false);
}
