#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QPushButton;
class QTreeWidget;
class QWidget;

// The pieces the list editors and their dialogs share: named controls and captions, the list view
// with its selection, and the bytes a typed text is stored as.
namespace ListEditorParts {

// A shown text: its key in the language pack and the text without one.
struct Caption
{
    const char *key;
    const char *text;
};

QPushButton *namedButton(const QString &name, const QString &text);

// A report-style list of `columns` columns whose rows can be selected together; the first
// column takes the width the others leave.
QTreeWidget *namedListView(const QString &name, int columns);

// The editor's layout: the list with its command buttons beside it, OK and Cancel below.
// No button is a default one, so Enter in the list edits the row instead of closing.
void layOutListEditor(QWidget *window, QTreeWidget *list, const QList<QPushButton *> &commands,
                      QPushButton *ok, QPushButton *cancel);

// The position of the last selected row in list order; -1 when none is selected.
int lastSelectedRow(const QTreeWidget &list);

// The positions of the selected rows, the last first, so that removing them in this
// order leaves the positions still to come valid.
QList<int> selectedRowsLastFirst(const QTreeWidget &list);

// Whether any row's first column reads `text` when both are lower-cased.
bool isListed(const QTreeWidget &list, const QString &text);

// The bytes a typed text is kept as: the original bytes when the text still reads as they
// were shown (so a Latin-1 entry stays Latin-1), UTF-8 otherwise. A line break would split
// the record in its line file, so it becomes a blank.
QByteArray typedBytes(const QString &typed, const QByteArray &original = {});

} // namespace ListEditorParts
