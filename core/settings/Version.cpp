#include "core/settings/Version.h"

#include "core/data/StringUtility.h"

#include <boost/format.hpp>

#include <tuple>

namespace Vantor::Settings {

Version::Version() : Version(0, 0, 0) {}

Version::Version(unsigned int major, unsigned int minor, unsigned int patch)
    : major(major), minor(minor), patch(patch)
{
}

bool Version::operator==(const Version& other) const
{
    return std::tie(major, minor, patch) == std::tie(other.major, other.minor, other.patch);
}

bool Version::operator<(const Version& other) const
{
    return std::tie(major, minor, patch) < std::tie(other.major, other.minor, other.patch);
}

bool Version::operator<=(const Version& other) const
{
    return !(other < *this);
}

bool Version::operator>(const Version& other) const
{
    return other < *this;
}

bool Version::operator>=(const Version& other) const
{
    return !(*this < other);
}

std::string Version::ToString() const
{
    return (boost::format(Data::StringUtility::MakeUTF8("%1%.%2%.%3%")) % major % minor % patch).str();
}

} // namespace Vantor::Settings
