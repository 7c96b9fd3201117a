#include "frmabout.h"

#include "engine/korvanecore.h"
#include "ui/tray/trayicons.h"

#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

struct frmAbout::Labels
{
    QLabel *system = new QLabel(QStringLiteral("Operating system:"));
    QLabel *kernel = new QLabel(QStringLiteral("Kernel:"));
    QLabel *processor = new QLabel(QStringLiteral("Processor:"));
    QLabel *qt = new QLabel(QStringLiteral("Qt version:"));
};

namespace {

QLabel *namedLabel(const QString &name, const QString &text = {})
{
    auto *label = new QLabel(text);
    label->setObjectName(name);
    return label;
}

} // namespace

frmAbout::frmAbout(KorvaneCore &core, QWidget *parent)
    : QDialog(parent)
    , m_core(core)
    , m_labels(std::make_unique<Labels>())
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Korvane"));
    picIcon = namedLabel(QStringLiteral("picIcon"));
    picIcon->setPixmap(trayIcon(0).pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop);
    lblTitle = namedLabel(QStringLiteral("lblTitle"), QStringLiteral("Korvane"));
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = namedLabel(QStringLiteral("lblVersion"));
    lblDescription = namedLabel(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDisclaimer = namedLabel(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    lblDataDir = namedLabel(QStringLiteral("lblDataDir"));
    lblDataDir->setWordWrap(true);
    lblDataDir->setTextInteractionFlags(Qt::TextSelectableByMouse);

    fraSysInfo = new QGroupBox;
    fraSysInfo->setObjectName(QStringLiteral("fraSysInfo"));
    auto *facts = new QFormLayout(fraSysInfo);
    const auto fact = [facts](QLabel *label, const QString &value) {
        auto *shown = new QLabel(value);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        facts->addRow(label, shown);
    };
    fact(m_labels->system, QSysInfo::prettyProductName());
    fact(m_labels->kernel, QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion());
    fact(m_labels->processor, QSysInfo::currentCpuArchitecture());
    fact(m_labels->qt, QString::fromLatin1(qVersion()));
    fraSysInfo->hide();

    cmdOK = new QPushButton(QStringLiteral("&OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this,
            [this] { fraSysInfo->setVisible(!fraSysInfo->isVisible()); });

    auto *texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addSpacing(lblVersion->fontMetrics().height() / 2);
    texts->addWidget(lblDescription);
    texts->addWidget(lblDisclaimer);
    texts->addWidget(lblDataDir);
    auto *top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSysInfo);
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(fraSysInfo);
    layout->addStretch();
    layout->addLayout(buttons);
    // Wide enough that the texts wrap into a few readable lines.
    setMinimumWidth(lblVersion->fontMetrics().averageCharWidth() * 60);
    SetCaptions();
}

frmAbout::~frmAbout() = default;

void frmAbout::load()
{
    setLayoutDirection(m_core.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (!m_core.lang.LanguageFailed)
        SetCaptions();
}

void frmAbout::SetCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_core.services.caption(key, text);
    };
    setWindowTitle(c("140000", "About Korvane"));
    lblTitle->setText(c("140001", "Korvane"));
    lblVersion->setText(c("140002", "Version %1").arg(QStringLiteral(KORVANE_VERSION)));
    lblDescription->setText(
        c("140003",
          "Korvane checks your POP3 and IMAP mailboxes, keeps a history of every "
          "message it examines and deletes spam on the server before it reaches "
          "your mail program.")
        + QLatin1Char(' ')
        + c("140004",
            "Friend and blocked lists, spam words and security levels decide what "
            "is spam."));
    lblDisclaimer->setText(c("140005",
                             "Messages deleted on the server cannot be brought back. Keep \"Ask me "
                             "before deleting\" switched on until you trust your settings."));
    lblDataDir->setText(
        c("140006", "Data folder: %1").arg(QDir::toNativeSeparators(m_core.env.dataDir)));
    fraSysInfo->setTitle(c("140017", "System information"));
    m_labels->system->setText(c("280181", "Operating system:"));
    m_labels->kernel->setText(c("280182", "Kernel:"));
    m_labels->processor->setText(c("280183", "Processor:"));
    m_labels->qt->setText(c("280184", "Qt version:"));
    cmdOK->setText(c("140067", "&OK"));
    cmdSysInfo->setText(c("140068", "&System Info..."));
}
