#include "frmspamwords.h"

#include "engine/korvanecore.h"
#include "frmaddword.h"
#include "platform/showntext.h"

#include <QPushButton>
#include <QTreeWidget>

frmSpamWords::frmSpamWords(KorvaneCore &core, QWidget *parent)
    : ListEditorWindow(core, core.lists.BadWords, core.lists.BadWordsLoaded,
                       {QStringLiteral("frmSpamWords"),
                        {"90000", "Spam Words"},
                        QStringLiteral("ListView1"),
                        {{"20072", "Word or Expression"}, {"20073", "Value"}},
                        QStringLiteral("cmdAddWord"),
                        QStringLiteral("cmdEditWord"),
                        QStringLiteral("cmdDeleteWord")},
                       parent)
    , ListView1(m_list)
    , cmdAddWord(m_add)
    , cmdEditWord(m_edit)
    , cmdDeleteWord(m_delete)
{
    // Without an access key until the language is applied, unlike the other lists' Delete.
    cmdDeleteWord->setText(QStringLiteral("Delete"));
}

frmSpamWords::~frmSpamWords() = default;

void frmSpamWords::loadFile()
{
    m_core.listFiles.LoadBadWords();
}

bool frmSpamWords::saveFile()
{
    return m_core.listFiles.SaveBadWords();
}

void frmSpamWords::showRow(QTreeWidgetItem &row, const SpamWord &word) const
{
    row.setText(0, shownText(word.Word));
    row.setText(1, QString::number(word.Value));
    row.setData(0, wordRole, word.Word);
    row.setData(0, valueRole, int(word.Value));
}

SpamWord frmSpamWords::recordOf(const QTreeWidgetItem &row) const
{
    return SpamWord {row.data(0, wordRole).toByteArray(), qint16(row.data(0, valueRole).toInt())};
}

std::optional<SpamWord> frmSpamWords::askForEntry(const SpamWord *current, int position)
{
    frmAddWord dialog(m_core.services, *ListView1, this);
    if (current)
        dialog.showWord(*current);
    return dialog.execForRow(position) ? dialog.word() : std::nullopt;
}
