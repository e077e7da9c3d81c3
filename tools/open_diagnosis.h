// Why a file is not opened, told from the file itself: the plug-in answers
// only that it did not open it.
#pragma once

#include <string>
#include <vector>

#include "tools/terminal_text.h"

// What follows "FILE: " in the message for a file the plug-in did not open
// or does not accept: "no such file", "permission denied", "is a directory",
// "not a PDF ...", "too small ...", "a PDF 2.0 file ...", an encryption the
// document needs a password for or cannot be read with, or, when the file
// itself shows no cause, "not a PDF file that vellum can open".
std::string DiagnoseOpenFailure(const HostText& file);
// Why an encrypted document that looks like a PDF does not open ("encrypted:
// needs a password (--password)" and the like), told by the document layer
// with the password the plug-in would use; empty when the document opens or
// is not encrypted.
std::string EncryptionCause(const HostText& file);
// The account of `vellum check -v` for a document that opens: the stream
// objects found, one line for each the listing leaves out, with why, and one
// for each object the scan could not take whole (a dictionary that never
// closes, the file ending inside an object, a stream's data running over
// another object's header), with its header line's offset.
std::vector<std::string> LeftOutStreams(const HostText& file);
