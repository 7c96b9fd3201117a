#pragma once

#include <QDialog>

class KorvaneCore;
struct SpamWord;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The spam word editor: the weighted expressions of the spam word filter. Its list is a
// working copy: Add and Edit also change BadWords at once, so a running check uses them;
// Delete waits for OK, which writes "BadWords.ini" in list order and rebuilds BadWords
// from the rows. Cancel puts BadWords back as the file holds it.
class frmSpamWords : public QDialog
{
    Q_OBJECT

public:
    frmSpamWords(KorvaneCore &core, QWidget *parent = nullptr);
    ~frmSpamWords() override;

    // Reloads the words from the file, lists them and shows the editor, not modal; an
    // editor already open is only brought to the front.
    void showEditor();
    // Reloads BadWords from the file and lists it.
    void reload();
    // Cancel, Escape and the close box: nothing is written.
    void reject() override;

    QTreeWidget *ListView1;
    QPushButton *cmdAddWord;
    QPushButton *cmdEditWord;
    QPushButton *cmdDeleteWord;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyLanguage();
    void onAdd();
    void onEdit();
    void onDelete();
    void onOk();
    void addRow(const SpamWord &word, qsizetype element);
    static void showRow(QTreeWidgetItem &row, const SpamWord &word);
    static SpamWord wordOf(const QTreeWidgetItem &row);

    KorvaneCore &m_core;
};
