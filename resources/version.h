// The library's version, in the one place the resource script and the code read it.
#pragma once

#define VELLUM_VERSION_MAJOR 1
#define VELLUM_VERSION_MINOR 0
#define VELLUM_VERSION_PATCH 0
#define VELLUM_VERSION_BUILD 57
#define VELLUM_VERSION_TEXT "1.0.0.57"
#define VELLUM_VERSION_COMMAS "1, 0, 0, 57"
