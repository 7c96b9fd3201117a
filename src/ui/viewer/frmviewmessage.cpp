#include "frmviewmessage.h"

#include "lang/language.h"
#include "offlinetextbrowser.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/services.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <cctype>
#include <optional>

namespace {

// The text of an encoded word "=?charset?encoding?text?=" (RFC 2047 §4); nothing for a
// charset Qt does not know or a text that is not valid in its encoding.
std::optional<QString> decodedWord(const QString &charset, QChar encoding, const QString &text)
{
    // RFC 2231 lets a language follow the charset: "utf-8*en".
    QStringDecoder decoder(charset.section(u'*', 0, 0).toLatin1().constData());
    if (!decoder.isValid())
        return std::nullopt;
    const QByteArray encoded = text.toLatin1();
    QByteArray bytes;
    if (encoding.toUpper() == u'B') {
        auto result
            = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
        if (!result)
            return std::nullopt;
        bytes = std::move(*result);
    } else {
        // Q: "_" is a blank, "=XX" a byte in hex.
        for (qsizetype i = 0; i < encoded.size(); ++i) {
            const char c = encoded.at(i);
            if (c == '_') {
                bytes += ' ';
            } else if (c == '=') {
                const QByteArray hex = encoded.mid(i + 1, 2);
                if (hex.size() != 2 || !isxdigit(uchar(hex[0])) || !isxdigit(uchar(hex[1])))
                    return std::nullopt;
                bytes += QByteArray::fromHex(hex);
                i += 2;
            } else {
                bytes += c;
            }
        }
    }
    return decoder.decode(bytes);
}

// A header as a person reads it: every encoded word in its own charset. The blanks between
// two encoded words belong to neither and go (RFC 2047 §6.2); a broken word stays as it is.
QString decodedHeader(const QString &header)
{
    static const QRegularExpression encodedWord(
        QStringLiteral(R"(=\?([^?\s]+)\?([BbQq])\?([^?\s]*)\?=)"));
    QString out;
    qsizetype end = 0;
    bool followsDecodedWord = false;
    QRegularExpressionMatchIterator words = encodedWord.globalMatch(header);
    while (words.hasNext()) {
        const QRegularExpressionMatch word = words.next();
        const QString between = header.mid(end, word.capturedStart() - end);
        const std::optional<QString> text
            = decodedWord(word.captured(1), word.captured(2).at(0), word.captured(3));
        if (!(text && followsDecodedWord && between.trimmed().isEmpty()))
            out += between;
        out += text ? *text : word.captured(0);
        followsDecodedWord = text.has_value();
        end = word.capturedEnd();
    }
    return out + header.mid(end);
}

// The saved copy is "<html>" and the message body as it came: an HTML body says its charset
// in a meta tag; any other is UTF-8 when valid, else Latin-1, as every shown text.
QString decodedCopy(const QByteArray &savedCopy)
{
    QStringDecoder declared = QStringDecoder::decoderForHtml(savedCopy);
    if (declared.isValid() && qstrcmp(declared.name(), "UTF-8") != 0)
        return declared.decode(savedCopy);
    return shownText(savedCopy);
}

} // namespace

frmViewMessage::frmViewMessage(const Services &services)
    : QWidget(nullptr, Qt::Window)
    , m_services(services)
{
    setObjectName(QStringLiteral("frmViewMessage"));
    setAttribute(Qt::WA_DeleteOnClose);
    WebBrowser1 = new OfflineTextBrowser;
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    cmdClose = new QPushButton(QStringLiteral("&Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(WebBrowser1, 1);
    layout->addLayout(buttons);
    resize(720, 540);
    SetCaptions();
}

void frmViewMessage::SetCaptions()
{
    setLayoutDirection(m_services.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    // Without the list of packs a window keeps its built-in texts.
    if (m_services.lang.LanguageFailed) {
        setWindowTitle(m_messageTitle);
        return;
    }
    cmdClose->setText(m_services.caption("280200", "&Close"));
    setWindowTitle(m_messageTitle.isEmpty() ? m_services.caption("130000", "View Message")
                                            : m_messageTitle);
}

void frmViewMessage::showSavedCopy(const QByteArray &savedCopy)
{
    WebBrowser1->setHtml(decodedCopy(savedCopy));
}

void frmViewMessage::setMessageTitle(const QString &title)
{
    m_messageTitle = title;
    setWindowTitle(title);
}

QString frmViewMessage::messageTitle(const Services &services, const QString &subject,
                                     const QString &sender)
{
    return decodedHeader(subject) + QStringLiteral("  ") + services.caption("270017", "from:")
        + QStringLiteral(": ") + decodedHeader(sender);
}

frmViewMessage *frmViewMessage::open(const Services &services, const QString &path,
                                     const QString &title, QWidget *parent)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        services.prompter.warning(
            services.caption("280059", "The saved copy of this message cannot be read: %1")
                .arg(path));
        return nullptr;
    }
    auto *window = new frmViewMessage(services);
    if (parent)
        connect(parent, &QObject::destroyed, window, [window] { delete window; });
    window->showSavedCopy(file.readAll());
    window->setMessageTitle(title);
    window->show();
    return window;
}

frmViewMessage *frmViewMessage::ViewMessage(const Services &services, const QString &path,
                                            const QString &rowNumber, const QString &subject,
                                            const QString &sender, QWidget *parent)
{
    if (!QFile::exists(path)) {
        services.prompter.warning(services.caption("70041", "Message file for message# ")
                                  + rowNumber + u' '
                                  + services.caption("270007", " is NOT found."));
        return nullptr;
    }
    return open(services, path, messageTitle(services, subject, sender), parent);
}
