#pragma once

#include "reviewitem.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

struct Services;

// The messages awaiting the user's review, and the ids of those the user chose to keep, so
// that a kept message is never proposed again. Kept in the data folder ("Review.ini"),
// rewritten whole and atomically on every change; a file that cannot be read is moved aside
// to ".bad" like every data file. Emits changed() after every change.
//
// "Review.ini" is a byte text of blocks, every line ended by CR LF (LF alone accepted on
// reading). A block starts with its kind on a line of its own:
//   "item", then nine lines: AccountName, serverId, MailNumber (decimal), Sender, Subject,
//           SendDate, Size, the reason's caption key, and why (UTF-8);
//   "kept", then two lines: AccountName, serverId.
// Texts are written as bytes with every CR and LF made a blank. A file that ends inside a
// block, or holds an unknown kind, a MailNumber that is no number or an unknown reason key,
// is damaged: the blocks before the fault are kept.
class ReviewQueue : public QObject
{
    Q_OBJECT

public:
    ReviewQueue(const QString &dataDir, Services &services, QObject *parent = nullptr);

    void load();
    QList<ReviewItem> items() const { return m_items; }
    int count() const { return int(m_items.size()); }

    // After a check in ask mode: the account's items become exactly these (items of the
    // account no longer on the server are dropped). Items the user kept are left out.
    [[nodiscard]] bool replaceAccount(const QByteArray &accountName,
                                      const QList<ReviewItem> &items);
    // The user kept these: they leave the queue and are never proposed again.
    [[nodiscard]] bool keep(const QList<ReviewItem> &items);
    // The server deleted these: they leave the queue.
    [[nodiscard]] bool remove(const QList<ReviewItem> &items);
    bool isKept(const QByteArray &accountName, const QByteArray &serverId) const;

    QString path() const { return m_path; }

signals:
    void changed();

private:
    // Writes the file, reports a failure, and announces the change either way: the queue in
    // memory has changed and the next write carries it.
    bool saveAndAnnounce();
    void keepId(const QByteArray &accountName, const QByteArray &serverId);

    QString m_path;
    Services &m_services;
    QList<ReviewItem> m_items;
    QList<std::pair<QByteArray, QByteArray>> m_kept; // account name, server id, in file order
    // The same pairs for lookups: a first check of a large mailbox asks once per message.
    QSet<std::pair<QByteArray, QByteArray>> m_keptSet;
};
