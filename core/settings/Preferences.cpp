#include "core/settings/Preferences.h"

#include "core/data/StringUtility.h"
#include "core/data/UnicodeConversion.h"

#include <boost/lexical_cast.hpp>
#include <tinyxml.h>

#include <cstdlib>

namespace Vantor::Settings {

const char* PreferencesNodeName = "preferences";
const char* SettingNodeName = "setting";
const char* SettingTypeAttribute = "type";
const char* SettingKeyAttribute = "key";

namespace {

// Length of the well-formed UTF-8 sequence at `position`, 0 when there is none.
std::string::size_type UTF8SequenceLength(const std::string& text, std::string::size_type position)
{
    const unsigned char lead = static_cast<unsigned char>(text[position]);
    const std::string::size_type length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 0;
    const Data::UTF8* begin = reinterpret_cast<const Data::UTF8*>(text.data());
    if (length == 0 || !Data::isLegalUTF8Sequence(begin + position, begin + text.size()))
        return 0;
    return length;
}

bool IsWellFormedUTF8(const std::string& text)
{
    for (std::string::size_type position = 0; position < text.size();) {
        const std::string::size_type length = UTF8SequenceLength(text, position);
        if (length == 0)
            return false;
        position += length;
    }
    return true;
}

// MakeUTF8 decides by the first character only, so a text that begins with ASCII keeps any
// later Latin-1 bytes, and such bytes make the whole document unreadable to the parser.
// Every byte that does not start a well-formed sequence is therefore read as Latin-1 too.
std::string WellFormedUTF8(const std::string& text)
{
    const std::string converted = Data::StringUtility::MakeUTF8(text);
    std::string result;
    result.reserve(converted.size());
    for (std::string::size_type position = 0; position < converted.size();) {
        const std::string::size_type length = UTF8SequenceLength(converted, position);
        if (length == 0) {
            result += Data::StringUtility::Latin1toUTF8(converted.substr(position, 1));
            ++position;
        } else {
            result.append(converted, position, length);
            position += length;
        }
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
    // Read as UTF-8, the parser takes a lead byte's announced length on trust: a stray
    // Latin-1 byte swallows what follows it (the "</" of a closing tag, or the end of its
    // buffer). A file that is not UTF-8 throughout is therefore parsed byte by byte.
    const TiXmlEncoding encoding = IsWellFormedUTF8(ReadAll(file)) ? TIXML_DEFAULT_ENCODING : TIXML_ENCODING_LEGACY;
    TiXmlDocument document;
    loaded = document.LoadFile(file, encoding);
    if (!loaded)
        return false;

    TiXmlElement* root = document.FirstChildElement(PreferencesNodeName);
    if (root) {
        for (TiXmlElement* setting = root->FirstChildElement(SettingNodeName); setting;
             setting = setting->NextSiblingElement(SettingNodeName))
            LoadSetting(setting);
    }
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
