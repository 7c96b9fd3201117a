#pragma once

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/prompter.h"
#include "platform/trayhost.h"

#include <QList>
#include <QString>
#include <QStringList>

// Records every box; question() answers from a script (No when the script is empty).
class FakePrompter final : public Prompter
{
public:
    void warning(const QString &text) override { warnings << text; }
    void critical(const QString &text) override { criticals << text; }
    bool question(const QString &text) override
    {
        questions << text;
        return answers.isEmpty() ? false : answers.takeFirst();
    }

    QStringList warnings;
    QStringList criticals;
    QStringList questions;
    QList<bool> answers;
};

class FakeNotifier final : public Notifier
{
public:
    void ShowTrayWindow(const QString &text) override { popups << text; }
    QStringList popups;
};

class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return current; }
    QDate utcToday() const override { return current.toUTC().date(); }
    QDateTime current {QDate(2026, 3, 14), QTime(9, 5, 7)};
};

class FakeTray final : public TrayHost
{
public:
    void AddTrayIcon() override { events << QStringLiteral("add"); }
    void SetTrayIcon(int n) override { events << QStringLiteral("set %1").arg(n); }
    void RemoveTrayIcon() override { events << QStringLiteral("remove"); }
    QStringList events;
};
