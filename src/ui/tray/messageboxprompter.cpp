#include "messageboxprompter.h"

#include <QMessageBox>

namespace {
const QString title = QStringLiteral("Korvane");
}

MessageBoxPrompter::MessageBoxPrompter(QWidget *parent)
    : m_parent(parent)
{
}

void MessageBoxPrompter::warning(const QString &text)
{
    QMessageBox::warning(m_parent, title, text);
}

void MessageBoxPrompter::critical(const QString &text)
{
    QMessageBox::critical(m_parent, title, text);
}

bool MessageBoxPrompter::question(const QString &text)
{
    return QMessageBox::question(m_parent, title, text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}
