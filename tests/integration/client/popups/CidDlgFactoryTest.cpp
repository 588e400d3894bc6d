#include "popups/CidDlg.h"
#include "popups/CidDlgFactory.h"
#include "WaitUntil.h"

#include <QWebEnginePage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

CCidDlg* AsDlg(const std::unique_ptr<ICidWindow>& p)
{
    return dynamic_cast<CCidDlg*>(p.get());
}

class CidDlgFactoryTest : public ::testing::Test
{
protected:
    // Waits out the idle pause.
    const CCidDlg* WaitForSpare()
    {
        WaitUntil([this] { return factory.Spare() != nullptr; }, 30000);
        return factory.Spare();
    }

    QWidget frame;
    QObject manager;
    CCidDlgFactory factory{&frame, ClientConfig{L"http://127.0.0.1", 1, {}}};
};

TEST_F(CidDlgFactoryTest, NextRequestTakesTheHiddenSpareAndANewOneFollowsOnlyAfterAPause)
{
    const CCidDlg* pSpare = WaitForSpare();
    ASSERT_NE(pSpare, nullptr);
    EXPECT_FALSE(pSpare->isVisible());
    EXPECT_FALSE(pSpare->IsCidWindowVisible());
    // Its window exists already, but it holds no document of its own.
    EXPECT_NE(pSpare->internalWinId(), 0u);
    EXPECT_TRUE(pSpare->Page()->url().isEmpty());
    EXPECT_EQ(pSpare->MainFrame(), &frame);

    std::unique_ptr<ICidWindow> first = factory.NewCidWindow(nullptr, &manager);
    EXPECT_EQ(AsDlg(first), pSpare);
    EXPECT_EQ(first->m_hWndManager, &manager);
    EXPECT_EQ(factory.Spare(), nullptr);

    // A second call right after gets a popup of its own; the burst makes no spare.
    std::unique_ptr<ICidWindow> second = factory.NewCidWindow(&frame, &manager);
    ASSERT_NE(AsDlg(second), nullptr);
    EXPECT_NE(AsDlg(second), AsDlg(first));
    EXPECT_EQ(AsDlg(second)->MainFrame(), &frame);
    EXPECT_EQ(factory.Spare(), nullptr);

    const CCidDlg* pNext = WaitForSpare();
    ASSERT_NE(pNext, nullptr);
    EXPECT_NE(pNext, AsDlg(first));
    EXPECT_NE(pNext, AsDlg(second));
}

TEST_F(CidDlgFactoryTest, RequestForAnotherOwnerLeavesTheSpareForTheNext)
{
    const CCidDlg* pSpare = WaitForSpare();
    ASSERT_NE(pSpare, nullptr);
    QWidget otherFrame;
    std::unique_ptr<ICidWindow> foreign = factory.NewCidWindow(&otherFrame, &manager);
    ASSERT_NE(AsDlg(foreign), nullptr);
    EXPECT_NE(AsDlg(foreign), pSpare);
    EXPECT_EQ(AsDlg(foreign)->MainFrame(), &otherFrame);
    EXPECT_EQ(factory.Spare(), pSpare);

    std::unique_ptr<ICidWindow> own = factory.NewCidWindow(nullptr, &manager);
    EXPECT_EQ(AsDlg(own), pSpare);
}

}  // namespace
