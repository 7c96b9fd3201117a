#pragma once

#include "listeditorwindow.h"
#include "store/records.h"

// The spam word editor: the weighted expressions of the spam word filter, BadWords, written
// to "BadWords.ini" on OK and asked for with frmAddWord.
class frmSpamWords : public ListEditorWindow<SpamWord>
{
    Q_OBJECT

public:
    frmSpamWords(KorvaneCore &core, QWidget *parent = nullptr);
    ~frmSpamWords() override;

    QTreeWidget *ListView1;
    QPushButton *cmdAddWord;
    QPushButton *cmdEditWord;
    QPushButton *cmdDeleteWord;

private:
    void loadFile() override;
    bool saveFile() override;
    void showRow(QTreeWidgetItem &row, const SpamWord &word) const override;
    SpamWord recordOf(const QTreeWidgetItem &row) const override;
    std::optional<SpamWord> askForEntry(const SpamWord *current, int position) override;

    // What a row keeps besides its two shown columns: the word's bytes as the file holds
    // them, and its value.
    static constexpr int wordRole = recordRole;
    static constexpr int valueRole = recordRole + 1;
};
