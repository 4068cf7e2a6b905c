#include "downloader/app/UtilityPaths.h"

#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/UtilityPreferences.h"

#include <glade/glade-xml.h>
#include <unistd.h>

#include <iostream>
#include <map>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

const char kDownloadQueueFilename[] = "DownloadQueue.vlx";
const char kAnsweredReportsFilename[] = "AnsweredReports";
const char kGladeFile[] = "glade/main.glade";
const char kPixmapsFolder[] = "pixmaps/";
const char kTranslationsFolder[] = "translations/";
const char kInstalledTranslations[] = "/usr/share/vantormp3/translations/";
// The program speaks one language, whatever the environment asks for.
const char kLocale[] = "de_DE";

std::vector<std::string> SharePaths()
{
    std::vector<std::string> paths;
    PopulateSharePathList(paths);
    return paths;
}

// The first share folder holding `relative` (a file or a folder); empty when none does.
std::string FirstShareFolderWith(const std::string& relative)
{
    LinuxFilesystemUtility filesystem;
    for (const std::string& share : SharePaths()) {
        if (filesystem.DirectoryExists((share + relative).c_str()))
            return share;
    }
    return std::string();
}

} // namespace

std::string GetCwd()
{
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return std::string();
    return buffer;
}

std::string AbsolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    const std::string directory = GetCwd();
    return directory.empty() ? path : directory + "/" + path;
}

void PopulateSharePathList(std::vector<std::string>& list)
{
    const std::string cwd = GetCwd();
    list.push_back(cwd + "/");
    list.push_back(cwd + "/../share/vantormp3/");
    list.push_back("/usr/share/vantormp3/");
    list.push_back("/usr/local/share/vantormp3/");
}

std::string DownloadQueueFilename()
{
    return GetSettingsDirectory() + kDownloadQueueFilename;
}

std::string AnsweredReportsFilename()
{
    return GetSettingsDirectory() + kAnsweredReportsFilename;
}

sigc::signal<void>& VLXEnqueuedSignal()
{
    static sigc::signal<void> signal;
    return signal;
}

Glib::RefPtr<Gnome::Glade::Xml> GetGlade(const std::string& root)
{
    static std::map<std::string, Glib::RefPtr<Gnome::Glade::Xml>> trees;
    Glib::RefPtr<Gnome::Glade::Xml>& cached = trees[root];
    if (cached)
        return cached;

    LinuxFilesystemUtility filesystem;
    for (const std::string& share : SharePaths()) {
        const std::string path = share + kGladeFile;
        if (!filesystem.FileExists(path.c_str()))
            continue;
        // A file without this root (an older copy, say) leaves the next folder to try.
        // libglade then still gives a tree, only an empty one.
        Glib::RefPtr<Gnome::Glade::Xml> tree;
        try {
            tree = Gnome::Glade::Xml::create(path, root, "");
        } catch (const Gnome::Glade::XmlError&) {
            continue;
        }
        if (tree && glade_xml_get_widget(tree->gobj(), root.c_str())) {
            cached = tree;
            return cached;
        }
    }
    return cached;
}

Glib::RefPtr<Gdk::Pixbuf> GetPixbuf(const std::string& name)
{
    static std::map<std::string, Glib::RefPtr<Gdk::Pixbuf>> images;
    // Found once; until a share folder has images the search runs again on every call.
    static std::string imageFolder;
    if (imageFolder.empty()) {
        const std::string share = FirstShareFolderWith(kPixmapsFolder);
        if (!share.empty())
            imageFolder = share + kPixmapsFolder;
    }

    const std::string path = imageFolder + name;
    const auto cached = images.find(path);
    if (cached != images.end() && cached->second)
        return cached->second;

    try {
        const Glib::RefPtr<Gdk::Pixbuf> image = Gdk::Pixbuf::create_from_file(path);
        images[path] = image;
        return image;
    } catch (const Glib::Error&) {
        std::cerr << "ERROR: failed to load " << name;
    }
    const Glib::RefPtr<Gdk::Pixbuf> blank = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, 1, 1);
    blank->fill(0);
    return blank;
}

void InitializeTranslationService()
{
    const std::string share = FirstShareFolderWith(kTranslationsFolder);
    const std::string directory = share.empty() ? std::string(kInstalledTranslations) : share + kTranslationsFolder;
    Localization::TranslationService::Initialize(directory, kLocale);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
