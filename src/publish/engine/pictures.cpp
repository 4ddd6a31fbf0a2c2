// The magic numbers of the picture formats the engine has no decoder for.
#include "publish/engine/pictures.h"

#include <algorithm>
#include <cstdint>

namespace publish::engine {

namespace {

// The brands of an ISO media file's first box ("ftyp"): the major one, then the compatible ones.
bool HasBrand(std::string_view head, std::string_view brand) {
    if (head.size() < 16) return false;
    uint32_t boxSize = (uint32_t(uint8_t(head[0])) << 24) | (uint32_t(uint8_t(head[1])) << 16) |
                       (uint32_t(uint8_t(head[2])) << 8) | uint32_t(uint8_t(head[3]));
    size_t end = std::min<size_t>(head.size(), boxSize < 16 ? 16 : boxSize);
    if (head.substr(8, 4) == brand) return true;
    for (size_t at = 16; at + 4 <= end; at += 4)
        if (head.substr(at, 4) == brand) return true;
    return false;
}

} // namespace

std::string_view UndecodablePicture(std::string_view head) {
    if (head.size() >= 12 && head.substr(0, 4) == "RIFF" && head.substr(8, 4) == "WEBP") return "WebP picture";
    if (head.size() >= 2 && head[0] == '\xFF' && head[1] == '\x0A') return "JPEG XL picture";
    if (head.size() >= 12 && head.substr(0, 12) == std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12))
        return "JPEG XL picture";
    if (head.size() >= 12 && head.substr(4, 4) == "ftyp") {
        if (HasBrand(head, "avif") || HasBrand(head, "avis")) return "AVIF picture";
        for (std::string_view brand : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"})
            if (HasBrand(head, brand)) return "HEIF picture";
    }
    return {};
}

}  // namespace publish::engine
