// The error box's period rule and the application title.
#include "runtime/error_text.h"

#include "platform/platform.h"

namespace rtl {

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > 0x2E) return message + '.';
    return message;
}

std::string ApplicationTitleFromPath(const std::string& programPath) {
    const std::string path = platform::OemToChar(programPath);
    const size_t slash = path.find_last_of('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t period = name.find('.');
    if (period != std::string::npos) name.resize(period);
    if (name.size() > 1) name = name.substr(0, 1) + platform::CharLower(name.substr(1));
    return name;
}

const std::string& ApplicationTitle() {
    static const std::string title = ApplicationTitleFromPath(platform::GetModuleFileName());
    return title;
}

}  // namespace rtl
