// The program's entry point: everything lives in the libraries so tests can link it.
#include "app/startup.h"

int main(int argc, char** argv)
{
    return cvx_main(argc, argv);
}
