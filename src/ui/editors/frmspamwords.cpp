#include "frmspamwords.h"

#include "engine/korvanecore.h"
#include "frmaddword.h"
#include "listeditorparts.h"
#include "platform/showntext.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

using namespace ListEditorParts;

namespace {

// What a row keeps besides its two shown columns: the word's bytes as the file holds them,
// its value, and the element of BadWords it stands for. Deleted rows leave their elements
// in BadWords until OK, so a row's position is no index into BadWords.
constexpr int wordRole = Qt::UserRole;
constexpr int valueRole = Qt::UserRole + 1;
constexpr int elementRole = Qt::UserRole + 2;

} // namespace

frmSpamWords::frmSpamWords(KorvaneCore &core, QWidget *parent)
    : QDialog(parent)
    , m_core(core)
{
    setObjectName(QStringLiteral("frmSpamWords"));
    setWindowTitle(QStringLiteral("Spam Words"));
    ListView1 = namedListView(QStringLiteral("ListView1"), 2);
    ListView1->setHeaderLabels({QStringLiteral("Word or Expression"), QStringLiteral("Value")});
    ListView1->installEventFilter(this);
    cmdAddWord = namedButton(QStringLiteral("cmdAddWord"), QStringLiteral("&Add"));
    cmdEditWord = namedButton(QStringLiteral("cmdEditWord"), QStringLiteral("&Edit"));
    cmdDeleteWord = namedButton(QStringLiteral("cmdDeleteWord"), QStringLiteral("Delete"));
    cmdOK = namedButton(QStringLiteral("cmdOK"), QStringLiteral("&Ok"));
    cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    layOutListEditor(this, ListView1, {cmdAddWord, cmdEditWord, cmdDeleteWord}, cmdOK, cmdCancel);

    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, &frmSpamWords::onEdit);
    connect(cmdAddWord, &QPushButton::clicked, this, &frmSpamWords::onAdd);
    connect(cmdEditWord, &QPushButton::clicked, this, &frmSpamWords::onEdit);
    connect(cmdDeleteWord, &QPushButton::clicked, this, &frmSpamWords::onDelete);
    connect(cmdOK, &QPushButton::clicked, this, &frmSpamWords::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSpamWords::reject);
}

frmSpamWords::~frmSpamWords() = default;

void frmSpamWords::showEditor()
{
    applyLanguage();
    // Opened again while open: the rows may hold changes not yet saved, which a reload
    // would throw away.
    if (!isVisible())
        reload();
    showNormal();
    raise();
    activateWindow();
}

void frmSpamWords::reload()
{
    m_core.listFiles.LoadBadWords();
    ListView1->clear();
    const MailLists &lists = m_core.lists;
    for (qsizetype i = 0; lists.BadWordsLoaded && i < lists.BadWords.size(); ++i)
        addRow(lists.BadWords.at(i), i);
}

void frmSpamWords::addRow(const SpamWord &word, qsizetype element)
{
    auto *row = new QTreeWidgetItem(ListView1);
    showRow(*row, word);
    row->setData(0, elementRole, qlonglong(element));
}

void frmSpamWords::showRow(QTreeWidgetItem &row, const SpamWord &word)
{
    row.setText(0, shownText(word.Word));
    row.setText(1, QString::number(word.Value));
    row.setData(0, wordRole, word.Word);
    row.setData(0, valueRole, int(word.Value));
}

SpamWord frmSpamWords::wordOf(const QTreeWidgetItem &row)
{
    return SpamWord {row.data(0, wordRole).toByteArray(), qint16(row.data(0, valueRole).toInt())};
}

void frmSpamWords::onAdd()
{
    frmAddWord dialog(m_core.services, *ListView1, this);
    dialog.EditMode = false;
    if (dialog.exec() != QDialog::Accepted || !dialog.word())
        return;
    // In effect at once, like the list a check reads.
    m_core.lists.BadWords.append(*dialog.word());
    m_core.lists.BadWordsLoaded = true;
    addRow(*dialog.word(), m_core.lists.BadWords.size() - 1);
}

void frmSpamWords::onEdit()
{
    const int position = lastSelectedRow(*ListView1);
    if (position < 0)
        return;
    QTreeWidgetItem *row = ListView1->topLevelItem(position);
    frmAddWord dialog(m_core.services, *ListView1, this);
    dialog.EditMode = true;
    dialog.EditIndex = position + 1;
    dialog.showWord(wordOf(*row));
    if (dialog.exec() != QDialog::Accepted || !dialog.word())
        return;
    showRow(*row, *dialog.word());
    const qsizetype element = row->data(0, elementRole).toLongLong();
    if (element >= 0 && element < m_core.lists.BadWords.size())
        m_core.lists.BadWords[element] = *dialog.word();
}

void frmSpamWords::onDelete()
{
    for (int position : selectedRowsLastFirst(*ListView1))
        delete ListView1->takeTopLevelItem(position);
}

void frmSpamWords::onOk()
{
    QList<SpamWord> words;
    for (int position = 0; position < ListView1->topLevelItemCount(); ++position)
        words << wordOf(*ListView1->topLevelItem(position));
    m_core.lists.BadWords = words;
    m_core.lists.BadWordsLoaded = !words.isEmpty();
    // A file that could not be written has been reported; the editor stays open, so the
    // words typed are not lost and OK can be tried again.
    if (!m_core.listFiles.SaveBadWords())
        return;
    accept();
}

void frmSpamWords::reject()
{
    // The list a check reads goes back to the file: Add and Edit changed it at once.
    m_core.lists.BadWords.clear();
    m_core.lists.BadWordsLoaded = false;
    m_core.listFiles.LoadBadWords();
    QDialog::reject();
}

bool frmSpamWords::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            onEdit();
            return true;
        }
        if (key == Qt::Key_Delete) {
            onDelete();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSpamWords::applyLanguage()
{
    setLayoutDirection(m_core.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (m_core.lang.LanguageFailed)
        return;
    const auto c = [this](const char *key, const char *text) {
        return m_core.services.caption(key, text);
    };
    setWindowTitle(c("90000", "Spam Words"));
    cmdEditWord->setText(c("70017", "&Edit"));
    cmdAddWord->setText(c("10005", "&Add"));
    cmdOK->setText(c("10001", "&Ok"));
    cmdCancel->setText(c("10002", "&Cancel"));
    cmdDeleteWord->setText(c("10006", "&Delete"));
    ListView1->setHeaderLabels({c("20072", "Word or Expression"), c("20073", "Value")});
}
