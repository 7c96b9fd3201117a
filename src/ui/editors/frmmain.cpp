#include "frmmain.h"

#include "engine/korvanecore.h"
#include "filepicker.h"
#include "frmaddext.h"
#include "levelpictures.h"
#include "platform/prompter.h"
#include "store/numbers.h"
#include "store/reviewqueue.h"
#include "ui/tray/traymenu.h"
#include "windowplacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

// The caption of a check box whose text is too long for one line: it wraps, and a click on
// it works the box as a click on the box's own text would.
class CheckCaption final : public QLabel
{
public:
    explicit CheckCaption(QCheckBox &box)
        : m_box(box)
    {
        setWordWrap(true);
        setBuddy(&box);
    }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())
            && m_box.isEnabled())
            m_box.click();
        QLabel::mouseReleaseEvent(event);
    }

private:
    QCheckBox &m_box;
};

} // namespace

struct frmMain::Labels
{
    QLabel *Label7 = new QLabel(QStringLiteral("Connection Time Out:"));
    QLabel *Label8 = new QLabel(QStringLiteral("Seconds"));
    QLabel *Label12 = new QLabel(QStringLiteral("Check for new Messages every:"));
    QLabel *Label13 = new QLabel(QStringLiteral("Minutes"));
    QLabel *Label4 = new QLabel(QStringLiteral("KB"));
    QLabel *Label16 = new QLabel(QStringLiteral("KB  as spam"));
    QLabel *Label1 = new QLabel(QStringLiteral("Days"));
    QLabel *Label2
        = new QLabel(QStringLiteral("Check the following attachments (See security level tab):-"));
    QLabel *Label14 = new QLabel(QStringLiteral(
        "In Normal security level, mail is considered to be spam if the total weighting  of spam "
        "words found is more than:"));
    QLabel *Label3 = new QLabel(
        QStringLiteral("This value will be increased/decreased with the security level"));
    QLabel *lblMultiple = nullptr; // chkMultiple's caption, made with the box
};

namespace {

QLineEdit *numberBox(const QString &name)
{
    auto *box = new QLineEdit;
    box->setObjectName(name);
    box->setMaximumWidth(70);
    return box;
}

QCheckBox *checkBox(const QString &name, const QString &text)
{
    auto *box = new QCheckBox(text);
    box->setObjectName(name);
    return box;
}

QToolButton *newLevelButton(const QString &name, SecurityLevel level)
{
    auto *button = new QToolButton;
    button->setObjectName(name);
    button->setIcon(levelPicture(level));
    button->setIconSize(QSize(40, 40));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The level panel keeps one button pressed; the buttons themselves only toggle.
    button->setCheckable(true);
    return button;
}

// Whole numbers of any size, so that a number out of range is told apart from no number.
bool isWholeNumber(const QString &text)
{
    return toWholeNumber(text.toUtf8(), std::numeric_limits<int>::min(),
                         std::numeric_limits<int>::max())
        .has_value();
}

// A row of widgets, packed to the left.
QHBoxLayout *row(std::initializer_list<QWidget *> widgets)
{
    auto *layout = new QHBoxLayout;
    for (QWidget *w : widgets)
        layout->addWidget(w);
    layout->addStretch();
    return layout;
}

} // namespace

frmMain::frmMain(KorvaneCore &core, TrayMenu &trayMenu, QWidget *parent)
    : QWidget(parent)
    , m_core(core)
    , m_trayMenu(trayMenu)
    , m_labels(std::make_unique<Labels>())
    , m_dialogPicker(std::make_unique<DialogFilePicker>())
    , m_filePicker(m_dialogPicker.get())
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Korvane Settings"));
    SSTab1 = new QTabWidget;
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    // Whole tab captions, however long: the window grows instead of hiding them behind arrows.
    SSTab1->tabBar()->setUsesScrollButtons(false);
    SSTab1->tabBar()->setElideMode(Qt::ElideNone);
    SSTab1->addTab(buildGeneralTab(), QStringLiteral("General Settings"));
    SSTab1->addTab(buildSpamTab(), QStringLiteral("Spam Settings"));
    SSTab1->addTab(buildLevelTab(), QStringLiteral("Security Level"));

    cmdOK = new QPushButton(QStringLiteral("&Ok"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // The accounts are not settings of this window, but a wrong password must be fixable
    // from wherever the user looks for it.
    cmdAccounts = new QPushButton(QStringLiteral("&Accounts..."));
    cmdAccounts->setObjectName(QStringLiteral("cmdAccounts"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdAccounts);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1);
    layout->addLayout(buttons);
    m_levels = std::make_unique<SecurityLevelPanel>(m_core.settings, m_core.services, *this);
    connectControls();
    showSettings();
}

frmMain::~frmMain() = default;

QWidget *frmMain::buildGeneralTab()
{
    txtTimeOut = numberBox(QStringLiteral("txtTimeOut"));
    txtCheckPeriod = numberBox(QStringLiteral("txtCheckPeriod"));
    chkStartWWin = checkBox(QStringLiteral("chkStartWWin"),
                            QStringLiteral("Start Korvane at windows Startup"));
    chkNotAfterDel = checkBox(QStringLiteral("chkNotAfterDel"),
                              QStringLiteral("Notify me for deleting spam mails (Tray window)"));
    chkAsk = checkBox(QStringLiteral("chkAsk"),
                      QStringLiteral("Ask me before deleting messages in inbox folder"));
    chkNotifyNew = checkBox(
        QStringLiteral("chkNotifyNew"),
        QStringLiteral("Notify me for new messages  for IMAP accounts only (tray window)."));
    chkPlay = checkBox(QStringLiteral("chkPlay"),
                       QStringLiteral("Play the following sound file with tray window:"));
    txtSoundFile = new QLineEdit;
    txtSoundFile->setObjectName(QStringLiteral("txtSoundFile"));
    cmdBrowse = new QPushButton(QStringLiteral("..."));
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    chkLog = checkBox(QStringLiteral("chkLog"), QStringLiteral("Write actions log file"));
    chkDeleteLog = checkBox(QStringLiteral("chkDeleteLog"),
                            QStringLiteral("Delete this log file if its size is greater than"));
    txtLogSize = numberBox(QStringLiteral("txtLogSize"));

    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    // The two number boxes line up, whatever the length of their captions.
    auto *timing = new QGridLayout;
    timing->addWidget(m_labels->Label7, 0, 0);
    timing->addWidget(txtTimeOut, 0, 1);
    timing->addWidget(m_labels->Label8, 0, 2);
    timing->addWidget(m_labels->Label12, 1, 0);
    timing->addWidget(txtCheckPeriod, 1, 1);
    timing->addWidget(m_labels->Label13, 1, 2);
    timing->setColumnStretch(3, 1);
    layout->addLayout(timing);
    layout->addWidget(chkPlay);
    auto *sound = new QHBoxLayout;
    sound->addSpacing(20);
    sound->addWidget(txtSoundFile, 1);
    sound->addWidget(cmdBrowse);
    layout->addLayout(sound);
    layout->addWidget(chkStartWWin);
    layout->addWidget(chkNotAfterDel);
    layout->addWidget(chkAsk);
    layout->addWidget(chkNotifyNew);
    layout->addWidget(chkLog);
    layout->addLayout(row({chkDeleteLog, txtLogSize, m_labels->Label4}));
    layout->addStretch();
    return tab;
}

QWidget *frmMain::buildSpamTab()
{
    ckhLargerThan = checkBox(QStringLiteral("ckhLargerThan"),
                             QStringLiteral("Consider a non-friend message larger than"));
    txtMaxSize = numberBox(QStringLiteral("txtMaxSize"));
    chkDelMess
        = checkBox(QStringLiteral("chkDelMess"), QStringLiteral("Delete Messages older than"));
    txtDelMess = numberBox(QStringLiteral("txtDelMess"));
    chkMultiple = checkBox(QStringLiteral("chkMultiple"), QString());
    m_labels->lblMultiple = new CheckCaption(*chkMultiple);
    m_labels->lblMultiple->setText(
        QStringLiteral("Consider the repeated  messages come form the same sender with the "
                       "same subject as spam (will be disabled in Very Low Security level)"));
    chkMultiple->setAccessibleName(m_labels->lblMultiple->text());
    cmbExt = new QComboBox;
    cmbExt->setObjectName(QStringLiteral("cmbExt"));
    cmbExt->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmbExt->setMinimumContentsLength(8);
    cmdAddExt = new QPushButton(QStringLiteral("&Add"));
    cmdAddExt->setObjectName(QStringLiteral("cmdAddExt"));
    cmdDelExt = new QPushButton(QStringLiteral("&Delete"));
    cmdDelExt->setObjectName(QStringLiteral("cmdDelExt"));
    txtThreshold = numberBox(QStringLiteral("txtThreshold"));
    m_labels->Label14->setWordWrap(true);
    m_labels->Label2->setWordWrap(true);

    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    layout->addLayout(row({ckhLargerThan, txtMaxSize, m_labels->Label16}));
    layout->addLayout(row({chkDelMess, txtDelMess, m_labels->Label1}));
    auto *repeated = new QHBoxLayout;
    repeated->addWidget(chkMultiple, 0, Qt::AlignTop);
    repeated->addWidget(m_labels->lblMultiple, 1);
    layout->addLayout(repeated);
    layout->addWidget(m_labels->Label2);
    layout->addLayout(row({cmbExt, cmdAddExt, cmdDelExt}));
    layout->addWidget(m_labels->Label14);
    layout->addLayout(row({txtThreshold}));
    layout->addWidget(m_labels->Label3);
    layout->addStretch();
    return tab;
}

QWidget *frmMain::buildLevelTab()
{
    cmdVeryHigh = newLevelButton(QStringLiteral("cmdVeryHigh"), SecurityLevel::VeryHigh);
    cmdHigh = newLevelButton(QStringLiteral("cmdHigh"), SecurityLevel::High);
    cmdNormal = newLevelButton(QStringLiteral("cmdNormal"), SecurityLevel::Normal);
    cmdLow = newLevelButton(QStringLiteral("cmdLow"), SecurityLevel::Low);
    cmdVeryLow = newLevelButton(QStringLiteral("cmdVeryLow"), SecurityLevel::VeryLow);
    nameLevelButtons();
    lblLevel = new QLabel;
    lblLevel->setObjectName(QStringLiteral("lblLevel"));
    QFont bold = lblLevel->font();
    bold.setBold(true);
    lblLevel->setFont(bold);
    lblSecurity = new QLabel;
    lblSecurity->setObjectName(QStringLiteral("lblSecurity"));
    lblSecurity->setWordWrap(true);
    lblSecurity->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    auto *tab = new QWidget;
    auto *layout = new QHBoxLayout(tab);
    auto *buttons = new QVBoxLayout;
    for (QToolButton *button : {cmdVeryHigh, cmdHigh, cmdNormal, cmdLow, cmdVeryLow})
        buttons->addWidget(button);
    buttons->addStretch();
    auto *texts = new QVBoxLayout;
    texts->addWidget(lblLevel);
    texts->addWidget(lblSecurity, 1);
    layout->addLayout(buttons);
    layout->addLayout(texts, 1);
    return tab;
}

void frmMain::bindNumber(QLineEdit *box, int &field, int minimum)
{
    // Only a whole number in range reaches the settings; anything else is refused at OK.
    connect(box, &QLineEdit::textEdited, this, [&field, minimum](const QString &text) {
        if (const auto number = toWholeNumber(text.toUtf8(), minimum, 32767))
            field = *number;
    });
}

void frmMain::connectControls()
{
    AppSettings &s = m_core.settings;
    const auto bindCheck = [this](QCheckBox *box, bool &field) {
        connect(box, &QCheckBox::toggled, this, [&field](bool on) { field = on; });
    };
    bindCheck(chkStartWWin, s.StartWithWindows);
    bindCheck(chkNotAfterDel, s.NotifyAfterDel);
    bindCheck(chkAsk, s.AskBeforeDel);
    bindCheck(chkNotifyNew, s.NotifyNew);
    bindCheck(chkPlay, s.PlaySound);
    bindCheck(chkLog, s.WriteLog);
    bindCheck(chkDeleteLog, s.DeleteLog);
    bindCheck(ckhLargerThan, s.CheckLargerThan);
    bindCheck(chkDelMess, s.DelOld);
    bindCheck(chkMultiple, s.DeleteRepeated);
    bindNumber(txtTimeOut, s.ConnectionTimeOut, 0);
    bindNumber(txtCheckPeriod, s.ChekPeriod, 2);
    bindNumber(txtLogSize, s.LogSize, 0);
    bindNumber(txtMaxSize, s.MaxSizeKB, 0);
    bindNumber(txtDelMess, s.Days, 2);
    bindNumber(txtThreshold, s.SpamThreshold, 0);
    connect(txtSoundFile, &QLineEdit::textChanged, this,
            [&s](const QString &text) { s.SoundPath = text; });
    connect(chkLog, &QCheckBox::toggled, this, &frmMain::onLogToggled);
    connect(chkAsk, &QCheckBox::clicked, this, &frmMain::onAskClicked);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmMain::onBrowse);
    connect(cmdAddExt, &QPushButton::clicked, this, &frmMain::onAddExt);
    connect(cmdDelExt, &QPushButton::clicked, this, &frmMain::onDelExt);
    connect(cmbExt->model(), &QAbstractItemModel::rowsInserted, this, &frmMain::keepExtensionsLive);
    connect(cmbExt->model(), &QAbstractItemModel::rowsRemoved, this, &frmMain::keepExtensionsLive);
    connect(txtCheckPeriod, &QLineEdit::editingFinished, this,
            [this, &s] { onLeaveAtLeastTwo(txtCheckPeriod, s.ChekPeriod, 10); });
    connect(txtDelMess, &QLineEdit::editingFinished, this,
            [this, &s] { onLeaveAtLeastTwo(txtDelMess, s.Days, 30); });
    connect(cmdOK, &QPushButton::clicked, this, &frmMain::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::hide);
    connect(cmdAccounts, &QPushButton::clicked, this, &frmMain::accountEditorRequested);
    for (const SecurityLevel level : allSecurityLevels)
        connect(levelButton(level), &QToolButton::clicked, this,
                [this, level] { m_levels->levelClicked(level); });
}

void frmMain::showSettings()
{
    const AppSettings &s = m_core.settings;
    // Copies of the values: setting one control must not feed back into the next.
    const AppSettings shown = s;
    chkStartWWin->setChecked(shown.StartWithWindows);
    chkNotAfterDel->setChecked(shown.NotifyAfterDel);
    chkAsk->setChecked(shown.AskBeforeDel);
    chkNotifyNew->setChecked(shown.NotifyNew);
    chkPlay->setChecked(shown.PlaySound);
    txtSoundFile->setText(shown.SoundPath);
    chkLog->setChecked(shown.WriteLog);
    chkDeleteLog->setChecked(shown.DeleteLog);
    txtLogSize->setText(QString::number(shown.LogSize));
    ckhLargerThan->setChecked(shown.CheckLargerThan);
    txtMaxSize->setText(QString::number(shown.MaxSizeKB));
    chkDelMess->setChecked(shown.DelOld);
    txtDelMess->setText(QString::number(shown.Days));
    chkMultiple->setChecked(shown.DeleteRepeated);
    txtTimeOut->setText(QString::number(shown.ConnectionTimeOut));
    txtCheckPeriod->setText(QString::number(shown.ChekPeriod));
    txtThreshold->setText(QString::number(shown.SpamThreshold));
    cmbExt->clear();
    for (const QByteArray &extension : shown.WatchedExtensions)
        cmbExt->addItem(QString::fromUtf8(extension));
    cmbExt->setCurrentIndex(cmbExt->count() > 0 ? 0 : -1);
    onLogToggled();
    m_levels->showStoredLevel();
}

void frmMain::showFromTray()
{
    m_core.LoadAllData();
    showSettings();
    SSTab1->setCurrentIndex(0);
    showNormal();
    raise();
    activateWindow();
}

void frmMain::onLogToggled()
{
    const bool on = chkLog->isChecked();
    chkDeleteLog->setEnabled(on);
    txtLogSize->setEnabled(on);
    m_labels->Label4->setEnabled(on);
}

void frmMain::nameLevelButtons()
{
    // The buttons show pictures only; their names are for the tip and for screen readers.
    for (const SecurityLevel level : allSecurityLevels) {
        const QString name = SecurityLevels::levelName(m_core.services, level);
        levelButton(level)->setToolTip(name);
        levelButton(level)->setAccessibleName(name);
    }
}

QToolButton *frmMain::levelButton(SecurityLevel level) const
{
    QToolButton *const buttons[] = {cmdVeryHigh, cmdHigh, cmdNormal, cmdLow, cmdVeryLow};
    return buttons[int(level) - 1];
}

bool frmMain::isLevelPressed(SecurityLevel level) const
{
    return levelButton(level)->isChecked();
}

void frmMain::setLevelPressed(SecurityLevel level, bool pressed)
{
    levelButton(level)->setChecked(pressed);
}

void frmMain::setLevelName(const QString &text)
{
    lblLevel->setText(text);
}

void frmMain::setLevelDescription(const QString &text)
{
    lblSecurity->setText(text);
}

frmAddExt *frmMain::addExtWindow() const
{
    return m_addExt;
}

void frmMain::onBrowse()
{
    const QString path = m_filePicker->openFile(
        this, m_core.services.caption("280240", "Open Sound file"),
        m_core.services.caption("280241", "Wav files") + QStringLiteral(" (*.wav)"));
    if (!path.isEmpty())
        txtSoundFile->setText(path);
}

void frmMain::onAddExt()
{
    // One picker at a time; it adds straight into cmbExt while this window stays usable.
    if (!m_addExt) {
        m_addExt = new frmAddExt(m_core.services, *cmbExt, this);
        m_addExt->setAttribute(Qt::WA_DeleteOnClose);
        growToFit(*m_addExt);
        m_addExt->resize(m_addExt->width(), std::max(m_addExt->height(), height()));
        centreWindow(*m_addExt);
    }
    m_addExt->show();
    m_addExt->raise();
    m_addExt->activateWindow();
}

void frmMain::onDelExt()
{
    if (cmbExt->currentIndex() >= 0)
        cmbExt->removeItem(cmbExt->currentIndex());
    if (cmbExt->count() > 0)
        cmbExt->setCurrentIndex(0);
}

void frmMain::keepExtensionsLive()
{
    // The rules read the watched types while a check runs; "Settings.ini" changes on OK only.
    QList<QByteArray> &watched = m_core.settings.WatchedExtensions;
    watched.clear();
    for (int i = 0; i < cmbExt->count(); ++i)
        watched << cmbExt->itemText(i).toUtf8();
}

void frmMain::onLeaveAtLeastTwo(QLineEdit *box, int &field, int resetValue)
{
    // A number too large is left for OK to refuse; below 2, or no number at all, the usual
    // value comes back. It is put in place before the warning, so the focus the message box
    // takes cannot bring this check round a second time.
    if (toWholeNumber(box->text().toUtf8(), 2, std::numeric_limits<int>::max()))
        return;
    box->setText(QString::number(resetValue));
    field = resetValue;
    m_core.env.prompter.warning(
        m_core.services.caption("10051", "Invalid peroid, Enter a value > 1"));
}

void frmMain::refuseBox(QLineEdit *box, const QString &message)
{
    m_core.env.prompter.warning(message);
    for (int i = 0; i < SSTab1->count(); ++i) {
        if (SSTab1->widget(i)->isAncestorOf(box))
            SSTab1->setCurrentIndex(i);
    }
    box->setFocus();
    box->selectAll();
}

bool frmMain::refuseInvalidNumbers()
{
    for (QLineEdit *box : {txtDelMess, txtCheckPeriod}) {
        if (!isWholeNumber(box->text())) {
            refuseBox(box,
                      m_core.services
                              .caption("10047",
                                       "Days and minutes text boxes must be "
                                       "integers and ")
                              .trimmed()
                          + QLatin1Char(' ')
                          + m_core.services.caption("280242", "greater than 1."));
            return true;
        }
    }
    const struct
    {
        QLineEdit *box;
        int minimum;
    } boxes[] = {{txtTimeOut, 0}, {txtCheckPeriod, 2}, {txtLogSize, 0},
                 {txtMaxSize, 0}, {txtDelMess, 2},     {txtThreshold, 0}};
    for (const auto &b : boxes) {
        // A box switched off (the log size while no log is written) cannot be corrected; the
        // setting keeps its last good value, which is what gets stored.
        if (!b.box->isEnabled())
            continue;
        if (!toWholeNumber(b.box->text().toUtf8(), b.minimum, 32767)) {
            refuseBox(b.box,
                      m_core.services
                          .caption(QStringLiteral("280004"),
                                   QStringLiteral("\"%1\" is not a whole number from %2 to 32767."))
                          .arg(b.box->text())
                          .arg(b.minimum));
            return true;
        }
    }
    return false;
}

void frmMain::onAskClicked(bool checked)
{
    if (checked)
        return;
    const QString text
        = m_core.services
              .caption("280142",
                       "From now on checks delete without asking. %1 messages now awaiting review "
                       "would be deleted at the next check. Turn off asking?")
              .arg(m_core.reviewQueue.count());
    if (!m_core.env.prompter.question(text))
        chkAsk->setChecked(true);
}

void frmMain::onOk()
{
    // The level picked is in effect even when a box below is refused.
    m_levels->commitLevel();
    if (refuseInvalidNumbers())
        return;
    AppSettings &s = m_core.settings;
    s.WatchedExtensions.clear();
    for (int i = 0; i < cmbExt->count(); ++i)
        s.WatchedExtensions << cmbExt->itemText(i).toUtf8();
    m_core.armTimers();
    s.Enabled = m_core.tmrCheck.Enabled();
    s.Language = m_core.lang.LanguageFile;
    m_core.settingsStore.SaveSettings(s);
    // A failed save has been reported inside; OK goes on all the same.
    (void)m_core.settingsFile.SaveSettingsFile(s.WatchedExtensions);
    m_core.settingsStore.LoadSettings(s);
    m_core.settingsFile.LoadSettingsFile(s.WatchedExtensions);
    showSettings();
    hide();
}

void frmMain::applyLanguage()
{
    // Only the history viewer ever turns right-to-left back off.
    if (m_core.lang.isRightToLeft())
        setLayoutDirection(Qt::RightToLeft);
    if (!m_core.lang.LanguageFailed)
        SetCaptions();
}

void frmMain::SetCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_core.services.caption(key, text);
    };
    Labels &l = *m_labels;
    setWindowTitle(c("10000", "Korvane Settings"));
    SSTab1->setTabText(0, c("10139", "General Settings"));
    SSTab1->setTabText(1, c("10140", "Spam Settings"));
    SSTab1->setTabText(2, c("10141", "Security Level"));
    l.Label7->setText(c("10030", "Connection Time Out:"));
    l.Label8->setText(c("10029", "Seconds"));
    l.Label12->setText(c("10026", "Check for new Messages every:"));
    l.Label13->setText(c("10025", "Minutes"));
    chkStartWWin->setText(c("10013", "Start Korvane at windows Startup"));
    chkNotAfterDel->setText(c("10012", "Notify me for deleting spam mails (Tray window)"));
    chkAsk->setText(c("10011", "Ask me before deleting messages in inbox folder"));
    chkNotifyNew->setText(
        c("10136", "Notify me for new messages  for IMAP accounts only (tray window)."));
    chkPlay->setText(c("10137", "Play the following sound file with tray window:"));
    chkLog->setText(c("10004", "Write actions log file"));
    chkDeleteLog->setText(c("10138", "Delete this log file if its size is greater than"));
    l.Label4->setText(c("10017", "KB"));
    ckhLargerThan->setText(c("10016", "Consider a non-friend message larger than"));
    l.Label16->setText(c("10024", "KB  as spam"));
    chkDelMess->setText(c("10015", "Delete Messages older than"));
    l.Label1->setText(c("10020", "Days"));
    l.lblMultiple->setText(
        c("10142",
          "Consider the repeated  messages come form the same sender with the same "
          "subject as spam (will be disabled in Very Low Security level)"));
    chkMultiple->setAccessibleName(l.lblMultiple->text());
    l.Label2->setText(c("10021", "Check the following attachments (See security level tab):-"));
    cmdAddExt->setText(c("10005", "&Add"));
    cmdDelExt->setText(c("10006", "&Delete"));
    l.Label14->setText(c("10019",
                         "In Normal security level, mail is considered to be spam if the total "
                         "weighting  of spam words found is more than:"));
    l.Label3->setText(c("10018", "This value will be increased/decreased with the security level"));
    cmdOK->setText(c("10001", "&Ok"));
    cmdCancel->setText(c("10002", "&Cancel"));
    cmdAccounts->setText(c("280250", "&Accounts..."));
    nameLevelButtons();

    m_trayMenu.setTitle(c("10031", "TRAYMENU"));
    m_trayMenu.mnuSettings->setText(c("10112", "&Settings"));
    m_trayMenu.mnuCheckNow->setText(m_core.IsChecking ? c("10163", "&Stop Checking")
                                                      : c("10033", "&Check  Now"));
    m_trayMenu.mnuHelp->setText(c("10034", "&Help"));
    m_trayMenu.mnuDisableEnable->setText(m_core.disableEnableCaption());
    m_trayMenu.mnuExit->setText(c("10036", "E&xit Korvane"));
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // The program lives on in the tray; only the tray menu's Exit ends it.
    event->ignore();
    hide();
}

void frmMain::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        applyLanguage();
        growToFit(*this);
        m_levels->showStoredLevel();
    }
    QWidget::changeEvent(event);
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        // The captions of the active pack decide the size, so they come first.
        applyLanguage();
        growToFit(*this);
        centreWindow(*this);
    }
    QWidget::showEvent(event);
}

void frmMain::hideEvent(QHideEvent *event)
{
    // The picker adds to this window's list; it goes when the window does.
    if (m_addExt && !event->spontaneous())
        m_addExt->close();
    QWidget::hideEvent(event);
}
