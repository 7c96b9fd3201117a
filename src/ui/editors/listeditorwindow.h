#pragma once

#include "listeditorparts.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <optional>

class KorvaneCore;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The window of the list editors: a list of Record with Add, Edit and Delete beside it, OK
// and Cancel below. The rows are a working copy: Add and Edit also change the list a check
// reads at once, so a running check uses them; Delete waits for OK, which writes the list
// file in row order and rebuilds the list from the rows. Cancel puts the list back as the
// file holds it. Enter in the list edits the last selected row, Delete deletes the
// selected ones.
//
// A template cannot carry Q_OBJECT; the editors built on it do. Its code is compiled once
// for each list's record, in its .cpp.
template<typename Record> class ListEditorWindow : public QDialog
{
public:
    ~ListEditorWindow() override;

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
    using Caption = ListEditorParts::Caption;
    // The given names of the window and its controls, with the captions only it has: its
    // title and the headers of the list's columns.
    struct Controls
    {
        QString window;
        Caption title;
        QString list;
        QList<Caption> columns;
        QString add;
        QString edit;
        QString remove;
    };
    // `records` and `isLoaded` are the list a check reads and its flag, in core.lists.
    ListEditorWindow(KorvaneCore &core, QList<Record> &records, bool &isLoaded,
                     const Controls &controls, QWidget *parent);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // What each list does its own way.
    virtual void loadFile() = 0;
    // False when the file could not be written (which has been reported).
    virtual bool saveFile() = 0;
    // Shows the record in the row and keeps what recordOf() needs in roles from recordRole.
    virtual void showRow(QTreeWidgetItem &row, const Record &record) const = 0;
    virtual Record recordOf(const QTreeWidgetItem &row) const = 0;
    // Asks for a new record when `current` is null, else for a change of *current, the
    // row at `position`; nothing when the user cancelled.
    virtual std::optional<Record> askForEntry(const Record *current, int position) = 0;

    // The first item data role a row's record may use; the ones below are the window's.
    static constexpr int recordRole = Qt::UserRole + 1;

    KorvaneCore &m_core;
    QTreeWidget *m_list;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_delete;

private:
    void applyLanguage();
    void onAdd();
    void onEdit();
    void onDelete();
    void onOk();
    void addRow(const Record &record, qsizetype element);

    QList<Record> &m_records;
    bool &m_isLoaded;
    const Caption m_title;
    const QList<Caption> m_columns;
};
