#pragma once

#include "store/records.h"

#include <QDialog>

#include <optional>

struct Services;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// One spam expression and its value, for adding one or changing a row. The dialog checks
// what was typed and hands it back; the spam word editor stores it.
class frmAddWord : public QDialog
{
    Q_OBJECT

public:
    // `list` is the editor's list, in which an added expression must not be found yet.
    frmAddWord(const Services &services, const QTreeWidget &list, QWidget *parent = nullptr);
    ~frmAddWord() override;

    // Fills the boxes from the row being changed.
    void showWord(const SpamWord &word);
    // The expression and value typed in, once the dialog was accepted.
    const std::optional<SpamWord> &word() const { return m_word; }

    // False: add a new expression; true: change the row EditIndex (counted from 1).
    bool EditMode = false;
    int EditIndex = 0;

    QLabel *Label1;
    QLineEdit *Text1;
    QLabel *Label2;
    QLineEdit *Text2;
    QPushButton *cmdAdd;
    QPushButton *cmdCancel;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyLanguage();
    void onAdd();

    const Services &m_services;
    const QTreeWidget &m_list;
    QByteArray m_shownWord;
    std::optional<SpamWord> m_word;
};
