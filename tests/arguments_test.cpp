#include "mapmaker/arguments.h"
#include "mapmaker/file_naming.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(AsksForUsage, AnyTriggerCharacterAnywhere) {
    for (const char* argument : {"-h", "/?", "?", "h", "cash.dsc", "dir/cp866", "cp-866", "a?"}) {
        EXPECT_TRUE(asks_for_usage(argument)) << argument;
    }
    for (const char* argument : {"cp866", "H", "CP866.DSC", "..\\cp866", "tables.old\\cp866", ""}) {
        EXPECT_FALSE(asks_for_usage(argument)) << argument;
    }
}

TEST(ProgramDisplayName, CutAtTheLastBackslashOnly) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"mapmaker", "mapmaker"},
        {"tools\\mapmaker.exe", "mapmaker.exe"},
        {"c:\\a\\b\\mapmaker.exe", "mapmaker.exe"},
        {"./build/mapmaker", "./build/mapmaker"},
        {"tools\\", ""},
        {"", ""},
    };
    for (const auto& [invoked_as, shown] : cases) {
        EXPECT_EQ(program_display_name(invoked_as), shown) << invoked_as;
    }
}

TEST(MapPathFor, ExtensionAlwaysBecomesMap) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"cp866", "cp866.map"}, {"cp866.dsc", "cp866.map"},    {"out.bin", "out.map"},
        {"out.map", "out.map"}, {"a.b.c", "a.b.map"},          {"tables.old\\cp866", "tables.map"},
        {"..\\cp866", "..map"}, {"trailing.", "trailing.map"}, {".hidden", ".map"},
        {"", ".map"},
    };
    for (const auto& [name, map_path] : cases) {
        EXPECT_EQ(map_path_for(name), map_path) << name;
    }
}

} // namespace
