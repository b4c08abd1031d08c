#include "frontend/brx_main.h"

int main(int argc, char** argv)
{
    return brx_main(argc, argv);
}
