// splicery-cli entry point.
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) { return splicery::RunCli(argc, argv, stdout, stderr); }
