#pragma once

#include <QMainWindow>

class KorvaneCore;
struct HistoryFilter;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QRadioButton;
class QToolBar;
class QTreeWidget;

// The history viewer: the table of examined messages with its filters by check date,
// account, status and sender category, and the language selector.
class frmStat : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmStat(KorvaneCore &core, QWidget *parent = nullptr);
    ~frmStat() override;

    // The load: layout direction, the language selector, then the captions.
    void load();
    void SetStatCaptions();
    // Rebuilds the three filter lists, restores their selections and refills the table.
    void FillCombos();
    void FillList();
    void SaveFilterSettings();

    QGroupBox *Frame1;
    QGroupBox *Frame2;
    QRadioButton *optFrom;
    QRadioButton *optToday;
    QDateEdit *DTPickerFrom;
    QDateEdit *DTPickerTo;
    QComboBox *cmbAccounts;
    QComboBox *cmbMessages;
    QComboBox *cmbSender;
    QTreeWidget *lstStat;
    QToolBar *Toolbar1;
    QComboBox *ComboLang;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Labels;
    void buildFilters();
    void buildTable();
    void restoreFilterChoices();
    void fillLanguages();
    void onLanguagePicked(int index);
    void applyDirection();
    // The filter the period, account, status and sender boxes ask for.
    HistoryFilter chosenFilter() const;

    KorvaneCore &m_core;
    std::unique_ptr<Labels> m_labels;
    bool m_filling = false;
};
