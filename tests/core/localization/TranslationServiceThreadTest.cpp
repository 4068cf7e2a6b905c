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
    for (const char* locale : {"de", "fr"})
        VantorTest::WriteFile(dir.File(std::string(locale) + ".xml"),
                              std::string("<translation><name>") + locale + "</name><strings>"
                              "<string base=\"sonvel_k\" translated=\"" + locale + "\"/></strings></translation>");
    TranslationService::Initialize(dir.Path(), "de");

    std::atomic<bool> stop(false);
    std::atomic<int> unexpected(0);
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop) {
                const std::string text = TranslationService::Instance()->Translate("sonvel_k", "-");
                unexpected += text != "de" && text != "fr" && text != "-";
            }
        });
    }
    const char* locales[] = {"fr", "it", "de"};
    for (int round = 0; round < 60; ++round)
        TranslationService::Initialize(dir.Path(), locales[round % 3]);
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(0, unexpected);
}
