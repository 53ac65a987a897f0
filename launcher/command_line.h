/*
** The Java command of one start, as a value, and its command line.
*/
#ifndef TARNWICK_COMMAND_LINE_H
#define TARNWICK_COMMAND_LINE_H

#include "core/settings.h"

#include <string>
#include <vector>

/* What one start runs.  Built from the configuration for the whole run
** (javaCommandOf), given its runtime once one is known, and extended by a
** single start (fast start's parameters) as a copy: the configuration
** itself never changes. */
struct JavaCommand {
    std::string runtime;                    /* the Java executable's command-line token */
    std::vector<std::string> jvmParameters; /* in order, each a token as written */
    std::vector<std::string> classPath;     /* the entries, in order */
    std::string mainClass;                  /* the main class, or "-m module/class"; empty: none */
    std::vector<std::string> arguments;     /* tool mode's passed on, then the configured ones */
};

/* The command the configuration gives: javapath (empty when unset), the JVM
** parameters, the class path (in tool mode with relative entries anchored to
** the launcher's folder), the main class and the arguments. */
JavaCommand javaCommandOf(const LauncherSettings &config);

/* The command line of command: the runtime (enclosed in quotes when it holds
** a blank and no quotes of its own), the JVM parameters, "-classpath" and
** the class path, the main class and the arguments.  Shows the "Adding
** double quotes around" debug box for each argument it encloses in quotes. */
std::string buildJavaCommandLine(const JavaCommand &command);

/* Appends one application argument and the blank after it.  The argument is
** enclosed in double quotes when it holds a blank, a tab or a double quote,
** when it is empty, or on Vista and later; inside the quotes, backslashes
** before a quote are doubled and the quote is escaped, so the child's C
** runtime hands the application exactly the original text. */
void appendApplicationArgument(std::string *commandLine, const char *arg);

/* text enclosed in double quotes and escaped so that the Windows C
** runtime's split (and the POSIX start, which splits by the same rules)
** gives back exactly text. */
std::string quotedArgument(const std::string &text);

/* A "-D" option of the launcher's own command line as the java command line
** holds it: the option itself, or, when it holds a blank, a tab or a double
** quote, a kept copy enclosed and escaped as an argument is, so that Java
** receives the user's one argument unchanged.  (A configuration's "vmparam"
** is written as configured: its quotes are the configuration's own.) */
char *jvmOptionToken(char *option);

#endif
