#include "downloader/app/UtilityPaths.h"

#include "tests/downloader/paths/ShareFolders.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <gtkmm/label.h>

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

// A glade file with one window per root, each holding a label "Where" with the given text.
std::string GladeWithWindows(const std::vector<std::string>& roots, const std::string& where)
{
    std::string xml = "<?xml version=\"1.0\"?>\n<glade-interface>\n";
    for (const std::string& root : roots) {
        xml += "  <widget class=\"GtkWindow\" id=\"" + root + "\">\n"
               "    <child>\n"
               "      <widget class=\"GtkLabel\" id=\"Where\"><property name=\"label\">" + where + "</property></widget>\n"
               "    </child>\n"
               "  </widget>\n";
    }
    return xml + "</glade-interface>\n";
}

std::string WhereText(const Glib::RefPtr<Gnome::Glade::Xml>& tree)
{
    Gtk::Label* label = nullptr;
    tree->get_widget("Where", label);
    return label ? std::string(label->get_text()) : std::string("(no label)");
}

// Roots of their own, so the trees the program's real file gives stay apart in the cache.
class GladeCache : public testing::Test {
protected:
    void SetUp() override
    {
        VantorTest::WriteFile(folders.InCurrent("glade/main.glade"), GladeWithWindows({"ProbeWindow"}, "current"));
        VantorTest::WriteFile(folders.InShareBeside("glade/main.glade"),
                              GladeWithWindows({"ProbeWindow", "ShareOnlyWindow"}, "beside"));
    }

    ShareFolders folders;
};

} // namespace

TEST_F(GladeCache, CurrentFolderComesFirstAndAFileWithoutTheRootPassesToTheNext)
{
    const Glib::RefPtr<Gnome::Glade::Xml> probe = Utility::GetGlade("ProbeWindow");
    ASSERT_TRUE(probe);
    EXPECT_EQ("current", WhereText(probe));

    const Glib::RefPtr<Gnome::Glade::Xml> shareOnly = Utility::GetGlade("ShareOnlyWindow");
    ASSERT_TRUE(shareOnly);
    EXPECT_EQ("beside", WhereText(shareOnly));

    if (!boost::filesystem::exists("/usr/share/vantormp3/glade/main.glade")
        && !boost::filesystem::exists("/usr/local/share/vantormp3/glade/main.glade")) {
        EXPECT_FALSE(Utility::GetGlade("NoSuchWindow"));
    }
}

TEST_F(GladeCache, OneTreePerRootKeptForTheWholeRun)
{
    const Glib::RefPtr<Gnome::Glade::Xml> first = Utility::GetGlade("ProbeWindow");
    ASSERT_TRUE(first);
    Gtk::Label* firstLabel = nullptr;
    first->get_widget("Where", firstLabel);

    // Kept even once no share folder has the file any more.
    boost::filesystem::remove(folders.InCurrent("glade/main.glade"));
    boost::filesystem::remove(folders.InShareBeside("glade/main.glade"));
    const Glib::RefPtr<Gnome::Glade::Xml> again = Utility::GetGlade("ProbeWindow");
    ASSERT_TRUE(again);
    EXPECT_EQ(first->gobj(), again->gobj());
    Gtk::Label* againLabel = nullptr;
    again->get_widget("Where", againLabel);
    EXPECT_EQ(firstLabel, againLabel);
}
