#include "ui/LauncherShell.h"

#include "platform/ProcessMessenger.h"

#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

bool LauncherShell::ClientWindowExists()
{
    // The client serves its messenger from its main frame's creation on; a stranger holding
    // the name is not our client.
    return LocalSocketMessenger::IsServed(LocalSocketMessenger::DefaultServerName(), 500);
}

bool LauncherShell::SendDuplicateProcessMessage(const std::wstring& strSender)
{
    LocalSocketMessenger messenger(LocalSocketMessenger::DefaultServerName());
    return messenger.Send(QString::fromLatin1(kDuplicateProcessMessage), QString::fromStdWString(strSender));
}

void LauncherShell::StartClient(const std::wstring& strProgram, const std::vector<std::wstring>& args)
{
    QStringList list;
    for (const std::wstring& arg : args) {
        list << QString::fromStdWString(arg);
    }
    QProcess::startDetached(QString::fromStdWString(strProgram), list);
}

bool LauncherShell::RunInstaller(const std::wstring& strPath, const InstallerHandOver& handOver)
{
    QProcess process;
    process.setProgram(QString::fromStdWString(strPath));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANTA_LAUNCHER_DIR"), QString::fromStdWString(handOver.strLauncherDir));
    env.insert(QStringLiteral("ORVANTA_LAUNCHER_ARGS"), QString::fromStdWString(handOver.strLauncherArgs));
    env.insert(QStringLiteral("ORVANTA_UPDATE_VERSION"), QString::fromStdWString(handOver.strVersion));
    process.setProcessEnvironment(env);
    return process.startDetached();
}

void LauncherShell::Sleep(unsigned int nMilliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(nMilliseconds));
}

void LauncherShell::EndProcess(int nExitCode)
{
    // Workers may still run; they end with the process, nothing waits for them.
    std::fflush(nullptr);
    std::_Exit(nExitCode);
}

bool LauncherShell::AskYesNo(QWidget* pOwner, const std::wstring& strCaption, const std::wstring& strText)
{
    QMessageBox box(QMessageBox::Question, QString::fromStdWString(strCaption), QString::fromStdWString(strText),
                    QMessageBox::Yes | QMessageBox::No, pOwner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void LauncherShell::ShowInformation(QWidget* pOwner, const std::wstring& strCaption, const std::wstring& strText)
{
    QMessageBox box(QMessageBox::Information, QString::fromStdWString(strCaption), QString::fromStdWString(strText),
                    QMessageBox::Ok, pOwner);
    box.exec();
}
