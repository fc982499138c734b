// The system's ANSI code page, in which Windows programs write 8-bit text files.
#pragma once

#include "platform/codepage.h"

// The ANSI code page (GetACP()) as a CodePage named "Windows-<number>"; Windows-1252 by its own
// table when that is the page, or when the page is UTF-8, which 8-bit files are not.
CodePage win32AnsiCodePage();
