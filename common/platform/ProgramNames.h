#pragma once

// Names both programs agree on; nothing else is shared between them at run time.

// The client's launch token: the launcher puts it on the command line, the client refuses to
// run without it.
inline constexpr const wchar_t* kLaunchToken = L"5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8";
// The client's single-instance name; the launcher only probes it.
inline constexpr const wchar_t* kInstanceMutexName =
    L"Global\\74744AA9-DECA-4877-AC53-1703C170986A";
inline constexpr const wchar_t* kProductName = L"라벤토";
inline constexpr const wchar_t* kLauncherFileName = L"OrvantaStart_Vexa";
inline constexpr const wchar_t* kClientFileName = L"Orvanta_Vexa";
