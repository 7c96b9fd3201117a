#include "support/coretestbed.h"
#include "ui/editors/closinganimation.h"
#include "ui/editors/frmaddemailaddress.h"
#include "ui/editors/frmaddword.h"
#include "ui/editors/frmblockedlist.h"
#include "ui/editors/frmfriendlist.h"
#include "ui/editors/frmspamwords.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

#include <gtest/gtest.h>

namespace {

// Runs `act` on the modal dialog of type Dialog as soon as the editor opens it.
template<typename Dialog> void whenDialogOpens(std::function<void(Dialog &)> act)
{
    QTimer::singleShot(0, [act] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

// Adds through the editor's Add button and the dialog it opens.
void addWord(QPushButton *add, const char *word, const char *value)
{
    whenDialogOpens<frmAddWord>([word, value](frmAddWord &d) {
        d.Text1->setText(QString::fromUtf8(word));
        d.Text2->setText(QString::fromUtf8(value));
        d.cmdAdd->click();
        // A refused entry leaves the dialog open; close it as the user would.
        if (d.isVisible())
            d.cmdCancel->click();
    });
    add->click();
}

void addAddress(QPushButton *add, const char *address)
{
    whenDialogOpens<frmAddEmailAddress>([address](frmAddEmailAddress &d) {
        d.Text1->setText(QString::fromUtf8(address));
        d.cmdAdd->click();
        if (d.isVisible())
            d.cmdCancel->click();
    });
    add->click();
}

// A key pressed while the widget has the focus.
void pressKey(QWidget *widget, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

QStringList rows(const QTreeWidget &list, int column = 0)
{
    QStringList texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        texts << list.topLevelItem(i)->text(column);
    return texts;
}

void select(QTreeWidget &list, std::initializer_list<int> positions)
{
    list.clearSelection();
    for (int position : positions)
        list.topLevelItem(position)->setSelected(true);
}

QList<QByteArray> words(const MailLists &lists)
{
    QList<QByteArray> texts;
    for (const SpamWord &w : lists.BadWords)
        texts << w.Word + "=" + QByteArray::number(w.Value);
    return texts;
}

const QByteArray threeWords = "free\r\n10\r\nviagra\r\n50\r\ncasino\r\n2.5\r\n";

} // namespace

TEST(AddWordDialog, RefusesWhatCannotBeStored)
{
    CoreTestbed bed;
    QTreeWidget list;
    new QTreeWidgetItem(&list, QStringList {"free", "10"});
    const struct
    {
        const char *name;
        bool editMode;
        const char *word;
        const char *value;
        const char *warning; // nullptr: accepted
        qint16 stored;
    } cases[] = {
        {"empty value", false, "cheap", "", "Fill all text boxes first.!!", 0},
        {"empty word", false, "", "5", "Fill all text boxes first.!!", 0},
        {"letters", false, "cheap", "x5", "Enter a numeric value in value field.!!", 0},
        {"above 16 bits", false, "cheap", "70000", "Enter a numeric value in value field.!!", 0},
        {"below 16 bits", false, "cheap", "-32769", "Enter a numeric value in value field.!!", 0},
        {"fraction", false, "cheap", "2.5", "Enter a numeric value in value field.!!", 0},
        {"other case of a row", false, "FREE", "5", "Already exist!", 0},
        {"lowest", false, "cheap", "-32768", nullptr, -32768},
        {"highest with blanks", false, "cheap", " 32767 ", nullptr, 32767},
        {"editing to a listed text", true, "Free", "7", nullptr, 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bed.prompter.warnings.clear();
        frmAddWord dialog(bed.core->services, list);
        dialog.EditMode = c.editMode;
        dialog.Text1->setText(c.word);
        dialog.Text2->setText(c.value);
        pressKey(dialog.Text2, Qt::Key_Return);
        if (c.warning) {
            EXPECT_EQ(bed.prompter.warnings, QStringList {c.warning});
            EXPECT_FALSE(dialog.word());
            EXPECT_EQ(dialog.Text1->text(), c.word);
        } else {
            EXPECT_TRUE(bed.prompter.warnings.isEmpty());
            ASSERT_TRUE(dialog.word());
            EXPECT_EQ(dialog.word()->Word, QByteArray(c.word));
            EXPECT_EQ(dialog.word()->Value, c.stored);
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
        }
    }
}

TEST(SpamWordEditor, AddEditDeleteAndOkWriteTheRowsInOrder)
{
    CoreTestbed bed;
    bed.dir.write("data/BadWords.ini", threeWords);
    frmSpamWords editor(*bed.core);
    editor.reload();
    EXPECT_EQ(rows(*editor.ListView1), (QStringList {"free", "viagra", "casino"}));
    EXPECT_EQ(rows(*editor.ListView1, 1), (QStringList {"10", "50", "2"}));

    addWord(editor.cmdAddWord, "Free", "5");
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Already exist!"});
    EXPECT_EQ(editor.ListView1->topLevelItemCount(), 3);

    // An added word is in effect at once for a check.
    addWord(editor.cmdAddWord, "cheap pills", "30");
    EXPECT_EQ(words(bed.core->lists),
              (QList<QByteArray> {"free=10", "viagra=50", "casino=2", "cheap pills=30"}));

    // After deleting the first row, positions no longer match BadWords: the edit must
    // change the word of the row picked, not the one at its position.
    select(*editor.ListView1, {0});
    pressKey(editor.ListView1, Qt::Key_Delete);
    EXPECT_TRUE(bed.prompter.questions.isEmpty());
    select(*editor.ListView1, {0, 1});
    whenDialogOpens<frmAddWord>([](frmAddWord &d) {
        EXPECT_TRUE(d.EditMode);
        EXPECT_EQ(d.EditIndex, 2);
        EXPECT_EQ(d.Text1->text(), "casino");
        d.Text1->setText("roulette");
        d.Text2->setText("-3");
        d.cmdAdd->click();
    });
    pressKey(editor.ListView1, Qt::Key_Return);
    EXPECT_EQ(rows(*editor.ListView1), (QStringList {"viagra", "roulette", "cheap pills"}));
    EXPECT_EQ(words(bed.core->lists),
              (QList<QByteArray> {"free=10", "viagra=50", "roulette=-3", "cheap pills=30"}));
    EXPECT_EQ(bed.dir.read("data/BadWords.ini"), threeWords);

    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/BadWords.ini"),
              "viagra\r\n50\r\nroulette\r\n-3\r\ncheap pills\r\n30\r\n");
    EXPECT_EQ(words(bed.core->lists),
              (QList<QByteArray> {"viagra=50", "roulette=-3", "cheap pills=30"}));
    EXPECT_TRUE(bed.core->lists.BadWordsLoaded);
}

TEST(SpamWordEditor, CancelLeavesListAndFileAsTheFileHoldsThem)
{
    CoreTestbed bed;
    bed.dir.write("data/BadWords.ini", threeWords);
    frmSpamWords editor(*bed.core);
    editor.reload();
    addWord(editor.cmdAddWord, "lottery", "40");
    select(*editor.ListView1, {1});
    whenDialogOpens<frmAddWord>([](frmAddWord &d) {
        d.Text2->setText("1");
        d.cmdAdd->click();
    });
    editor.cmdEditWord->click();
    select(*editor.ListView1, {0});
    editor.cmdDeleteWord->click();
    ASSERT_EQ(words(bed.core->lists),
              (QList<QByteArray> {"free=10", "viagra=1", "casino=2", "lottery=40"}));

    editor.cmdCancel->click();
    EXPECT_EQ(bed.dir.read("data/BadWords.ini"), threeWords);
    EXPECT_EQ(words(bed.core->lists), (QList<QByteArray> {"free=10", "viagra=50", "casino=2"}));
    editor.reload();
    EXPECT_EQ(rows(*editor.ListView1), (QStringList {"free", "viagra", "casino"}));

    // From an empty file, a cancelled Add leaves nothing for a check to use.
    bed.dir.write("data/BadWords.ini", "");
    bed.core->lists = {};
    editor.reload();
    addWord(editor.cmdAddWord, "lottery", "40");
    ASSERT_TRUE(bed.core->lists.BadWordsLoaded);
    editor.reject();
    EXPECT_TRUE(bed.core->lists.BadWords.isEmpty());
    EXPECT_FALSE(bed.core->lists.BadWordsLoaded);
}

TEST(SpamWordEditor, DeletingEveryRowEmptiesTheFile)
{
    CoreTestbed bed;
    bed.dir.write("data/BadWords.ini", threeWords);
    frmSpamWords editor(*bed.core);
    editor.showEditor();
    editor.ListView1->selectAll();
    editor.cmdDeleteWord->click();
    // Asked for again while open, the editor keeps what the user did so far.
    editor.showEditor();
    EXPECT_EQ(editor.ListView1->topLevelItemCount(), 0);
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/BadWords.ini"), "");
    EXPECT_TRUE(bed.core->lists.BadWords.isEmpty());
    EXPECT_FALSE(bed.core->lists.BadWordsLoaded);
}

TEST(AddEmailAddressDialog, AcceptsAddressesAndWildcardsOnly)
{
    CoreTestbed bed;
    QTreeWidget list;
    new QTreeWidgetItem(&list, QStringList {"joe@example.com"});
    const struct
    {
        const char *name;
        bool editMode;
        const char *typed;
        const char *warning; // nullptr: accepted
    } cases[] = {
        {"no at sign", false, "joe.example.com", "Not a valid E-Mail address.!!!"},
        {"nothing before", false, "@example.com", "Not a valid E-Mail address.!!!"},
        {"nothing after", false, "joe@", "Not a valid E-Mail address.!!!"},
        {"empty", false, "", "Not a valid E-Mail address.!!!"},
        {"other case of a row", false, "JOE@Example.COM", "Already exist!"},
        {"any user of a domain", false, "*@example.com", nullptr},
        {"a user at any domain", false, "joe@*", nullptr},
        {"one character each side", false, "a@b", nullptr},
        {"editing to a listed text", true, "joe@example.com", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bed.prompter.warnings.clear();
        frmAddEmailAddress dialog(bed.core->services, list);
        dialog.EditMode = c.editMode;
        dialog.Text1->setText(c.typed);
        pressKey(dialog.Text1, Qt::Key_Return);
        if (c.warning) {
            EXPECT_EQ(bed.prompter.warnings, QStringList {c.warning});
            EXPECT_FALSE(dialog.address());
            EXPECT_EQ(dialog.Text1->text(), c.typed);
        } else {
            EXPECT_TRUE(bed.prompter.warnings.isEmpty());
            EXPECT_EQ(dialog.address(), std::optional<AddressPattern>(c.typed));
        }
    }
}

// A sender copied from a mail program ("Name <address>") keeps only the address the lists
// compare, as soon as it is in the box.
TEST(AddressDialog, APastedNameAndAddressKeepsTheAddress)
{
    CoreTestbed bed;
    QTreeWidget list;
    frmAddEmailAddress dialog(bed.core->services, list);
    dialog.Text1->insert("\"Rail Bookings\" <noreply@rail.example>");
    EXPECT_EQ(dialog.Text1->text(), "noreply@rail.example");
    pressKey(dialog.Text1, Qt::Key_Return);
    EXPECT_EQ(dialog.address(), std::optional<AddressPattern>("noreply@rail.example"));
}

TEST(FriendListEditor, AddEditDeleteAndOkWriteTheRows)
{
    CoreTestbed bed;
    frmFriendList editor(*bed.core);
    editor.reload();
    EXPECT_EQ(editor.ListView3->topLevelItemCount(), 0);
    editor.cmdEditFriendAcc->click(); // nothing to edit: no dialog

    whenDialogOpens<frmAddEmailAddress>([](frmAddEmailAddress &d) {
        EXPECT_TRUE(d.ForFriendList);
        EXPECT_FALSE(d.EditMode);
        d.Text1->setText("ann@example.com");
        d.cmdAdd->click();
    });
    editor.cmdAddFriendAcc->click();
    EXPECT_EQ(bed.core->lists.FriendList, QList<AddressPattern> {"ann@example.com"});
    EXPECT_TRUE(bed.core->lists.FriendListLoaded);
    addAddress(editor.cmdAddFriendAcc, "*@work.example");
    addAddress(editor.cmdAddFriendAcc, "ANN@example.com");
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Already exist!"});
    addAddress(editor.cmdAddFriendAcc, "bob@*");

    select(*editor.ListView3, {0});
    editor.cmdDeleteFriendAcc->click();
    select(*editor.ListView3, {1});
    whenDialogOpens<frmAddEmailAddress>([](frmAddEmailAddress &d) {
        EXPECT_EQ(d.EditIndex, 2);
        EXPECT_EQ(d.Text1->text(), "bob@*");
        d.Text1->setText("robert@*");
        d.cmdAdd->click();
    });
    emit editor.ListView3->itemDoubleClicked(editor.ListView3->topLevelItem(1), 0);
    EXPECT_EQ(bed.core->lists.FriendList,
              (QList<AddressPattern> {"ann@example.com", "*@work.example", "robert@*"}));
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/FriendList.ini"), "*@work.example\r\nrobert@*\r\n");
    EXPECT_EQ(bed.core->lists.FriendList, (QList<AddressPattern> {"*@work.example", "robert@*"}));

    // Every row deleted: the file is emptied too, and nothing is left for a check.
    editor.reload();
    editor.ListView3->selectAll();
    pressKey(editor.ListView3, Qt::Key_Delete);
    editor.cmdOK->click();
    EXPECT_EQ(bed.dir.read("data/FriendList.ini"), "");
    EXPECT_TRUE(bed.core->lists.FriendList.isEmpty());
    EXPECT_FALSE(bed.core->lists.FriendListLoaded);
}

TEST(BlockedListEditor, CancelPutsBackTheFileAndLeavesTheFriendListAlone)
{
    CoreTestbed bed;
    const QByteArray blocked = "spam@example.com\r\n*@lottery.example\r\n";
    bed.dir.write("data/BlockedList.ini", blocked);
    bed.dir.write("data/FriendList.ini", "ann@example.com\r\n");
    frmFriendList friends(*bed.core);
    friends.reload();
    frmBlockedList editor(*bed.core);
    editor.reload();
    EXPECT_EQ(rows(*editor.ListView2), (QStringList {"spam@example.com", "*@lottery.example"}));

    whenDialogOpens<frmAddEmailAddress>([](frmAddEmailAddress &d) {
        EXPECT_FALSE(d.ForFriendList);
        d.Text1->setText("deals@*");
        d.cmdAdd->click();
    });
    editor.cmdAddBlocedAcc->click();
    select(*editor.ListView2, {0});
    whenDialogOpens<frmAddEmailAddress>([](frmAddEmailAddress &d) {
        d.Text1->setText("ann@example.com");
        d.cmdAdd->click();
    });
    editor.cmdEditBlockedAcc->click();
    ASSERT_EQ(bed.core->lists.BlockedList,
              (QList<AddressPattern> {"ann@example.com", "*@lottery.example", "deals@*"}));
    EXPECT_EQ(bed.core->lists.FriendList, QList<AddressPattern> {"ann@example.com"});

    editor.cmdCancel->click();
    EXPECT_EQ(bed.dir.read("data/BlockedList.ini"), blocked);
    EXPECT_EQ(bed.core->lists.BlockedList,
              (QList<AddressPattern> {"spam@example.com", "*@lottery.example"}));
    EXPECT_TRUE(bed.core->lists.BlockedListLoaded);
    EXPECT_EQ(bed.dir.read("data/FriendList.ini"), "ann@example.com\r\n");
}

TEST(ListEditors, TakeTheirCaptionsFromTheLanguagePack)
{
    CoreTestbed bed;
    // Each key the editors and their dialogs ask for shows as itself, so a text asked for
    // under the wrong key, or one that ought to stay as it is, stands out.
    QByteArray pack = "[Korvane]\r\n";
    for (const char *key : {"10001", "10002", "10005", "10006",  "20072",  "20073", "30000",
                            "30002", "30003", "30064", "30065",  "40000",  "40003", "40064",
                            "40065", "70017", "90000", "100000", "100001", "110000"})
        pack += QByteArray(key) + "=K" + key + "\r\n";
    bed.dir.write("data/Lang/English.ini", pack);
    bed.core->lang.LanguageFile = "English.ini";

    frmSpamWords words(*bed.core);
    words.showEditor();
    frmFriendList friends(*bed.core);
    friends.showEditor();
    frmBlockedList blocked(*bed.core);
    blocked.showEditor();
    QTreeWidget list;
    frmAddWord addWord(bed.core->services, list);
    frmAddWord editWord(bed.core->services, list);
    frmAddEmailAddress addAddress(bed.core->services, list);
    frmAddEmailAddress editAddress(bed.core->services, list);
    editWord.EditMode = editAddress.EditMode = true;
    for (QDialog *dialog :
         std::initializer_list<QDialog *> {&addWord, &editWord, &addAddress, &editAddress})
        dialog->show();

    const auto texts = [](std::initializer_list<QString> shown) {
        return QStringList(shown).join(' ');
    };
    const struct
    {
        const char *name;
        QString shown;
        const char *expected;
    } cases[] = {
        {"spam words",
         texts({words.windowTitle(), words.ListView1->headerItem()->text(0),
                words.ListView1->headerItem()->text(1), words.cmdAddWord->text(),
                words.cmdEditWord->text(), words.cmdDeleteWord->text(), words.cmdOK->text(),
                words.cmdCancel->text()}),
         "K90000 K20072 K20073 K10005 K70017 K10006 K10001 K10002"},
        {"friend list",
         texts({friends.windowTitle(), friends.ListView3->headerItem()->text(0),
                friends.cmdAddFriendAcc->text(), friends.cmdEditFriendAcc->text(),
                friends.cmdDeleteFriendAcc->text(), friends.cmdOK->text(),
                friends.cmdCancel->text()}),
         "K110000 K100001 K10005 K70017 K10006 K10001 K10002"},
        {"blocked list",
         texts({blocked.windowTitle(), blocked.ListView2->headerItem()->text(0),
                blocked.cmdAddBlocedAcc->text(), blocked.cmdEditBlockedAcc->text(),
                blocked.cmdDeleteBlockedAcc->text(), blocked.cmdOK->text(),
                blocked.cmdCancel->text()}),
         "K100000 K100001 K10005 K70017 K10006 K10001 K10002"},
        {"adding a word",
         texts({addWord.windowTitle(), addWord.Label1->text(), addWord.Label2->text(),
                addWord.cmdAdd->text(), addWord.cmdCancel->text()}),
         "K40000 K40003 Value K10005 &Cancel"},
        {"changing a word",
         texts({editWord.windowTitle(), editWord.Label1->text(), editWord.Label2->text(),
                editWord.cmdAdd->text(), editWord.cmdCancel->text()}),
         "K40064 K40003 Value K40065 &Cancel"},
        {"adding an address",
         texts({addAddress.windowTitle(), addAddress.Label1->text(), addAddress.Label2->text(),
                addAddress.cmdAdd->text(), addAddress.cmdCancel->text()}),
         "K30000 K30003 K30002 K10005 &Cancel"},
        {"changing an address",
         texts({editAddress.windowTitle(), editAddress.Label1->text(), editAddress.Label2->text(),
                editAddress.cmdAdd->text(), editAddress.cmdCancel->text()}),
         "K30064 K30003 K30002 K30065 &Cancel"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown, QString::fromUtf8(c.expected));
    }
}

TEST(ClosingAnimation, DialogTakesNoInputUntilItHasFaded)
{
    CoreTestbed bed;
    QTreeWidget list;
    ClosingAnimation::setEnabled(true);
    frmAddEmailAddress dialog(bed.core->services, list);
    dialog.show();
    dialog.Text1->setText("ann@example.com");
    dialog.cmdAdd->click();
    auto *fade = dialog.findChild<QPropertyAnimation *>("closingAnimation");
    ClosingAnimation::setEnabled(false);
    ASSERT_NE(fade, nullptr);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.cmdAdd->isEnabled());

    fade->setCurrentTime(fade->duration());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.windowOpacity(), 1.0);
}
