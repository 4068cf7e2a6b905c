// The main menu driven through its items: the browser pages, the queue file chooser, quitting,
// and the help page looked up where an installation puts it.
#include "downloader/ui/MainMenuController.h"

#include "core/filesystem/FilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/ui/MainWindowController.h"
#include "tests/support/QueueFile.h"
#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/StandInPrograms.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/MessageDialogAnswerer.h"

#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <gtkmm.h>

#include <cstdlib>
#include <fstream>
#include <memory>

using namespace VantorTest;
namespace Downloader = Vantor::DigitalMedia::MusicClient::Downloader;
namespace Utility = Downloader::Utility;
namespace fs = boost::filesystem;

namespace {

// The program's glade file (the checkout's share folder is the current directory), a shown
// main window, and "browser" as the only browser there is.
class MainMenu : public MainLoopTest {
protected:
    MainMenu()
        : share(std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/share")
    {
        WriteTranslationFile(translations.File("de_DE.xml"), "de_DE", {});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
        setenv("BROWSER", "browser", 1);
        programs.Add("browser");
        menu.reset(new Downloader::MainMenuController(model));
        mainWindow->show();
    }

    template <class Widget>
    static Widget* Get(const char* root, const char* name)
    {
        Widget* widget = nullptr;
        Utility::GetGlade(root)->get_widget(name, widget);
        EXPECT_TRUE(widget) << name;
        return widget;
    }

    static void Activate(const char* item) { Get<Gtk::MenuItem>("MainWindow", item)->activate(); }

    ScopedHome home;
    TempDirectory translations;
    StandInPrograms programs;
    ScopedCurrentDirectory share;
    boost::shared_ptr<Downloader::DownloadModel> model =
        boost::make_shared<Downloader::DownloadModel>(Vantor::Filesystem::FilesystemUtility::NewInstance());
    std::unique_ptr<Downloader::MainMenuController> menu;
    Gtk::Window* mainWindow = Downloader::GetMainWindow();
};

// Hands the first visible window of type W, from a timeout that the modal run's own loop
// turns, to `act` until `act` says it has answered.
template <class W>
sigc::connection WhenShown(const std::function<bool(W&)>& act)
{
    return Glib::signal_timeout().connect(
        [act] {
            for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
                if (W* shown = dynamic_cast<W*>(window); shown && shown->get_visible())
                    return !act(*shown);
            }
            return true;
        },
        10);
}

const char kHelpPage[] = "help_de_DE.html";
const char* const kHelpFolders[] = {"../share/doc/vantormp3", "/usr/share/doc/vantormp3",
                                    "/usr/local/share/doc/vantormp3"};

// A help page put into `folder`, with the folders that were missing, all taken away again
// with the object. An installed page is never touched: `placed` is false then, and when the
// folder can't be written.
struct PlacedHelpPage {
    explicit PlacedHelpPage(const fs::path& folder)
        : page(folder / kHelpPage)
    {
        if (fs::exists(page))
            return;
        for (fs::path missing = folder; !fs::exists(missing); missing = missing.parent_path())
            made = missing;
        boost::system::error_code error;
        fs::create_directories(folder, error);
        placed = !error && std::ofstream(page.string()) << "<html></html>";
    }
    ~PlacedHelpPage()
    {
        boost::system::error_code ignored;
        if (placed)
            fs::remove(page, ignored);
        if (!made.empty())
            fs::remove_all(made, ignored);
    }

    fs::path page;
    fs::path made;
    bool placed = false;
};

const char* const kHelpCaseNames[] = {"BesideTheProgram", "UsrShare", "UsrLocalShare", "Nowhere"};

// The index of the one folder of kHelpFolders that holds the page; past the end for none.
class HelpPage : public MainMenu, public testing::WithParamInterface<size_t> {};

} // namespace

TEST(IsFileVLX, TakesFiveOrMoreCharactersEndingInVlxInAnyCase)
{
    const std::pair<const char*, bool> cases[] = {
        {"a.vlx", true},      {"X.VLX", true},      {"/home/u/My Album.VlX", true}, {"\xC3\xBC.vlx", true},
        {".vlx", false},      {"a.vlx.bak", false}, {"a.vlx2", false},              {"", false},
        {"avlx", false},      {"a.vl", false},      {"/tmp/a.xvl", false},
    };
    for (const auto& [name, accepted] : cases) {
        Gtk::FileFilter::Info info;
        info.filename = name;
        EXPECT_EQ(Downloader::IsFileVLX(info), accepted) << name;
    }
}

// (The program's own tests open the About and preferences dialogs through the menu.)
TEST_F(MainMenu, StorePagesOpenVLXOnlyOnOKAndExitSavesAndHidesTheWindow)
{
    Activate("HelpMenuContactCS");
    EXPECT_EQ(programs.TakeRecord(), "browser https://store.vantormp3.example/gp/help/contact-us/music-downloads.html");
    Activate("HelpMenuEnableDownloader");
    EXPECT_EQ(programs.TakeRecord(),
              "browser http://store.vantormp3.example/gp/sonvel/after_download_manager_install.html?RUQVersion=1.0.9");

    const std::string purchase = home.File("purchase.vlx");
    QueueDocument document;
    document.regular.push_back(
        {{{"location", "http://127.0.0.1:9/P1"}, {"trackType", "mp3"}, {"downloadState", "1"}}, "P1"});
    WriteFile(purchase, document.Xml());

    std::string shown;
    sigc::connection answering = WhenShown<Gtk::FileChooserDialog>([&shown](Gtk::FileChooserDialog& chooser) {
        shown = chooser.get_title() + "|" + chooser.get_filter()->get_name();
        chooser.response(Gtk::RESPONSE_CANCEL);
        return true;
    });
    Activate("FileMenuOpenVLX");
    answering.disconnect();
    EXPECT_EQ(shown, "Please select an VLX file to load|Vantor MP3 queue files (*.vlx)");
    EXPECT_EQ(model->CountDownloads(), 0u);
    EXPECT_TRUE(fs::exists(purchase));

    // The chooser takes up a file once its folder has been read.
    bool chosen = false;
    answering = WhenShown<Gtk::FileChooserDialog>([&](Gtk::FileChooserDialog& chooser) {
        if (!chosen)
            chosen = chooser.set_filename(purchase);
        if (chooser.get_filename() != purchase)
            return false;
        chooser.response(Gtk::RESPONSE_OK);
        return true;
    });
    Activate("FileMenuOpenVLX");
    answering.disconnect();
    EXPECT_EQ(model->CountDownloads(), 1u);
    EXPECT_FALSE(fs::exists(purchase));

    // Nothing is under way, so Exit asks nothing.
    fs::remove(Utility::DownloadQueueFilename());
    MessageDialogAnswerer answerer(Gtk::RESPONSE_NO);
    Activate("FileMenuQuit");
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_FALSE(mainWindow->get_visible());
    EXPECT_TRUE(fs::exists(Utility::DownloadQueueFilename()));
    EXPECT_TRUE(fs::exists(Utility::PreferencesFilename()));
}

// From a folder of its own, so the page beside the program's folder is the test's.
TEST_P(HelpPage, OpensTheFirstPageFoundElseWarns)
{
    TempDirectory work;
    fs::create_directory(work.File("bin"));
    ScopedCurrentDirectory bin(work.File("bin"));
    const size_t holder = GetParam();
    for (size_t earlier = 1; earlier < holder; ++earlier)
        if (fs::exists(fs::path(kHelpFolders[earlier]) / kHelpPage))
            GTEST_SKIP() << "an installed help page in " << kHelpFolders[earlier];

    if (holder == std::size(kHelpFolders)) {
        MessageDialogAnswerer answerer(Gtk::RESPONSE_OK);
        Activate("HelpMenuShowHelp");
        ASSERT_EQ(answerer.seen.size(), 1u);
        EXPECT_EQ(answerer.seen[0].text, "Unable to locate the help file; please reinstall the application.");
        EXPECT_FALSE(answerer.seen[0].markup);
        EXPECT_EQ(answerer.seen[0].parent, mainWindow);
        return;
    }
    const PlacedHelpPage page(kHelpFolders[holder]);
    if (!page.placed)
        GTEST_SKIP() << "no help page of the test's own can go into " << kHelpFolders[holder];
    Activate("HelpMenuShowHelp");
    const std::string folder = holder == 0 ? fs::current_path().string() + "/" + kHelpFolders[0] : kHelpFolders[holder];
    EXPECT_EQ(programs.TakeRecord(), "browser file://" + folder + "/" + kHelpPage);
}

INSTANTIATE_TEST_SUITE_P(Folders, HelpPage, testing::Range(size_t{0}, std::size(kHelpFolders) + 1),
                         [](const testing::TestParamInfo<size_t>& info) { return kHelpCaseNames[info.param]; });
