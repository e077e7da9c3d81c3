#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/exports/plugin_fixture.h"

namespace {
PluginHost plugin;
}

const PluginHost& Plugin() { return plugin; }

std::string FixturePath(const std::string& name) { return std::string(VELLUM_SOURCE_DIR) + "/tests/data/" + name; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* overridden = std::getenv("VELLUM_PLUGIN");
    std::string path = overridden != nullptr ? overridden : ExecutableDirectory() + PluginFileName();
    std::string error;
    if (!LoadPlugin(path, plugin, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::printf("plug-in under test: %s\n", path.c_str());
    int result = RUN_ALL_TESTS();
    UnloadPlugin(plugin);
    return result;
}
