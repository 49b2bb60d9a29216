// Catchline: training software for indoor rowing machines.
#include "shell/startup.h"

int main(int argc, char** argv) { return RunCatchline(argc, argv); }
