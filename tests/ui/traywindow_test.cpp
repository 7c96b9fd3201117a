#include "support/fakes.h"
#include "ui/tray/frmtraywindow.h"
#include "ui/tray/traywindows.h"

#include <QLabel>
#include <QPointer>

#include <gtest/gtest.h>

namespace {

// Popups over a fixed screen; the test takes every timer step itself and never runs the
// event loop, so no real timer fires.
struct PopupBed
{
    explicit PopupBed(QRect available = {0, 0, 1280, 800}, qreal dpi = 96)
        : screen {available, dpi}
        , popups([this] { return screen; })
    {
    }
    frmTrayWindow *show(const QString &text)
    {
        popups.ShowTrayWindow(text);
        return popups.popups().last();
    }
    PopupScreen screen;
    TrayWindows popups;
};

void rise(frmTrayWindow *popup)
{
    for (int step = 0; step < frmTrayWindow::RiseSteps; ++step)
        popup->Timer1_Timer();
}

void sink(frmTrayWindow *popup, int steps = frmTrayWindow::SinkSteps)
{
    if (popup->Timer2.isActive())
        popup->Timer2_Timer();
    for (int step = 0; step < steps; ++step)
        popup->Timer3_Timer();
}

// No two popups on screen share a pixel, and each newer one stands higher.
void expectColumn(const QList<frmTrayWindow *> &popups)
{
    for (qsizetype i = 1; i < popups.size(); ++i) {
        EXPECT_LT(popups[i]->y(), popups[i - 1]->y()) << i;
        for (qsizetype j = 0; j < i; ++j)
            EXPECT_FALSE(popups[i]->geometry().intersects(popups[j]->geometry()))
                << j << " " << i << " at " << popups[j]->y() << " and " << popups[i]->y();
    }
}

} // namespace

TEST(TrayWindow, RisesRestsSinksAndClosesAtTheBottomRight)
{
    PopupBed bed;
    QPointer<frmTrayWindow> popup = bed.show(QStringLiteral("Finished Checking All Account's"));
    // 2070 x 1815 twips at 96 dpi; the first top 1000 twips above the bottom.
    EXPECT_EQ(popup->geometry(), QRect(1280 - 138, 800 - 67, 138, 121));
    EXPECT_EQ(popup->Label1->geometry(), QRect(0, 0, 131, 113));
    EXPECT_EQ(popup->Label1->text(), "Finished Checking All Account's");
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(popup->Timer1.isActive());
    EXPECT_EQ(popup->Timer1.interval(), 1);

    // 21 steps of 50 twips up: 70 pixels.
    for (int step = 1; step <= frmTrayWindow::RiseSteps; ++step) {
        popup->Timer1_Timer();
        EXPECT_EQ(popup->y(), 733 - qRound(step * 50 / 15.0)) << step;
    }
    EXPECT_FALSE(popup->Timer1.isActive());
    EXPECT_TRUE(popup->Timer2.isActive());
    EXPECT_EQ(popup->Timer2.interval(), 4000);

    popup->Timer2_Timer();
    EXPECT_FALSE(popup->Timer2.isActive());
    EXPECT_TRUE(popup->Timer3.isActive());
    EXPECT_EQ(popup->Timer3.interval(), 30);

    // 131 steps of 10 twips down, 260 twips below the first top, then it closes.
    sink(popup, frmTrayWindow::SinkSteps - 1);
    EXPECT_EQ(popup->y(), 733 + qRound(1300 / 15.0 - 70));
    ASSERT_FALSE(popup.isNull());
    EXPECT_EQ(bed.popups.popups().size(), 1);
    popup->Timer3_Timer();
    EXPECT_EQ(popup->y(), 733 + qRound(260 / 15.0));
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(popup->Timer3.isActive());
    EXPECT_TRUE(bed.popups.popups().isEmpty());
}

TEST(TrayWindow, SizesFollowTheScreensLogicalDpi)
{
    struct Case
    {
        qreal dpi;
        QSize size;
        int startTop;
    };
    for (const Case &c :
         {Case {96, {138, 121}, 733}, Case {144, {207, 182}, 700}, Case {192, {276, 242}, 667}}) {
        PopupBed bed({0, 0, 1280, 800}, c.dpi);
        const frmTrayWindow *popup = bed.show(QStringLiteral("x"));
        EXPECT_EQ(popup->size(), c.size) << c.dpi;
        EXPECT_EQ(popup->pos(), QPoint(1280 - c.size.width(), c.startTop)) << c.dpi;
    }
}

TEST(TrayWindow, StaysAboveAPanelAtTheBottom)
{
    // A panel of 40 pixels at the bottom and one of 30 at the right.
    PopupBed bed({0, 0, 1250, 760});
    const frmTrayWindow *popup = bed.show(QStringLiteral("x"));
    EXPECT_EQ(popup->pos(), QPoint(1250 - 138, 760 - 67));
}

// Three messages in quick succession, the way a check sends them: none covers another at any
// step of their motion, from the first rise to the last close.
TEST(TrayWindow, StackedPopupsNeverOverlap)
{
    PopupBed bed;
    frmTrayWindow *first = bed.show(QStringLiteral("one"));
    for (int step = 0; step < 10; ++step)
        first->Timer1_Timer();
    // Its height plus 20 twips above where the first one will rest.
    frmTrayWindow *second = bed.show(QStringLiteral("two"));
    EXPECT_EQ(second->y(), 733 - 70 - 1 - 121);
    frmTrayWindow *third = bed.show(QStringLiteral("three"));
    EXPECT_EQ(third->y(), second->restTop() - 1 - 121);

    // The three move on in turns, one step each, the older ones ahead.
    QList<QPointer<frmTrayWindow>> all {first, second, third};
    for (int tick = 0; tick < 500; ++tick) {
        for (const QPointer<frmTrayWindow> &popup : std::as_const(all)) {
            if (!popup)
                continue;
            if (popup->Timer1.isActive())
                popup->Timer1_Timer();
            else if (popup->Timer2.isActive() && tick % 7 == 0)
                popup->Timer2_Timer();
            else if (popup->Timer3.isActive())
                popup->Timer3_Timer();
        }
        expectColumn(bed.popups.popups());
        if (HasFailure())
            return;
        // A fourth arrives while the others sink: above the third, clear of it.
        if (tick == 60)
            all.append(bed.show(QStringLiteral("four")));
    }
    EXPECT_TRUE(bed.popups.popups().isEmpty());
}

TEST(TrayWindow, AFullColumnMovesDownOrClosesItsOldestPopup)
{
    // Room for three popups, each resting 70 pixels above its start.
    PopupBed bed({0, 0, 1280, 560});
    const int bottom = 560 - 67;
    QPointer<frmTrayWindow> first = bed.show(QStringLiteral("1"));
    QPointer<frmTrayWindow> second = bed.show(QStringLiteral("2"));
    QPointer<frmTrayWindow> third = bed.show(QStringLiteral("3"));
    for (frmTrayWindow *popup : {first.data(), second.data(), third.data()})
        rise(popup);
    ASSERT_EQ(bed.popups.popups().size(), 3);
    ASSERT_GE(third->y(), 0);
    const int pitch = first->y() - second->y();

    // A fourth: the oldest closes early and the column moves down into its place.
    QPointer<frmTrayWindow> fourth = bed.show(QStringLiteral("4"));
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    ASSERT_EQ(bed.popups.popups(), (QList<frmTrayWindow *> {second, third, fourth}));
    EXPECT_EQ(second->y(), bottom - 70);
    EXPECT_EQ(third->y(), bottom - 70 - pitch);
    rise(fourth);
    expectColumn(bed.popups.popups());
    EXPECT_GE(fourth->y(), 0);

    // When the lowest has gone by itself, the column moves down into its room and nobody
    // closes early.
    sink(second);
    ASSERT_EQ(bed.popups.popups(), (QList<frmTrayWindow *> {third, fourth}));
    QPointer<frmTrayWindow> fifth = bed.show(QStringLiteral("5"));
    EXPECT_EQ(bed.popups.popups(), (QList<frmTrayWindow *> {third, fourth, fifth}));
    EXPECT_EQ(third->y(), bottom - 70);
    rise(fifth);
    expectColumn(bed.popups.popups());
    EXPECT_GE(fifth->y(), 0);
}

// The offscreen platform activates every window it shows, so whether the focus stays where
// it was is seen on a real desktop; here, that the window asks for none.
TEST(TrayWindow, NeverAsksForFocusNorInput)
{
    PopupBed bed;
    frmTrayWindow *popup = bed.show(QStringLiteral("x"));
    EXPECT_TRUE(popup->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(popup->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(popup->windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(popup->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(popup->focusPolicy(), Qt::NoFocus);
}

TEST(TrayWindow, EachPopupLoadsItsSoundAndTheEndClosesThemAll)
{
    auto bed = std::make_unique<PopupBed>();
    int loads = 0;
    bed->popups.setOnLoad([&loads] { ++loads; });
    QPointer<frmTrayWindow> first = bed->show(QStringLiteral("1"));
    QPointer<frmTrayWindow> second = bed->show(QStringLiteral("2"));
    EXPECT_EQ(loads, 2);
    bed.reset();
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
}

TEST(TrayWindow, ANotificationServiceTakesTheTextsInsteadOfWindows)
{
    PopupBed bed;
    FakeNotifier service;
    int loads = 0;
    bed.popups.setOnLoad([&loads] { ++loads; });
    bed.popups.setNotificationService(&service);
    bed.popups.ShowTrayWindow(QStringLiteral("POP3 Error:-ERR locked"));
    EXPECT_EQ(service.popups, QStringList {"POP3 Error:-ERR locked"});
    EXPECT_TRUE(bed.popups.popups().isEmpty());
    EXPECT_EQ(loads, 1);
}
