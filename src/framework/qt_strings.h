// Byte strings of the wizard's logic meet Qt's strings here, in the local 8-bit encoding.
#pragma once

#include <QString>
#include <string>

namespace framework {

inline QString ToQString(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string FromQString(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace framework
