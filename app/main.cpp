// The soundboard's entry point: the framework's process entry, which runs the
// board through the application hooks defined in app/board.cpp.
#include <vostrel/shell/shell.h>

int main(int argc, char **argv) { return shell_main(argc, argv); }
