#include "downloader/app/UtilityQueue.h"

#include "core/data/CryptoUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/filesystem/AtomicFile.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/app/UtilityPaths.h"
#include "core/localization/TranslationService.h"

#include <glibmm/convert.h>
#include <glibmm/markup.h>
#include <gtkmm/messagedialog.h>

#include <cstdio>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

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

void WarnImportFailed(const char* filename, Gtk::Window& parent)
{
    // The name goes into markup: characters such as "<" or "&" in it, or bytes that are not
    // UTF-8, would otherwise leave the message empty.
    const std::string message = Translate("sonvel_dlg_check_vlx_permissions_1", "Unable to add the VLX file at:") +
                                "\n\n<b>" + Glib::Markup::escape_text(DisplayName(filename)) +
                                "</b>\n\n" +
                                Translate("sonvel_dlg_check_vlx_permissions_2",
                                          "Please make sure you have permission to read this file and try again.");
    Gtk::MessageDialog dialog(parent, message, true, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, true);
    dialog.set_title(Translate("sonvel_ruq_branding", "Vantor MP3 Downloader"));
    dialog.run();
}

} // namespace

bool SaveDownloadQueue(DownloadModel& model)
{
    return Filesystem::AtomicFile::Replace(DownloadQueueFilename(), [&model](FILE* file) {
        try {
            model.Save(file);
        } catch (const Data::CryptoUtility::EncryptException&) {
            return false;
        } catch (const Data::CryptoUtility::Base64EncodeException&) {
            return false;
        }
        return std::ferror(file) == 0;
    });
}

bool EnqueueVLXFromFilename(const char* filename, DownloadModel& model, Gtk::Window* parent)
{
    bool imported = false;
    if (FILE* file = std::fopen(filename, "rb")) {
        imported = model.AddTracks(file);
        std::fclose(file);
    }
    if (!imported) {
        if (parent)
            WarnImportFailed(filename, *parent);
        return false;
    }

    const bool saved = SaveDownloadQueue(model);
    VLXEnqueuedSignal().emit();
    if (DownloadQueueFilename() == filename)
        return true;
    if (!saved) {
        // Until a saved queue holds the purchase, its file is the only lasting record of it.
        Diagnostic::Debug::LogString(std::string("[RUQ] Keeping ") + filename +
                                     ": the download queue holding its tracks could not be saved");
    } else {
        LinuxFilesystemUtility().DeleteFile(filename);
    }
    return true;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
