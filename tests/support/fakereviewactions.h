#pragma once

#include "engine/reviewactions.h"

#include <QList>

// Records what the review window asks for; the test ends a deletion by emitting
// deletionFinished itself.
class FakeReviewActions final : public ReviewActions
{
public:
    struct KeepCall
    {
        QList<ReviewItem> items;
        bool addSendersToFriends = false;
    };

    void deleteOnServer(const QList<ReviewItem> &items) override { deleteCalls << items; }
    void keep(const QList<ReviewItem> &items, bool addSendersToFriends) override
    {
        keepCalls << KeepCall {items, addSendersToFriends};
    }

    QList<QList<ReviewItem>> deleteCalls;
    QList<KeepCall> keepCalls;
};
