#pragma once

#include <QTextBrowser>

// A text browser that loads nothing from outside the text: no remote image, no style sheet,
// no local file. A saved spam message must never tell its sender that it was opened, nor
// read the user's files; only pictures written into the message itself (data: URLs) show.
// Its document refuses too, since a document reads local files itself when its view
// returns nothing. Links do not open.
class OfflineTextBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit OfflineTextBrowser(QWidget *parent = nullptr);

    QVariant loadResource(int type, const QUrl &name) override;
};
