#include "listentrydialog.h"

#include "closinganimation.h"
#include "lang/language.h"
#include "listeditorparts.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/services.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ListEditorParts;

ListEntryDialog::ListEntryDialog(const Services &services, const QTreeWidget &list,
                                 const Form &form, QWidget *parent)
    : QDialog(parent)
    , m_services(services)
    , m_list(list)
    , m_form(form)
{
    setObjectName(form.name);
    setWindowTitle(QString::fromLatin1(form.addTitle.text));
    Label1 = new QLabel(QString::fromLatin1(form.label1.text));
    Label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit;
    Text1->setObjectName(QStringLiteral("Text1"));
    Label1->setBuddy(Text1);
    Label2 = new QLabel(QString::fromLatin1(form.label2.text));
    Label2->setObjectName(QStringLiteral("Label2"));
    cmdAdd = namedButton(QStringLiteral("cmdAdd"), QStringLiteral("&Add"));
    cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    // Enter in a box runs Add itself; a default button would run it a second time.
    cmdAdd->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);

    connect(Text1, &QLineEdit::returnPressed, this, &ListEntryDialog::onAdd);
    connect(cmdAdd, &QPushButton::clicked, this, &ListEntryDialog::onAdd);
    connect(cmdCancel, &QPushButton::clicked, this, &ListEntryDialog::reject);
}

ListEntryDialog::~ListEntryDialog() = default;

void ListEntryDialog::addButtons(QVBoxLayout &layout)
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdCancel);
    layout.addLayout(buttons);
}

bool ListEntryDialog::execForRow(int position)
{
    EditMode = position >= 0;
    EditIndex = position + 1;
    return exec() == QDialog::Accepted;
}

void ListEntryDialog::showText(const QByteArray &bytes)
{
    m_shownText = bytes;
    Text1->setText(shownText(bytes));
}

QByteArray ListEntryDialog::typedText() const
{
    return typedBytes(Text1->text(), EditMode ? m_shownText : QByteArray());
}

bool ListEntryDialog::refuse(const char *key, const char *text) const
{
    m_services.prompter.warning(m_services.caption(key, text));
    return false;
}

void ListEntryDialog::onAdd()
{
    if (!isTypedValid())
        return;
    // A change may give a row the text of another one; only a new row must be new.
    if (!EditMode && isListed(m_list, Text1->text())) {
        refuse("270009", "Already exist!");
        return;
    }
    keepTyped();
    ClosingAnimation::finish(*this, QDialog::Accepted);
}

void ListEntryDialog::applyLanguage()
{
    setLayoutDirection(m_services.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (m_services.lang.LanguageFailed)
        return;
    const auto c = [this](const Caption &caption) {
        return m_services.caption(caption.key, caption.text);
    };
    Label1->setText(c(m_form.label1));
    // Cancel keeps its text in every language, and so may the second label.
    if (m_form.label2.key)
        Label2->setText(c(m_form.label2));
    if (EditMode) {
        setWindowTitle(c(m_form.editTitle));
        cmdAdd->setText(c(m_form.editButton));
    } else {
        setWindowTitle(c(m_form.addTitle));
        cmdAdd->setText(c({"10005", "&Add"}));
    }
}

void ListEntryDialog::showEvent(QShowEvent *event)
{
    applyLanguage();
    QDialog::showEvent(event);
}

void ListEntryDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage();
    QDialog::changeEvent(event);
}
