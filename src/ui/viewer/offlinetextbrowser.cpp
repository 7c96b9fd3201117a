#include "offlinetextbrowser.h"

#include <QTextDocument>
#include <QUrl>

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
