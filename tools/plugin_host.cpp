#include "tools/plugin_host.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <unistd.h>
#  include <climits>
#endif

namespace {

void* FindSymbol(void* module, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return dlsym(module, name);
#endif
}

template <typename Function>
bool Resolve(void* module, const char* name, Function& slot, std::string& error) {
    slot = reinterpret_cast<Function>(FindSymbol(module, name));
    if (slot == nullptr) error = std::string("the plug-in does not export ") + name;
    return slot != nullptr;
}

}  // namespace

const char* PluginFileName() {
#ifdef _WIN32
    return "vellum.dll";
#else
    return "vellum.wcx";
#endif
}

std::string ExecutableDirectory() {
#ifdef _WIN32
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
#else
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    std::string text(path, length > 0 ? static_cast<size_t>(length) : 0);
    return text.substr(0, text.find_last_of('/') + 1);
#endif
}

bool LoadPlugin(const std::string& path, PluginHost& host, std::string& error) {
    host = PluginHost{};
#ifdef _WIN32
    host.module = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (host.module == nullptr) {
        error = "cannot load " + path;
        return false;
    }
#else
    host.module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (host.module == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + path + (reason != nullptr ? std::string(": ") + reason : std::string());
        return false;
    }
#endif
    void* m = host.module;
    bool ok = Resolve(m, "CanYouHandleThisFile", host.canYouHandleThisFile, error) &&
              Resolve(m, "CanYouHandleThisFileW", host.canYouHandleThisFileW, error) &&
              Resolve(m, "CloseArchive", host.closeArchive, error) &&
              Resolve(m, "ConfigurePacker", host.configurePacker, error) &&
              Resolve(m, "DeleteFiles", host.deleteFiles, error) &&
              Resolve(m, "DeleteFilesW", host.deleteFilesW, error) &&
              Resolve(m, "GetPackerCaps", host.getPackerCaps, error) &&
              Resolve(m, "OpenArchive", host.openArchive, error) &&
              Resolve(m, "OpenArchiveW", host.openArchiveW, error) &&
              Resolve(m, "PackFiles", host.packFiles, error) &&
              Resolve(m, "PackFilesW", host.packFilesW, error) &&
              Resolve(m, "PackSetDefaultParams", host.packSetDefaultParams, error) &&
              Resolve(m, "ProcessFile", host.processFile, error) &&
              Resolve(m, "ProcessFileW", host.processFileW, error) &&
              Resolve(m, "ReadHeader", host.readHeader, error) &&
              Resolve(m, "ReadHeaderEx", host.readHeaderEx, error) &&
              Resolve(m, "ReadHeaderExW", host.readHeaderExW, error) &&
              Resolve(m, "SetChangeVolProc", host.setChangeVolProc, error) &&
              Resolve(m, "SetChangeVolProcW", host.setChangeVolProcW, error) &&
              Resolve(m, "SetProcessDataProc", host.setProcessDataProc, error) &&
              Resolve(m, "SetProcessDataProcW", host.setProcessDataProcW, error);
    if (!ok) UnloadPlugin(host);
    return ok;
}

void UnloadPlugin(PluginHost& host) {
    if (host.module != nullptr) {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(host.module));
#else
        dlclose(host.module);
#endif
    }
    host = PluginHost{};
}
