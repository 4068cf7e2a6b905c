#include "downloader/app/UtilityStartNotices.h"

#include "core/localization/TranslationService.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityDialogs.h"
#include "downloader/app/UtilityPaths.h"

#include <iostream>

using Vantor::Localization::Translate;

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

void TellCantStart(const std::string& key, const std::string& english, const std::string& detail)
{
    InitializeTranslationService();
    const std::string title = Translate("sonvel_start_refused_title", "The Vantor MP3 Downloader can't start");
    const std::string description = Translate(key, english) + detail;
    std::cerr << "vantormp3: " << title << ": " << description << "\n";
    Gtk::MessageDialog box(title, false, Gtk::MESSAGE_ERROR, Gtk::BUTTONS_NONE, true);
    box.set_secondary_text(description);
    RunMessage(box);
}

} // namespace

void TellGuardUnusable()
{
    TellCantStart("sonvel_start_guard_unusable",
                  "It can't tell whether it is already running, as its settings folder can't be locked. Two "
                  "running at once would write over each other's download queue. Please check that the folder "
                  "and the file \"lock\" in it can be used:",
                  "\n\n" + GetSettingsDirectory());
}

void TellHandOverRefused()
{
    TellCantStart("sonvel_start_hand_over_refused",
                  "It is already running, but does not take what this start hands over to it. Nothing was "
                  "added, and the files named stay as they are. Please quit the running Vantor MP3 Downloader "
                  "and try again.",
                  "");
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
