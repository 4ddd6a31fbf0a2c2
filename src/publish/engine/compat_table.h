// What the Windows viewer's engine supports, by the dotted feature path of the compatibility data
// ("api.fetch", "css.properties.gap.flex_context", "javascript.builtins.Array.forEach").
#pragma once

#include <string_view>

namespace publish::engine {

enum class Support {
    Yes,       // supported as written
    Partial,   // supported with gaps the data notes
    Prefixed,  // only under a vendor prefix or another name
    No,        // not supported
    Unknown,   // the data knows the feature but not the engine's support
};

// Support::Unknown also for a path the data does not hold at all; Known() tells the two apart.
Support EngineSupport(std::string_view path);
bool Known(std::string_view path);

// The data knows the feature and the engine lacks it: not at all, or only under a vendor prefix or
// another name (written without it, as the check sees it, it does not work either).
bool EngineLacks(std::string_view path);

}  // namespace publish::engine
