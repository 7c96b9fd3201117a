#pragma once

#include "engine/korvanecore.h"

// The settings and rules of every end-to-end check: deletions at once, one blocked domain
// and one spam word.
inline void applyE2eRules(KorvaneCore &core)
{
    // The checks expect today's deletions; ask mode switches it back on.
    core.settings.AskBeforeDel = false;
    core.lists.BlockedList = {"*@spam.test"};
    core.lists.BlockedListLoaded = true;
    core.lists.BadWords = {{"casino", 300}};
    core.lists.BadWordsLoaded = true;
}
