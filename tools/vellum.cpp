// The `vellum` command: lists, extracts and checks PDFs through the plug-in's
// exported functions only, in the order a file manager calls them, so that
// what it shows is exactly what a host would see. This file reads the command
// line; each command lives in its own file (tools/command_*.cpp).
#include <cstdio>
#include <string>
#include <vector>

#include "resources/version.h"
#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/plugin_host.h"
#include "tools/terminal_text.h"

namespace {

constexpr const char* UsageText =
    "usage: vellum [--plugin PATH] COMMAND ...\n"
    "\n"
    "Opens a PDF as a read-only archive of its streams, through the vellum packer plug-in.\n"
    "\n"
    "commands:\n"
    "  list [--json] FILE.pdf      one line per entry (name, size, date and time) and a total\n"
    "  extract [-o DIR] [-f] [-v] [--json] FILE.pdf [PATTERN...]\n"
    "                              writes every entry, or those whose names match a PATTERN,\n"
    "                              into DIR (default: the current directory), each file with\n"
    "                              its entry's time stamp, and ends with a one-line summary\n"
    "  check FILE...               tells whether each file is a PDF the plug-in opens\n"
    "\n"
    "extract options:\n"
    "  -o DIR, -oDIR   the destination directory, made if missing\n"
    "  -f, --force     overwrite existing files (otherwise each is reported and left alone)\n"
    "  -v, --verbose   print the path of each file as it is written\n"
    "  --json          report the files written (name, size, path) as JSON instead\n"
    "  PATTERN         an entry's name, or a pattern with * (any run), ? (any character)\n"
    "                  and [...] (one of a set; [!...] none of it); quote it for the shell\n"
    "\n"
    "options:\n"
    "  --plugin PATH   load this build of the plug-in instead of the one beside vellum\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "  --              ends the options: what follows are files and patterns\n"
    "\n"
    "exit status: 0 success; 1 a file is not a PDF the plug-in opens, a name or pattern\n"
    "matches no entry, a file exists already or an entry could not be written; 2 wrong\n"
    "command line or plug-in not loaded.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "vellum: %s\n%s", problem.c_str(), UsageText);
    return ExitUsage;
}

bool Is(const HostText& argument, const char* text) { return argument == FromAscii(text); }

int Run(const std::vector<HostText>& args) {
    size_t at = 0;
    const HostText* pluginPath = nullptr;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-') {
        if (Is(args[at], "--help") || Is(args[at], "-h")) {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (Is(args[at], "--version")) {
            std::printf("vellum %s\n", VELLUM_VERSION_TEXT);
            return 0;
        }
        if (Is(args[at], "--plugin") && at + 1 < args.size()) {
            pluginPath = &args[at + 1];
            at += 2;
            continue;
        }
        return Usage("unknown option " + ToUtf8(args[at]));
    }
    if (at == args.size()) return Usage("no command given");
    const HostText& command = args[at++];
    bool isList = Is(command, "list"), isExtract = Is(command, "extract"), isCheck = Is(command, "check");
    if (!isList && !isExtract && !isCheck) return Usage("unknown command " + ToUtf8(command));

    // The command's options may stand anywhere among its operands, up to "--".
    std::vector<HostText> operands;
    ExtractOptions options;
    bool json = false;
    bool optionsEnded = false;
    for (; at < args.size(); ++at) {
        const HostText& arg = args[at];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (Is(arg, "--")) {
            optionsEnded = true;
        } else if (Is(arg, "--help") || Is(arg, "-h")) {
            std::fputs(UsageText, stdout);
            return 0;
        } else if ((isList || isExtract) && Is(arg, "--json")) {
            json = true;
        } else if (isExtract && Is(arg, "-o")) {
            if (at + 1 == args.size()) return Usage("-o needs a directory");
            options.directory = args[++at];
        } else if (isExtract && arg[1] == 'o') {
            options.directory = arg.substr(2);
        } else if (isExtract && (Is(arg, "-f") || Is(arg, "--force"))) {
            options.force = true;
        } else if (isExtract && (Is(arg, "-v") || Is(arg, "--verbose"))) {
            options.verbose = true;
        } else {
            return Usage("unknown option " + ToUtf8(arg));
        }
    }
    if (operands.empty()) return Usage("no file given");
    if (isList && operands.size() != 1) return Usage("list takes one file");

    PluginGuard plugin;
    std::string error;
#ifdef _WIN32
    std::string path = pluginPath != nullptr ? ToAnsi(*pluginPath) : ExecutableDirectory() + PluginFileName();
#else
    std::string path = pluginPath != nullptr ? ToUtf8(*pluginPath) : ExecutableDirectory() + PluginFileName();
#endif
    if (!LoadPlugin(path, plugin.host, error)) {
        std::fprintf(stderr, "vellum: %s\n", error.c_str());
        return ExitUsage;
    }
    if (isList) return List(plugin.host, operands[0], json);
    if (isCheck) return Check(plugin.host, operands);
    options.json = json;
    options.patterns.assign(operands.begin() + 1, operands.end());
    return Extract(plugin.host, operands[0], options);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<HostText> args(argv + 1, argv + argc);
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<HostText> args;
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return Run(args);
}
#endif
