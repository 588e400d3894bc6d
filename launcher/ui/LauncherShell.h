#pragma once
#include <string>
#include <vector>

class QWidget;

// What the installer is told, in its environment, since it gets no parameters: where the
// launcher is, how it was started, and which version the check answered.
struct InstallerHandOver
{
    std::wstring strLauncherDir;
    std::wstring strLauncherArgs;
    std::wstring strVersion;
};

// What the updater window asks of the desktop and the process: starting programs, finding the
// running client, asking the user, ending. Tests replace it, so no display is needed.
class ILauncherShell
{
public:
    virtual ~ILauncherShell() = default;

    // True when the client's main window exists: its messenger takes a connection.
    virtual bool ClientWindowExists() = 0;
    // The duplicate-process message to the running client; true when it took it.
    virtual bool SendDuplicateProcessMessage(const std::wstring& strSender) = 0;
    // Starts a program detached, in the launcher's current folder; the result is not needed.
    virtual void StartClient(const std::wstring& strProgram, const std::vector<std::wstring>& args) = 0;
    // Starts the (verified, executable) installer detached without parameters; false when it
    // could not be started (no permission, a file system that forbids running programs).
    virtual bool RunInstaller(const std::wstring& strPath, const InstallerHandOver& handOver) = 0;
    virtual void Sleep(unsigned int nMilliseconds) = 0;
    // Ends the process at once.
    virtual void EndProcess(int nExitCode) = 0;

    // Yes/No question, No as default; true for Yes.
    virtual bool AskYesNo(QWidget* pOwner, const std::wstring& strCaption, const std::wstring& strText) = 0;
    virtual void ShowInformation(QWidget* pOwner, const std::wstring& strCaption, const std::wstring& strText) = 0;
};

// The real desktop. The installer's hand-over goes into its environment as
// ORVANTA_LAUNCHER_DIR, ORVANTA_LAUNCHER_ARGS and ORVANTA_UPDATE_VERSION.
class LauncherShell : public ILauncherShell
{
public:
    bool ClientWindowExists() override;
    bool SendDuplicateProcessMessage(const std::wstring& strSender) override;
    void StartClient(const std::wstring& strProgram, const std::vector<std::wstring>& args) override;
    bool RunInstaller(const std::wstring& strPath, const InstallerHandOver& handOver) override;
    void Sleep(unsigned int nMilliseconds) override;
    void EndProcess(int nExitCode) override;
    bool AskYesNo(QWidget* pOwner, const std::wstring& strCaption, const std::wstring& strText) override;
    void ShowInformation(QWidget* pOwner, const std::wstring& strCaption, const std::wstring& strText) override;
};
