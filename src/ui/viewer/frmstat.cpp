#include "frmstat.h"

#include "celldirectiondelegate.h"
#include "classify/matching.h"
#include "engine/korvanecore.h"
#include "frmabout.h"
#include "frmviewmessage.h"
#include "logviewer.h"
#include "message/senderaddress.h"
#include "message/textformat.h"
#include "platform/clock.h"
#include "platform/cregister.h"
#include "platform/headertext.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "platform/textfile.h"
#include "sortablerow.h"
#include "statcommands.h"
#include "store/historyfilter.h"
#include "toolbarpictures.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QProcess>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <numeric>

struct frmStat::Labels
{
    QLabel *to = new QLabel(QStringLiteral("To"));
    QLabel *sender = new QLabel(QStringLiteral("Sender:-"));
    QLabel *messages = new QLabel(QStringLiteral("Message Status:-"));
    QLabel *account = new QLabel(QStringLiteral("Account:-"));
};

namespace {

const QString dateFormat = QStringLiteral("yyyy-MM-dd");

constexpr int columnCount = 9;
constexpr int mailNumberColumn = 8;
// Each column's first width is that of a typical text of it, so that the widths follow the
// font: a sender or subject of usual length, a whole date header, the longest size, status
// and reason words, a check time. The number column needs room for five digits.
const char *const columnSamples[columnCount] = {
    "00000",
    "Someone Longname <someone@example.com>",
    "A subject of a usual length here",
    "Mon, 30 Sep 2026 10:12:00 +0000",
    "1023.9 KB",
    "Awaiting review",
    "Blocked sender",
    "2026-12-31 23:59:59",
    "",
};
// Sender and subject give up room first when the screen is too narrow for every column.
constexpr int senderColumn = 1;
constexpr int subjectColumn = 2;
// Texts recorded as bytes keep them beside the shown text, for the commands.
constexpr int rawRole = Qt::UserRole;
// More windows than this at once are likely a slip: View Message asks first.
constexpr qsizetype manyWindows = 10;

QString fileFromDialog(QWidget *parent, const QString &title, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, title, QString(), filter);
}

// Whether the desktop names a program for the file's type. Without one, xdg-open takes the
// request and nothing opens, so the caller must show the file itself.
bool hasDesktopProgramFor(const QString &file)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    const auto ask = [&xdgMime](const QStringList &arguments) {
        QProcess process;
        process.start(xdgMime, arguments);
        if (!process.waitForFinished(5000) || process.exitCode() != 0)
            return QByteArray();
        return process.readAllStandardOutput().trimmed();
    };
    const QByteArray type = ask({QStringLiteral("query"), QStringLiteral("filetype"), file});
    return !type.isEmpty()
        && !ask({QStringLiteral("query"), QStringLiteral("default"), QString::fromUtf8(type)})
                .isEmpty();
}

bool openWithDesktop(const QUrl &url)
{
    if (url.isLocalFile() && !hasDesktopProgramFor(url.toLocalFile()))
        return false;
    return QDesktopServices::openUrl(url);
}

// A record's saved copy and the evidence of its verdict; either may be gone already.
void removeSavedCopy(const History &history, int mailNumber)
{
    QFile::remove(history.mailPath(mailNumber));
    QFile::remove(history.evidencePath(mailNumber));
}

QComboBox *dropDown(const QString &name)
{
    auto *box = new QComboBox;
    box->setObjectName(name);
    box->setMinimumWidth(140);
    return box;
}

QDateEdit *datePicker(const QString &name)
{
    auto *picker = new QDateEdit;
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(dateFormat);
    return picker;
}

} // namespace

frmStat::frmStat(KorvaneCore &core, QWidget *parent)
    : QMainWindow(parent)
    , m_core(core)
    , m_labels(std::make_unique<Labels>())
{
    setObjectName(QStringLiteral("frmStat"));
    setWindowTitle(QStringLiteral(" Korvane"));
    m_desktop = Desktop {fileFromDialog, openWithDesktop};
    buildMenus();
    buildToolbar();
    ComboLang = dropDown(QStringLiteral("ComboLang"));
    buildFilters();
    buildTable();
    const QScreen *screen = this->screen();
    fitToScreen(screen ? screen->availableGeometry().size() : QSize(1280, 800));
    // The engine switches the caption while a check runs, as it does the tray menu's.
    connect(&m_core.checkCycle, &CheckCycle::checkNowCaptionChanged, mnuCheckNow,
            &QAction::setText);
}

frmStat::~frmStat() = default;

void frmStat::buildMenus()
{
    const auto menu = [this](const char *name, const char *caption) {
        auto *m = new QMenu(QString::fromLatin1(caption), this);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    const auto item = [](QMenu *m, const char *name, const char *caption) {
        QAction *action = m->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    mnuFile = menu("mnuFile", "&File");
    mnuCheckNow = item(mnuFile, "mnuCheckNow", "&Check Now");
    mnuSave = item(mnuFile, "mnuSave", "&Save List as ");
    mnuRefresh = item(mnuFile, "mnuRefresh", "&Refresh");
    mnuRefresh->setShortcut(Qt::Key_F5);
    mnuFile->addSeparator();
    mnuClose = item(mnuFile, "mnuClose", "&Close");

    mnuEdit = menu("mnuEdit", "&Edit");
    mnuAccountEditor = item(mnuEdit, "mnuAccountEditor", "&Account Editor");
    mnuViewLog = item(mnuEdit, "mnuViewLog", "&View log file");
    mnuViewMessageText = item(mnuEdit, "mnuViewMessageText", "View &message text");
    mnuEdit->addSeparator();
    mnuSelectAll = item(mnuEdit, "mnuSelectAll", "&Select All");
    mnuClear = item(mnuEdit, "mnuClear", "&Delete Selected");

    mnuFilter = menu("mnuFilter", "F&ilter");
    mnuSpamWords = item(mnuFilter, "mnuSpamWords", "&Spam Words");
    mnuBlockedList = item(mnuFilter, "mnuBlockedList", "&Blocked List");
    mnuFriendList = item(mnuFilter, "mnuFriendList", "&Friend List");
    mnuSpamSettings = item(mnuFilter, "mnuSpamSettings", "S&pam Settings");

    mnuOptions = menu("mnuOptions", "&Options");
    mnuSettings = item(mnuOptions, "mnuSettings", "&Settings");
    mnuSecLevel = item(mnuOptions, "mnuSecLevel", "Security &Level");

    mnuHelp = menu("mnuHelp", "&Help");
    mnuAbout = item(mnuHelp, "mnuAbout", "&About");
    mnuHelpIndex = item(mnuHelp, "mnuHelpIndex", "&Index");

    for (QMenu *m : {mnuFile, mnuEdit, mnuFilter, mnuOptions, mnuHelp})
        menuBar()->addMenu(m);

    mnuStat = menu("mnuStat", "Stat");
    mnuSer2Blocked = item(mnuStat, "mnuSer2Blocked", "Add Server to blocked list");
    mnuSen2bBlocked = item(mnuStat, "mnuSen2bBlocked", "Add Sender to blocked list");
    mnuStat->addSeparator();
    mnuSer2Friend = item(mnuStat, "mnuSer2Friend", "Add Server to friend list");
    mnuSen2Friend = item(mnuStat, "mnuSen2Friend", "Add Sender to friend list");
    mnuStat->addSeparator();
    mnuDelete = item(mnuStat, "mnuDelete", "&Delete");
    mnuStat->addSeparator();
    mnuViewMessage = item(mnuStat, "mnuViewMessage", "&View Message");

    const auto on = [this](QAction *action, auto command) {
        connect(action, &QAction::triggered, this, command);
    };
    on(mnuCheckNow, [this] { m_core.checkCycle.CheckNow(); });
    on(mnuSave, &frmStat::onSaveList);
    on(mnuRefresh, &frmStat::FillCombos);
    on(mnuClose, &frmStat::onClose);
    on(mnuAccountEditor, &frmStat::accountEditorRequested);
    on(mnuViewLog, &frmStat::onViewLog);
    on(mnuViewMessageText, &frmStat::onViewMessage);
    on(mnuSelectAll, [this] { lstStat->selectAll(); });
    on(mnuClear, &frmStat::onDelete);
    on(mnuSpamWords, &frmStat::spamWordsRequested);
    on(mnuBlockedList, &frmStat::blockedListRequested);
    on(mnuFriendList, &frmStat::friendListRequested);
    on(mnuSpamSettings, [this] { emit settingsRequested(1); });
    on(mnuSettings, [this] { emit settingsRequested(0); });
    on(mnuSecLevel, [this] { emit settingsRequested(2); });
    on(mnuAbout, &frmStat::onAbout);
    on(mnuHelpIndex, &frmStat::helpRequested);
    on(mnuSer2Blocked, [this] { addSenders(false, true); });
    on(mnuSen2bBlocked, [this] { addSenders(false, false); });
    on(mnuSer2Friend, [this] { addSenders(true, true); });
    on(mnuSen2Friend, [this] { addSenders(true, false); });
    on(mnuDelete, &frmStat::onDelete);
    on(mnuViewMessage, &frmStat::onViewMessage);
}

void frmStat::buildToolbar()
{
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    // Buttons by index; index 0 stands for a separator.
    const struct
    {
        ToolPicture picture;
        const char *tip;
        std::function<void()> command;
    } buttons[] = {
        {{}, nullptr, {}},
        {ToolPicture::Save, "Save History",
         [this] {
             onSaveList();
         }},
        {{}, nullptr, {}},
        {ToolPicture::AccountEditor, "Account Editor",
         [this] {
             emit accountEditorRequested();
         }},
        {ToolPicture::ViewLog, "View log file",
         [this] {
             onViewLog();
         }},
        {ToolPicture::ViewMessage, "View message text",
         [this] {
             onViewMessage();
         }},
        {{}, nullptr, {}},
        {ToolPicture::SpamWords, "Spam Words",
         [this] {
             emit spamWordsRequested();
         }},
        {ToolPicture::FriendList, "Friend List",
         [this] {
             emit friendListRequested();
         }},
        {ToolPicture::BlockedList, "Blocked List",
         [this] {
             emit blockedListRequested();
         }},
        {{}, nullptr, {}},
        {ToolPicture::Settings, "Settings",
         [this] {
             emit settingsRequested(0);
         }},
        {{}, nullptr, {}},
        {ToolPicture::Delete, "Delete Selected",
         [this] {
             onDelete();
         }},
        {ToolPicture::Refresh, "Refresh",
         [this] {
             FillCombos();
         }},
        {{}, nullptr, {}},
        {ToolPicture::Help, "Help",
         [this] {
             emit helpRequested();
         }},
    };
    for (const auto &button : buttons) {
        if (!button.tip) {
            m_toolButtons << Toolbar1->addSeparator();
            continue;
        }
        QAction *action
            = Toolbar1->addAction(toolbarPicture(button.picture), QString::fromLatin1(button.tip));
        action->setToolTip(QString::fromLatin1(button.tip));
        connect(action, &QAction::triggered, this, button.command);
        m_toolButtons << action;
    }
}

QAction *frmStat::toolbarButton(int index) const
{
    return index >= 1 && index <= m_toolButtons.size() ? m_toolButtons.at(index - 1) : nullptr;
}

void frmStat::buildFilters()
{
    optFrom = new QRadioButton(QStringLiteral("From"));
    optFrom->setObjectName(QStringLiteral("optFrom"));
    optFrom->setChecked(true);
    optToday = new QRadioButton(QStringLiteral("Today"));
    optToday->setObjectName(QStringLiteral("optToday"));
    DTPickerFrom = datePicker(QStringLiteral("DTPickerFrom"));
    DTPickerTo = datePicker(QStringLiteral("DTPickerTo"));
    const QDate today = m_core.env.clock.now().date();
    DTPickerFrom->setDate(today);
    DTPickerTo->setDate(today);

    Frame2 = new QGroupBox(QStringLiteral("Checking Period: "));
    Frame2->setObjectName(QStringLiteral("Frame2"));
    auto *period = new QGridLayout(Frame2);
    period->addWidget(optToday, 0, 0);
    period->addWidget(optFrom, 1, 0);
    period->addWidget(DTPickerFrom, 1, 1);
    period->addWidget(m_labels->to, 1, 2);
    period->addWidget(DTPickerTo, 1, 3);

    cmbAccounts = dropDown(QStringLiteral("cmbAccounts"));
    cmbMessages = dropDown(QStringLiteral("cmbMessages"));
    cmbSender = dropDown(QStringLiteral("cmbSender"));
    Frame1 = new QGroupBox(QStringLiteral("Selection Criteria"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *criteria = new QGridLayout(Frame1);
    criteria->addWidget(m_labels->account, 0, 0);
    criteria->addWidget(cmbAccounts, 1, 0);
    criteria->addWidget(m_labels->messages, 0, 1);
    criteria->addWidget(cmbMessages, 1, 1);
    criteria->addWidget(m_labels->sender, 0, 2);
    criteria->addWidget(cmbSender, 1, 2);
    txtSearch = new QLineEdit;
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setClearButtonEnabled(true);
    txtSearch->setPlaceholderText(QStringLiteral("Search sender and subject"));
    criteria->addWidget(txtSearch, 1, 3);
    criteria->setColumnStretch(3, 1);
    connect(txtSearch, &QLineEdit::textChanged, this, [this] { FillList(); });
    lblCount = new QLabel;
    lblCount->setObjectName(QStringLiteral("lblCount"));
    statusBar()->addPermanentWidget(lblCount);

    connect(optFrom, &QRadioButton::toggled, this, [this] { FillList(); });
    connect(DTPickerFrom, &QDateEdit::dateChanged, this, [this] { FillList(); });
    connect(DTPickerTo, &QDateEdit::dateChanged, this, [this] { FillList(); });
    const auto remember = [this](QComboBox *box, int &index) {
        connect(box, &QComboBox::activated, this, [this, box, &index] {
            index = box->currentIndex();
            FillList();
        });
    };
    remember(cmbAccounts, m_core.settings.AccountIndex);
    remember(cmbMessages, m_core.settings.MessagesIndex);
    remember(cmbSender, m_core.settings.SenderIndex);
    connect(ComboLang, &QComboBox::activated, this, &frmStat::onLanguagePicked);
}

void frmStat::buildTable()
{
    lstStat = new QTreeWidget;
    lstStat->setObjectName(QStringLiteral("lstStat"));
    lstStat->setRootIsDecorated(false);
    lstStat->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstStat->setSortingEnabled(true);
    // At first in the order of recording; a click on a header sorts by that column.
    lstStat->sortByColumn(0, Qt::AscendingOrder);
    lstStat->setHeaderLabels({QString(), QStringLiteral("Sender"), QStringLiteral("Subject"),
                              QStringLiteral("Message Date"), QStringLiteral("Size"),
                              QStringLiteral("Status"), QStringLiteral("Reason"),
                              QStringLiteral("Check Date"), QStringLiteral("index")});
    lstStat->setAllColumnsShowFocus(true);
    lstStat->setItemDelegate(new CellDirectionDelegate(lstStat));
    const QFontMetrics metrics = lstStat->fontMetrics();
    // Room for the cell's margins and the header's own.
    const int padding = metrics.averageCharWidth() * 3;
    for (int column = 0; column < mailNumberColumn; ++column)
        m_columnWidths << metrics.horizontalAdvance(QLatin1String(columnSamples[column])) + padding;
    m_narrowestText = metrics.averageCharWidth() * 12;
    fitColumns(int(std::reduce(m_columnWidths.cbegin(), m_columnWidths.cend())));
    // The record's MailNumber: not seen, but the commands find the record by it.
    lstStat->setColumnHidden(mailNumberColumn, true);
    // Once the user has sized a column, the columns keep their widths. The last one stretches
    // with the window by itself.
    connect(lstStat->header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!m_fittingColumns && column < mailNumberColumn - 1)
            m_columnsSizedByUser = true;
    });
    lstStat->viewport()->installEventFilter(this);
    lstStat->installEventFilter(this);
    connect(lstStat, &QTreeWidget::itemDoubleClicked, this, &frmStat::onViewMessage);

    auto *filters = new QHBoxLayout;
    filters->addWidget(Frame2);
    filters->addWidget(Frame1, 1);
    auto *language = new QHBoxLayout;
    language->addStretch();
    language->addWidget(ComboLang);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addLayout(language);
    layout->addLayout(filters);
    layout->addWidget(lstStat, 1);
    setCentralWidget(central);
}

void frmStat::load()
{
    applyDirection();
    fillLanguages();
    restoreFilterChoices();
    if (!m_core.lang.LanguageFailed)
        SetStatCaptions();
}

void frmStat::applyDirection()
{
    setLayoutDirection(m_core.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
}

void frmStat::restoreFilterChoices()
{
    const AppSettings &s = m_core.settings;
    const QSignalBlocker blockFrom(optFrom), blockPickerFrom(DTPickerFrom),
        blockPickerTo(DTPickerTo);
    optFrom->setChecked(s.FromOption);
    optToday->setChecked(!s.FromOption && s.TodayOption);
    const QDate today = m_core.env.clock.now().date();
    const QDate from = QDate::fromString(s.FromDate, dateFormat);
    const QDate to = QDate::fromString(s.ToDate, dateFormat);
    DTPickerFrom->setDate(from.isValid() ? from : today);
    DTPickerTo->setDate(to.isValid() ? to : today);
}

void frmStat::fillLanguages()
{
    const QSignalBlocker block(ComboLang);
    ComboLang->clear();
    const auto fail = [this] {
        // Without the list of packs no window takes captions from a pack for this run.
        m_core.lang.LanguageFailed = true;
        m_core.env.prompter.critical(
            QStringLiteral("Error in language files,language pack will not loaded."));
    };
    // The user's packs and the shipped ones together, a user's pack in place of a shipped
    // one of the same name.
    const std::optional<QStringList> files = m_core.lang.packFiles();
    if (!files)
        return fail();
    // Pictures go to the packs by position: both lists are in name order, so "Arabic.bmp"
    // stands beside "Arabic.ini" as long as every pack has its picture.
    QList<QPixmap> pictures;
    for (const QString &path : *files) {
        if (!path.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
            continue;
        const QPixmap picture(path);
        if (picture.isNull())
            return fail();
        pictures << picture;
    }
    if (!pictures.isEmpty())
        ComboLang->setIconSize(pictures.first().size());
    // Without a match no entry is shown, rather than the first one as if it were active.
    int active = -1;
    for (const QString &path : *files) {
        const QString name = QFileInfo(path).fileName();
        if (!name.endsWith(QStringLiteral(".ini"), Qt::CaseInsensitive))
            continue;
        const QString entry
            = name.left(name.indexOf(QStringLiteral(".ini"), 0, Qt::CaseInsensitive));
        const int n = ComboLang->count();
        ComboLang->addItem(n < pictures.size() ? QIcon(pictures.at(n)) : QIcon(), entry);
        if ((entry + QStringLiteral(".ini")).compare(m_core.lang.LanguageFile, Qt::CaseInsensitive)
            == 0)
            active = n;
    }
    ComboLang->setCurrentIndex(active);
}

void frmStat::onLanguagePicked(int index)
{
    const QString picked = ComboLang->itemText(index) + QStringLiteral(".ini");
    if (picked != m_core.lang.LanguageFile) {
        m_core.lang.LanguageFile = picked;
        SetStatCaptions();
        FillCombos();
    }
    applyDirection();
    emit languageChanged();
}

void frmStat::SetStatCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_core.services.caption(key, text);
    };
    setWindowTitle(c("70000", " Korvane"));
    optToday->setText(c("70001", "Today"));
    Frame1->setTitle(c("70002", "Selection Criteria"));
    Frame2->setTitle(c("70003", "Checking Period: "));
    m_labels->to->setText(c("70004", "To"));
    m_labels->sender->setText(c("70005", "Sender:-"));
    txtSearch->setPlaceholderText(c("280078", "Search sender and subject"));
    m_labels->messages->setText(c("70006", "Message Status:-"));
    m_labels->account->setText(c("70007", "Account:-"));
    optFrom->setText(c("10115", "From"));
    QTreeWidgetItem *header = lstStat->headerItem();
    header->setText(1, c("10125", "Sender"));
    header->setText(2, c("10126", "Subject"));
    header->setText(3, c("10127", "Messgae Date"));
    header->setText(4, c("10128", "Size"));
    header->setText(5, c("10129", "Status"));
    header->setText(6, c("10130", "Reason"));
    header->setText(7, c("10131", "Check Date"));

    mnuFile->setTitle(c("70014", "&File"));
    // The engine's caption, so that it reads as the tray menu's does.
    mnuCheckNow->setText(m_core.checkCycle.checkNowCaption());
    mnuSave->setText(c("10109", "&Save list as"));
    mnuRefresh->setText(c("70015", "&Refresh"));
    mnuClose->setText(c("70016", "&Close"));
    mnuEdit->setTitle(c("70017", "&Edit"));
    mnuAccountEditor->setText(c("10110", "&Account Editor"));
    mnuViewLog->setText(c("70018", "&View log file"));
    mnuViewMessageText->setText(c("70019", "View &message text"));
    mnuSelectAll->setText(c("70020", "&Select All"));
    mnuClear->setText(c("70021", "&Delete Selected"));
    mnuFilter->setTitle(c("70022", "F&ilter"));
    mnuSpamWords->setText(c("10111", "&Spam Words"));
    mnuBlockedList->setText(c("70023", "&Blocked List"));
    mnuFriendList->setText(c("70024", "&Friend List"));
    mnuSpamSettings->setText(c("70025", "S&pam Settings"));
    mnuOptions->setTitle(c("70026", "&Options"));
    mnuSettings->setText(c("10112", "&Settings"));
    mnuSecLevel->setText(c("70027", "Security &Level"));
    mnuHelp->setTitle(c("10034", "&Help"));
    mnuAbout->setText(c("10113", "&About"));
    mnuHelpIndex->setText(c("70029", "&Index"));
    mnuStat->setTitle(c("70008", "Stat"));
    mnuSen2bBlocked->setText(c("70009", "Add Sender to blocked list"));
    mnuSer2Friend->setText(c("70010", "Add Server to friend list"));
    mnuSen2Friend->setText(c("70011", "Add Sender to friend list"));
    mnuDelete->setText(c("10006", "&Delete"));
    mnuViewMessage->setText(c("70013", "&View Message"));

    const struct
    {
        int index;
        const char *key;
        const char *tip;
    } tips[] = {
        {2, "70049", "Save History"},
        {4, "70050", "Account Editor"},
        {5, "70051", "View log file"},
        {6, "70052", "View message text"},
        {8, "70053", "Spam words"},
        {9, "70054", "Friend list"},
        {10, "70055", "Bloked list"},
        {12, "70056", "Settings"},
        {14, "70057", "Delete selected"},
        {15, "70058", "Refresh"},
        {17, "70059", "Help"},
    };
    for (const auto &tip : tips) {
        QAction *button = toolbarButton(tip.index);
        button->setText(c(tip.key, tip.tip));
        button->setToolTip(button->text());
    }
}

void frmStat::FillCombos()
{
    const auto c = [this](const char *key, const char *text) {
        return m_core.services.caption(key, text);
    };
    m_filling = true;
    cmbAccounts->clear();
    cmbAccounts->addItem(c("70048", "All Accounts"));
    if (m_core.lists.AccountsLoaded)
        for (const MailAccount &account : std::as_const(m_core.lists.Accounts))
            cmbAccounts->addItem(shownText(account.AccountName));
    cmbMessages->clear();
    // New statuses go at the end: the stored MessagesIndex keeps its meaning.
    cmbMessages->addItems({c("70042", "All"), c("70043", "Deleted"), c("70044", "Exist"),
                           c("280007", "Awaiting review"), c("280139", "Deletion pending")});
    cmbSender->clear();
    cmbSender->addItems(
        {c("70042", "All"), c("70045", "Friend"), c("70046", "Blocked"), c("70047", "Others")});
    // An index beyond its list selects nothing, which filters nothing.
    const auto select = [](QComboBox *box, int index) {
        box->setCurrentIndex(index < box->count() ? index : -1);
    };
    select(cmbAccounts, m_core.settings.AccountIndex);
    select(cmbMessages, m_core.settings.MessagesIndex);
    select(cmbSender, m_core.settings.SenderIndex);
    m_filling = false;
    FillList();
}

void frmStat::FillList()
{
    if (m_filling)
        return;
    // A refill (after a check, or another filter) keeps the user's rows chosen and the view
    // where it was.
    QSet<QString> chosen;
    for (const QTreeWidgetItem *item : lstStat->selectedItems())
        chosen.insert(item->text(mailNumberColumn));
    const int scrolled = lstStat->verticalScrollBar()->value();
    lstStat->clear();
    const HistoryFilter filter = chosenFilter();
    // Against the lists as they are now, not as they were at the time of the check.
    const SenderLists lists {
        [this](const QByteArray &sender) {
            return IsInFriendList(m_core.lists, bareAddress(sender));
        },
        [this](const QByteArray &sender) {
            return IsInBlockedList(m_core.lists, bareAddress(sender));
        },
    };
    const QString searched = txtSearch->text().trimmed();
    // Filled unsorted, then sorted once by the column the user chose.
    lstStat->setSortingEnabled(false);
    int n = 1;
    for (int i = 1; i <= m_core.history.count(); ++i) {
        const HistoryRecord &r = m_core.history.at(i);
        if (!matchesFilter(r, filter, m_core.services, lists))
            continue;
        // Shown decoded; the commands work on the bytes as recorded.
        const QString sender = decodedHeaderText(r.Sender);
        const QString subject = decodedHeaderText(r.Subject);
        if (!searched.isEmpty() && !sender.contains(searched, Qt::CaseInsensitive)
            && !subject.contains(searched, Qt::CaseInsensitive))
            continue;
        auto *item = new SortableRow(lstStat);
        item->setData(0, SortableRow::sortKeyRole, n);
        item->setText(0, QString::number(n++));
        item->setText(1, sender);
        item->setData(1, rawRole, r.Sender);
        item->setText(2, subject);
        item->setData(2, rawRole, r.Subject);
        item->setText(3, shownText(r.SendDate));
        item->setData(3, rawRole, r.SendDate);
        item->setData(3, SortableRow::sortKeyRole, sendDateSortKey(r.SendDate));
        bool isNumber = false;
        const float size = r.Size.toFloat(&isNumber);
        item->setText(4, isNumber ? FormatSize(size) : QString());
        item->setData(4, SortableRow::sortKeyRole, isNumber ? qint64(size) : qint64(-1));
        item->setText(5, shownStatus(r.Status, m_core.services));
        item->setText(
            6, m_core.services.caption(QString::fromLatin1(r.Reason), QStringLiteral("??ERROR??")));
        item->setText(7, shownText(r.CheckedAt));
        item->setData(7, rawRole, r.CheckedAt);
        item->setText(mailNumberColumn, QString::number(r.MailNumber));
    }
    lstStat->setSortingEnabled(true);
    for (int i = 0; !chosen.isEmpty() && i < lstStat->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstStat->topLevelItem(i);
        if (chosen.contains(item->text(mailNumberColumn)))
            item->setSelected(true);
    }
    lstStat->verticalScrollBar()->setValue(scrolled);
    lblCount->setText(
        m_core.services.caption("280079", "%1 messages").arg(lstStat->topLevelItemCount()));
}

HistoryFilter frmStat::chosenFilter() const
{
    HistoryFilter filter;
    filter.period = optToday->isChecked() ? HistoryFilter::Period::Today
        : optFrom->isChecked()            ? HistoryFilter::Period::Range
                                          : HistoryFilter::Period::Any;
    filter.today = m_core.env.clock.now().date();
    filter.from = DTPickerFrom->date();
    filter.to = DTPickerTo->date();
    if (cmbAccounts->currentIndex() > 0)
        filter.account = cmbAccounts->currentText();
    const int messages = cmbMessages->currentIndex();
    if (messages >= 1 && messages <= 3)
        filter.status = cmbMessages->currentText();
    // An index beyond the list, or none, filters nothing.
    switch (cmbSender->currentIndex()) {
    case 1:
        filter.senders = HistoryFilter::Senders::Friends;
        break;
    case 2:
        filter.senders = HistoryFilter::Senders::Blocked;
        break;
    case 3:
        filter.senders = HistoryFilter::Senders::Others;
        break;
    default:
        filter.senders = HistoryFilter::Senders::All;
        break;
    }
    return filter;
}

void frmStat::SaveFilterSettings()
{
    CRegister &store = m_core.env.registry;
    const auto word = [](bool on) {
        return on ? QStringLiteral("True") : QStringLiteral("False");
    };
    store.REGSaveSetting(QStringLiteral("FromOption"), word(optFrom->isChecked()));
    store.REGSaveSetting(QStringLiteral("TodayOption"), word(optToday->isChecked()));
    store.REGSaveSetting(QStringLiteral("FromDate"), DTPickerFrom->date().toString(dateFormat));
    store.REGSaveSetting(QStringLiteral("ToDate"), DTPickerTo->date().toString(dateFormat));
    store.REGSaveSetting(QStringLiteral("MessagesIndex"),
                         QString::number(cmbMessages->currentIndex()));
    store.REGSaveSetting(QStringLiteral("AccountIndex"),
                         QString::number(cmbAccounts->currentIndex()));
    store.REGSaveSetting(QStringLiteral("SenderIndex"), QString::number(cmbSender->currentIndex()));
}

void frmStat::closeEvent(QCloseEvent *event)
{
    // The viewer lives for the whole run; its choices survive until it is shown again.
    event->ignore();
    onClose();
}

void frmStat::setWithoutTray(const QList<QAction *> &trayCommands)
{
    m_withoutTray = true;
    mnuFile->addSeparator();
    mnuFile->addActions(trayCommands);
}

void frmStat::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (!isActiveWindow()) {
            if (m_box == BoxState::Open)
                m_box = BoxState::Left;
        } else if (m_box == BoxState::Left) {
            // Back from a box of our own: a refill would renumber the rows that Delete has
            // just left with their gaps, and lose the selection a command works on.
            m_box = BoxState::None;
        } else {
            FillCombos();
        }
    }
    QMainWindow::changeEvent(event);
}

template<typename Ask> auto frmStat::withBox(Ask ask)
{
    m_box = BoxState::Open;
    auto answer = ask();
    // A box that never took the activation away leaves nothing to wait for.
    if (m_box == BoxState::Open)
        m_box = BoxState::None;
    return answer;
}

bool frmStat::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstStat && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            onViewMessage();
            return true;
        }
        if (key == Qt::Key_Delete) {
            onDelete();
            return true;
        }
    } else if (watched == lstStat->viewport() && event->type() == QEvent::Resize) {
        if (!m_columnsSizedByUser)
            fitColumns(static_cast<QResizeEvent *>(event)->size().width());
    } else if (watched == lstStat->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton)
            mnuStat->popup(mouse->globalPosition().toPoint());
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmStat::fitToScreen(const QSize &available)
{
    const int columns = int(std::reduce(m_columnWidths.cbegin(), m_columnWidths.cend()));
    const QMargins margins = centralWidget()->layout()->contentsMargins();
    // Beside the columns: the table's frame, its vertical scroll bar and the window's margins.
    const int around = 2 * lstStat->frameWidth()
        + lstStat->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lstStat)
        + margins.left() + margins.right();
    // The window system puts its frame around this size.
    const int widest = available.width() * 19 / 20;
    resize(std::min(columns + around, widest), available.height() * 4 / 5);
}

void frmStat::fitColumns(int room)
{
    QList<int> widths = m_columnWidths;
    const int excess = int(std::reduce(widths.cbegin(), widths.cend())) - room;
    if (excess > 0) {
        // Sender and subject give up the room, each in proportion to its width, down to a
        // few words; what is still missing scrolls.
        const int sender = widths.at(senderColumn);
        const int subject = widths.at(subjectColumn);
        const int fromSender = excess * sender / (sender + subject);
        widths[senderColumn] = std::max(m_narrowestText, sender - fromSender);
        widths[subjectColumn] = std::max(m_narrowestText, subject - (excess - fromSender));
    }
    m_fittingColumns = true;
    for (int column = 0; column < widths.size(); ++column)
        lstStat->setColumnWidth(column, widths.at(column));
    m_fittingColumns = false;
}

QList<frmStat::Row> frmStat::selectedRows() const
{
    QList<Row> rows;
    for (int i = 0; i < lstStat->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lstStat->topLevelItem(i);
        if (!item->isSelected())
            continue;
        rows << Row {item->text(0), item->text(mailNumberColumn).toInt(),
                     item->data(1, rawRole).toByteArray(), item->text(1), item->text(2)};
    }
    return rows;
}

void frmStat::onDelete()
{
    if (lstStat->topLevelItemCount() == 0)
        return;
    // Read before asking: nothing of the table is trusted across a box.
    const QList<Row> rows = selectedRows();
    const bool isSure = withBox([this] {
        return m_core.env.prompter.question(m_core.services.caption(
            "270006", "you are about to delete the selected items from history, Are you sure?"));
    });
    if (!isSure)
        return;
    History &history = m_core.history;
    QSet<int> deleted;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        for (int i = 1; i <= history.count(); ++i)
            if (history.at(i).MailNumber == row->mailNumber)
                history.markDeleted(i);
        deleted << row->mailNumber;
        removeSavedCopy(history, row->mailNumber);
    }
    // When the history cannot be written (reported inside), the marked records stay in
    // memory, so that the next save leaves them out; reading the old file back would bring
    // them back without their copies.
    if (history.SaveHist())
        history.LoadHistory();
    // The other rows keep their numbers until the next fill.
    for (int i = lstStat->topLevelItemCount() - 1; i >= 0; --i)
        if (deleted.contains(lstStat->topLevelItem(i)->text(mailNumberColumn).toInt()))
            delete lstStat->takeTopLevelItem(i);
}

void frmStat::onSaveList()
{
    const QString name = withBox([this] {
        return m_desktop.askSaveFileName(
            this, m_core.services.caption("10114", "Save History to text file"),
            QStringLiteral("Text Files (*.txt)"));
    });
    if (name.isEmpty() || lstStat->topLevelItemCount() == 0)
        return;
    QList<ListedRow> rows;
    for (int i = 0; i < lstStat->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lstStat->topLevelItem(i);
        // Recorded texts as their bytes; sizes, statuses and reasons as shown.
        rows << ListedRow {item->data(1, rawRole).toByteArray(),
                           item->data(2, rawRole).toByteArray(),
                           item->data(3, rawRole).toByteArray(),
                           item->text(4).toUtf8(),
                           item->text(5).toUtf8(),
                           item->text(6).toUtf8(),
                           item->data(7, rawRole).toByteArray()};
    }
    if (!TextFile::writeAll(name, historyListText(rows)))
        withBox([this, &name] {
            m_core.env.prompter.warning(
                m_core.services.caption("280180", "The list could not be written to %1.")
                    .arg(name));
            return true;
        });
}

void frmStat::onViewMessage()
{
    const QList<Row> rows = selectedRows();
    if (rows.size() > manyWindows && !withBox([this, &rows] {
            return m_core.env.prompter.question(
                m_core.services.caption("280069", "Open %1 saved messages, each in its own window?")
                    .arg(rows.size()));
        }))
        return;
    for (const Row &row : rows) {
        const QString path = m_core.history.mailPath(row.mailNumber);
        if (!QFile::exists(path)) {
            withBox([this, &row] {
                m_core.env.prompter.warning(
                    m_core.services.caption("70041", "Message file for message# ") + row.number
                    + QLatin1Char(' ') + m_core.services.caption("270007", " is NOT found."));
                return true;
            });
            continue;
        }
        // Each message in its own window, with no owner: it stays open when the viewer hides.
        frmViewMessage::open(m_core.services, path,
                             row.shownSubject + QStringLiteral("  ")
                                 + m_core.services.caption("270017", "from:") + QStringLiteral(": ")
                                 + row.shownSender,
                             nullptr);
    }
}

void frmStat::AddToAddressList(bool IsFriend, const QByteArray &Address)
{
    MailLists &lists = m_core.lists;
    (IsFriend ? lists.FriendList : lists.BlockedList).append(Address);
    (IsFriend ? lists.FriendListLoaded : lists.BlockedListLoaded) = true;
}

void frmStat::addSenders(bool isFriend, bool wholeDomain)
{
    // What the rules compare: the address the message was judged by, not the sender's text.
    for (const Row &row : selectedRows()) {
        const QByteArray address = m_core.history.judgedAddress(row.mailNumber, row.sender);
        AddToAddressList(isFriend, wholeDomain ? domainPattern(address) : address);
    }
    // Written also when nothing was added. A failure is reported inside, and the list in
    // memory keeps the new entries for the next save.
    ListFiles &files = m_core.listFiles;
    [[maybe_unused]] const bool saved = isFriend ? files.SaveFriendList() : files.SaveBlockedList();
}

void frmStat::onViewLog()
{
    if (!m_core.settings.WriteLog)
        withBox([this] {
            m_core.env.prompter.warning(m_core.services.caption(
                "70040", "The 'Write Action to log file' option is unchecked"));
            return true;
        });
    // Opened all the same: it holds what was written while the option was on. Without a
    // program for it on this desktop, Korvane shows it itself.
    if (!m_desktop.openUrl(QUrl::fromLocalFile(m_core.log.path()))) {
        auto *viewer = new LogViewer(m_core.services, m_core.log.path(), this);
        viewer->show();
    }
}

void frmStat::onClose()
{
    SaveFilterSettings();
    // A hidden viewer could not be reached again without the tray.
    if (m_withoutTray)
        showMinimized();
    else
        hide();
}

void frmStat::onAbout()
{
    if (!m_about)
        m_about = std::make_unique<frmAbout>(m_core);
    m_about->load();
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}
