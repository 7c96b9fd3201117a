#include "logviewer.h"

#include "lang/language.h"
#include "store/services.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// More than the log's own size limit allows by default, and still quick to show.
constexpr qint64 shownBytes = 4 * 1024 * 1024;

QString logText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > shownBytes)
        file.seek(file.size() - shownBytes);
    QByteArray bytes = file.readAll();
    // A cut start is a partial line: the view starts at the next whole one.
    if (file.size() > shownBytes)
        bytes.remove(0, bytes.indexOf('\n') + 1);
    return QString::fromUtf8(bytes);
}

} // namespace

LogViewer::LogViewer(const Services &services, const QString &logPath, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LogViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(services.caption("280077", "Korvane - Log") + QStringLiteral(" - ")
                   + QDir::toNativeSeparators(logPath));
    setLayoutDirection(services.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    txtLog = new QPlainTextEdit;
    txtLog->setObjectName(QStringLiteral("txtLog"));
    txtLog->setReadOnly(true);
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The log is written left to right whatever the language.
    txtLog->setLayoutDirection(Qt::LeftToRight);
    txtLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtLog->setPlainText(logText(logPath));
    cmdClose = new QPushButton(services.caption("280055", "Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtLog, 1);
    layout->addLayout(buttons);
    resize(900, 520);
    txtLog->verticalScrollBar()->setValue(txtLog->verticalScrollBar()->maximum());
}
