#ifndef CORE_SETTINGS_PREFERENCES_H
#define CORE_SETTINGS_PREFERENCES_H

#include <boost/thread/mutex.hpp>

#include <cstdio>
#include <map>
#include <string>

class TiXmlElement;

namespace Vantor::Settings {

extern const char* PreferencesNodeName;
extern const char* SettingNodeName;
extern const char* SettingTypeAttribute;
extern const char* SettingKeyAttribute;

// The user's settings as typed key/value pairs, read from and written to one XML document:
// <preferences> holding <setting type="T" key="K">value</setting>, floats first, then integers,
// then strings, each group in key order. Booleans are integers. A key may exist under several
// types; each getter looks only at its own. Safe to use from several threads: the download
// worker reads the music folder while the main thread changes other settings.
class Preferences {
public:
    enum SettingType { FloatSetting = 0, IntSetting = 1, StringSetting = 2 };

    Preferences();
    explicit Preferences(FILE* file);
    Preferences(const Preferences& other);
    Preferences& operator=(const Preferences&) = delete;

    // Whether the last Load read a document.
    bool IsLoaded() const;

    int GetInt(const char* key, int fallback) const;
    bool GetBool(const char* key, bool fallback) const;
    double GetFloat(const char* key, double fallback) const;
    std::string GetString(const char* key, const char* fallback) const;

    void SetInt(const char* key, int value);
    void SetBool(const char* key, bool value);
    void SetFloat(const char* key, double value);
    void SetString(const char* key, const char* value);

    // Writes the whole document to `file`, which stays open and unflushed. The document is
    // well-formed UTF-8 whatever bytes the values hold.
    bool Save(FILE* file);
    // Merges the settings of the document in `file` into those held; a file that is empty, not
    // well-formed or without its <preferences> element changes nothing and returns false.
    bool Load(FILE* file);

    void SaveSetting(TiXmlElement* parent, SettingType type, const char* key, const char* value);
    void LoadSetting(TiXmlElement* element);

private:
    bool loaded;
    // Guards the three maps; never held while a document is read or written.
    mutable boost::mutex mutex;
    std::map<std::string, double> floatSettings;
    std::map<std::string, int> intSettings;
    std::map<std::string, std::string> stringSettings;
};

} // namespace Vantor::Settings

#endif
