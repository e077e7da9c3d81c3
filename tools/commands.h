// The command's three commands. Each works through the plug-in's exports
// only, in the order a file manager calls them, and answers an exit status.
#pragma once

#include <optional>
#include <vector>

#include "tools/plugin_host.h"
#include "tools/terminal_text.h"

// Exit statuses: 1 for a failure about the files, 2 for a wrong command line
// or a plug-in that cannot be loaded.
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct ExtractOptions {
    std::optional<HostText> directory;  // none: the current directory
    std::vector<HostText> patterns;     // none: every entry
    bool force = false;                 // replace existing files
    bool verbose = false;               // print each file's path as it is written
    bool json = false;                  // report as JSON instead of lines
};

int List(const PluginHost& host, const HostText& file, bool json);
int Extract(const PluginHost& host, const HostText& file, const ExtractOptions& options);
int Check(const PluginHost& host, const std::vector<HostText>& files);
