// kvd_cd's drives and burn commands.
#pragma once

#include <QStringList>
#include <functional>

namespace burn_cli {

// Runs "drives" or "burn" with the arguments after the command name and returns the exit status.
// interrupted tells whether Ctrl-C has been pressed since the program started.
int Run(const QString& command, const QStringList& arguments, const std::function<bool()>& interrupted);

} // namespace burn_cli
