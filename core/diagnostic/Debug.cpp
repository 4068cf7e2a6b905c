#include "core/diagnostic/Debug.h"

#include "core/data/StringUtility.h"

namespace Vantor::Diagnostic {

Debug::LogSignal& Debug::StringLoggedSignal()
{
    static LogSignal signal;
    return signal;
}

void Debug::LogString(const std::string& text)
{
    const std::string line = text;
    StringLoggedSignal().emit(line);
}

void Debug::LogString(const std::wstring& text)
{
    LogString(Data::StringUtility::UTF16toUTF8(text));
}

} // namespace Vantor::Diagnostic
