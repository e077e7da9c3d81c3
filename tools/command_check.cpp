// vellum check: whether each file is a PDF the plug-in opens, judged by
// content as a file manager judges it, and if not, why.
#include "tools/commands.h"
#include "tools/open_diagnosis.h"
#include "tools/standard_output.h"

int Check(const PluginHost& host, const std::vector<HostText>& files) {
    int status = 0;
    for (const HostText& file : files) {
        HostText path = file;
        std::string verdict = "a PDF that vellum can open";
        if (host.canYouHandleThisFileW(path.data()) == 0) {
            verdict = DiagnoseOpenFailure(file);
            status = ExitFailure;
        }
        Print("%s: %s\n", ToUtf8(file).c_str(), verdict.c_str());
    }
    return status;
}
