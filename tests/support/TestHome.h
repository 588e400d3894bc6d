#pragma once
#include <QString>

// The temporary home the test main made for this test program; empty before it exists.
QString TestHome();
void SetTestHome(const QString& strPath);
