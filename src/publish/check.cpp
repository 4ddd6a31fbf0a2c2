// The disc check of a project folder.
#include "publish/publish.h"

namespace publish {

CheckResult CheckProject(const std::string& folder, const CheckOptions&)
{
    throw Error("The check of " + folder + " is not available yet.");
}

}  // namespace publish
