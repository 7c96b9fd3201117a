#pragma once

#include "listeditorwindow.h"
#include "store/records.h"

// What the friend list editor and the blocked list editor share: a list of addresses,
// written to its file on OK and asked for with frmAddEmailAddress.
class AddressListEditor : public ListEditorWindow<AddressPattern>
{
    Q_OBJECT

public:
    ~AddressListEditor() override;

protected:
    struct Names
    {
        QString window;
        QString list;
        QString add;
        QString edit;
        QString remove;
    };
    AddressListEditor(KorvaneCore &core, bool forFriendList, const Names &names, QWidget *parent);

private:
    void loadFile() override;
    bool saveFile() override;
    void showRow(QTreeWidgetItem &row, const AddressPattern &address) const override;
    AddressPattern recordOf(const QTreeWidgetItem &row) const override;
    std::optional<AddressPattern> askForEntry(const AddressPattern *current, int position) override;

    const bool m_forFriendList;
};
