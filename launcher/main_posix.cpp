/*
** The entry point of the Linux and macOS build.  A POSIX program receives its
** arguments already split, so they go to the launcher logic as they are.
*/
#include "launcher/startup.h"

int main(int argc, char **argv) { return launcherMain(argc, argv); }
