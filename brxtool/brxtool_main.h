// brxtool's entry: COMMAND [options] ARGS, or --help.
#pragma once

// Returns the exit status: 0 success, 1 a difference or damage found, 2 trouble.
int brxtool_main(int argc, char** argv);
