#include "tests/support/ThreadSync.h" // with the other meeting points of threads
