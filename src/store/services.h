#pragma once

#include <QString>

class ActionLog;
class Language;
class Notifier;
class Prompter;

// The outlets through which the core speaks to the user: the caption lookup, the log,
// the popup and message boxes. Created once by the program, fakes in tests.
struct Services
{
    const Language &lang;
    ActionLog &log;
    Notifier &notifier;
    Prompter &prompter;

    QString caption(const QString &key, const QString &defaultText) const;
    // The same for a key and an English default written in the code.
    QString caption(const char *key, const char *defaultText) const;

    // The program-wide error report: "Error:", a blank, the description and the failed
    // procedure in parentheses, shown in the popup and written to the log:
    // ErrorReport("disk full", "SaveHist") gives "Error: disk full(SaveHist)".
    void ErrorReport(const QString &description, const QString &procedure);
};
