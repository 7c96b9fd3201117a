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

    // Shows exactly these messages; the messages still among them stay selected.
    void setItems(const QList<ReviewItem> &items);
    void applyCaptions();

    // The messages the buttons act on: the selected ones and every one of a selected group,
    // in the order shown.
    QList<ReviewItem> selectedItems() const;

    QTreeWidget *lstReview;
    QLabel *lblEmpty;
    QLabel *lblStatus;
    QPushButton *cmdDelete;
    QPushButton *cmdKeep;
    QPushButton *cmdKeepAndAdd;
    QPushButton *cmdView;
    QPushButton *cmdClose;

private:
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
    QList<ReviewItem> m_items;
    bool m_isDeleting = false;
    bool m_isFollowingSelection = false;
};
