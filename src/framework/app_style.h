// Application-wide look of the wizard: tooltip timing and the window font.
#pragma once

#include <QFont>

class QWidget;

namespace framework {

inline constexpr int kToolTipWakeUpDelay = 500;
inline constexpr int kToolTipDuration = 2500;

// Puts a proxy over the application's style that wakes tooltips after 500 ms; does nothing
// when it stands already.
void InstallWizardStyle();

// "MS Sans Serif" at 8 points where the system has it, else the sans-serif face at 11 pixels.
QFont WizardFont();

// Every child of the widget that has a tooltip hides it again after 2500 ms.
void SetToolTipDurations(QWidget* root);

}  // namespace framework
