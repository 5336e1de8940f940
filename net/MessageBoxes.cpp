#include "net/MessageBoxes.h"

#include <cstdlib>

void MessageBoxes::EndProgram(int exitCode) { std::exit(exitCode); }
