#include "downloader/app/UtilityBrowser.h"

#include "core/diagnostic/Debug.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/settings/ProgramVersion.h"
#include "core/localization/TranslationService.h"
#include "core/net/StoreWebHost.h"
#include "downloader/app/UtilityPaths.h"

#include <boost/algorithm/string/predicate.hpp>
#include <glib.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

// Tried in this order when BROWSER names nothing that starts.
const char* const kOpeners[] = {"xdg-open", "gnome-open", "firefox", "epiphany", "konquerer", "mozilla"};
const char kFolderViewer[] = "xdg-open";
const char kShowDownloadsFailed[] = "--show-downloads-failed";
const size_t kLongestAddress = 8192;
const std::string kPostInstallUrl = std::string(Vantor::Net::kStoreWebHost) + "/gp/sonvel/after_download_manager_install.html";

// Runs `start` in a process that nobody waits for. The child forks the process that runs
// `start` and ends at once; reaping that short-lived child here leaves no zombie behind,
// and the grandchild is taken over by init. Everything `start` needs is made before the
// fork: another thread may hold a lock at that moment that the copy would never see released.
void RunDetached(const std::function<void()>& start)
{
    const pid_t child = fork();
    if (child == 0) {
        if (fork() == 0)
            start();
        _exit(0);
    }
    if (child > 0) {
        while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
        }
    }
}

void Exec(const std::string& program, const std::string& argument)
{
    execlp(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
}

// Hands `target` to the first browser that starts.
void StartBrowser(const std::string& target)
{
    std::vector<std::string> programs;
    if (const char* browser = std::getenv("BROWSER"))
        programs.push_back(browser);
    programs.insert(programs.end(), std::begin(kOpeners), std::end(kOpeners));
    RunDetached([&programs, &target] {
        for (const std::string& program : programs)
            Exec(program, target);
    });
}

// Whether `target` is one address of one of the `schemes` ("http://") and nothing else: UTF-8
// throughout; no white space, control or format character anywhere (an opener may split the
// text there and read what follows as another address or an option, and a direction mark shows
// another address than the one opened); and no longer than servers take a request line (8 KiB
// with Apache and nginx alike): a longer one names no page anyone serves.
bool IsOneAddress(const std::string& target, std::initializer_list<const char*> schemes)
{
    const auto ofScheme = [&target](const char* scheme) { return boost::istarts_with(target, scheme); };
    if (target.size() > kLongestAddress || std::none_of(schemes.begin(), schemes.end(), ofScheme) ||
        !g_utf8_validate(target.data(), static_cast<gssize>(target.size()), nullptr))
        return false;
    for (const char* c = target.c_str(); *c; c = g_utf8_next_char(c)) {
        const gunichar character = g_utf8_get_char(c);
        if (g_unichar_isspace(character) || g_unichar_type(character) == G_UNICODE_CONTROL ||
            g_unichar_type(character) == G_UNICODE_FORMAT)
            return false;
    }
    return true;
}

} // namespace

void OpenURL(const char* url)
{
    const std::string target = url ? url : "";
    if (!IsOneAddress(target, {"http://", "https://"})) {
        Diagnostic::Debug::LogString("OpenURL: not a web address, not opened: " + target.substr(0, kLongestAddress));
        return;
    }
    StartBrowser(target);
}

bool OpenLocalPage(const std::string& path)
{
    // GLib's address of the file percent-encodes what a browser would read otherwise: a blank, a
    // line break, a byte that is not UTF-8. A relative path has none: a browser reads
    // "file://../x" as a file on the host "..".
    gchar* address = g_filename_to_uri(AbsolutePath(path).c_str(), nullptr, nullptr);
    const std::string target = address ? address : "";
    g_free(address);
    if (!IsOneAddress(target, {"file://"})) {
        Diagnostic::Debug::LogString("OpenLocalPage: no address to open for " + path.substr(0, kLongestAddress));
        return false;
    }
    StartBrowser(target);
    return true;
}

void OpenPostInstallURL()
{
    const std::string url = Translate("sonvel_url_post_install", kPostInstallUrl) + "?RUQVersion=" +
                            Settings::ProgramVersion().ToString();
    OpenURL(url.c_str());
}

void ShowDownloadDirectory(SingleInstance& runningInstance)
{
    LinuxFilesystemUtility filesystem;
    const std::string music = filesystem.GetSpecialDirectory(Filesystem::FilesystemUtility::MusicDirectory);
    if (!filesystem.DirectoryExists(music.c_str()))
        filesystem.CreateDirectory(music.c_str());
    const std::string failed = kShowDownloadsFailed;
    RunDetached([&music, &failed, &runningInstance] {
        Exec(kFolderViewer, music);
        runningInstance.SendMainInstanceMessage(failed);
    });
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
