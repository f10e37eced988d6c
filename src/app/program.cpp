// The demo executable: everything else lives in the library.
#include "app/CApplication.h"

int main(int argc, char** argv) { return demoMain(argc, argv); }
