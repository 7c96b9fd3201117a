#include "lang/language.h"
#include "support/servicesbed.h"
#include "ui/viewer/frmviewmessage.h"
#include "ui/viewer/offlinetextbrowser.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

QList<frmViewMessage *> messageWindows()
{
    QList<frmViewMessage *> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<frmViewMessage *>(w))
            windows << window;
    return windows;
}

} // namespace

TEST(MessageWindow, ShowsTheCopyInItsOwnWindowUntilClosed)
{
    ServicesBed bed;
    bed.dir.write("Mails/7.mal", "<html><p>Cheap <b>watches</b></p>");
    auto viewer = std::make_unique<QWidget>();
    QPointer<frmViewMessage> window = frmViewMessage::ViewMessage(
        bed.services, bed.dir.file("Mails/7.mal"), "3",
        "=?UTF-8?Q?Caf=C3=A9_menu?=", "=?ISO-8859-1?B?Wm/r?= <zoe@example.com>", viewer.get());
    ASSERT_TRUE(window);
    EXPECT_TRUE(bed.prompter.warnings.isEmpty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Café menu  from:: Zoë <zoe@example.com>");
    EXPECT_EQ(window->WebBrowser1->toPlainText(), "Cheap watches");
    EXPECT_TRUE(window->WebBrowser1->isReadOnly());
    // Independent of the window it came from: not its child, not kept above it.
    EXPECT_EQ(window->parentWidget(), nullptr);

    EXPECT_EQ(window->cmdClose->text(), "&Close");
    window->cmdClose->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);

    // A window still open goes with the program's window it was opened from.
    window = frmViewMessage::open(bed.services, bed.dir.file("Mails/7.mal"), "t", viewer.get());
    ASSERT_TRUE(window);
    viewer.reset();
    EXPECT_FALSE(window);
}

TEST(MessageWindow, MissingCopyIsAWarningWithTheRowNumber)
{
    ServicesBed bed;
    const qsizetype before = messageWindows().size();
    EXPECT_EQ(frmViewMessage::ViewMessage(bed.services, bed.dir.file("Mails/9.mal"), "4", "Hi",
                                          "ann@example.com", nullptr),
              nullptr);
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Message file for message# 4  is NOT found."});
    EXPECT_EQ(messageWindows().size(), before);
}

TEST(MessageWindow, HeadersAndBodyAreShownDecoded)
{
    ServicesBed bed;
    const struct
    {
        const char *name;
        QString subject;
        QString shown;
    } headers[] = {
        {"base64", "=?utf-8?B?w5xiZXJ3ZWlzdW5n?=", "Überweisung"},
        {"quoted-printable", "=?iso-8859-1?q?Gr=FC=DFe_aus_K=F6ln?=", "Grüße aus Köln"},
        {"another charset", "=?windows-1251?B?z/Do4uXy?=", "Привет"},
        {"adjacent words join", "=?utf-8?Q?Sonder?= =?utf-8?Q?angebot?=", "Sonderangebot"},
        {"text keeps its blanks", "Re: =?utf-8?Q?caf=C3=A9?= today", "Re: café today"},
        {"unknown charset stays", "=?x-unheard-of?Q?abc?=", "=?x-unheard-of?Q?abc?="},
        {"broken word stays", "=?utf-8?Q?a=G1?= x", "=?utf-8?Q?a=G1?= x"},
        {"plain text", "Minutes of Monday", "Minutes of Monday"},
    };
    for (const auto &c : headers) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(frmViewMessage::messageTitle(bed.services, c.subject, c.subject),
                  c.shown + "  from:: " + c.shown);
    }

    const struct
    {
        const char *name;
        QByteArray copy;
        QString shown;
    } bodies[] = {
        {"declared charset",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=windows-1251\"></head><body>\xcf\xf0\xe8\xe2\xe5\xf2</body>",
         "Привет"},
        {"UTF-8",
         "<html>Gr\xc3\xbc\xc3\x9f"
         "e",
         "Grüße"},
        {"not UTF-8",
         "<html>Gr\xfc\xdf"
         "e",
         "Grüße"},
    };
    frmViewMessage window(bed.services);
    for (const auto &c : bodies) {
        SCOPED_TRACE(c.name);
        window.showSavedCopy(c.copy);
        EXPECT_EQ(window.WebBrowser1->toPlainText(), c.shown);
    }
}

TEST(MessageWindow, CaptionsAndDirectionComeFromTheActivePack)
{
    ServicesBed bed;
    bed.dir.write("Lang/Test.ini",
                  "[Korvane]\r\n130000=Nachricht\r\n280200=&Schliessen\r\n"
                  "270017=von\r\n");
    bed.lang.LanguageFile = "Test.ini";
    frmViewMessage window(bed.services);
    EXPECT_EQ(window.windowTitle(), "Nachricht");
    EXPECT_EQ(window.cmdClose->text(), "&Schliessen");
    EXPECT_EQ(window.layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(frmViewMessage::messageTitle(bed.services, "Hallo", "ann@example.com"),
              "Hallo  von: ann@example.com");

    bed.dir.write("Lang/Arabic.ini", "[Korvane]\r\n");
    bed.lang.LanguageFile = "Arabic.ini";
    window.setMessageTitle("Hi");
    window.SetCaptions();
    EXPECT_EQ(window.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(window.windowTitle(), "Hi");

    // Without the list of packs the window keeps its built-in texts.
    bed.lang.LanguageFile = "Test.ini";
    bed.lang.LanguageFailed = true;
    frmViewMessage failed(bed.services);
    EXPECT_EQ(failed.windowTitle(), "");
    EXPECT_EQ(failed.cmdClose->text(), "&Close");
}

TEST(MessageWindow, RefusesEveryResourceFromOutsideTheCopy)
{
    ServicesBed bed;
    const QByteArray png
        = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                 "QVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==");
    bed.dir.write("secret.png", png);
    const QUrl remote("http://example.com/x.png");
    const QUrl local = QUrl::fromLocalFile(bed.dir.file("secret.png"));
    const QUrl relative("secret.png");
    const QUrl inlined("data:image/png;base64," + png.toBase64());
    frmViewMessage view(bed.services);
    view.showSavedCopy("<html><img src=\"" + remote.toEncoded() + "\"><img src=\""
                       + local.toEncoded() + "\"><img src=\"" + inlined.toEncoded()
                       + "\"><a href=\"http://example.com/\">x</a>");
    OfflineTextBrowser *browser = view.WebBrowser1;
    browser->setSearchPaths({bed.dir.path()});
    EXPECT_TRUE(browser->loadResource(QTextDocument::ImageResource, remote).isNull());
    EXPECT_TRUE(browser->loadResource(QTextDocument::ImageResource, local).isNull());
    EXPECT_TRUE(browser->loadResource(QTextDocument::ImageResource, relative).isNull());
    EXPECT_TRUE(browser->loadResource(QTextDocument::StyleSheetResource, remote).isNull());
    EXPECT_FALSE(browser->openLinks());
    EXPECT_FALSE(browser->openExternalLinks());
    // Nor does the document fetch on its own what its view refused.
    QTextDocument *document = browser->document();
    EXPECT_TRUE(document->resource(QTextDocument::ImageResource, local).isNull());
    EXPECT_TRUE(document->resource(QTextDocument::ImageResource, relative).isNull());
    EXPECT_TRUE(document->resource(QTextDocument::ImageResource, remote).isNull());
    EXPECT_EQ(document->resource(QTextDocument::ImageResource, inlined).toByteArray(), png);
}

TEST(MessageWindow, ViewingASpamMessageContactsNoServer)
{
    ServicesBed bed;
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const QByteArray at = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
    bed.dir.write("Mails/5.mal",
                  "<html><head><link rel=\"stylesheet\" href=\"" + at + "/style.css\">"
                      + "<style>@import url(\"" + at
                      + "/imported.css\"); p { background-image: url(" + at
                      + "/p.png) }</style><script src=\"" + at
                      + "/track.js\"></script></head><body background=\"" + at + "/body.png\">"
                      + "<p>You have <b>WON</b></p><img src=\"" + at + "/pixel.gif?id=ann\">"
                      + "<iframe src=\"" + at + "/frame.html\"></iframe><form action=\"" + at
                      + "/claim\" method=\"post\"><input name=\"card\"><input type=\"submit\">"
                      + "</form><table background=\"" + at + "/table.png\"><tr><td>x</td></tr>"
                      + "</table><a href=\"" + at + "/click\">claim</a>");
    QWidget viewer;
    frmViewMessage *window
        = frmViewMessage::open(bed.services, bed.dir.file("Mails/5.mal"), "You have WON", &viewer);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->grab().isNull());
    window->WebBrowser1->selectAll();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();

    // A connection made now is counted after any the window made before it.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(server.waitForNewConnection(10000));
    QCoreApplication::processEvents();
    int connections = 0;
    while (server.hasPendingConnections()) {
        delete server.nextPendingConnection();
        ++connections;
    }
    EXPECT_EQ(connections, 1);
}
