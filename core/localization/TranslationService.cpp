#include "core/localization/TranslationService.h"

#include "core/data/ParseXmlText.h"
#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"

#include <boost/filesystem.hpp>
#include <tinyxml.h>

#include <algorithm>
#include <fstream>
#include <utility>

namespace Vantor::Localization {

namespace {

bool HasXmlExtension(const std::string& filename)
{
    const std::string::size_type dot = filename.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = filename.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return extension == ".xml";
}

// Every backslash-"n" pair, read left to right, becomes a line feed.
std::string ExpandLineFeeds(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result += '\n';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace

boost::shared_ptr<TranslationService> TranslationService::instance;
std::mutex TranslationService::sMutex;

void TranslationService::Initialize(const std::string& directory, const std::string& locale)
{
    std::lock_guard<std::mutex> lock(sMutex);
    if (!instance)
        instance.reset(new TranslationService);
    instance->SetLocale(locale);
    instance->LoadLocales(directory);
}

TranslationService* TranslationService::Instance()
{
    std::lock_guard<std::mutex> lock(sMutex);
    if (!instance)
        throw ServiceNotInitializedException();
    return instance.get();
}

std::string TranslationService::Translate(const std::string& key, const std::string& fallback)
{
    std::lock_guard<std::mutex> lock(sMutex);
    const auto found = locales.find(currentLocale);
    if (found == locales.end() || !found->second)
        return fallback;
    return found->second->Translate(key, fallback);
}

std::string TranslationService::GetLocale()
{
    std::lock_guard<std::mutex> lock(sMutex);
    return currentLocale;
}

void TranslationService::SetLocale(const std::string& locale)
{
    currentLocale = locale;
}

void TranslationService::LoadLocales(const std::string& directory)
{
    namespace fs = boost::filesystem;
    boost::system::error_code error;
    if (!fs::is_directory(directory, error))
        return;

    fs::directory_iterator entry(directory, error);
    for (const fs::directory_iterator end; !error && entry != end; entry.increment(error)) {
        const fs::path path = entry->path();
        boost::system::error_code statusError;
        if (!fs::is_regular_file(fs::status(path, statusError)) || !HasXmlExtension(path.filename().string()))
            continue;
        const boost::shared_ptr<Locale> locale = Locale::Load(path.string());
        if (locale)
            locales[locale->Name()] = locale;
    }
    if (error)
        Diagnostic::Debug::LogString("Unable to list translations: " + directory + ": " + error.message());
}

boost::shared_ptr<TranslationService::Locale> TranslationService::Locale::Load(const std::string& path)
{
    boost::shared_ptr<Locale> locale(new Locale(path));
    if (!locale->IsValid())
        locale.reset();
    return locale;
}

TranslationService::Locale::Locale(const std::string& path)
{
    std::ifstream in(Data::StringUtility::MakeUTF8(path).c_str(), std::ios::in | std::ios::binary);
    if (in.is_open()) {
        try {
            Parse(in);
        } catch (...) {
            // A translation that can't be read completely keeps what was read before the fault.
        }
    }
    if (!IsValid())
        Diagnostic::Debug::LogString("Unable to parse translation: " + path);
}

void TranslationService::Locale::Parse(std::istream& in)
{
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size <= 0 || !in)
        return;

    std::string text(static_cast<size_t>(size), '\0');
    in.read(&text[0], size);
    if (in.gcount() != size)
        return;

    TiXmlDocument document;
    Data::ParseXmlText(document, std::move(text));
    if (document.Error())
        return;

    const TiXmlElement* root = document.FirstChildElement("translation");
    if (!root)
        return;
    if (const TiXmlElement* nameElement = root->FirstChildElement("name")) {
        const char* text = nameElement->GetText();
        name = text ? text : "";
    }

    const TiXmlElement* strings = root->FirstChildElement("strings");
    if (!strings)
        return;
    for (const TiXmlElement* entry = strings->FirstChildElement("string"); entry;
         entry = entry->NextSiblingElement("string")) {
        const char* base = entry->Attribute("base");
        const char* translated = entry->Attribute("translated");
        // An entry without both attributes ends the reading; the entries before it count.
        if (!base || !translated)
            return;
        if (*base == '\0' || *translated == '\0')
            continue;
        translations[base] = ExpandLineFeeds(translated);
    }
}

std::string TranslationService::Locale::Translate(const std::string& key, const std::string& fallback) const
{
    const auto found = translations.find(key);
    if (found == translations.end() || found->second.empty())
        return fallback;
    return found->second;
}

bool TranslationService::Locale::IsValid() const
{
    return !name.empty() && !translations.empty();
}

std::string Translate(const std::string& key, const std::string& english)
{
    return TranslationService::Instance()->Translate(Data::StringUtility::MakeUTF8(key),
                                                     Data::StringUtility::MakeUTF8(english));
}

} // namespace Vantor::Localization
