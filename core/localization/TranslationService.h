#ifndef CORE_LOCALIZATION_TRANSLATIONSERVICE_H
#define CORE_LOCALIZATION_TRANSLATIONSERVICE_H

#include <boost/shared_ptr.hpp>

#include <istream>
#include <map>
#include <mutex>
#include <string>

namespace Vantor::Localization {

// The process-wide source of every user-visible text. Initialize reads each ".xml" file of the
// translations directory as one locale; Translate answers from the current locale only and
// gives the caller's English default for anything it does not know.
//
// Translation file:
//   <translation>
//     <name>de_DE</name>
//     <strings>
//       <string base="sonvel_dl_waiting" translated="Wartet"/>
//     </strings>
//   </translation>
// In "translated", a backslash followed by "n" stands for a line feed.
class TranslationService {
public:
    class ServiceNotInitializedException {};

    class Locale {
    public:
        // The locale of one file, or an empty pointer when the file is not a usable translation.
        static boost::shared_ptr<Locale> Load(const std::string& path);

        // Reads the file; logs when it holds no usable translation.
        explicit Locale(const std::string& path);

        // Reads one translation document from a seekable stream. Stops quietly at the first
        // thing it cannot use; entries read before that are kept.
        void Parse(std::istream& in);
        std::string Translate(const std::string& key, const std::string& fallback) const;
        bool IsValid() const;
        const std::string& Name() const { return name; }

    private:
        std::map<std::string, std::string> translations;
        std::string name;
    };

    // Creates the service on the first call. Every call sets the current locale and reads the
    // directory again; a locale read again replaces the earlier one of the same name.
    static void Initialize(const std::string& directory, const std::string& locale);
    // Throws ServiceNotInitializedException before the first Initialize.
    static TranslationService* Instance();

    // Any thread may call it.
    std::string Translate(const std::string& key, const std::string& fallback);
    // The current locale name as Initialize last set it (for example de_DE). Any thread.
    std::string GetLocale();

private:
    TranslationService() = default;

    // Both run under sMutex, from Initialize only.
    void SetLocale(const std::string& locale);
    void LoadLocales(const std::string& directory);

    std::map<std::string, boost::shared_ptr<Locale>> locales;
    std::string currentLocale;

    // Both are constant-initialised, so static constructors of other files may use the service
    // in any order; std::mutex also has nothing to tear down at exit.
    static boost::shared_ptr<TranslationService> instance;
    static std::mutex sMutex;
};

// The current locale's text for `key`, or `english` when it has none, with both made UTF-8
// first, as every user-visible text is. Throws ServiceNotInitializedException before the
// service is initialised.
std::string Translate(const std::string& key, const std::string& english);

} // namespace Vantor::Localization

#endif
