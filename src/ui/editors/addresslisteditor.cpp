#include "addresslisteditor.h"

#include "engine/korvanecore.h"
#include "frmaddemailaddress.h"
#include "listeditorparts.h"
#include "platform/showntext.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

using namespace ListEditorParts;

namespace {

// What a row keeps besides its shown text: the address's bytes as the file holds them and
// the element of the list it stands for. Deleted rows leave their elements in the list
// until OK, so a row's position is no index into the list.
constexpr int addressRole = Qt::UserRole;
constexpr int elementRole = Qt::UserRole + 1;

} // namespace

AddressListEditor::AddressListEditor(KorvaneCore &core, bool forFriendList, const Names &names,
                                     QWidget *parent)
    : QDialog(parent)
    , m_core(core)
    , m_forFriendList(forFriendList)
{
    setObjectName(names.window);
    setWindowTitle(forFriendList ? QStringLiteral("Friend List") : QStringLiteral("Blocked List"));
    m_list = namedListView(names.list, 1);
    m_list->setHeaderLabels({QStringLiteral("Email Address")});
    m_list->installEventFilter(this);
    m_add = namedButton(names.add, QStringLiteral("&Add"));
    m_edit = namedButton(names.edit, QStringLiteral("&Edit"));
    m_delete = namedButton(names.remove, QStringLiteral("&Delete"));
    cmdOK = namedButton(QStringLiteral("cmdOK"), QStringLiteral("&Ok"));
    cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    layOutListEditor(this, m_list, {m_add, m_edit, m_delete}, cmdOK, cmdCancel);

    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &AddressListEditor::onEdit);
    connect(m_add, &QPushButton::clicked, this, &AddressListEditor::onAdd);
    connect(m_edit, &QPushButton::clicked, this, &AddressListEditor::onEdit);
    connect(m_delete, &QPushButton::clicked, this, &AddressListEditor::onDelete);
    connect(cmdOK, &QPushButton::clicked, this, &AddressListEditor::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &AddressListEditor::reject);
}

AddressListEditor::~AddressListEditor() = default;

QList<AddressPattern> &AddressListEditor::addresses()
{
    return m_forFriendList ? m_core.lists.FriendList : m_core.lists.BlockedList;
}

bool &AddressListEditor::isLoaded()
{
    return m_forFriendList ? m_core.lists.FriendListLoaded : m_core.lists.BlockedListLoaded;
}

void AddressListEditor::loadFile()
{
    if (m_forFriendList)
        m_core.listFiles.LoadFriendList();
    else
        m_core.listFiles.LoadBlockedList();
}

void AddressListEditor::showEditor()
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

void AddressListEditor::reload()
{
    loadFile();
    m_list->clear();
    for (qsizetype i = 0; isLoaded() && i < addresses().size(); ++i)
        addRow(addresses().at(i), i);
}

void AddressListEditor::addRow(const AddressPattern &address, qsizetype element)
{
    auto *row = new QTreeWidgetItem(m_list);
    row->setText(0, shownText(address));
    row->setData(0, addressRole, address);
    row->setData(0, elementRole, qlonglong(element));
}

void AddressListEditor::onAdd()
{
    frmAddEmailAddress dialog(m_core.services, *m_list, this);
    dialog.ForFriendList = m_forFriendList;
    dialog.EditMode = false;
    if (dialog.exec() != QDialog::Accepted || !dialog.address())
        return;
    // In effect at once, like the list a check reads.
    addresses().append(*dialog.address());
    isLoaded() = true;
    addRow(*dialog.address(), addresses().size() - 1);
}

void AddressListEditor::onEdit()
{
    const int position = lastSelectedRow(*m_list);
    if (position < 0)
        return;
    QTreeWidgetItem *row = m_list->topLevelItem(position);
    frmAddEmailAddress dialog(m_core.services, *m_list, this);
    dialog.ForFriendList = m_forFriendList;
    dialog.EditMode = true;
    dialog.EditIndex = position + 1;
    dialog.showAddress(row->data(0, addressRole).toByteArray());
    if (dialog.exec() != QDialog::Accepted || !dialog.address())
        return;
    row->setText(0, shownText(*dialog.address()));
    row->setData(0, addressRole, *dialog.address());
    const qsizetype element = row->data(0, elementRole).toLongLong();
    if (element >= 0 && element < addresses().size())
        addresses()[element] = *dialog.address();
}

void AddressListEditor::onDelete()
{
    for (int position : selectedRowsLastFirst(*m_list))
        delete m_list->takeTopLevelItem(position);
}

void AddressListEditor::onOk()
{
    QList<AddressPattern> rows;
    for (int position = 0; position < m_list->topLevelItemCount(); ++position)
        rows << m_list->topLevelItem(position)->data(0, addressRole).toByteArray();
    addresses() = rows;
    isLoaded() = !rows.isEmpty();
    // With every row deleted the file must be emptied too. A file that could not be
    // written has been reported; the editor stays open, so nothing typed is lost.
    const auto empty = ListFiles::EmptyList::EmptyFile;
    const bool saved = m_forFriendList ? m_core.listFiles.SaveFriendList(empty)
                                       : m_core.listFiles.SaveBlockedList(empty);
    if (!saved)
        return;
    accept();
}

void AddressListEditor::reject()
{
    // The list a check reads goes back to the file: Add and Edit changed it at once.
    addresses().clear();
    isLoaded() = false;
    loadFile();
    QDialog::reject();
}

bool AddressListEditor::eventFilter(QObject *watched, QEvent *event)
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

void AddressListEditor::applyLanguage()
{
    setLayoutDirection(m_core.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (m_core.lang.LanguageFailed)
        return;
    const auto c = [this](const char *key, const char *text) {
        return m_core.services.caption(key, text);
    };
    setWindowTitle(m_forFriendList ? c("110000", "Friend List") : c("100000", "Blocked List"));
    m_add->setText(c("10005", "&Add"));
    m_edit->setText(c("70017", "&Edit"));
    m_delete->setText(c("10006", "&Delete"));
    cmdOK->setText(c("10001", "&Ok"));
    cmdCancel->setText(c("10002", "&Cancel"));
    m_list->setHeaderLabels({c("100001", "Email Address")});
}
