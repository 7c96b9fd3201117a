#include "frmaddword.h"

#include "store/numbers.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

frmAddWord::frmAddWord(const Services &services, const QTreeWidget &list, QWidget *parent)
    : ListEntryDialog(services, list,
                      // The value label keeps its text in every language.
                      {QStringLiteral("frmAddWord"),
                       {"40003", "Expression"},
                       {nullptr, "Value"},
                       {"40000", "Addd Expression"},
                       {"40064", "Edit Expression"},
                       {"40065", "&Ok"}},
                      parent)
{
    Text2 = new QLineEdit;
    Text2->setObjectName(QStringLiteral("Text2"));
    Label2->setBuddy(Text2);
    auto *boxes = new QGridLayout;
    boxes->addWidget(Label1, 0, 0);
    boxes->addWidget(Label2, 0, 1);
    boxes->addWidget(Text1, 1, 0);
    boxes->addWidget(Text2, 1, 1);
    boxes->setColumnStretch(0, 3);
    boxes->setColumnStretch(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    addButtons(*layout);

    connect(Text2, &QLineEdit::returnPressed, this, &frmAddWord::onAdd);
}

frmAddWord::~frmAddWord() = default;

void frmAddWord::showWord(const SpamWord &word)
{
    showText(word.Word);
    Text2->setText(QString::number(word.Value));
}

std::optional<int> frmAddWord::typedValue() const
{
    // The value is kept as a 16-bit number: anything else could not be stored or read back.
    return toWholeNumber(Text2->text().toUtf8(), -32768, 32767);
}

bool frmAddWord::isTypedValid() const
{
    if (Text1->text().isEmpty() || Text2->text().isEmpty())
        return refuse("40014", "Fill all text boxes first.!!");
    if (!typedValue())
        return refuse("40015", "Enter a numeric value in value field.!!");
    return true;
}

void frmAddWord::keepTyped()
{
    m_word = SpamWord {typedText(), qint16(*typedValue())};
}
