#include "shell/MessagePrompt.h"

#include <QMessageBox>

void QtMessagePrompt::ShowTopmostInformation(const std::wstring& strCaption,
                                             const std::wstring& strText)
{
    QMessageBox box(QMessageBox::Information, QString::fromStdWString(strCaption),
                    QString::fromStdWString(strText), QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

bool QtMessagePrompt::AskYesNo(const std::wstring& strCaption, const std::wstring& strText)
{
    QMessageBox box(QMessageBox::Information, QString::fromStdWString(strCaption),
                    QString::fromStdWString(strText), QMessageBox::Yes | QMessageBox::No);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box.exec() == QMessageBox::Yes;
}
