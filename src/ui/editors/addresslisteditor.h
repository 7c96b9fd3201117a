#pragma once

#include "store/records.h"

#include <QDialog>

class KorvaneCore;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// What the friend list editor and the blocked list editor share. The list is a working
// copy: Add and Edit also change the list in memory at once, so a running check uses them;
// Delete waits for OK, which writes the list file in row order and rebuilds the list from
// the rows. Cancel puts the list back as the file holds it.
class AddressListEditor : public QDialog
{
    Q_OBJECT

public:
    ~AddressListEditor() override;

    // Reloads the list from its file, lists it and shows the editor, not modal; an editor
    // already open is only brought to the front.
    void showEditor();
    // Reloads the list from its file and lists it.
    void reload();
    // Cancel, Escape and the close box: nothing is written.
    void reject() override;

    QPushButton *cmdOK;
    QPushButton *cmdCancel;

protected:
    struct Names
    {
        QString window;
        QString list;
        QString add;
        QString edit;
        QString remove;
    };
    AddressListEditor(KorvaneCore &core, bool forFriendList, const Names &names, QWidget *parent);

    bool eventFilter(QObject *watched, QEvent *event) override;

    QTreeWidget *m_list;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_delete;

private:
    QList<AddressPattern> &addresses();
    bool &isLoaded();
    void loadFile();
    void applyLanguage();
    void onAdd();
    void onEdit();
    void onDelete();
    void onOk();
    void addRow(const AddressPattern &address, qsizetype element);

    KorvaneCore &m_core;
    const bool m_forFriendList;
};
