#include "frmaddword.h"

#include "closinganimation.h"
#include "lang/language.h"
#include "listeditorparts.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "store/numbers.h"
#include "store/services.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ListEditorParts;

frmAddWord::frmAddWord(const Services &services, const QTreeWidget &list, QWidget *parent)
    : QDialog(parent)
    , m_services(services)
    , m_list(list)
{
    setObjectName(QStringLiteral("frmAddWord"));
    setWindowTitle(QStringLiteral("Addd Expression"));
    Label1 = new QLabel(QStringLiteral("Expression"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Text1 = new QLineEdit;
    Text1->setObjectName(QStringLiteral("Text1"));
    Label2 = new QLabel(QStringLiteral("Value"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Text2 = new QLineEdit;
    Text2->setObjectName(QStringLiteral("Text2"));
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    cmdAdd = namedButton(QStringLiteral("cmdAdd"), QStringLiteral("&Add"));
    cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    // Enter in a box runs Add itself; a default button would run it a second time.
    cmdAdd->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);

    auto *boxes = new QGridLayout;
    boxes->addWidget(Label1, 0, 0);
    boxes->addWidget(Label2, 0, 1);
    boxes->addWidget(Text1, 1, 0);
    boxes->addWidget(Text2, 1, 1);
    boxes->setColumnStretch(0, 3);
    boxes->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addLayout(buttons);

    connect(Text1, &QLineEdit::returnPressed, this, &frmAddWord::onAdd);
    connect(Text2, &QLineEdit::returnPressed, this, &frmAddWord::onAdd);
    connect(cmdAdd, &QPushButton::clicked, this, &frmAddWord::onAdd);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAddWord::reject);
}

frmAddWord::~frmAddWord() = default;

void frmAddWord::showWord(const SpamWord &word)
{
    m_shownWord = word.Word;
    Text1->setText(shownText(word.Word));
    Text2->setText(QString::number(word.Value));
}

void frmAddWord::onAdd()
{
    if (Text1->text().isEmpty() || Text2->text().isEmpty()) {
        m_services.prompter.warning(m_services.caption("40014", "Fill all text boxes first.!!"));
        return;
    }
    // The value is kept as a 16-bit number: anything else could not be stored or read back.
    const auto value = toWholeNumber(Text2->text().toUtf8(), -32768, 32767);
    if (!value) {
        m_services.prompter.warning(
            m_services.caption("40015", "Enter a numeric value in value field.!!"));
        return;
    }
    // A change may give a row the text of another one; only a new row must be new.
    if (!EditMode && isListed(m_list, Text1->text())) {
        m_services.prompter.warning(m_services.caption("270009", "Already exist!"));
        return;
    }
    m_word = SpamWord {typedBytes(Text1->text(), EditMode ? m_shownWord : QByteArray()),
                       qint16(*value)};
    ClosingAnimation::finish(*this, QDialog::Accepted);
}

void frmAddWord::applyLanguage()
{
    setLayoutDirection(m_services.lang.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    if (m_services.lang.LanguageFailed)
        return;
    const auto c = [this](const char *key, const char *text) {
        return m_services.caption(key, text);
    };
    // The value label and Cancel keep their texts in every language.
    Label1->setText(c("40003", "Expression"));
    if (EditMode) {
        setWindowTitle(c("40064", "Edit Expression"));
        cmdAdd->setText(c("40065", "&Ok"));
    } else {
        setWindowTitle(c("40000", "Addd Expression"));
        cmdAdd->setText(c("10005", "&Add"));
    }
}

void frmAddWord::showEvent(QShowEvent *event)
{
    applyLanguage();
    QDialog::showEvent(event);
}

void frmAddWord::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage();
    QDialog::changeEvent(event);
}
