#include "frmstat.h"

#include "classify/matching.h"
#include "engine/korvanecore.h"
#include "message/textformat.h"
#include "platform/clock.h"
#include "platform/cregister.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/historyfilter.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

struct frmStat::Labels
{
    QLabel *to = new QLabel(QStringLiteral("To"));
    QLabel *sender = new QLabel(QStringLiteral("Sender:-"));
    QLabel *messages = new QLabel(QStringLiteral("Message Status:-"));
    QLabel *account = new QLabel(QStringLiteral("Account:-"));
};

namespace {

const QString dateFormat = QStringLiteral("yyyy-MM-dd");

// Initial column widths in twips; 15 twips make one pixel at 96 dpi.
constexpr int columnTwips[] = {494, 3951, 3245, 3422, 1605, 2186, 2540, 2540, 0};

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
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    ComboLang = dropDown(QStringLiteral("ComboLang"));
    buildFilters();
    buildTable();
    resize(900, 520);
}

frmStat::~frmStat() = default;

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
    lstStat->setSortingEnabled(false);
    lstStat->setHeaderLabels({QString(), QStringLiteral("Sender"), QStringLiteral("Subject"),
                              QStringLiteral("Message Date"), QStringLiteral("Size"),
                              QStringLiteral("Status"), QStringLiteral("Reason"),
                              QStringLiteral("Check Date"), QStringLiteral("index")});
    const double pixelsPerTwip = logicalDpiX() / 1440.0;
    for (int column = 0; column < 9; ++column)
        lstStat->setColumnWidth(column, int(columnTwips[column] * pixelsPerTwip));
    lstStat->setColumnHidden(8, true);

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
    const QDir folder(m_core.lang.langFolder());
    if (!folder.exists())
        return;
    const auto fail = [this] {
        // Without the list of packs no window takes captions from a pack for this run.
        m_core.lang.LanguageFailed = true;
        m_core.env.prompter.critical(
            QStringLiteral("Error in language files,language pack will not loaded."));
    };
    if (!folder.isReadable())
        return fail();
    // Pictures go to the packs by position: both lists are in name order, so "Arabic.bmp"
    // stands beside "Arabic.ini" as long as every pack has its picture.
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    QList<QPixmap> pictures;
    for (const QString &name : files) {
        if (!name.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
            continue;
        const QPixmap picture(folder.filePath(name));
        if (picture.isNull())
            return fail();
        pictures << picture;
    }
    if (!pictures.isEmpty())
        ComboLang->setIconSize(pictures.first().size());
    // Without a match no entry is shown, rather than the first one as if it were active.
    int active = -1;
    for (const QString &name : files) {
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
                           c("280007", "Awaiting review")});
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
    lstStat->clear();
    const HistoryFilter filter = chosenFilter();
    // Against the lists as they are now, not as they were at the time of the check.
    const SenderLists lists {
        [this](const QByteArray &sender) { return IsInFriendList(m_core.lists, sender); },
        [this](const QByteArray &sender) { return IsInBlockedList(m_core.lists, sender); },
    };
    int n = 1;
    for (int i = 1; i <= m_core.history.count(); ++i) {
        const HistoryRecord &r = m_core.history.at(i);
        if (!matchesFilter(r, filter, m_core.services, lists))
            continue;
        auto *item = new QTreeWidgetItem(lstStat);
        item->setText(0, QString::number(n++));
        item->setText(1, shownText(r.Sender));
        item->setText(2, shownText(r.Subject));
        item->setText(3, shownText(r.SendDate));
        bool isNumber = false;
        const float size = r.Size.toFloat(&isNumber);
        item->setText(4, isNumber ? FormatSize(size) : QString());
        item->setText(5, shownStatus(r.Status, m_core.services));
        item->setText(
            6, m_core.services.caption(QString::fromLatin1(r.Reason), QStringLiteral("??ERROR??")));
        item->setText(7, shownText(r.CheckedAt));
        item->setText(8, QString::number(r.MailNumber));
    }
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
    SaveFilterSettings();
    // The viewer lives for the whole run; its choices survive until it is shown again.
    event->ignore();
    hide();
}

void frmStat::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FillCombos();
    QMainWindow::changeEvent(event);
}
