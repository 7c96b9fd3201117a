#include "addresslisteditor.h"

#include "engine/korvanecore.h"
#include "frmaddemailaddress.h"
#include "platform/showntext.h"

#include <QTreeWidget>

namespace {

QList<AddressPattern> &addressesOf(KorvaneCore &core, bool forFriendList)
{
    return forFriendList ? core.lists.FriendList : core.lists.BlockedList;
}

bool &isLoadedOf(KorvaneCore &core, bool forFriendList)
{
    return forFriendList ? core.lists.FriendListLoaded : core.lists.BlockedListLoaded;
}

} // namespace

AddressListEditor::AddressListEditor(KorvaneCore &core, bool forFriendList, const Names &names,
                                     QWidget *parent)
    : ListEditorWindow(
        core, addressesOf(core, forFriendList), isLoadedOf(core, forFriendList),
        {names.window,
         forFriendList ? Caption {"110000", "Friend List"} : Caption {"100000", "Blocked List"},
         names.list,
         {{"100001", "Email Address"}},
         names.add,
         names.edit,
         names.remove},
        parent)
    , m_forFriendList(forFriendList)
{
}

AddressListEditor::~AddressListEditor() = default;

void AddressListEditor::loadFile()
{
    if (m_forFriendList)
        m_core.listFiles.LoadFriendList();
    else
        m_core.listFiles.LoadBlockedList();
}

bool AddressListEditor::saveFile()
{
    // With every row deleted the file must be emptied too.
    const auto empty = ListFiles::EmptyList::EmptyFile;
    return m_forFriendList ? m_core.listFiles.SaveFriendList(empty)
                           : m_core.listFiles.SaveBlockedList(empty);
}

void AddressListEditor::showRow(QTreeWidgetItem &row, const AddressPattern &address) const
{
    row.setText(0, shownText(address));
    // The file's bytes: the shown text does not tell whether they were Latin-1 or UTF-8.
    row.setData(0, recordRole, address);
}

AddressPattern AddressListEditor::recordOf(const QTreeWidgetItem &row) const
{
    return row.data(0, recordRole).toByteArray();
}

std::optional<AddressPattern> AddressListEditor::askForEntry(const AddressPattern *current,
                                                             int position)
{
    frmAddEmailAddress dialog(m_core.services, *m_list, this);
    dialog.ForFriendList = m_forFriendList;
    if (current)
        dialog.showAddress(*current);
    return dialog.execForRow(position) ? dialog.address() : std::nullopt;
}
