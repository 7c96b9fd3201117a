#include "frmaddemailaddress.h"

#include "closinganimation.h"
#include "lang/language.h"
#include "listeditorparts.h"
#include "message/textformat.h"
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

namespace {

const char *const hintText = "Wildcards are allowed: *@example.com stands for every address "
                             "at example.com, joe@* for the user name joe at any domain.";

} // namespace

frmAddEmailAddress::frmAddEmailAddress(const Services &services, const QTreeWidget &list,
                                       QWidget *parent)
    : QDialog(parent)
    , m_services(services)
    , m_list(list)
{
    setObjectName(QStringLiteral("frmAddEmailAddress"));
    setWindowTitle(QStringLiteral("Add E-Mail Address"));
    Label1 = new QLabel(QStringLiteral("E-Mail Address"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit;
    Text1->setObjectName(QStringLiteral("Text1"));
    Label1->setBuddy(Text1);
    Label2 = new QLabel(QString::fromLatin1(hintText));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    cmdAdd = namedButton(QStringLiteral("cmdAdd"), QStringLiteral("&Add"));
    cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    // Enter in the box runs Add itself; a default button would run it a second time.
    cmdAdd->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Text1);
    layout->addWidget(Label2);
    layout->addLayout(buttons);

    connect(Text1, &QLineEdit::returnPressed, this, &frmAddEmailAddress::onAdd);
    connect(cmdAdd, &QPushButton::clicked, this, &frmAddEmailAddress::onAdd);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAddEmailAddress::reject);
}

frmAddEmailAddress::~frmAddEmailAddress() = default;

void frmAddEmailAddress::showAddress(const AddressPattern &address)
{
    m_shownAddress = address;
    Text1->setText(shownText(address));
}

void frmAddEmailAddress::onAdd()
{
    const QString typed = Text1->text();
    // The wildcard forms pass: "*" is a local part or a domain like any other.
    if (!IsValidEmail(typed)) {
        m_services.prompter.warning(m_services.caption("30014", "Not a valid E-Mail address.!!!"));
        return;
    }
    // A change may give a row the text of another one; only a new row must be new.
    if (!EditMode && isListed(m_list, typed)) {
        m_services.prompter.warning(m_services.caption("270009", "Already exist!"));
        return;
    }
    m_address = typedBytes(typed, EditMode ? m_shownAddress : QByteArray());
    ClosingAnimation::finish(*this, QDialog::Accepted);
}

void frmAddEmailAddress::applyLanguage()
{
    setLayoutDirection(m_services.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (m_services.lang.LanguageFailed)
        return;
    const auto c = [this](const char *key, const char *text) {
        return m_services.caption(key, text);
    };
    Label1->setText(c("30003", "E-Mail Address"));
    Label2->setText(c("30002", hintText));
    if (EditMode) {
        setWindowTitle(c("30064", "Edit E-Mail Address"));
        cmdAdd->setText(c("30065", "&Ok"));
    } else {
        setWindowTitle(c("30000", "Add E-Mail Address"));
        cmdAdd->setText(c("10005", "&Add"));
    }
}

void frmAddEmailAddress::showEvent(QShowEvent *event)
{
    applyLanguage();
    QDialog::showEvent(event);
}

void frmAddEmailAddress::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage();
    QDialog::changeEvent(event);
}
