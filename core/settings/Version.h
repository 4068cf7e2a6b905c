#ifndef CORE_SETTINGS_VERSION_H
#define CORE_SETTINGS_VERSION_H

#include <string>

namespace Vantor::Settings {

// A three-part version number, compared part by part as numbers (1.10.0 is above 1.9.9).
class Version {
public:
    Version();
    Version(unsigned int major, unsigned int minor, unsigned int patch);

    bool operator==(const Version& other) const;
    bool operator<(const Version& other) const;
    bool operator<=(const Version& other) const;
    bool operator>(const Version& other) const;
    bool operator>=(const Version& other) const;

    // "major.minor.patch" in decimal, for example 1.0.9.
    std::string ToString() const;

private:
    unsigned int major;
    unsigned int minor;
    unsigned int patch;
};

} // namespace Vantor::Settings

#endif
