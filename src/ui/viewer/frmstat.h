#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>

class frmAbout;
class KorvaneCore;
struct HistoryFilter;
class QAction;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

// The history viewer: the table of examined messages with its filters by check date,
// account, status and sender category, the language selector, and the commands on the
// table's rows and on the rest of the program (menus, toolbar, context menu and keys).
// Commands that open another window are signals; the program connects them.
class frmStat : public QMainWindow
{
    Q_OBJECT

public:
    // What the viewer asks of the desktop: a file name to save to (empty when cancelled) and
    // opening a file with its program. Tests replace both, so that nothing is launched.
    struct Desktop
    {
        std::function<QString(QWidget *parent, const QString &title, const QString &filter)>
            askSaveFileName;
        std::function<bool(const QUrl &url)> openUrl;
    };

    explicit frmStat(KorvaneCore &core, QWidget *parent = nullptr);
    ~frmStat() override;

    void setDesktop(Desktop desktop) { m_desktop = std::move(desktop); }

    // The load: layout direction, the language selector, then the captions.
    void load();
    void SetStatCaptions();
    // Rebuilds the three filter lists, restores their selections and refills the table.
    void FillCombos();
    void FillList();
    void SaveFilterSettings();

    // Appends an address to the friend list (IsFriend) or the blocked list, in memory only,
    // with no test for doubles or empty text; the list then counts as loaded.
    void AddToAddressList(bool IsFriend, const QByteArray &Address);

    // Sizes the window for a screen whose free area is `available`: wide enough for every
    // column of the table when that fits, else as wide as fits. Until the user sizes a column
    // himself, the columns follow the table's width, sender and subject giving up room first.
    void fitToScreen(const QSize &available);

    // Toolbar1's buttons by their index, 1 to 17; separators included.
    QAction *toolbarButton(int index) const;

    // Without a tray icon the viewer is the way back into the program: closing it minimises
    // it instead of hiding it, and the File menu offers the tray menu's commands that it has
    // no own item for.
    void setWithoutTray(const QList<QAction *> &trayCommands);
    bool isWithoutTray() const { return m_withoutTray; }

    QGroupBox *Frame1;
    QGroupBox *Frame2;
    QRadioButton *optFrom;
    QRadioButton *optToday;
    QDateEdit *DTPickerFrom;
    QDateEdit *DTPickerTo;
    QComboBox *cmbAccounts;
    QComboBox *cmbMessages;
    QComboBox *cmbSender;
    QLineEdit *txtSearch; // sender and subject, as the user types
    QLabel *lblCount; // in the status bar: how many messages the table shows
    QTreeWidget *lstStat;
    QToolBar *Toolbar1;
    QComboBox *ComboLang;

    QMenu *mnuFile;
    QAction *mnuCheckNow;
    QAction *mnuSave;
    QAction *mnuRefresh;
    QAction *mnuClose;
    QMenu *mnuEdit;
    QAction *mnuAccountEditor;
    QAction *mnuViewLog;
    QAction *mnuViewMessageText;
    QAction *mnuSelectAll;
    QAction *mnuClear;
    QMenu *mnuFilter;
    QAction *mnuSpamWords;
    QAction *mnuBlockedList;
    QAction *mnuFriendList;
    QAction *mnuSpamSettings;
    QMenu *mnuOptions;
    QAction *mnuSettings;
    QAction *mnuSecLevel;
    QMenu *mnuHelp;
    QAction *mnuAbout;
    QAction *mnuHelpIndex;
    // The table's context menu, not on the menu bar.
    QMenu *mnuStat;
    QAction *mnuSer2Blocked;
    QAction *mnuSen2bBlocked;
    QAction *mnuSer2Friend;
    QAction *mnuSen2Friend;
    QAction *mnuDelete;
    QAction *mnuViewMessage;

    // Null until the about box is first opened.
    frmAbout *aboutBox() const { return m_about.get(); }

signals:
    void helpRequested();
    void accountEditorRequested();
    void spamWordsRequested();
    void friendListRequested();
    void blockedListRequested();
    // The settings window on its tab: 0 general settings, 1 spam settings, 2 security level.
    void settingsRequested(int tab);
    // The user picked another language pack: the other windows and the tray menu follow.
    void languageChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Labels;
    // A selected row as the commands read it.
    struct Row
    {
        QString number; // the first column: its place when the table was filled
        int mailNumber = 0;
        QByteArray sender; // as recorded
        QString shownSender;
        QString shownSubject;
    };
    // Whether one of the viewer's own boxes took the activation away: its return is not the
    // user coming back to the window.
    enum class BoxState : quint8 { None, Open, Left };

    void buildMenus();
    void buildToolbar();
    void buildFilters();
    void buildTable();
    // The first widths of the columns, sender and subject narrower when room is short.
    void fitColumns(int room);
    void restoreFilterChoices();
    void fillLanguages();
    void onLanguagePicked(int index);
    void applyDirection();
    // The filter the period, account, status and sender boxes ask for.
    HistoryFilter chosenFilter() const;
    // The selected rows, in table order.
    QList<Row> selectedRows() const;
    // Runs a message box or dialog of the viewer's own.
    template<typename Ask> auto withBox(Ask ask);

    void onDelete();
    void onSaveList();
    void onViewMessage();
    void addSenders(bool isFriend, bool wholeDomain);
    void onViewLog();
    void onClose();
    void onAbout();

    KorvaneCore &m_core;
    std::unique_ptr<Labels> m_labels;
    Desktop m_desktop;
    QList<QAction *> m_toolButtons;
    QList<int> m_columnWidths; // the widths the texts of each column need
    int m_narrowestText = 0; // sender and subject never get narrower by fitting
    bool m_fittingColumns = false;
    bool m_columnsSizedByUser = false;
    std::unique_ptr<frmAbout> m_about;
    bool m_filling = false;
    BoxState m_box = BoxState::None;
    bool m_withoutTray = false;
};
