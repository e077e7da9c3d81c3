// The environment variables the plug-in reads at each open, as the command
// checks and sets them.
#pragma once

#include <string>

#include "tools/terminal_text.h"

// Whether `text` is a setting the plug-in takes: VELLUM_THREADS a whole
// number from 1 to 16, VELLUM_MEMORY_MB a whole number of at most 12 digits.
bool IsThreadCount(const std::string& text);
bool IsMebibyteCount(const std::string& text);

// Warns on stderr about each of VELLUM_THREADS and VELLUM_MEMORY_MB that is
// set to something the plug-in does not take (it uses its default then).
void WarnAboutSettings();

// Sets VELLUM_PASSWORD in the command's own environment, where the plug-in
// reads it when it opens a document: on Linux to `bytes` as they are, on
// Windows to the UTF-16 text of their UTF-8. False when the system refused.
bool SetPassword(const std::string& bytes);
// The password the plug-in reads from VELLUM_PASSWORD, as its bytes; empty
// when unset.
std::string PasswordSetting();

// Sets VELLUM_VIEWABLE=1 in the command's own environment, where the plug-in
// reads it when it opens a document. False when the system refused.
bool SetViewable();
