// Starts the single-instance guard in HOME as the program does. When another instance holds
// it, sends every argument, the program path first, and ends with 0 when all went out (1
// otherwise). When it becomes the running instance itself it says so on standard output
// and waits to be killed.
#include "downloader/app/SingleInstance.h"

#include <unistd.h>

#include <cstdio>

using Vantor::DigitalMedia::MusicClient::Downloader::SingleInstance;

int main(int argc, char** argv)
{
    SingleInstance guard;
    if (guard.StartAsMainInstance()) {
        std::puts("running instance");
        std::fflush(stdout);
        for (;;)
            pause();
    }
    if (guard.Status() != SingleInstance::OtherInstanceRunning)
        return 10 + guard.Status();
    int failed = 0;
    for (int i = 0; i < argc; ++i)
        failed += guard.SendMainInstanceMessage(argv[i]) ? 0 : 1;
    return failed == 0 ? 0 : 1;
}
