#include "core/settings/Preferences.h"

#include "core/data/StringUtility.h"
#include "core/data/ParseXmlText.h"

#include <boost/lexical_cast.hpp>
#include <tinyxml.h>

#include <cstdlib>

namespace Vantor::Settings {

const char* PreferencesNodeName = "preferences";
const char* SettingNodeName = "setting";
const char* SettingTypeAttribute = "type";
const char* SettingKeyAttribute = "key";

namespace {

// MakeUTF8 decides by the first character only, so a text that begins with ASCII keeps any
// later Latin-1 bytes, and such bytes make the whole document unreadable to the parser.
// Every byte that does not start a well-formed sequence is therefore read as Latin-1 too.
std::string WellFormedUTF8(const std::string& text)
{
    const std::string converted = Data::StringUtility::MakeUTF8(text);
    std::string result;
    result.reserve(converted.size());
    for (std::string::size_type position = 0, end; position < converted.size(); position = end) {
        end = Data::StringUtility::CharacterEnd(converted, position);
        // A single byte above ASCII begins no well-formed sequence.
        if (end - position == 1 && static_cast<unsigned char>(converted[position]) >= 0x80)
            result += Data::StringUtility::Latin1toUTF8(converted.substr(position, 1));
        else
            result.append(converted, position, end - position);
    }
    return result;
}

std::string ReadAll(FILE* file)
{
    std::string contents;
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return contents;
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof(buffer), file)) > 0;)
        contents.append(buffer, count);
    return contents;
}

template <typename Value>
Value Find(const std::map<std::string, Value>& settings, const char* key, Value fallback)
{
    const auto found = settings.find(key);
    return found == settings.end() ? fallback : found->second;
}

} // namespace

Preferences::Preferences() : loaded(false) {}

Preferences::Preferences(FILE* file) : loaded(false)
{
    Load(file);
}

Preferences::Preferences(const Preferences& other)
{
    boost::mutex::scoped_lock lock(other.mutex);
    loaded = other.loaded;
    floatSettings = other.floatSettings;
    intSettings = other.intSettings;
    stringSettings = other.stringSettings;
}

bool Preferences::IsLoaded() const
{
    return loaded;
}

int Preferences::GetInt(const char* key, int fallback) const
{
    boost::mutex::scoped_lock lock(mutex);
    return Find(intSettings, key, fallback);
}

bool Preferences::GetBool(const char* key, bool fallback) const
{
    return GetInt(key, fallback) != 0;
}

double Preferences::GetFloat(const char* key, double fallback) const
{
    boost::mutex::scoped_lock lock(mutex);
    return Find(floatSettings, key, fallback);
}

std::string Preferences::GetString(const char* key, const char* fallback) const
{
    boost::mutex::scoped_lock lock(mutex);
    return Find(stringSettings, key, std::string(fallback));
}

void Preferences::SetInt(const char* key, int value)
{
    boost::mutex::scoped_lock lock(mutex);
    intSettings[key] = value;
}

void Preferences::SetBool(const char* key, bool value)
{
    SetInt(key, value ? 1 : 0);
}

void Preferences::SetFloat(const char* key, double value)
{
    boost::mutex::scoped_lock lock(mutex);
    floatSettings[key] = value;
}

void Preferences::SetString(const char* key, const char* value)
{
    boost::mutex::scoped_lock lock(mutex);
    stringSettings[key] = value;
}

bool Preferences::Save(FILE* file)
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement* root = new TiXmlElement(PreferencesNodeName);
    document.LinkEndChild(root);

    // A copy, so that the lock is not held while the document is built and written.
    std::map<std::string, double> floats;
    std::map<std::string, int> ints;
    std::map<std::string, std::string> strings;
    {
        boost::mutex::scoped_lock lock(mutex);
        floats = floatSettings;
        ints = intSettings;
        strings = stringSettings;
    }
    for (const auto& setting : floats)
        SaveSetting(root, FloatSetting, WellFormedUTF8(setting.first).c_str(),
                    boost::lexical_cast<std::string>(setting.second).c_str());
    for (const auto& setting : ints)
        SaveSetting(root, IntSetting, WellFormedUTF8(setting.first).c_str(),
                    boost::lexical_cast<std::string>(setting.second).c_str());
    for (const auto& setting : strings)
        SaveSetting(root, StringSetting, WellFormedUTF8(setting.first).c_str(),
                    WellFormedUTF8(setting.second).c_str());

    return document.SaveFile(file);
}

bool Preferences::Load(FILE* file)
{
    // A file with a stray Latin-1 byte (an old one, or edited by hand) is read byte by byte:
    // read as UTF-8, the byte would swallow what follows it.
    TiXmlDocument document;
    Data::ParseXmlText(document, ReadAll(file));
    // The parser finds nothing wrong with text that ends before or inside the first tag, so a
    // file cut in its first bytes parses: only its root element tells it from a damaged one.
    TiXmlElement* root = document.Error() ? nullptr : document.FirstChildElement(PreferencesNodeName);
    loaded = root != nullptr;
    if (!loaded)
        return false;

    for (TiXmlElement* setting = root->FirstChildElement(SettingNodeName); setting;
         setting = setting->NextSiblingElement(SettingNodeName))
        LoadSetting(setting);
    return loaded;
}

void Preferences::SaveSetting(TiXmlElement* parent, SettingType type, const char* key, const char* value)
{
    if (!parent)
        return;
    TiXmlElement* setting = new TiXmlElement(SettingNodeName);
    setting->SetAttribute(SettingTypeAttribute, type);
    setting->SetAttribute(SettingKeyAttribute, key);
    setting->LinkEndChild(new TiXmlText(value));
    parent->LinkEndChild(setting);
}

void Preferences::LoadSetting(TiXmlElement* element)
{
    const char* key = element->Attribute(SettingKeyAttribute);
    const char* text = element->GetText();
    const char* type = element->Attribute(SettingTypeAttribute);
    if (!key || !text || !type)
        return;

    // Types this program never writes are passed over.
    boost::mutex::scoped_lock lock(mutex);
    switch (std::strtol(type, nullptr, 10)) {
    case IntSetting:
        intSettings[key] = static_cast<int>(std::strtol(text, nullptr, 10));
        break;
    case StringSetting:
        stringSettings[key] = text;
        break;
    case FloatSetting:
        floatSettings[key] = std::strtod(text, nullptr);
        break;
    }
}

} // namespace Vantor::Settings
