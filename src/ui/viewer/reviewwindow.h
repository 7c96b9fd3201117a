#pragma once

#include "store/reviewitem.h"

#include <QList>
#include <QWidget>

class History;
class QItemSelection;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class ReviewActions;
struct Services;

// The messages that wait on the server for the user's decision, one group per reason, with
// what the user can do about them. Non-modal: checks go on while it is open, and it only
// asks the engine through ReviewActions, whose work reports back through its signals.
class ReviewWindow : public QWidget
{
    Q_OBJECT

public:
    // The columns of lstReview; a group row spans them all with its reason and count.
    enum Column { AccountColumn, SenderColumn, SubjectColumn, DateColumn, SizeColumn, WhyColumn };

    ReviewWindow(const Services &services, const History &history, ReviewActions &actions,
                 QWidget *parent = nullptr);

    // The messages awaiting review now. A window the user sees changes under the pointer only
    // where it must: messages gone leave their rows, changed ones are updated in place, and
    // new ones wait behind cmdShowNew ("N new messages: Show") until the user asks for them.
    // A hidden or empty window shows them all at once. Selection, collapsed groups and the
    // scroll position stay as the user left them.
    void setItems(const QList<ReviewItem> &items);
    void applyCaptions();

    // The messages the buttons act on: the selected ones and every one of a selected group,
    // in the order shown.
    QList<ReviewItem> selectedItems() const;

    QPushButton *cmdShowNew;
    QTreeWidget *lstReview;
    QLabel *lblEmpty;
    QLabel *lblStatus;
    QPushButton *cmdDelete;
    QPushButton *cmdKeep;
    QPushButton *cmdKeepAndAdd;
    QPushButton *cmdView;
    QPushButton *cmdClose;

private:
    // Shows exactly these messages, keeping what the user chose and collapsed.
    void rebuild(const QList<ReviewItem> &items);
    // Takes the rows of messages no longer awaiting review out and updates the others;
    // gives the messages not shown yet.
    QList<ReviewItem> updateInPlace(const QList<ReviewItem> &items);
    void showNewMessages();
    void updateNewMessagesBar();
    void buildShortcuts();
    void buildTree();
    void buildButtons();
    QTreeWidgetItem *groupFor(Reason reason);
    void updateGroupCaptions();
    // A group selects and deselects its messages with it; a message taken out of a selected
    // group takes the group's selection away, so that what is shown is what is acted on.
    void followGroupSelection(const QItemSelection &selected, const QItemSelection &deselected);
    void updateButtons();
    void onDelete();
    void onKeep(bool addSendersToFriends);
    void onView();
    void onDeletionFinished(int deletedCount, const QString &report);

    const Services &m_services;
    const History &m_history;
    ReviewActions &m_actions;
    QList<ReviewItem> m_items; // indexed by the rows' itemIndexRole; rows gone leave theirs
    QList<ReviewItem> m_latest; // every message awaiting review, as last given
    int m_waitingCount = 0; // of m_latest, not shown yet
    bool m_isDeleting = false;
    bool m_isFollowingSelection = false;
};
