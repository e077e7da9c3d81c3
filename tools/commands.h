// The command's three commands. Each works through the plug-in's exports
// only, in the order a file manager calls them, and answers an exit status.
#pragma once

#include <optional>
#include <vector>

#include "tools/plugin_host.h"
#include "tools/terminal_text.h"

// Exit statuses: 1 for a failure about the files, 2 for a wrong command line
// or a plug-in that cannot be loaded; ExitInterrupted (interruption.h) when a
// signal or console event stopped the run.
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
// The reader of stdout went away (a pipe closed early): the status a shell
// reports for a program that SIGPIPE ended (128 + 13), which is how tar ends.
constexpr int ExitReaderGone = 141;

struct ListOptions {
    std::vector<HostText> patterns;    // none: every entry
    std::vector<HostText> exclusions;  // entries matching one are left out
    bool json = false;                 // as JSON instead of lines
    bool quiet = false;                // the entries' lines only: no heading, total or progress
};

struct ExtractOptions {
    std::optional<HostText> directory;  // none: the current directory
    std::vector<HostText> patterns;     // none: every entry
    std::vector<HostText> exclusions;   // entries matching one are left out
    bool force = false;                 // replace existing files
    bool verbose = false;               // print each file's path as it is written
    bool json = false;                  // report as JSON instead of lines
    bool quiet = false;                 // no summary and no progress; problems only
    bool toStandardOutput = false;      // the entries' bytes to stdout instead of files
};

int List(const PluginHost& host, const HostText& file, const ListOptions& options);
int Extract(const PluginHost& host, const HostText& file, const ExtractOptions& options);
// With `verbose`, each document that opens is also examined through the
// document layer, which tells why each stream it leaves out is left out.
int Check(const PluginHost& host, const std::vector<HostText>& files, bool verbose);
