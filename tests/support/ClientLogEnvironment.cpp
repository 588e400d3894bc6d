#include "TestHome.h"
#include "diag/DbgLog.h"
#include "text/TextConv.h"

#include <gtest/gtest.h>

namespace {
// Tests of hosted pages read the client's debug log, so it is on, in the test home.
class ClientLogEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        g_DbgLog.SetLogDir(ToWide(TestHome() + QStringLiteral("/Log")));
        g_DbgLog.SetLogFileName(L"Orvanta.txt");
        g_DbgLog.ForceEnable();
    }
};
[[maybe_unused]] ::testing::Environment* const s_clientLog =
    ::testing::AddGlobalTestEnvironment(new ClientLogEnvironment);
}  // namespace
