#include "brxtool/brxtool_main.h"

int main(int argc, char** argv) { return brxtool_main(argc, argv); }
