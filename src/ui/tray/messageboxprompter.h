#pragma once

#include "platform/prompter.h"

class QWidget;

// Message boxes titled "Korvane": warning, critical and Yes/No question, each owned by the
// window the user is in (the parent given here when no window of the program is active).
class MessageBoxPrompter final : public Prompter
{
public:
    explicit MessageBoxPrompter(QWidget *parent = nullptr);
    void setParent(QWidget *parent) { m_parent = parent; }

    void warning(const QString &text) override;
    void critical(const QString &text) override;
    bool question(const QString &text) override;

private:
    QWidget *owner() const;

    QWidget *m_parent;
};
