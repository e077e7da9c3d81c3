// Loads a built plug-in and finds its exported functions by name, exactly as
// a file manager does. Used by the `vellum` command and the export tests.
#pragma once

#include <string>

#include "plugin/exports.h"

struct PluginHost {
    void* module = nullptr;
    decltype(&CanYouHandleThisFile) canYouHandleThisFile = nullptr;
    decltype(&CanYouHandleThisFileW) canYouHandleThisFileW = nullptr;
    decltype(&CloseArchive) closeArchive = nullptr;
    decltype(&ConfigurePacker) configurePacker = nullptr;
    decltype(&DeleteFiles) deleteFiles = nullptr;
    decltype(&DeleteFilesW) deleteFilesW = nullptr;
    decltype(&GetPackerCaps) getPackerCaps = nullptr;
    decltype(&OpenArchive) openArchive = nullptr;
    decltype(&OpenArchiveW) openArchiveW = nullptr;
    decltype(&PackFiles) packFiles = nullptr;
    decltype(&PackFilesW) packFilesW = nullptr;
    decltype(&PackSetDefaultParams) packSetDefaultParams = nullptr;
    decltype(&ProcessFile) processFile = nullptr;
    decltype(&ProcessFileW) processFileW = nullptr;
    decltype(&ReadHeader) readHeader = nullptr;
    decltype(&ReadHeaderEx) readHeaderEx = nullptr;
    decltype(&ReadHeaderExW) readHeaderExW = nullptr;
    decltype(&SetChangeVolProc) setChangeVolProc = nullptr;
    decltype(&SetChangeVolProcW) setChangeVolProcW = nullptr;
    decltype(&SetProcessDataProc) setProcessDataProc = nullptr;
    decltype(&SetProcessDataProcW) setProcessDataProcW = nullptr;
};

// The plug-in's file name on this system: vellum.dll or vellum.wcx.
const char* PluginFileName();
// The directory of the running executable, with a trailing separator.
std::string ExecutableDirectory();
// Loads the plug-in at `path` and resolves all 21 names. On failure returns
// false and says why in `error`.
bool LoadPlugin(const std::string& path, PluginHost& host, std::string& error);
void UnloadPlugin(PluginHost& host);
