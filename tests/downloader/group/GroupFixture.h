#ifndef TESTS_DOWNLOADER_GROUP_GROUPFIXTURE_H
#define TESTS_DOWNLOADER_GROUP_GROUPFIXTURE_H

#include "core/filesystem/FilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/GroupedDownload.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <boost/make_shared.hpp>

#include <map>
#include <string>

namespace VantorTest {

using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::GroupedDownload;
typedef DownloadModel::DownloadPtr DownloadPtr;
typedef Vantor::Net::Download::State State;

// A real model in a temporary home, the texts of a German translation that names two of
// the group's states, and an empty group over the model.
class GroupTest : public ::testing::Test {
protected:
    GroupTest()
    {
        WriteTranslationFile(translations.File("de_DE.xml"), "de_DE",
                             {{"sonvel_dl_completed", "Fertig"}, {"sonvel_dl_incomplete", "Unvollständig"}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
        model = boost::make_shared<DownloadModel>(Vantor::Filesystem::FilesystemUtility::NewInstance());
        group = boost::make_shared<GroupedDownload>(model);
    }

    // A download of the model restored from a <track> holding `fields`; neither queued nor
    // in the group.
    DownloadPtr Child(const std::map<std::string, std::string>& fields)
    {
        TiXmlElement track("track");
        for (const auto& field : fields) {
            TiXmlElement element(field.first);
            element.InsertEndChild(TiXmlText(field.second));
            track.InsertEndChild(element);
        }
        return DownloadPtr(new DownloadModel::Download(*model, &track));
    }

    std::string MusicFolder() const
    {
        return model->GetFilesystem().GetSpecialDirectory(Vantor::Filesystem::FilesystemUtility::MusicDirectory);
    }

    ScopedHome home;
    TempDirectory translations;
    boost::shared_ptr<DownloadModel> model;
    boost::shared_ptr<GroupedDownload> group;
};

} // namespace VantorTest

#endif
