#pragma once
#include <string>

// Where a program keeps what it writes while it runs: the folder `Log` and its crash dumps.
//
// A program whose folder the user can write (a per-user install, a build folder) keeps them
// beside itself. An installed program in a system folder cannot, so it uses the user's state
// folder, $XDG_STATE_HOME/ORVANTA_VEXA/ (~/.local/state/ORVANTA_VEXA/ when the variable is unset
// or not an absolute path). Folders under /usr/ and /opt/ belong to the package manager: even
// root, who could write there, uses the state folder, so removing the package leaves nothing.
struct StateFolderInputs
{
    std::wstring programFolder;  // with its trailing "/"
    bool programFolderWritable = false;
    std::wstring xdgStateHome;   // the variable as it is, possibly empty
    std::wstring home;           // the user's home folder
};

// The folder, with a trailing "/". The program folder when the per-user one cannot be named
// (no usable home).
std::wstring ChooseStateFolder(const StateFolderInputs& in);

// Creates `folder` and the folders above it that are missing, new ones private to the user;
// true when it then is the user's own folder and not a link.
bool MakeStateFolder(const std::wstring& folder);

// The choice for the running program. Creates the per-user folder (private to the user) when
// that is the one chosen; when it cannot be made or is not the user's own plain folder, the
// program folder is returned instead, so nothing is written where another user could read it.
std::wstring StateFolder();
