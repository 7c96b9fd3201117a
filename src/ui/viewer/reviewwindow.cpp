#include "reviewwindow.h"

#include "celldirectiondelegate.h"
#include "engine/reviewactions.h"
#include "frmviewmessage.h"
#include "lang/language.h"
#include "message/textformat.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "sortablerow.h"
#include "store/history.h"
#include "store/services.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A message row keeps its place in the list it was given; a group row its reason.
constexpr int itemIndexRole = Qt::UserRole;
constexpr int reasonRole = Qt::UserRole + 1;

// More saved messages than this at once are opened only when the user says so.
constexpr qsizetype manyWindows = 10;

qint64 sizeKey(const QByteArray &size)
{
    bool isNumber = false;
    const qint64 bytes = size.trimmed().toLongLong(&isNumber);
    return isNumber ? bytes : -1;
}

QString sizeText(const QByteArray &size)
{
    bool isNumber = false;
    const float bytes = size.toFloat(&isNumber);
    return isNumber ? FormatSize(bytes) : shownText(size);
}

// A date that cannot be read sorts before every readable one.
// What tells two messages apart across changes of the queue: mailbox and server id.
QByteArray idOf(const ReviewItem &item)
{
    return identityKey(item.accountIdentity) + '\n' + item.serverId;
}

QPushButton *button(const QString &name, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(name);
    return b;
}

} // namespace

ReviewWindow::ReviewWindow(const Services &services, const History &history, ReviewActions &actions,
                           QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_history(history)
    , m_actions(actions)
{
    setObjectName(QStringLiteral("ReviewWindow"));
    buildTree();
    buildButtons();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblEmpty);
    layout->addWidget(cmdShowNew);
    layout->addWidget(lstReview, 1);
    layout->addWidget(lblStatus);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdDelete);
    buttons->addWidget(cmdKeep);
    buttons->addWidget(cmdKeepAndAdd);
    buttons->addWidget(cmdView);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    layout->addLayout(buttons);

    connect(&m_actions, &ReviewActions::deletionFinished, this, &ReviewWindow::onDeletionFinished);
    buildShortcuts();
    applyCaptions();
    setItems({});
    resize(1000, 480);
}

void ReviewWindow::buildTree()
{
    lblEmpty = new QLabel;
    lblEmpty->setObjectName(QStringLiteral("lblEmpty"));
    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lstReview = new QTreeWidget;
    lstReview->setObjectName(QStringLiteral("lstReview"));
    lstReview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstReview->setColumnCount(WhyColumn + 1);
    lstReview->setSortingEnabled(true);
    lstReview->sortByColumn(AccountColumn, Qt::AscendingOrder);
    lstReview->header()->setStretchLastSection(true);
    // Addresses and subjects keep their own direction inside a right-to-left window.
    lstReview->setItemDelegate(new CellDirectionDelegate(lstReview));
    connect(lstReview->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ReviewWindow::followGroupSelection);
}

// The keys act on the selected messages as their buttons do; their tooltips name them.
void ReviewWindow::buildShortcuts()
{
    const auto key = [this](const QKeySequence &sequence, auto action) {
        auto *shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    key(QKeySequence(Qt::Key_Delete), [this] {
        if (cmdDelete->isEnabled())
            onDelete();
    });
    key(QKeySequence(Qt::Key_K), [this] { onKeep(false); });
    key(QKeySequence(Qt::Key_F), [this] { onKeep(true); });
    for (const int enter : {Qt::Key_Return, Qt::Key_Enter})
        key(QKeySequence(enter), [this] { onView(); });
}

void ReviewWindow::buildButtons()
{
    cmdShowNew = button(QStringLiteral("cmdShowNew"), QString());
    cmdShowNew->setFlat(true);
    cmdShowNew->hide();
    connect(cmdShowNew, &QPushButton::clicked, this, &ReviewWindow::showNewMessages);
    cmdDelete = button(QStringLiteral("cmdDelete"), QString());
    cmdKeep = button(QStringLiteral("cmdKeep"), QString());
    cmdKeepAndAdd = button(QStringLiteral("cmdKeepAndAdd"), QString());
    cmdView = button(QStringLiteral("cmdView"), QString());
    cmdClose = button(QStringLiteral("cmdClose"), QString());
    connect(cmdDelete, &QPushButton::clicked, this, &ReviewWindow::onDelete);
    connect(cmdKeep, &QPushButton::clicked, this, [this] { onKeep(false); });
    connect(cmdKeepAndAdd, &QPushButton::clicked, this, [this] { onKeep(true); });
    connect(cmdView, &QPushButton::clicked, this, &ReviewWindow::onView);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void ReviewWindow::applyCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_services.caption(key, text);
    };
    setLayoutDirection(m_services.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    setWindowTitle(c("280050", "Korvane - Review"));
    cmdDelete->setText(c("280051", "Delete on server"));
    cmdKeep->setText(c("280052", "Keep"));
    cmdKeepAndAdd->setText(c("280053", "Keep and add the sender to the friend list"));
    cmdView->setText(c("280054", "View message"));
    const QString keyTip = c("280076", "Key: %1");
    cmdDelete->setToolTip(
        keyTip.arg(QKeySequence(Qt::Key_Delete).toString(QKeySequence::NativeText)));
    cmdKeep->setToolTip(keyTip.arg(QStringLiteral("K")));
    cmdKeepAndAdd->setToolTip(keyTip.arg(QStringLiteral("F")));
    cmdView->setToolTip(
        keyTip.arg(QKeySequence(Qt::Key_Return).toString(QKeySequence::NativeText)));
    updateNewMessagesBar();
    cmdClose->setText(c("280055", "Close"));
    lblEmpty->setText(c("280056", "No messages await your review."));
    lstReview->setHeaderLabels({c("280060", "Account"), c("280061", "Sender"),
                                c("280062", "Subject"), c("280063", "Date"), c("280064", "Size"),
                                c("280065", "Why")});
    updateGroupCaptions();
}

namespace {

void fillRow(QTreeWidgetItem &row, const ReviewItem &item)
{
    row.setText(ReviewWindow::AccountColumn, shownText(item.AccountName));
    row.setText(ReviewWindow::SenderColumn, shownText(item.Sender));
    row.setText(ReviewWindow::SubjectColumn, shownText(item.Subject));
    row.setText(ReviewWindow::DateColumn, shownText(item.SendDate));
    row.setData(ReviewWindow::DateColumn, SortableRow::sortKeyRole, sendDateSortKey(item.SendDate));
    row.setText(ReviewWindow::SizeColumn, sizeText(item.Size));
    row.setData(ReviewWindow::SizeColumn, SortableRow::sortKeyRole, sizeKey(item.Size));
    row.setText(ReviewWindow::WhyColumn, item.why);
    row.setToolTip(ReviewWindow::WhyColumn, item.why);
}

} // namespace

void ReviewWindow::setItems(const QList<ReviewItem> &items)
{
    m_latest = items;
    if (isVisible() && lstReview->topLevelItemCount() > 0) {
        const QList<ReviewItem> waiting = updateInPlace(items);
        // With nothing left under the pointer, the new messages may as well show at once.
        if (lstReview->topLevelItemCount() > 0) {
            m_waitingCount = int(waiting.size());
            updateNewMessagesBar();
            return;
        }
    }
    rebuild(items);
}

QList<ReviewItem> ReviewWindow::updateInPlace(const QList<ReviewItem> &items)
{
    QHash<QByteArray, qsizetype> incoming;
    for (qsizetype i = 0; i < items.size(); ++i)
        incoming.insert(idOf(items.at(i)), i);
    QSet<QByteArray> shown;
    m_isFollowingSelection = true; // rows that go take only their own selection with them
    for (int g = lstReview->topLevelItemCount() - 1; g >= 0; --g) {
        QTreeWidgetItem *group = lstReview->topLevelItem(g);
        for (int m = group->childCount() - 1; m >= 0; --m) {
            QTreeWidgetItem *row = group->child(m);
            const int index = row->data(AccountColumn, itemIndexRole).toInt();
            const QByteArray id = idOf(m_items.at(index));
            const auto found = incoming.constFind(id);
            if (found == incoming.cend() || items.at(*found).reason != m_items.at(index).reason) {
                delete row;
                continue;
            }
            m_items[index] = items.at(*found);
            fillRow(*row, m_items.at(index));
            shown.insert(id);
        }
        if (group->childCount() == 0)
            delete group;
    }
    m_isFollowingSelection = false;
    QList<ReviewItem> waiting;
    for (const ReviewItem &item : items)
        if (!shown.contains(idOf(item)))
            waiting << item;
    updateGroupCaptions();
    lblEmpty->setVisible(lstReview->topLevelItemCount() == 0 && waiting.isEmpty());
    updateButtons();
    return waiting;
}

void ReviewWindow::showNewMessages()
{
    rebuild(m_latest);
}

void ReviewWindow::updateNewMessagesBar()
{
    cmdShowNew->setText(m_services.caption("280068", "%1 new messages: Show").arg(m_waitingCount));
    cmdShowNew->setVisible(m_waitingCount > 0);
}

void ReviewWindow::rebuild(const QList<ReviewItem> &items)
{
    const QList<ReviewItem> wasSelected = selectedItems();
    const bool wasEmpty = lstReview->topLevelItemCount() == 0;
    QSet<int> collapsed;
    for (int g = 0; g < lstReview->topLevelItemCount(); ++g)
        if (!lstReview->topLevelItem(g)->isExpanded())
            collapsed.insert(lstReview->topLevelItem(g)->data(AccountColumn, reasonRole).toInt());
    const int scrolled = lstReview->verticalScrollBar()->value();
    lstReview->setSortingEnabled(false);
    m_isFollowingSelection = true; // the old rows go; nothing to follow
    lstReview->clear();
    m_isFollowingSelection = false;
    m_items = items;
    m_waitingCount = 0;
    for (int i = 0; i < m_items.size(); ++i) {
        const ReviewItem &item = m_items.at(i);
        auto *row = new SortableRow(groupFor(item.reason));
        row->setData(AccountColumn, itemIndexRole, i);
        fillRow(*row, item);
    }
    updateGroupCaptions();
    lstReview->setSortingEnabled(true);
    for (int g = 0; g < lstReview->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = lstReview->topLevelItem(g);
        group->setExpanded(!collapsed.contains(group->data(AccountColumn, reasonRole).toInt()));
    }
    // Fit the columns to the first messages shown; later changes keep the user's widths.
    if (wasEmpty)
        for (int column = AccountColumn; column < WhyColumn; ++column)
            lstReview->resizeColumnToContents(column);
    QSet<QByteArray> chosenIds;
    for (const ReviewItem &item : wasSelected)
        chosenIds.insert(idOf(item));
    QItemSelection stillChosen;
    for (int g = 0; g < lstReview->topLevelItemCount(); ++g) {
        const QModelIndex group = lstReview->model()->index(g, AccountColumn);
        for (int m = 0; m < lstReview->model()->rowCount(group); ++m) {
            const QModelIndex row = lstReview->model()->index(m, AccountColumn, group);
            if (chosenIds.contains(idOf(m_items.at(row.data(itemIndexRole).toInt()))))
                stillChosen.select(row, row);
        }
    }
    lstReview->selectionModel()->select(stillChosen,
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    lstReview->verticalScrollBar()->setValue(scrolled);
    lblEmpty->setVisible(m_items.isEmpty());
    updateNewMessagesBar();
    updateButtons();
}

QTreeWidgetItem *ReviewWindow::groupFor(Reason reason)
{
    for (int g = 0; g < lstReview->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = lstReview->topLevelItem(g);
        if (group->data(AccountColumn, reasonRole).toInt() == int(reason))
            return group;
    }
    auto *group = new SortableRow(lstReview);
    group->setData(AccountColumn, reasonRole, int(reason));
    // Groups keep the order of the reasons whatever column sorts their messages.
    for (int column = AccountColumn; column <= WhyColumn; ++column)
        group->setData(column, SortableRow::sortKeyRole, int(reason));
    group->setFirstColumnSpanned(true);
    QFont bold = group->font(AccountColumn);
    bold.setBold(true);
    group->setFont(AccountColumn, bold);
    return group;
}

void ReviewWindow::updateGroupCaptions()
{
    for (int g = 0; g < lstReview->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = lstReview->topLevelItem(g);
        const Reason reason = Reason(group->data(AccountColumn, reasonRole).toInt());
        const QString caption = m_services.caption(QString::fromLatin1(keyText(reason)),
                                                   QString::fromUtf8(englishText(reason)));
        group->setText(AccountColumn,
                       QStringLiteral("%1 (%2)").arg(caption).arg(group->childCount()));
    }
}

void ReviewWindow::followGroupSelection(const QItemSelection &selected,
                                        const QItemSelection &deselected)
{
    if (m_isFollowingSelection)
        return;
    m_isFollowingSelection = true;
    const auto groupsIn = [](const QItemSelection &selection) {
        QSet<int> rows;
        for (const QModelIndex &index : selection.indexes())
            if (index.column() == AccountColumn && !index.parent().isValid())
                rows.insert(index.row());
        return rows;
    };
    QItemSelectionModel *selection = lstReview->selectionModel();
    const auto messagesOf = [this](int groupRow) {
        const QAbstractItemModel *model = lstReview->model();
        const QModelIndex group = model->index(groupRow, AccountColumn);
        const int count = model->rowCount(group);
        return count == 0 ? QItemSelection()
                          : QItemSelection(model->index(0, AccountColumn, group),
                                           model->index(count - 1, AccountColumn, group));
    };
    const QSet<int> selectedGroups = groupsIn(selected);
    for (const int row : selectedGroups)
        selection->select(messagesOf(row), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QSet<int> groupsWithDeselectedMessages;
    for (const QModelIndex &index : deselected.indexes())
        if (index.column() == AccountColumn && index.parent().isValid())
            groupsWithDeselectedMessages.insert(index.parent().row());
    // A group turned off on its own takes its messages with it; when the same change turned
    // messages off too (a plain click elsewhere), the click already said which stay.
    for (const int row : groupsIn(deselected))
        if (!groupsWithDeselectedMessages.contains(row))
            selection->select(messagesOf(row),
                              QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    // A message turned off leaves its group only partly chosen.
    for (const int row : groupsWithDeselectedMessages)
        if (!selectedGroups.contains(row))
            lstReview->topLevelItem(row)->setSelected(false);
    m_isFollowingSelection = false;
    updateButtons();
}

QList<ReviewItem> ReviewWindow::selectedItems() const
{
    QList<ReviewItem> chosen;
    for (int g = 0; g < lstReview->topLevelItemCount(); ++g) {
        const QTreeWidgetItem *group = lstReview->topLevelItem(g);
        for (int m = 0; m < group->childCount(); ++m) {
            const QTreeWidgetItem *row = group->child(m);
            if (group->isSelected() || row->isSelected())
                chosen << m_items.at(row->data(AccountColumn, itemIndexRole).toInt());
        }
    }
    return chosen;
}

void ReviewWindow::updateButtons()
{
    const bool hasSelection = lstReview->selectionModel()->hasSelection();
    cmdDelete->setEnabled(hasSelection && !m_isDeleting);
    cmdKeep->setEnabled(hasSelection);
    cmdKeepAndAdd->setEnabled(hasSelection);
    cmdView->setEnabled(hasSelection);
}

void ReviewWindow::onDelete()
{
    const QList<ReviewItem> chosen = selectedItems();
    if (chosen.isEmpty() || m_isDeleting)
        return;
    const QString question
        = m_services.caption("280057", "Delete %1 messages on the server? This cannot be undone.")
              .arg(chosen.size());
    if (!m_services.prompter.question(question))
        return;
    m_isDeleting = true;
    lblStatus->setText(
        m_services.caption("280058", "Deleting %1 messages on the server...").arg(chosen.size()));
    updateButtons();
    m_actions.deleteOnServer(chosen);
}

void ReviewWindow::onDeletionFinished(int /*deletedCount*/, const QString &report)
{
    m_isDeleting = false;
    lblStatus->setText(report);
    updateButtons();
}

void ReviewWindow::onKeep(bool addSendersToFriends)
{
    const QList<ReviewItem> chosen = selectedItems();
    if (!chosen.isEmpty())
        m_actions.keep(chosen, addSendersToFriends);
}

void ReviewWindow::onView()
{
    const QList<ReviewItem> chosen = selectedItems();
    // Each message opens its own window; a whole group at once is likely a slip.
    if (chosen.size() > manyWindows
        && !m_services.prompter.question(
            m_services.caption("280069", "Open %1 saved messages, each in its own window?")
                .arg(chosen.size())))
        return;
    for (const ReviewItem &item : chosen)
        frmViewMessage::open(m_services, m_history.mailPath(item.MailNumber),
                             frmViewMessage::messageTitle(m_services, shownText(item.Subject),
                                                          shownText(item.Sender)),
                             this);
}
