#include "tests/support/TempDirectory.h" // with the other files and folders of the tests
