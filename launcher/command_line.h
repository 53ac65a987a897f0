/*
** Assembly of the one `java` command line from the settings.
*/
#ifndef TARNWICK_COMMAND_LINE_H
#define TARNWICK_COMMAND_LINE_H

#include <string>

/* Builds the command line: javapath (enclosed in quotes when it holds a
** blank and no quotes of its own), the JVM parameters, "-classpath" and
** the class path, the main class, the arguments passed on in tool mode and
** the application arguments.  javapath must be set.  Shows the "Adding
** double quotes around" debug box for each argument it encloses in quotes. */
std::string buildJavaCommandLine();

/* Appends one application argument and the blank after it.  The argument is
** enclosed in double quotes when it holds a blank, a tab or a double quote,
** when it is empty, or on Vista and later; inside the quotes, backslashes
** before a quote are doubled and the quote is escaped, so the child's C
** runtime hands the application exactly the original text. */
void appendApplicationArgument(std::string *commandLine, const char *arg);

/* A "-D" option of the launcher's own command line as the java command line
** holds it: the option itself, or, when it holds a blank, a tab or a double
** quote, a kept copy enclosed and escaped as an argument is, so that Java
** receives the user's one argument unchanged.  (A configuration's "vmparam"
** is written as configured: its quotes are the configuration's own.) */
char *jvmOptionToken(char *option);

#endif
