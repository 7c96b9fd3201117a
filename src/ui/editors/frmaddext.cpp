#include "frmaddext.h"

#include "lang/language.h"
#include "store/services.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {

struct FileType
{
    QString extension; // with its leading dot
    QString description;
};

// Every suffix the MIME database knows, once, with the comment of the type the desktop picks
// for a file of that name. Sorted without regard to case so ".PDF" and ".pdf" stand
// together; the exact text breaks ties so the order is always the same.
QList<FileType> knownFileTypes()
{
    const QMimeDatabase db;
    // A pattern such as "[1-9]" (manual pages) names no extension one could type.
    const QRegularExpression pattern(QStringLiteral("[][*?]"));
    std::map<QString, QString> suffixes;
    for (const QMimeType &type : db.allMimeTypes()) {
        for (const QString &suffix : type.suffixes()) {
            if (suffix.contains(pattern))
                continue;
            suffixes.emplace(suffix, type.comment().isEmpty() ? type.name() : type.comment());
        }
    }
    QList<FileType> types;
    for (const auto &[suffix, declaredBy] : suffixes) {
        // Several types may claim one suffix; show the one a file so named is taken for.
        const QMimeType chosen
            = db.mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension);
        const QString description
            = chosen.isDefault() || chosen.comment().isEmpty() ? declaredBy : chosen.comment();
        types.append({QLatin1Char('.') + suffix, description});
    }
    std::sort(types.begin(), types.end(), [](const FileType &a, const FileType &b) {
        const int c = a.extension.compare(b.extension, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.extension < b.extension;
    });
    return types;
}

// Extensions read left to right in every language: in a right-to-left window ".pdf" would
// otherwise be shown as "pdf.". The column keeps the window's alignment.
class LeftToRightDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->direction == Qt::RightToLeft) {
            option->direction = Qt::LeftToRight;
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        }
    }
};

} // namespace

frmAddExt::frmAddExt(const Services &services, QComboBox &cmbExt, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_cmbExt(cmbExt)
{
    setObjectName(QStringLiteral("frmAddExt"));
    setWindowTitle(QStringLiteral("Add File Type"));
    Label1 = new QLabel(QStringLiteral("To add a file type, either select from the list below OR "
                                       "type the file type in the edit control, then Press Add."));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label2 = new QLabel(QStringLiteral("Registered file types:"));
    Label2->setObjectName(QStringLiteral("Label2"));
    lstFile = new QTreeWidget;
    lstFile->setObjectName(QStringLiteral("lstFile"));
    lstFile->setColumnCount(2);
    lstFile->setRootIsDecorated(false);
    lstFile->setUniformRowHeights(true);
    lstFile->setSelectionMode(QAbstractItemView::SingleSelection);
    lstFile->setHeaderLabels(
        {QStringLiteral("Extension"), QStringLiteral("File Type Description")});
    lstFile->setItemDelegateForColumn(0, new LeftToRightDelegate(lstFile));
    Label3 = new QLabel(QStringLiteral("Custom file type:"));
    Label3->setObjectName(QStringLiteral("Label3"));
    txtCustom = new QLineEdit;
    txtCustom->setObjectName(QStringLiteral("txtCustom"));
    txtCustom->setLayoutDirection(Qt::LeftToRight);
    Label3->setBuddy(txtCustom);
    cmdAdd = new QPushButton(QStringLiteral("&Add"));
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdClose = new QPushButton(QStringLiteral("&Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto *custom = new QHBoxLayout;
    custom->addWidget(Label3);
    custom->addWidget(txtCustom, 1);
    custom->addWidget(cmdAdd);
    auto *close = new QHBoxLayout;
    close->addStretch();
    close->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(lstFile, 1);
    layout->addLayout(custom);
    layout->addLayout(close);

    fillFileTypes();
    connect(lstFile, &QTreeWidget::itemSelectionChanged, this, &frmAddExt::onRowPicked);
    connect(txtCustom, &QLineEdit::returnPressed, this, &frmAddExt::onAdd);
    connect(cmdAdd, &QPushButton::clicked, this, &frmAddExt::onAdd);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    applyLanguage();
}

void frmAddExt::fillFileTypes()
{
    // The database is in memory, so the whole list is built at once without keeping the
    // event loop waiting noticeably.
    QList<QTreeWidgetItem *> rows;
    const QList<FileType> types = knownFileTypes();
    rows.reserve(types.size());
    for (const FileType &type : types) {
        auto *row = new QTreeWidgetItem({type.extension, type.description});
        row->setData(0, Qt::UserRole, QStringLiteral("K%1").arg(rows.size()));
        rows.append(row);
    }
    lstFile->addTopLevelItems(rows);
}

void frmAddExt::applyLanguage()
{
    if (m_services.lang.isRightToLeft())
        setLayoutDirection(Qt::RightToLeft);
    if (!m_services.lang.LanguageFailed)
        SetCaptions();
    // Wide enough for the longest extension and for the column's caption.
    lstFile->resizeColumnToContents(0);
}

void frmAddExt::SetCaptions()
{
    const auto c = [this](const char *key, const char *text) {
        return m_services.caption(key, text);
    };
    setWindowTitle(c("60000", "Add File Type"));
    cmdAdd->setText(c("10005", "&Add"));
    Label2->setText(c("60002", "Registered file types:"));
    Label1->setText(c("60003",
                      "To add a file type, either select from the list below OR type the "
                      "file type in the edit control, then Press Add."));
    Label3->setText(c("60004", "Custom file type:"));
    cmdClose->setText(c("280243", "&Close"));
    lstFile->setHeaderLabels({c("280244", "Extension"), c("280245", "File Type Description")});
}

void frmAddExt::onRowPicked()
{
    const QList<QTreeWidgetItem *> picked = lstFile->selectedItems();
    if (!picked.isEmpty())
        txtCustom->setText(picked.first()->text(0));
}

void frmAddExt::onAdd()
{
    // Typed as it stands: only one leading dot goes, nothing is trimmed or lower-cased, and
    // types differing in case are different entries.
    QString extension = txtCustom->text();
    if (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);
    if (extension.isEmpty() || m_cmbExt.findText(extension) >= 0)
        return;
    m_cmbExt.addItem(extension);
    m_cmbExt.setCurrentIndex(m_cmbExt.count() - 1);
}
