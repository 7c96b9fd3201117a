#pragma once

#include "fakes.h"
#include "lang/language.h"
#include "store/actionlog.h"
#include "store/appsettings.h"
#include "store/services.h"
#include "tempdatadir.h"

// The user-facing services over a fresh data folder, with recording fakes.
struct ServicesBed
{
    TempDataDir dir;
    FakePrompter prompter;
    FakeNotifier notifier;
    FakeClock clock;
    AppSettings settings;
    Language lang {dir.path()};
    ActionLog log {dir.path(), settings, clock};
    Services services {lang, log, notifier, prompter};
};
