#include "messageboxprompter.h"

#include <QApplication>
#include <QMessageBox>

namespace {
const QString title = QStringLiteral("Korvane");
}

// A box belongs to the window the user is working in, a dialog above all: owned by another
// window, it would bring that window up over the one that asked.
QWidget *MessageBoxPrompter::owner() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    return m_parent;
}

MessageBoxPrompter::MessageBoxPrompter(QWidget *parent)
    : m_parent(parent)
{
}

void MessageBoxPrompter::warning(const QString &text)
{
    QMessageBox::warning(owner(), title, text);
}

void MessageBoxPrompter::critical(const QString &text)
{
    QMessageBox::critical(owner(), title, text);
}

bool MessageBoxPrompter::question(const QString &text)
{
    return QMessageBox::question(owner(), title, text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}
