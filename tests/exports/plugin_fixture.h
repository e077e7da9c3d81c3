// The plug-in under test, loaded once by its exported names. By default it is
// the vellum.dll or vellum.wcx beside the test program; VELLUM_PLUGIN overrides.
#pragma once

#include <string>

#include "tools/plugin_host.h"

const PluginHost& Plugin();
// The folder with the test fixtures (tests/data in the source tree).
std::string FixturePath(const std::string& name);
