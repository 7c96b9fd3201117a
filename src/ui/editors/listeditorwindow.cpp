#include "listeditorwindow.h"

#include "engine/korvanecore.h"
#include "listeditorparts.h"
#include "store/records.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

using namespace ListEditorParts;

namespace {

// The element of the list a row stands for. Deleted rows leave their elements in the list
// until OK, so a row's position is no index into the list.
constexpr int elementRole = Qt::UserRole;

} // namespace

template<typename Record>
ListEditorWindow<Record>::ListEditorWindow(KorvaneCore &core, QList<Record> &records,
                                           bool &isLoaded, const Controls &controls,
                                           QWidget *parent)
    : QDialog(parent)
    , m_core(core)
    , m_records(records)
    , m_isLoaded(isLoaded)
    , m_title(controls.title)
    , m_columns(controls.columns)
{
    static_assert(recordRole > elementRole);
    setObjectName(controls.window);
    setWindowTitle(QString::fromLatin1(m_title.text));
    m_list = namedListView(controls.list, int(m_columns.size()));
    QStringList headers;
    for (const Caption &column : m_columns)
        headers << QString::fromLatin1(column.text);
    m_list->setHeaderLabels(headers);
    m_list->installEventFilter(this);
    m_add = namedButton(controls.add, QStringLiteral("&Add"));
    m_edit = namedButton(controls.edit, QStringLiteral("&Edit"));
    m_delete = namedButton(controls.remove, QStringLiteral("&Delete"));
    cmdOK = namedButton(QStringLiteral("cmdOK"), QStringLiteral("&Ok"));
    cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    layOutListEditor(this, m_list, {m_add, m_edit, m_delete}, cmdOK, cmdCancel);

    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &ListEditorWindow::onEdit);
    connect(m_add, &QPushButton::clicked, this, &ListEditorWindow::onAdd);
    connect(m_edit, &QPushButton::clicked, this, &ListEditorWindow::onEdit);
    connect(m_delete, &QPushButton::clicked, this, &ListEditorWindow::onDelete);
    connect(cmdOK, &QPushButton::clicked, this, &ListEditorWindow::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &ListEditorWindow::reject);
}

template<typename Record> ListEditorWindow<Record>::~ListEditorWindow() = default;

template<typename Record> void ListEditorWindow<Record>::showEditor()
{
    applyLanguage();
    // Opened again while open: the rows may hold changes not yet saved, which a reload
    // would throw away.
    if (!isVisible())
        reload();
    showNormal();
    raise();
    activateWindow();
}

template<typename Record> void ListEditorWindow<Record>::reload()
{
    loadFile();
    m_list->clear();
    for (qsizetype i = 0; m_isLoaded && i < m_records.size(); ++i)
        addRow(m_records.at(i), i);
}

template<typename Record>
void ListEditorWindow<Record>::addRow(const Record &record, qsizetype element)
{
    auto *row = new QTreeWidgetItem(m_list);
    showRow(*row, record);
    row->setData(0, elementRole, qlonglong(element));
}

template<typename Record> void ListEditorWindow<Record>::onAdd()
{
    const std::optional<Record> record = askForEntry(nullptr, -1);
    if (!record)
        return;
    // In effect at once, like the list a check reads.
    m_records.append(*record);
    m_isLoaded = true;
    addRow(*record, m_records.size() - 1);
}

template<typename Record> void ListEditorWindow<Record>::onEdit()
{
    const int position = lastSelectedRow(*m_list);
    if (position < 0)
        return;
    QTreeWidgetItem *row = m_list->topLevelItem(position);
    const Record current = recordOf(*row);
    const std::optional<Record> record = askForEntry(&current, position);
    if (!record)
        return;
    showRow(*row, *record);
    const qsizetype element = row->data(0, elementRole).toLongLong();
    if (element >= 0 && element < m_records.size())
        m_records[element] = *record;
}

template<typename Record> void ListEditorWindow<Record>::onDelete()
{
    for (int position : selectedRowsLastFirst(*m_list))
        delete m_list->takeTopLevelItem(position);
}

template<typename Record> void ListEditorWindow<Record>::onOk()
{
    QList<Record> rows;
    for (int position = 0; position < m_list->topLevelItemCount(); ++position)
        rows << recordOf(*m_list->topLevelItem(position));
    m_records = rows;
    m_isLoaded = !rows.isEmpty();
    // The editor stays open when the file could not be written, so nothing typed is lost
    // and OK can be tried again.
    if (!saveFile())
        return;
    accept();
}

template<typename Record> void ListEditorWindow<Record>::reject()
{
    // The list a check reads goes back to the file: Add and Edit changed it at once.
    m_records.clear();
    m_isLoaded = false;
    loadFile();
    QDialog::reject();
}

template<typename Record>
bool ListEditorWindow<Record>::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            onEdit();
            return true;
        }
        if (key == Qt::Key_Delete) {
            onDelete();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

template<typename Record> void ListEditorWindow<Record>::applyLanguage()
{
    setLayoutDirection(m_core.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (m_core.lang.LanguageFailed)
        return;
    const auto c = [this](const Caption &caption) {
        return m_core.services.caption(caption.key, caption.text);
    };
    setWindowTitle(c(m_title));
    m_add->setText(c({"10005", "&Add"}));
    m_edit->setText(c({"70017", "&Edit"}));
    m_delete->setText(c({"10006", "&Delete"}));
    cmdOK->setText(c({"10001", "&Ok"}));
    cmdCancel->setText(c({"10002", "&Cancel"}));
    QStringList headers;
    for (const Caption &column : m_columns)
        headers << c(column);
    m_list->setHeaderLabels(headers);
}

template class ListEditorWindow<SpamWord>;
template class ListEditorWindow<AddressPattern>;
