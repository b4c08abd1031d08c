// The front end's own texts: banner, usage and the wrong-arguments message, to standard error only.
#pragma once

extern const char usage_text[];

void print_banner();
void print_wrong_arguments();
