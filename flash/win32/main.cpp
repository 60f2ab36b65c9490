// q42flash on Windows.
#include "flash/run/flash_main.h"

int main(int argc, char** argv) { return RunFlash(argc, argv); }
