// What GoogleTest needs of Microsoft's CRT headers beyond what Wine's declare: forced into its own
// sources only (cmake/BrickwrightDependencies.cmake).
#pragma once
#include <excpt.h>
#include <time.h>
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) unsigned int __cdecl _set_abort_behavior(unsigned int flags, unsigned int mask);
#ifdef __cplusplus
}
#endif
// The debug CRT's report routing; a release /MD build has none, and GoogleTest only silences it.
#ifndef _CRTDBG_FILE_STDERR
#define _CRTDBG_FILE_STDERR ((void*)-5)
#endif
#ifndef _CrtSetReportFile
#define _CrtSetReportFile(type, file) ((void*)0)
#endif
