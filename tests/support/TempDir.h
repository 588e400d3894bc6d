#pragma once
#include <QTemporaryDir>
#include <string>

// A temporary folder as wide text with a trailing "/", removed with the object.
class TempDir
{
public:
    TempDir() { m_dir.setAutoRemove(true); }
    std::wstring Path() const { return m_dir.path().toStdWString() + L"/"; }
    QString QPath() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
