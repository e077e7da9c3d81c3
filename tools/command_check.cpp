// vellum check: whether each file is a PDF the plug-in opens, judged by
// content as a file manager judges it.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/commands.h"

int Check(const PluginHost& host, const std::vector<HostText>& files) {
    int status = 0;
    for (const HostText& file : files) {
        HostText path = file;
        std::error_code error;
        const char* verdict = "a PDF that vellum can open";
        if (!std::filesystem::exists(ToPath(file), error)) {
            verdict = "no such file";
            status = ExitFailure;
        } else if (!std::filesystem::is_regular_file(ToPath(file), error)) {
            verdict = "not a file";
            status = ExitFailure;
        } else if (host.canYouHandleThisFileW(path.data()) == 0) {
            verdict = "not a PDF that vellum can open";
            status = ExitFailure;
        }
        std::printf("%s: %s\n", ToUtf8(file).c_str(), verdict);
    }
    return status;
}
