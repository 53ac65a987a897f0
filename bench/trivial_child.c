/*
** The trivial child of the benchmarks: ends at once with code 0, whatever
** its arguments.  Built for Linux and, with MinGW-w64, for Windows.
*/
int main(void) { return 0; }
