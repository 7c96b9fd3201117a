#pragma once

#include "engine/korvanecore.h"
#include "fakes.h"
#include "platform/cregister.h"
#include "tempdatadir.h"

#include <memory>

// A KorvaneCore over a fresh data folder, a private settings store and recording fakes.
struct CoreTestbed
{
    CoreTestbed();

    TempDataDir dir;
    FakePrompter prompter;
    FakeNotifier notifier;
    FakeClock clock;
    FakeTray tray;
    std::unique_ptr<CRegister> registry;
    std::unique_ptr<KorvaneCore> core;

    QString settingsPath() const { return dir.file(QStringLiteral("config/Korvane 3.2.conf")); }
    QString autostartPath() const
    {
        return dir.file(QStringLiteral("config/autostart/Korvane.desktop"));
    }
};
