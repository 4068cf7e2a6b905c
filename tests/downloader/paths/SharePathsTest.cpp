#include "downloader/app/UtilityPaths.h"

#include "core/localization/TranslationService.h"
#include "tests/downloader/paths/ShareFolders.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;
using Vantor::Localization::TranslationService;

TEST(SharePaths, CurrentFolderThenShareBesideItThenTheInstalledFolders)
{
    ShareFolders folders;
    const std::string cwd = Utility::GetCwd();
    ASSERT_EQ(folders.File("bin"), cwd);

    std::vector<std::string> list{"kept"};
    Utility::PopulateSharePathList(list);
    const std::vector<std::string> expected{"kept", cwd + "/", cwd + "/../share/vantormp3/",
                                            "/usr/share/vantormp3/", "/usr/local/share/vantormp3/"};
    EXPECT_EQ(expected, list);
}

TEST(SharePaths, TranslationsComeFromTheFirstShareFolderHoldingThemInTheFixedLocale)
{
    ShareFolders folders;
    // The environment's language plays no part.
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    setenv("LANG", "fr_FR.UTF-8", 1);
    VantorTest::WriteTranslationFile(folders.InShareBeside("translations/de.xml"), "de_DE",
                                     {{"sonvel_dl_waiting", "Wartet (daneben)"}});

    Utility::InitializeTranslationService();
    EXPECT_EQ("de_DE", TranslationService::Instance()->GetLocale());
    EXPECT_EQ("Wartet (daneben)", TranslationService::Instance()->Translate("sonvel_dl_waiting", "Waiting"));

    VantorTest::WriteTranslationFile(folders.InCurrent("translations/de.xml"), "de_DE",
                                     {{"sonvel_dl_waiting", "Wartet (hier)"}});
    Utility::InitializeTranslationService();
    EXPECT_EQ("Wartet (hier)", TranslationService::Instance()->Translate("sonvel_dl_waiting", "Waiting"));
}

TEST(SharePaths, ShippedGermanTranslationStartsFromTheCheckoutsShareFolder)
{
    VantorTest::ScopedCurrentDirectory share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share");

    Utility::InitializeTranslationService();
    TranslationService* service = TranslationService::Instance();
    EXPECT_EQ("Wartet", service->Translate("sonvel_dl_waiting", "Waiting"));
    EXPECT_EQ("Unvollständig", service->Translate("sonvel_dl_incomplete", "Incomplete"));
}
