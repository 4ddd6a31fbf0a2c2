// What every kvd_cd command shares: its exit statuses, paths as bytes, and its two output streams.
#pragma once

#include <QFile>
#include <QString>
#include <signal.h>

#include <cstdio>
#include <string>

#include "publish/figures.h"

namespace cli {

inline constexpr int kClean = 0;
inline constexpr int kProblems = 1;
inline constexpr int kCouldNotRun = 2;
// What a shell reports for a program ended by Ctrl-C; a script can tell it from a failure.
inline constexpr int kInterrupted = 128 + SIGINT;

// Paths travel as the bytes the user typed, whatever the locale makes of them.
inline std::string Bytes(const QString& text) { return QFile::encodeName(text).toStdString(); }
inline QString Text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline void Out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
// Results and messages keep their order when both streams go to one terminal or file.
inline void Err(const std::string& text) {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

using publish::Grouped;
using publish::Megabytes;

} // namespace cli
