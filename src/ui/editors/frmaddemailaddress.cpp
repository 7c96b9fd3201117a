#include "frmaddemailaddress.h"

#include "message/senderaddress.h"
#include "message/textformat.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

const char *const hintText = "Wildcards are allowed: *@example.com stands for every address "
                             "at example.com, joe@* for the user name joe at any domain.";

} // namespace

frmAddEmailAddress::frmAddEmailAddress(const Services &services, const QTreeWidget &list,
                                       QWidget *parent)
    : ListEntryDialog(services, list,
                      {QStringLiteral("frmAddEmailAddress"),
                       {"30003", "E-Mail Address"},
                       {"30002", hintText},
                       {"30000", "Add E-Mail Address"},
                       {"30064", "Edit E-Mail Address"},
                       {"30065", "&Ok"}},
                      parent)
{
    Label2->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Text1);
    layout->addWidget(Label2);
    addButtons(*layout);
    // A pasted "Name <address>" keeps only the address, which is what the lists compare.
    connect(Text1, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.contains(u'<') && text.contains(u'>') && text.contains(u'@'))
            Text1->setText(QString::fromUtf8(bareAddress(text.toUtf8())));
    });
}

frmAddEmailAddress::~frmAddEmailAddress() = default;

bool frmAddEmailAddress::isTypedValid() const
{
    // The wildcard forms pass: "*" is a local part or a domain like any other.
    if (!IsValidEmail(Text1->text()))
        return refuse("30014", "Not a valid E-Mail address.!!!");
    return true;
}

void frmAddEmailAddress::keepTyped()
{
    m_address = typedText();
}
