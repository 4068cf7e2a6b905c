// How a finished transfer ends: its state, network error type and message; and the display
// text of every state.
#include "core/net/Download.h"

#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/localization/TranslationService.h"

#include <boost/format.hpp>

#include <map>

namespace Vantor::Net {

using Vantor::Localization::Translate;

namespace {


// The user's text for a failed transfer; false for a result the table does not name.
bool FailureMessage(CURLcode code, std::string& message)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
        message = Translate("sonvel_dl_bad_proxy_settings", "Invalid proxy server settings. Please check your preferences.");
        return true;
    case CURLE_URL_MALFORMAT:
    case CURLE_HTTP_RETURNED_ERROR:
        message = Translate("sonvel_dl_failed_contact_cs", "Download failed. Please contact customer service.");
        return true;
    case CURLE_OPERATION_TIMEDOUT:
        message = Translate("sonvel_dl_cant_connect_contact_cs", "Can't connect. Please contact customer service.");
        return true;
    case CURLE_PARTIAL_FILE:
    case CURLE_RANGE_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_BAD_CONTENT_ENCODING:
        message = Translate("sonvel_dl_failed_retry_contact_cs",
                            "Download failed. Retry download; if problem persists contact customer service.");
        return true;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        message = Translate("sonvel_dl_cant_connect_retry", "Can't connect. Check your Internet connection and retry download.");
        return true;
    default:
        return false;
    }
}

} // namespace

Download::NetworkErrorType CURLcodeToNetworkErrorType(CURLcode code)
{
    // Built once, under the guard of function-local statics.
    static const std::map<CURLcode, Download::NetworkErrorType> table = {
        {CURLE_OK, Download::NoError},
        {CURLE_WRITE_ERROR, Download::NoError},
        {CURLE_COULDNT_RESOLVE_HOST, Download::HostNotFound},
        {CURLE_COULDNT_CONNECT, Download::ConnectFailed},
        {CURLE_OPERATION_TIMEDOUT, Download::TimedOut},
        {CURLE_RECV_ERROR, Download::TransferInterrupted},
        {CURLE_PARTIAL_FILE, Download::TransferInterrupted},
        {CURLE_RANGE_ERROR, Download::RangeError},
        {CURLE_BAD_CONTENT_ENCODING, Download::BadContentEncoding},
        {CURLE_GOT_NOTHING, Download::NothingReceived},
        {CURLE_URL_MALFORMAT, Download::MalformedUrl},
        {CURLE_HTTP_RETURNED_ERROR, Download::HttpError},
        {CURLE_COULDNT_RESOLVE_PROXY, Download::ProxyNotFound},
    };
    const auto found = table.find(code);
    return found == table.end() ? Download::UnknownError : found->second;
}

void Download::SetStateFromCURLcode(CURLcode code)
{
    lastCurlCode = code;
    httpResponseCode = 0;
    curl_easy_getinfo(curlHandle, CURLINFO_RESPONSE_CODE, &httpResponseCode);

    if (code == CURLE_HTTP_RETURNED_ERROR && httpResponseCode == 400) {
        errorMessage = Translate("sonvel_dl_expired", "Download no longer available. Please contact customer service.");
        networkErrorType = LinkExpired;
    } else {
        networkErrorType = CURLcodeToNetworkErrorType(code);
        if (code == CURLE_OK) {
            SetState(Downloaded);
            return;
        }
        if (code == CURLE_WRITE_ERROR) {
            SetState(LocalFileError);
            return;
        }
        if (!FailureMessage(code, errorMessage))
            errorMessage = (boost::format("Download failed. Unexpected error: %1%") % static_cast<int>(code)).str();
    }
    SetState(NetworkError);
    Vantor::Diagnostic::Debug::LogString((boost::format("libcurl error: %1%") % curl_easy_strerror(code)).str());
}

std::string Download::GetStateString() const
{
    switch (GetState()) {
    case Waiting: return Translate("sonvel_dl_waiting", "Waiting");
    case Downloaded: return Translate("sonvel_dl_downloaded", "Downloaded");
    case Downloading: return Translate("sonvel_dl_downloading", "Downloading");
    case Paused: return Translate("sonvel_dl_paused", "Paused");
    case Pausing: return Translate("sonvel_dl_pausing", "Pausing");
    case Canceled: return Translate("sonvel_dl_canceled", "Canceled");
    case Canceling: return Translate("sonvel_dl_canceling", "Canceled");
    case Retrying: return Translate("sonvel_dl_retrying", "Retrying");
    case LocalFileError: return Translate("sonvel_dl_local_file_error", "Local file error");
    case NetworkError: return errorMessage;
    case ImportFailed: return Translate("sonvel_dl_import_failed", "Import failed");
    case RetryingImport: return Translate("sonvel_dl_import_retrying", "Retrying import");
    }
    throw std::string("Download::GetStateString: unknown state!");
}

} // namespace Vantor::Net
