#include "frmfriendlist.h"

frmFriendList::frmFriendList(KorvaneCore &core, QWidget *parent)
    : AddressListEditor(core, true,
                        {QStringLiteral("frmFriendList"), QStringLiteral("ListView3"),
                         QStringLiteral("cmdAddFriendAcc"), QStringLiteral("cmdEditFriendAcc"),
                         QStringLiteral("cmdDeleteFriendAcc")},
                        parent)
    , ListView3(m_list)
    , cmdAddFriendAcc(m_add)
    , cmdEditFriendAcc(m_edit)
    , cmdDeleteFriendAcc(m_delete)
{
}
