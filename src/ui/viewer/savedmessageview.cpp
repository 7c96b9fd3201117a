#include "savedmessageview.h"

#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/services.h"

#include <QFile>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The bytes of a "data:[<type>][;base64],<data>" URL; nothing for any other URL.
QVariant inlineResource(const QUrl &name)
{
    if (name.scheme().compare(QStringLiteral("data"), Qt::CaseInsensitive) != 0)
        return {};
    const QByteArray url = name.toEncoded();
    const int comma = url.indexOf(',');
    if (comma < 0)
        return {};
    const QByteArray data = QByteArray::fromPercentEncoding(url.mid(comma + 1));
    const bool isBase64 = url.left(comma).toLower().endsWith(";base64");
    return isBase64 ? QByteArray::fromBase64(data) : data;
}

class OfflineDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int /*type*/, const QUrl &name) override { return inlineResource(name); }
};

} // namespace

OfflineTextBrowser::OfflineTextBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    setDocument(new OfflineDocument(this));
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant OfflineTextBrowser::loadResource(int /*type*/, const QUrl &name)
{
    return inlineResource(name);
}

SavedMessageView::SavedMessageView(const Services &services, const QString &title,
                                   const QByteArray &savedCopy, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("SavedMessageView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(services.caption("280068", "Korvane - Saved message") + QStringLiteral(": ")
                   + title);
    txtMessage = new OfflineTextBrowser;
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    // The copy is "<html>" and the message body: a plain-text body is shown as HTML too.
    txtMessage->setHtml(shownText(savedCopy));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtMessage);
    resize(720, 540);
}

SavedMessageView *SavedMessageView::open(const Services &services, const QString &path,
                                         const QString &title, QWidget *parent)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        services.prompter.warning(
            services.caption("280059", "The saved copy of this message cannot be read: %1")
                .arg(path));
        return nullptr;
    }
    auto *view = new SavedMessageView(services, title, file.readAll(), parent);
    view->show();
    return view;
}
