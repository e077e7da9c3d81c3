// The `vellum` command: lists, extracts and checks PDFs through the plug-in's
// exported functions only, in the order a file manager calls them, so that
// what it shows is exactly what a host would see. This file reads the command
// line; each command lives in its own file (tools/command_*.cpp).
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "resources/version.h"
#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/environment.h"
#include "tools/interruption.h"
#include "tools/plugin_host.h"
#include "tools/standard_output.h"
#include "tools/terminal_text.h"

namespace {

// Where an installed command finds the plug-in, from its own directory
// (PREFIX/bin/vellum and PREFIX/lib/vellum/vellum.wcx); a build keeps both
// side by side.
constexpr const char* InstalledPluginDirectory = "../lib/vellum/";

constexpr const char* UsageText =
    "usage: vellum [--plugin PATH] COMMAND [OPTION...] ...\n"
    "\n"
    "Opens a PDF as a read-only archive of its streams, through the vellum packer plug-in.\n"
    "\n"
    "commands:\n"
    "  list FILE.pdf [PATTERN...]     one line per entry (name, size, date and time) and a total\n"
    "  extract FILE.pdf [PATTERN...]  writes every entry, or those a PATTERN matches, into files\n"
    "  check FILE...                  tells whether each file is a PDF the plug-in opens, and if not, why\n"
    "\n"
    "'vellum COMMAND --help' shows a command's options.\n"
    "\n"
    "options:\n"
    "  --plugin PATH   load this build of the plug-in instead of the one installed with vellum\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "A PATTERN is an entry's name or a shell pattern: * any run of characters, ? any one,\n"
    "[0-3] one of a set, [!0-3] or [^0-3] one outside it; quote it for the shell.\n"
    "\n"
    "exit status: 0 success; 1 a file is not a PDF the plug-in opens, a name or pattern\n"
    "matches no entry, a file exists already, an entry could not be written, or standard\n"
    "output could not be written; 2 wrong command line or plug-in not loaded; 130 interrupted\n"
    "(143 by SIGTERM, 129 by SIGHUP); 141 the reader of standard output went away.\n";

constexpr const char* ListUsageText =
    "usage: vellum list [OPTION...] FILE.pdf [PATTERN...]\n"
    "\n"
    "Prints one line per entry (name, size, date and time) and a total: every entry, or\n"
    "those whose names match a PATTERN.\n"
    "\n"
    "options:\n"
    "  --json               the same as JSON: name, object, size and time (ISO 8601 with the\n"
    "                       offset from UTC) of each entry, count and totalSize\n"
    "  -q, --quiet          the entries' lines only: no heading, total or progress line\n"
    "  -x PATTERN           leave out the entries PATTERN matches (may be repeated)\n"
    "  --password PASSWORD  the password of an encrypted document (as VELLUM_PASSWORD)\n"
    "  --viewable           list the viewable mode's entries: images as PNG or TIFF, fonts and\n"
    "                       other content named by kind (as VELLUM_VIEWABLE=1)\n"
    "  --                   ends the options\n";

constexpr const char* ExtractUsageText =
    "usage: vellum extract [OPTION...] FILE.pdf [PATTERN...]\n"
    "\n"
    "Writes every entry, or those whose names match a PATTERN, into a file named after it,\n"
    "with the entry's time stamp, and ends with a summary. A small entry's file is written\n"
    "in one piece, a big one's under a temporary name and renamed when whole: no file\n"
    "stands half written under an entry's name. An entry listed twice (a PDF updated in\n"
    "place) leaves the later revision's file.\n"
    "\n"
    "options:\n"
    "  -o DIR, -oDIR        the destination directory, made when the first file is written\n"
    "                       (default: the current directory)\n"
    "  -f, --force          replace existing files; a link under an entry's name is replaced,\n"
    "                       never written through (otherwise each is reported and left alone)\n"
    "  -p, --stdout         write the entries' bytes to standard output instead of files\n"
    "  -v, --verbose        print the path of each file as it is written\n"
    "  -q, --quiet          no summary and no progress line; problems only\n"
    "  -x PATTERN           leave out the entries PATTERN matches (may be repeated)\n"
    "  --json               report as JSON: the files written, the entries replaced by a\n"
    "                       later revision, and those skipped or failed with the reason\n"
    "  --password PASSWORD  the password of an encrypted document (as VELLUM_PASSWORD)\n"
    "  --viewable           write the viewable mode's entries: images as PNG or TIFF, fonts and\n"
    "                       other content named by kind (as VELLUM_VIEWABLE=1)\n"
    "  --                   ends the options\n";

constexpr const char* CheckUsageText =
    "usage: vellum check [OPTION...] FILE...\n"
    "\n"
    "Tells for each file whether it is a PDF the plug-in opens, judged by its content as a\n"
    "file manager judges it, and if not, why.\n"
    "\n"
    "options:\n"
    "  -v, --verbose        also tell, for each stream object the listing leaves out, why\n"
    "  --password PASSWORD  the password of an encrypted document (as VELLUM_PASSWORD)\n"
    "  --viewable           open in the viewable mode (as VELLUM_VIEWABLE=1)\n"
    "  --                   ends the options\n";

// A wrong command line: the problem, then the usage of the command it was
// meant for (the whole usage before a command is known).
int Usage(const std::string& problem, const char* usage = UsageText) {
    std::fprintf(stderr, "vellum: %s\n%s", problem.c_str(), usage);
    return ExitUsage;
}

bool Is(const HostText& argument, const char* text) { return argument == FromAscii(text); }

// The plug-in the command loads: the one beside it, else the installed one.
std::string PluginPath(const HostText* chosen) {
#ifdef _WIN32
    if (chosen != nullptr) return ToAnsi(*chosen);
#else
    if (chosen != nullptr) return ToUtf8(*chosen);
#endif
    std::string beside = ExecutableDirectory() + PluginFileName();
    std::string installed = ExecutableDirectory() + InstalledPluginDirectory + PluginFileName();
    std::error_code error;
    if (!std::filesystem::exists(beside, error) && std::filesystem::exists(installed, error)) return installed;
    return beside;
}

// What the command line asks for, besides the command itself.
struct CommandLine {
    const HostText* pluginPath = nullptr;  // --plugin PATH
    bool viewable = false;                 // --viewable
    std::optional<std::string> password;   // --password PASSWORD: its bytes, as the command line gave them
    std::vector<HostText> operands;        // files and patterns
    ExtractOptions extract;                // extract's own options
    bool checkVerbose = false;             // check -v
};

enum class Command { list, extract, check };

int Run(const std::vector<HostText>& args) {
    size_t at = 0;
    CommandLine line;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-') {
        if (Is(args[at], "--help") || Is(args[at], "-h")) {
            Print("%s", UsageText);
            return 0;
        }
        if (Is(args[at], "--version")) {
            Print("vellum %s\n", VELLUM_VERSION_TEXT);
            return 0;
        }
        if (Is(args[at], "--plugin") && at + 1 < args.size()) {
            line.pluginPath = &args[at + 1];
            at += 2;
            continue;
        }
        return Usage("unknown option " + ToUtf8(args[at]));
    }
    if (at == args.size()) return Usage("no command given");
    const HostText& name = args[at++];
    Command command;
    const char* usage;
    if (Is(name, "list")) {
        command = Command::list;
        usage = ListUsageText;
    } else if (Is(name, "extract")) {
        command = Command::extract;
        usage = ExtractUsageText;
    } else if (Is(name, "check")) {
        command = Command::check;
        usage = CheckUsageText;
    } else {
        return Usage("unknown command " + ToUtf8(name));
    }
    const bool opens = command != Command::check;
    const bool extracts = command == Command::extract;

    // The command's options may stand anywhere among its operands, up to "--".
    bool json = false, quiet = false;
    std::vector<HostText> exclusions;
    bool optionsEnded = false;
    for (; at < args.size(); ++at) {
        const HostText& arg = args[at];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
        } else if (Is(arg, "--")) {
            optionsEnded = true;
        } else if (Is(arg, "--help") || Is(arg, "-h")) {
            Print("%s", usage);
            return 0;
        } else if (Is(arg, "--password")) {
            if (at + 1 == args.size()) return Usage("--password needs a password", usage);
            line.password = ToUtf8(args[++at]);
        } else if (Is(arg, "--viewable")) {
            line.viewable = true;
        } else if (opens && Is(arg, "--json")) {
            json = true;
        } else if (opens && (Is(arg, "-q") || Is(arg, "--quiet"))) {
            quiet = true;
        } else if (opens && Is(arg, "-x")) {
            if (at + 1 == args.size()) return Usage("-x needs a pattern", usage);
            exclusions.push_back(args[++at]);
        } else if (opens && arg[1] == 'x') {
            exclusions.push_back(arg.substr(2));
        } else if (extracts && Is(arg, "-o")) {
            if (at + 1 == args.size()) return Usage("-o needs a directory", usage);
            line.extract.directory = args[++at];
        } else if (extracts && arg[1] == 'o') {
            line.extract.directory = arg.substr(2);
        } else if (extracts && (Is(arg, "-f") || Is(arg, "--force"))) {
            line.extract.force = true;
        } else if (extracts && (Is(arg, "-v") || Is(arg, "--verbose"))) {
            line.extract.verbose = true;
        } else if (command == Command::check && (Is(arg, "-v") || Is(arg, "--verbose"))) {
            line.checkVerbose = true;
        } else if (extracts && (Is(arg, "-p") || Is(arg, "--stdout"))) {
            line.extract.toStandardOutput = true;
        } else {
            return Usage("unknown option " + ToUtf8(arg), usage);
        }
    }
    if (line.operands.empty()) return Usage("no file given", usage);
    if (line.extract.toStandardOutput && (line.extract.directory || line.extract.verbose || json))
        return Usage("-p writes to standard output: it goes with neither -o, -v nor --json", usage);

    PluginGuard plugin;
    std::string error;
    if (!LoadPlugin(PluginPath(line.pluginPath), plugin.host, error)) {
        std::fprintf(stderr, "vellum: %s\n", error.c_str());
        return ExitUsage;
    }
    if (line.password && !SetPassword(*line.password)) {
        Say("cannot set VELLUM_PASSWORD: " + SystemErrorText(LastSystemCode()));
        return ExitFailure;
    }
    if (line.viewable && !SetViewable()) {
        Say("cannot set VELLUM_VIEWABLE: " + SystemErrorText(LastSystemCode()));
        return ExitFailure;
    }
    if (opens) WarnAboutSettings();
    const HostText& file = line.operands[0];
    std::vector<HostText> patterns(line.operands.begin() + 1, line.operands.end());
    switch (command) {
        case Command::list:
            return List(plugin.host, file, ListOptions{patterns, exclusions, json, quiet});
        case Command::extract:
            line.extract.patterns = patterns;
            line.extract.exclusions = exclusions;
            line.extract.json = json;
            line.extract.quiet = quiet;
            return Extract(plugin.host, file, line.extract);
        case Command::check:
            break;
    }
    return Check(plugin.host, line.operands, line.checkVerbose);
}

// Runs the command line and settles the exit status: an interruption is
// said, a run whose output did not all reach stdout fails, and one whose
// reader went away ends quietly.
int Finish(const std::vector<HostText>& args) {
    InstallInterruptionHandlers();
    int status = Run(args);
    if (status == ExitInterrupted) {
        Say("interrupted");
        return InterruptionStatus();
    }
    if (!FinishOutput() && status == 0) status = ExitFailure;
    return OutputReaderGone() ? ExitReaderGone : status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<HostText> args(argv + 1, argv + argc);
    return Finish(args);
}
#else
int main(int argc, char** argv) {
    std::vector<HostText> args;
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return Finish(args);
}
#endif
