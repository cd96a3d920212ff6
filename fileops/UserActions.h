#pragma once

#include <atomic>

// What the user answered to a conflict or access question. Each action has two
// flags: "chosen for this item" (2a) and "holds for all further items" (2a+1).
enum E_UserAction : int
{
    UA_ASK = 0,
    UA_REPLACE = 1,
    UA_SKIP = 2,
    UA_RENAME = 3,
    UA_RENAME_EXISTING = 4,
    UA_AS_ADMIN = 5,
    UA_RETRY = 6,
    UA_CANCEL = 7,
};

class UserActions
{
public:
    UserActions() = delete;

    static constexpr int kActionCount = 8;

    static bool isChosen(E_UserAction action);
    static bool isChosenForAll(E_UserAction action);
    static void setAction(E_UserAction action, bool chosen, bool forAll);
    // Chosen for this item, and for all further items when forAll is true.
    static void select(E_UserAction action, bool forAll);

    // Clears every answer, switches elevation off and ends the elevated server.
    static void reset();
    // Clears the one-time answers Replace, Skip, Rename and As administrator
    // whose "for all" flag is not set.
    static void resetAfterSingleAction();
    // Clears Skip unless it holds for all.
    static void resetSkip();

    // Written by the GUI thread while the asking worker waits, read afterwards
    // by that worker; atomics keep those reads well defined.
    static std::atomic<bool> m_actions[2 * kActionCount];
};
