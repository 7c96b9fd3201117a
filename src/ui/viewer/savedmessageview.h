#pragma once

#include <QTextBrowser>
#include <QWidget>

struct Services;

// A text browser that loads nothing from outside the text: no remote image, no style sheet,
// no local file. A saved spam message must never tell its sender that it was opened, nor
// read the user's files; only pictures written into the message itself (data: URLs) show.
// Its document refuses too, since a document reads local files itself when its view
// returns nothing.
class OfflineTextBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit OfflineTextBrowser(QWidget *parent = nullptr);

    QVariant loadResource(int type, const QUrl &name) override;
};

// The saved copy of one message ("Mails/<n>.mal"), read-only, in its own window.
class SavedMessageView : public QWidget
{
    Q_OBJECT

public:
    SavedMessageView(const Services &services, const QString &title, const QByteArray &savedCopy,
                     QWidget *parent = nullptr);

    // Opens the saved copy at path in a new window that deletes itself when closed; a copy
    // that cannot be read is a warning instead. Nothing when there is no window.
    static SavedMessageView *open(const Services &services, const QString &path,
                                  const QString &title, QWidget *parent);

    OfflineTextBrowser *txtMessage;
};
