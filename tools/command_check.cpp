// vellum check: whether each file is a PDF the plug-in opens, judged by
// content as a file manager judges it, and if not, why.
#include "tools/commands.h"
#include "tools/open_diagnosis.h"
#include "tools/standard_output.h"

int Check(const PluginHost& host, const std::vector<HostText>& files, bool verbose) {
    int status = 0;
    for (const HostText& file : files) {
        HostText path = file;
        std::string verdict = "a PDF that vellum can open";
        // The plug-in judges by the first line and the end; an encryption it
        // cannot read shows only in the body.
        if (host.canYouHandleThisFileW(path.data()) == 0) {
            verdict = DiagnoseOpenFailure(file);
        } else if (std::string cause = EncryptionCause(file); !cause.empty()) {
            verdict = cause;
        }
        const bool opens = verdict == "a PDF that vellum can open";
        if (!opens) status = ExitFailure;
        Print("%s: %s\n", ToUtf8(file).c_str(), verdict.c_str());
        if (!opens || !verbose) continue;
        for (const std::string& line : LeftOutStreams(file)) Print("  %s\n", line.c_str());
    }
    return status;
}
