#pragma once
#include <string>

// What one connectivity check found.
struct NetworkCheckResult
{
    enum class Outcome
    {
        Answered,    // the server answered with some HTTP status
        NoHandle,    // no transfer handle could be made
        BadAddress,  // the address does not parse
        SendFailed,  // no answer (nCurlCode tells why)
        NoStatus,    // an answer without a status
    };
    Outcome outcome = Outcome::NoHandle;
    int nCurlCode = 0;
    bool Ok() const { return outcome == Outcome::Answered; }
};

// One GET of the address with its own scheme: any HTTP status counts as an answer. Reads at
// most 5000 bytes, 5 s to connect, 9 s in all, no proxy.
NetworkCheckResult CheckNetworkAddress(const std::wstring& strUrl);
