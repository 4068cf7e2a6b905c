#ifndef CORE_FILESYSTEM_INVALID_PATH_EXCEPTION_H
#define CORE_FILESYSTEM_INVALID_PATH_EXCEPTION_H

#include <exception>

namespace Vantor::Filesystem {

// A path that has no directory separator, or a directory that stays too long even with
// every component cut to one character. Carries no text of its own.
class invalid_path_exception : public std::exception {
};

} // namespace Vantor::Filesystem

#endif
