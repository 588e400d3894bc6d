#include "TestHome.h"

namespace {
QString& Home()
{
    static QString s_home;
    return s_home;
}
}  // namespace

QString TestHome()
{
    return Home();
}

void SetTestHome(const QString& strPath)
{
    Home() = strPath;
}
