#include "downloader/app/UtilityQueue.h"

#include "core/data/CryptoUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/AtomicFile.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/filesystem/RegularFile.h"
#include "core/filesystem/UnreadableFile.h"
#include "core/localization/TranslationService.h"
#include "core/reporting/ReportService.h"
#include "downloader/app/SingleInstance.h"
#include "downloader/app/UtilityPaths.h"

#include <glibmm/convert.h>
#include <glibmm/markup.h>
#include <gtkmm/messagedialog.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

const char kQueueFileExtension[] = ".vlx";
const char kFileAddress[] = "file://";

// Its tracks are in the queue, whether or not a save holds them yet.
bool Imported(ImportOutcome outcome)
{
    return outcome == ImportOutcome::Saved || outcome == ImportOutcome::NotSaved;
}

// The file's name as the warning shows it. A name of thousands of characters would make the
// box far wider than the screen, its button out of reach: past 100 characters the middle is
// left out.
Glib::ustring DisplayName(const char* filename)
{
    const Glib::ustring name = Glib::filename_display_name(filename);
    if (name.size() <= 100)
        return name;
    return name.substr(0, 50) + "\u2026" + name.substr(name.size() - 49);
}

void WarnImportFailed(const char* filename, bool playlistsRefused, Gtk::Window& parent)
{
    // The name goes into markup: characters such as "<" or "&" in it, or bytes that are not
    // UTF-8, would otherwise leave the message empty.
    const std::string message =
        Translate("sonvel_dlg_check_vlx_permissions_1", "Unable to add the VLX file at:") + "\n\n<b>" +
        Glib::Markup::escape_text(DisplayName(filename)) + "</b>\n\n" +
        Glib::Markup::escape_text(
            playlistsRefused
                ? Translate("sonvel_dlg_vlx_playlists_refused",
                            "Its playlists can't be stored now: the playlist database is not available. The file "
                            "is kept; please open it again once the database is available.")
                : Translate("sonvel_dlg_check_vlx_permissions_2",
                            "Please make sure you have permission to read this file and try again."));
    Gtk::MessageDialog dialog(parent, message, true, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, true);
    dialog.set_title(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));
    dialog.run();
}

// Adds the tracks of the queue file at `filename`, a regular file, to the model. `identity`
// then tells which file it was. The saved queue is the program's own: a link in its place is
// not followed.
DownloadModel::ImportResult ReadInto(DownloadModel& model, const char* filename, struct stat& identity,
                                     DownloadModel::Origin origin)
{
    const int own = origin == DownloadModel::Origin::SavedQueue ? O_NOFOLLOW : 0;
    FILE* file = Filesystem::RegularFile::OpenStream(filename, O_RDONLY | own, "rb");
    if (!file)
        return DownloadModel::ImportResult::Unreadable;
    fstat(fileno(file), &identity);
    const DownloadModel::ImportResult read = model.AddTracks(file, origin);
    std::fclose(file);
    return read;
}

// Whether `filename` still names the file that `identity` describes.
bool IsStill(const char* filename, const struct stat& identity)
{
    struct stat now;
    return stat(filename, &now) == 0 && now.st_dev == identity.st_dev && now.st_ino == identity.st_ino;
}

// Holds the starts of the downloads queued meanwhile (DownloadModel::HoldStarts) until it goes.
class HeldStarts {
public:
    explicit HeldStarts(DownloadModel& model) : model(model) { model.HoldStarts(); }
    ~HeldStarts() { model.ReleaseStarts(); }
    HeldStarts(const HeldStarts&) = delete;
    HeldStarts& operator=(const HeldStarts&) = delete;

private:
    DownloadModel& model;
};

bool IsFileAddress(const std::string& name)
{
    return g_ascii_strncasecmp(name.c_str(), kFileAddress, sizeof kFileAddress - 1) == 0;
}

} // namespace

bool SaveDownloadQueue(DownloadModel& model)
{
    DownloadModel::SaveMark mark;
    const bool saved = Filesystem::AtomicFile::Replace(DownloadQueueFilename(), [&model, &mark](FILE* file) {
        try {
            mark = model.Save(file);
        } catch (const Data::CryptoUtility::EncryptException&) {
            return false;
        } catch (const Data::CryptoUtility::Base64EncodeException&) {
            return false;
        }
        return std::ferror(file) == 0;
    });
    // Downloads may be waiting for this save: told either way.
    if (saved)
        model.SaveLanded(mark);
    else
        model.SaveFailed();
    Reporting::ReportService::SendSaved(saved);
    return saved;
}

ImportOutcome ImportVLXFile(const char* filename, DownloadModel& model)
{
    // Until the file is dealt with, none of its tracks starts: a crash once one has started,
    // before the file went, would have the purchase queued twice when it is opened again.
    const HeldStarts held(model);
    struct stat imported = {};
    switch (ReadInto(model, filename, imported, DownloadModel::Origin::QueueFile)) {
    case DownloadModel::ImportResult::Unreadable:
        return ImportOutcome::Refused;
    case DownloadModel::ImportResult::PlaylistsRefused:
        return ImportOutcome::PlaylistsRefused;
    case DownloadModel::ImportResult::Added:
        break;
    }

    const bool saved = SaveDownloadQueue(model);
    const ImportOutcome outcome = saved ? ImportOutcome::Saved : ImportOutcome::NotSaved;
    if (DownloadQueueFilename() == filename)
        return outcome;
    if (!saved) {
        // Until a saved queue holds the purchase, its file is the only lasting record of it.
        Diagnostic::Debug::LogString(std::string("[RUQ] Keeping ") + filename +
                                     ": the download queue holding its tracks could not be saved");
    } else if (IsStill(filename, imported)) {
        // Not a file put in its place since, nor the saved queue named otherwise: the save
        // has just replaced that one.
        LinuxFilesystemUtility().DeleteFile(filename);
    }
    return outcome;
}

SavedQueueReload ReloadSavedQueue(DownloadModel& model)
{
    const std::string path = DownloadQueueFilename();
    struct stat identity = {};
    if (lstat(path.c_str(), &identity) != 0 && errno == ENOENT)
        return {SavedQueueReload::Missing, ""};
    if (ReadInto(model, path.c_str(), identity, DownloadModel::Origin::SavedQueue) == DownloadModel::ImportResult::Added)
        return {SavedQueueReload::Read, ""};
    // Left in its place, it would be replaced by the next save, the quit's at the latest, with
    // a queue that lacks every purchase it held.
    const std::string kept = Filesystem::UnreadableFile::KeepAside(path);
    if (!kept.empty())
        Diagnostic::Debug::LogString("Download queue: couldn't read " + path + "; kept it as " + kept +
                                     " and started with an empty queue");
    return {SavedQueueReload::Unreadable, kept.empty() ? path : kept};
}

void AnnounceVLXImport(ImportOutcome outcome, const char* filename, Gtk::Window* parent)
{
    if (Imported(outcome))
        VLXEnqueuedSignal().emit();
    else if (parent)
        WarnImportFailed(filename, outcome == ImportOutcome::PlaylistsRefused, *parent);
}

bool EnqueueVLXFromFilename(const char* filename, DownloadModel& model, Gtk::Window* parent)
{
    const ImportOutcome outcome = ImportVLXFile(filename, model);
    AnnounceVLXImport(outcome, filename, parent);
    return Imported(outcome);
}

bool IsQueueFileName(const std::string& name)
{
    const size_t extension = sizeof kQueueFileExtension - 1;
    if (name.size() <= extension)
        return false;
    std::string ending = name.substr(name.size() - extension);
    for (char& c : ending)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ending == kQueueFileExtension;
}

std::string CommandFromArgument(const std::string& argument)
{
    if (!IsQueueFileName(argument) || IsFileAddress(argument))
        return argument;
    const std::string path = AbsolutePath(argument);
    // A message can't hold its own end byte; an address escapes it.
    return path.find(SingleInstance::kEndByte) == std::string::npos ? path : Glib::filename_to_uri(path).raw();
}

std::string FileNamedBy(const std::string& command)
{
    if (!IsFileAddress(command))
        return !command.empty() && command[0] == '/' ? command : std::string();
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(command.c_str(), &host, nullptr);
    const std::string local = path && (!host || std::strcmp(host, "localhost") == 0) ? path : "";
    g_free(host);
    g_free(path);
    return local;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
