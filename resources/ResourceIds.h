// Resource identifiers and the version, shared by the code and Quenfold.rc.
#pragma once

#define IDI_PLUGIN 103
#define IDI_DIRECTORY_SMALL 104
#define IDI_DIRECTORY_BIG 105

#define QUENFOLD_VERSION_MAJOR 1
#define QUENFOLD_VERSION_MINOR 0
#define QUENFOLD_VERSION_PATCH 3
#define QUENFOLD_VERSION_BUILD 0
#define QUENFOLD_VERSION_TEXT "1, 0, 3, 0"
#define QUENFOLD_DESCRIPTION "Quenfold file system plugin for Total Commander"
#define QUENFOLD_FILE_NAME "Quenfold.wfx"
