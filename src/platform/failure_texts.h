#pragma once
#include <filesystem>
#include <optional>
#include <string>

// The Hungarian descriptions of platform failures that reach the user (a page error call, a save
// failure line), chosen here from the texts in platform/texts/. The user's desktop is Hungarian;
// libcurl's and the C library's own descriptions are English, or depend on which message
// catalogs are installed.
namespace tamo {

enum class TransportFailure {
    cannotConnect,     // refused, no route, the host does not answer
    nameNotResolved,   // the host name (or proxy name) is unknown
    timedOut,          // no byte moved for the idle time, or the whole transfer took too long
    tlsFailure,        // the secure connection could not be set up or its certificate is not trusted
    connectionReset,   // the server broke the connection, or the answer was cut short
    tooLarge,          // the answer is larger than the request allows
    badAddress,        // not a usable http(s) address
    tooManyRedirects,  // the server keeps sending the request elsewhere
    noAnswer,          // the connection closed without a single byte of answer
    other,
};

const char* transportFailureText(TransportFailure failure);

// The description of a failed file operation from its errno value ("no permission", "no space",
// "not found", "read-only"…); a general file error text for the rest.
std::string fileFailureText(int errorNumber);
// The same, but nothing for an errno value that is not one of the file failures named above.
std::optional<std::string> knownFileFailureText(int errorNumber);

// Why a new file cannot be made at this path, found by making (and removing) it: nothing when it
// can be made and its disk has room. Used to name the reason after a library (FFmpeg) failed to
// open an output without saying why.
std::optional<std::string> fileCreationFailure(const std::filesystem::path& file);

}  // namespace tamo
