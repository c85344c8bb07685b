#include "Driver.h"

int main(int argc, char** argv) { return RunTessarin(argc, argv); }
