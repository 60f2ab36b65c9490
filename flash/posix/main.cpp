// q42flash on Linux and macOS.
#include "flash/run/flash_main.h"

int main(int argc, char** argv) { return RunFlash(argc, argv); }
