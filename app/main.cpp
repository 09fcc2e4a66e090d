// The program's entry point: hands the command line to the command-line front end.
#include "app/CommandLine.h"

int main(int argc, char** argv) { return runCommandLine(argc, argv); }
