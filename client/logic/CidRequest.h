#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One popup request, filled by the notification handlers and handed to the popup manager.
// Fixed size on purpose: the sender allocates it once and gives it away with the post; the
// manager copies what it needs and frees it before acting on it. Text fields are
// null-terminated, so each holds one character less than its capacity.
struct CidRequest
{
    wchar_t szUrl[2048] = {};
    wchar_t szPostData[65536] = {};
    wchar_t szCallerPhone[20] = {};
    wchar_t szTeleCode[20] = {};
    wchar_t szCalleePhone[20] = {};
    wchar_t szTime[21] = {};
    wchar_t szNotiFlag[6] = {};
    wchar_t szMsg[3000] = {};
    wchar_t szMsgType[7] = {};
    int64_t llLogNo = 0;
    int nCallResult = -1;
    int nCallProcessType = 0;
    int nRecFlag = -1;
    int nCidType = 0;
    int nCidHeight = 0;
    int nCidWidth = 0;
};

// Copies text into a request field, cutting what does not fit. False when it was cut, so the
// caller can log it; the request stays usable either way.
template <size_t N>
bool SetCidText(wchar_t (&field)[N], const std::wstring& strText)
{
    const size_t nCopy = strText.size() < N - 1 ? strText.size() : N - 1;
    strText.copy(field, nCopy);
    field[nCopy] = L'\0';
    return nCopy == strText.size();
}
