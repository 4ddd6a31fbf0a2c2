// The error box: modal for the whole application, stop icon, one OK button.
#pragma once

#include <string>

namespace framework {

// Shows the message after the period rule, with the application title as caption, and
// returns when the user dismisses it.
void ShowErrorBox(const std::string& message);

}  // namespace framework
