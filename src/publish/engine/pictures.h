// Pictures judged by their own first bytes, whatever their names say.
#pragma once

#include <cstddef>
#include <string_view>

namespace publish::engine {

// How many first bytes of a file UndecodablePicture needs.
inline constexpr size_t kPictureHeadBytes = 32;

// The format in words ("WebP picture") when the file starts as a picture the Windows viewer's engine cannot
// decode: WebP, AVIF, JPEG XL, HEIF/HEIC; empty for anything else.
std::string_view UndecodablePicture(std::string_view head);

}  // namespace publish::engine
