#include "listeditorparts.h"

#include "platform/showntext.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace ListEditorParts {

QPushButton *namedButton(const QString &name, const QString &text)
{
    auto *button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

QTreeWidget *namedListView(const QString &name, int columns)
{
    auto *list = new QTreeWidget;
    list->setObjectName(name);
    list->setColumnCount(columns);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < columns; ++column)
        list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    return list;
}

QList<int> selectedRowsLastFirst(const QTreeWidget &list)
{
    QList<int> rows;
    for (QTreeWidgetItem *item : list.selectedItems())
        rows << list.indexOfTopLevelItem(item);
    // selectedItems() gives the order of selecting, not the order of the list.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    return rows;
}

void layOutListEditor(QWidget *window, QTreeWidget *list, const QList<QPushButton *> &commands,
                      QPushButton *ok, QPushButton *cancel)
{
    auto *side = new QVBoxLayout;
    for (QPushButton *b : commands) {
        b->setAutoDefault(false);
        side->addWidget(b);
    }
    side->addStretch();
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    auto *top = new QHBoxLayout;
    top->addWidget(list, 1);
    top->addLayout(side);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    auto *layout = new QVBoxLayout(window);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
}

int lastSelectedRow(const QTreeWidget &list)
{
    const QList<int> rows = selectedRowsLastFirst(list);
    return rows.isEmpty() ? -1 : rows.first();
}

bool isListed(const QTreeWidget &list, const QString &text)
{
    const QString wanted = text.toLower();
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        if (list.topLevelItem(row)->text(0).toLower() == wanted)
            return true;
    }
    return false;
}

QByteArray typedBytes(const QString &typed, const QByteArray &original)
{
    if (!original.isEmpty() && typed == shownText(original))
        return original;
    QByteArray bytes = typed.toUtf8();
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

} // namespace ListEditorParts
