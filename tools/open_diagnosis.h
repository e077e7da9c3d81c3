// Why a file is not opened, told from the file itself: the plug-in answers
// only that it did not open it.
#pragma once

#include <string>

#include "tools/terminal_text.h"

// What follows "FILE: " in the message for a file the plug-in did not open
// or does not accept: "no such file", "permission denied", "is a directory",
// "not a PDF ...", "too small ...", "a PDF 2.0 file ...", an encryption the
// document needs a password for or cannot be read with, or, when the file
// itself shows no cause, "not a PDF file that vellum can open".
std::string DiagnoseOpenFailure(const HostText& file);
