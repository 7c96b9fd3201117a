#pragma once

#include "platform/prompter.h"

class QWidget;

// Message boxes titled "Korvane": warning, critical and Yes/No question.
class MessageBoxPrompter final : public Prompter
{
public:
    explicit MessageBoxPrompter(QWidget *parent = nullptr);
    void setParent(QWidget *parent) { m_parent = parent; }

    void warning(const QString &text) override;
    void critical(const QString &text) override;
    bool question(const QString &text) override;

private:
    QWidget *m_parent;
};
