// Any bytes made into what a burn takes for an ISO 9660 image: a primary volume descriptor at sector 16
// whose volume is as long as the file.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

inline constexpr uint64_t kIsoDescriptorOffset = 16 * 2048;

// The first volume descriptor of an image of imageBytes bytes.
inline std::string PrimaryVolumeDescriptor(uint64_t imageBytes) {
    std::string sector(2048, '\0');
    sector[0] = 1;
    sector.replace(1, 5, "CD001");
    sector[6] = 1;
    const uint64_t sectors = imageBytes / 2048;
    for (int i = 0; i < 4; ++i) {
        sector[80 + i] = static_cast<char>(sectors >> (8 * i));
        sector[87 - i] = static_cast<char>(sectors >> (8 * i));
    }
    return sector;
}

// bytes, at least 17 sectors of them, with the descriptor in its place.
inline std::string AsIsoImage(std::string bytes) {
    bytes.replace(kIsoDescriptorOffset, 2048, PrimaryVolumeDescriptor(bytes.size()));
    return bytes;
}

} // namespace testing_support
