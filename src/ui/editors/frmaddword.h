#pragma once

#include "listentrydialog.h"
#include "store/records.h"

#include <optional>

// One spam expression and its value, for adding one or changing a row. The dialog checks
// what was typed and hands it back; the spam word editor stores it.
class frmAddWord : public ListEntryDialog
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

    QLineEdit *Text2;

private:
    bool isTypedValid() const override;
    void keepTyped() override;
    std::optional<int> typedValue() const;

    std::optional<SpamWord> m_word;
};
