// The generated table and its look-up.
#include "publish/engine/compat_table.h"

#include <iterator>
#include <unordered_map>

namespace publish::engine {

namespace {

struct CompatRow {
    std::string_view path;
    Support support;
};

using namespace std::string_view_literals;

#include "compat_table.inc"

// The check asks for every element and attribute of every page: a hash look-up, made once (a function's
// static is made once even when several checks start together).
const CompatRow* Find(std::string_view path) {
    static const auto* const index = [] {
        auto* rows = new std::unordered_map<std::string_view, const CompatRow*>();
        rows->reserve(std::size(kCompatRows));
        for (const CompatRow& row : kCompatRows) rows->emplace(row.path, &row);
        return rows;
    }();
    auto it = index->find(path);
    return it == index->end() ? nullptr : it->second;
}

}  // namespace

Support EngineSupport(std::string_view path) {
    const CompatRow* row = Find(path);
    return row ? row->support : Support::Unknown;
}

bool Known(std::string_view path) { return Find(path) != nullptr; }

bool EngineLacks(std::string_view path) {
    const Support support = EngineSupport(path);
    return support == Support::No || support == Support::Prefixed;
}

}  // namespace publish::engine
