#pragma once

#include <QWidget>

struct Services;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The attachment type picker: lists the file name extensions the desktop knows with their
// type names, and adds a picked or typed extension, without its dot, to the settings
// window's watched types. It stays open for several additions.
class frmAddExt : public QWidget
{
    Q_OBJECT

public:
    frmAddExt(const Services &services, QComboBox &cmbExt, QWidget *parent = nullptr);

    // Direction and captions of the active language pack, unless packs failed to list.
    void applyLanguage();

    QLabel *Label1;
    QLabel *Label2;
    QTreeWidget *lstFile;
    QLabel *Label3;
    QLineEdit *txtCustom;
    QPushButton *cmdAdd;
    QPushButton *cmdClose;

private:
    void fillFileTypes();
    void SetCaptions();
    void onRowPicked();
    void onAdd();

    const Services &m_services;
    QComboBox &m_cmbExt;
};
