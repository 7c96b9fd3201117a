#include "closinganimation.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPropertyAnimation>

#include <optional>

namespace {

std::optional<bool> enabledByCaller;

} // namespace

namespace ClosingAnimation {

void setEnabled(bool enabled)
{
    enabledByCaller = enabled;
}

bool isEnabled()
{
    // Nobody sees an offscreen window fade; ending at once keeps its users deterministic.
    return enabledByCaller.value_or(QGuiApplication::platformName() != QLatin1String("offscreen"));
}

void finish(QDialog &dialog, int result)
{
    if (!isEnabled() || !dialog.isVisible()) {
        dialog.done(result);
        return;
    }
    dialog.setEnabled(false);
    auto *fade = new QPropertyAnimation(&dialog, "windowOpacity", &dialog);
    fade->setObjectName(QStringLiteral("closingAnimation"));
    fade->setDuration(180);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::InQuad);
    QObject::connect(fade, &QPropertyAnimation::finished, &dialog, [&dialog, fade, result] {
        dialog.done(result);
        // The same dialog may be shown again.
        dialog.setWindowOpacity(1.0);
        dialog.setEnabled(true);
        fade->deleteLater();
    });
    fade->start();
}

} // namespace ClosingAnimation
