#include "core/localization/TranslationService.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Vantor::Localization::TranslationService;

// Worker threads translate while the main thread reads the translations again and switches
// locales: every answer is one locale's text or the default, never a torn or stale object.
TEST(TranslationServiceThreads, TranslateRunsAlongsideInitialize)
{
    VantorTest::TempDirectory dir;
    VantorTest::WriteFile(dir.File("de.xml"), "<translation><name>de_DE</name><strings>"
                                              "<string base=\"sonvel_dl_waiting\" translated=\"Wartet\"/>"
                                              "</strings></translation>");
    VantorTest::WriteFile(dir.File("fr.xml"), "<translation><name>fr_FR</name><strings>"
                                              "<string base=\"sonvel_dl_waiting\" translated=\"En attente\"/>"
                                              "</strings></translation>");
    TranslationService::Initialize(dir.Path(), "de_DE");

    std::atomic<bool> stop(false);
    std::atomic<int> unexpected(0);
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop) {
                const std::string text = TranslationService::Instance()->Translate("sonvel_dl_waiting", "Waiting");
                if (text != "Wartet" && text != "En attente" && text != "Waiting")
                    ++unexpected;
            }
        });
    }
    const char* locales[] = {"fr_FR", "it_IT", "de_DE"};
    for (int round = 0; round < 60; ++round)
        TranslationService::Initialize(dir.Path(), locales[round % 3]);
    stop = true;
    for (std::thread& reader : readers)
        reader.join();

    EXPECT_EQ(0, unexpected);
    EXPECT_EQ("Wartet", TranslationService::Instance()->Translate("sonvel_dl_waiting", "Waiting"));
}
