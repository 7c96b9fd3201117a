#include "celldirectiondelegate.h"

#include <QStyle>

void CellDirectionDelegate::initStyleOption(QStyleOptionViewItem *option,
                                            const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const Qt::LayoutDirection tableDirection = option->direction;
    // Where the table puts the text, fixed before the text's own direction changes it.
    option->displayAlignment
        = QStyle::visualAlignment(tableDirection, option->displayAlignment) | Qt::AlignAbsolute;
    option->direction = option->text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}
