#pragma once

#include <QString>

// Questions and warnings to the user. The core never opens a message box itself:
// the real implementation lives in ui/, tests script the answers.
class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual void warning(const QString &text) = 0;
    virtual void critical(const QString &text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool question(const QString &text) = 0;
};
