#pragma once

#include "classify/securitylevel.h"

#include <QIcon>

// The picture of a level button: a shield in the level's colour holding as many bars as the
// level is strict (five for Very High, one for Very Low). Drawn here, at any size asked for.
QIcon levelPicture(SecurityLevel level);
