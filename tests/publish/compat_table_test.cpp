// The generated table holds facts of the engine that will not change.
#include <gtest/gtest.h>

#include "publish/engine/compat_table.h"

using publish::engine::EngineSupport;
using publish::engine::Known;
using publish::engine::Support;

TEST(CompatTable, HoldsTheEnginesLongSettledFacts) {
    struct Row {
        const char* path;
        Support support;
    } rows[] = {
        {"api.fetch", Support::No},
        {"api.IntersectionObserver", Support::No},
        {"javascript.builtins.Array.forEach", Support::Yes},
        {"javascript.builtins.JSON.parse", Support::Yes},
        {"javascript.functions.arrow_functions", Support::No},
        {"css.properties.display.flex", Support::Partial},  // flexbox, with the gaps the data notes
        {"css.properties.position.sticky", Support::No},
        {"css.properties.border-radius", Support::Yes},
        {"html.elements.details", Support::No},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(Known(row.path)) << row.path;
        EXPECT_EQ(EngineSupport(row.path), row.support) << row.path;
    }
    EXPECT_FALSE(Known("api.NoSuchInterfaceAnywhere"));
    EXPECT_EQ(EngineSupport("api.NoSuchInterfaceAnywhere"), Support::Unknown);
}
