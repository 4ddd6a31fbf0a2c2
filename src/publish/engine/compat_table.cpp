// The generated table and its look-up.
#include "publish/engine/compat_table.h"

#include <algorithm>
#include <iterator>

namespace publish::engine {

namespace {

struct CompatRow {
    std::string_view path;
    Support support;
};

using namespace std::string_view_literals;

#include "compat_table.inc"

const CompatRow* Find(std::string_view path) {
    auto row = std::lower_bound(std::begin(kCompatRows), std::end(kCompatRows), path,
                                [](const CompatRow& r, std::string_view p) { return r.path < p; });
    return (row != std::end(kCompatRows) && row->path == path) ? row : nullptr;
}

}  // namespace

Support EngineSupport(std::string_view path) {
    const CompatRow* row = Find(path);
    return row ? row->support : Support::Unknown;
}

bool Known(std::string_view path) { return Find(path) != nullptr; }

std::string_view CompatDataVersion() { return kCompatDataVersion; }

}  // namespace publish::engine
