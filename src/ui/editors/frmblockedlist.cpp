#include "frmblockedlist.h"

frmBlockedList::frmBlockedList(KorvaneCore &core, QWidget *parent)
    : AddressListEditor(core, false,
                        {QStringLiteral("frmBlockedList"), QStringLiteral("ListView2"),
                         QStringLiteral("cmdAddBlocedAcc"), QStringLiteral("cmdEditBlockedAcc"),
                         QStringLiteral("cmdDeleteBlockedAcc")},
                        parent)
    , ListView2(m_list)
    , cmdAddBlocedAcc(m_add)
    , cmdEditBlockedAcc(m_edit)
    , cmdDeleteBlockedAcc(m_delete)
{
}
