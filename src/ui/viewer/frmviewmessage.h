#pragma once

#include <QWidget>

class OfflineTextBrowser;
class QPushButton;
struct Services;

// The saved copy of one message ("Mails/<n>.mal") in a window of its own, read-only, that
// loads nothing from outside the copy. Every message gets a new window; none belongs to
// another window, so each stays open, and where the user put it, until it is closed itself.
class frmViewMessage : public QWidget
{
    Q_OBJECT

public:
    explicit frmViewMessage(const Services &services);

    // Layout direction and the close button from the active pack; the title says
    // "View Message" until a message has named the window.
    void SetCaptions();
    // Shows the saved copy, in the charset its HTML declares, else as UTF-8 or Latin-1.
    void showSavedCopy(const QByteArray &savedCopy);
    void setMessageTitle(const QString &title);

    // The title of a message's window: its subject, two blanks, "from:", ": " and its sender,
    // with RFC 2047 encoded words in subject and sender decoded.
    static QString messageTitle(const Services &services, const QString &subject,
                                const QString &sender);

    // Opens the saved copy at path in a new window titled title. The window deletes itself
    // when closed, and goes with parent when parent goes first; parent owns it no further, so
    // it is neither kept above parent nor hidden with it. A copy that cannot be read is a
    // warning naming it instead, and gives no window.
    static frmViewMessage *open(const Services &services, const QString &path, const QString &title,
                                QWidget *parent);

    // One row of the history viewer's View Message: a warning naming the row's number when
    // its saved copy is missing, else the copy in a new window titled by messageTitle().
    static frmViewMessage *ViewMessage(const Services &services, const QString &path,
                                       const QString &rowNumber, const QString &subject,
                                       const QString &sender, QWidget *parent);

    OfflineTextBrowser *WebBrowser1;
    QPushButton *cmdClose;

private:
    const Services &m_services;
    QString m_messageTitle;
};
