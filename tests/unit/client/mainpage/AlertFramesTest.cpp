#include "mainpage/AlertFrames.h"

#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A page that sends alerts in a loop: the list keeps the newest, deleting the oldest first.
TEST(AlertFramesTest, FloodKeepsTheNewestWithinTheLimit)
{
    CAlertFrames alerts;
    std::vector<QPointer<QWidget>> frames;
    const size_t nSent = kMaxOpenAlertFrames + 3;
    for (size_t i = 0; i < nSent; ++i) {
        auto* pFrame = new QWidget;
        frames.emplace_back(pFrame);
        alerts.Add(pFrame);
    }
    EXPECT_EQ(alerts.Frames().size(), kMaxOpenAlertFrames);
    for (size_t i = 0; i < nSent; ++i) {
        EXPECT_EQ(frames[i].isNull(), i < 3) << "frame " << i;
    }
    EXPECT_EQ(alerts.Frames().front().data(), frames[3].data());
    EXPECT_EQ(alerts.Frames().back().data(), frames.back().data());

    // A frame destroyed elsewhere leaves the list; deleting all then touches only live ones.
    delete frames[10].data();
    EXPECT_EQ(alerts.Frames().size(), kMaxOpenAlertFrames - 1);
    alerts.DeleteAll();
    for (const QPointer<QWidget>& frame : frames) {
        EXPECT_TRUE(frame.isNull());
    }
}

}  // namespace
