#include "tests/support/Servers.h" // with the other programs and servers the tests start
