// The ISO 9660 image (Joliet and Rock Ridge) of a project folder, through libisofs.
#include "publish/publish.h"

#include <libisofs/libisofs.h>

namespace publish {

uint64_t ImageSize(const std::string& folder, const ImageOptions&)
{
    throw Error("The image of " + folder + " is not available yet.");
}

uint64_t WriteImage(const std::string& folder, const std::string&, const ImageOptions&)
{
    throw Error("The image of " + folder + " is not available yet.");
}

}  // namespace publish
