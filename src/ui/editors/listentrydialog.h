#pragma once

#include "listeditorparts.h"

#include <QDialog>

struct Services;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

// The form of the dialogs that add one entry to a list editor or change one of its rows:
// a label over the text box Text1, a second label, Add and Cancel below. Add, or Enter in
// a box, checks what was typed and closes the dialog only when it may be stored; the
// editor that opened it stores it.
class ListEntryDialog : public QDialog
{
    Q_OBJECT

public:
    ~ListEntryDialog() override;

    // Runs the dialog modal to add an entry (position -1) or to change the row at
    // `position`; true when it was accepted.
    bool execForRow(int position);

    // False: add a new entry; true: change the row EditIndex (counted from 1).
    bool EditMode = false;
    int EditIndex = 0;

    QLabel *Label1;
    QLineEdit *Text1;
    QLabel *Label2;
    QPushButton *cmdAdd;
    QPushButton *cmdCancel;

protected:
    using Caption = ListEditorParts::Caption;
    // The dialog's given name and its captions.
    struct Form
    {
        QString name;
        Caption label1;
        Caption label2; // a null key: the label keeps its text in every language
        Caption addTitle;
        Caption editTitle;
        Caption editButton;
    };
    // `list` is the opening editor's list, in which an added entry must not be found yet.
    ListEntryDialog(const Services &services, const QTreeWidget &list, const Form &form,
                    QWidget *parent);

    // Puts Add and Cancel below what the dialog laid out in `layout`, its own.
    void addButtons(QVBoxLayout &layout);
    // Fills Text1 from the row being changed.
    void showText(const QByteArray &bytes);
    // What Text1 holds, as the bytes to store: those of the row being changed while the text
    // still reads as they were shown.
    QByteArray typedText() const;
    // Warns with the caption; false, for a check to return.
    bool refuse(const char *key, const char *text) const;
    void onAdd();

    // Whether what was typed may be stored, having warned when not. Whether the list has it
    // already is checked after.
    virtual bool isTypedValid() const = 0;
    // Keeps what was typed for the editor to take.
    virtual void keepTyped() = 0;

    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyLanguage();

    const Services &m_services;
    const QTreeWidget &m_list;
    const Form m_form;
    QByteArray m_shownText;
};
