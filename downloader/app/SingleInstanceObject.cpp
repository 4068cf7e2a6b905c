#include "downloader/app/SingleInstance.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The process's own guard, in a file of its own: only the program links it, so a test
// binary that builds guards of its own in a temporary HOME never touches the real one.
SingleInstance SingleInstance::sInstance;

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
