/*
** The Windows entry point: a windowed program with no window of its own.
** The options come from the runtime's argument vector, not from lpCmdLine.
*/
#include "launcher/startup.h"

#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return launcherMain(__argc, __argv); }
