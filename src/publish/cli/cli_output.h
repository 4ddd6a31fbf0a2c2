// What every kvd_cd command shares: its exit statuses, paths as bytes, and its two output streams.
#pragma once

#include <QFile>
#include <QString>
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <string>

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

// 1,234,567
inline std::string Grouped(uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

inline std::string Megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
    return text;
}

} // namespace cli
