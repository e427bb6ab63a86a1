#include "support/TestSupport.h"

int main(int argc, char *argv[])
{
    return testing::runRegisteredTests(argc, argv);
}
