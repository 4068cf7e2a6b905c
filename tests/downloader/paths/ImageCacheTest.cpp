#include "downloader/app/UtilityPaths.h"

#include "tests/downloader/paths/ShareFolders.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

void SaveImage(const std::string& path, int width, int height)
{
    const Glib::RefPtr<Gdk::Pixbuf> image = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, width, height);
    image->fill(0x336699ff);
    image->save(path, "png");
}

void ExpectBlank(const Glib::RefPtr<Gdk::Pixbuf>& image)
{
    ASSERT_TRUE(image);
    EXPECT_EQ(1, image->get_width());
    EXPECT_EQ(1, image->get_height());
    EXPECT_TRUE(image->get_has_alpha());
    EXPECT_EQ(8, image->get_bits_per_sample());
    EXPECT_EQ(Gdk::COLORSPACE_RGB, image->get_colorspace());
}

} // namespace

// The image folder is chosen once per run, so the whole life of the cache is one test.
TEST(ImageCache, FolderFoundOnceImagesKeptAndMissingOnesTriedAgain)
{
    if (boost::filesystem::exists("/usr/share/vantormp3/pixmaps")
        || boost::filesystem::exists("/usr/local/share/vantormp3/pixmaps"))
        GTEST_SKIP() << "an installed copy of the images would be found first";
    ShareFolders folders;

    // No folder has images yet: the blank stands in and the folder is looked for again.
    testing::internal::CaptureStderr();
    ExpectBlank(Utility::GetPixbuf("icon.png"));
    EXPECT_EQ("ERROR: failed to load icon.png", testing::internal::GetCapturedStderr());

    SaveImage(folders.InShareBeside("pixmaps/icon.png"), 3, 2);
    const Glib::RefPtr<Gdk::Pixbuf> icon = Utility::GetPixbuf("icon.png");
    ASSERT_TRUE(icon);
    EXPECT_EQ(3, icon->get_width());
    EXPECT_EQ(2, icon->get_height());
    EXPECT_EQ(icon->gobj(), Utility::GetPixbuf("icon.png")->gobj());

    // The folder found first stays the image folder for the rest of the run.
    SaveImage(folders.InCurrent("pixmaps/icon.png"), 5, 5);
    SaveImage(folders.InCurrent("pixmaps/other.png"), 5, 5);
    EXPECT_EQ(icon->gobj(), Utility::GetPixbuf("icon.png")->gobj());

    // A missing image is reported every time and is not kept, so it loads once it is there.
    testing::internal::CaptureStderr();
    const Glib::RefPtr<Gdk::Pixbuf> firstBlank = Utility::GetPixbuf("other.png");
    const Glib::RefPtr<Gdk::Pixbuf> secondBlank = Utility::GetPixbuf("other.png");
    EXPECT_EQ("ERROR: failed to load other.pngERROR: failed to load other.png",
              testing::internal::GetCapturedStderr());
    ExpectBlank(firstBlank);
    ExpectBlank(secondBlank);
    EXPECT_NE(firstBlank->gobj(), secondBlank->gobj());

    SaveImage(folders.InShareBeside("pixmaps/other.png"), 4, 4);
    EXPECT_EQ(4, Utility::GetPixbuf("other.png")->get_width());
}
