#include "boarddevice.h"
#include "boardwindow.h"
#include "protocol/frames.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

TEST(BoardWindow, SwitchesSetInputsAndLampsFollowTheRelays)
{
    board::BoardDevice device;
    board::BoardWindow w(device);
    w.show();
    auto *x2 = w.findChild<QCheckBox *>(QStringLiteral("input(2)"));
    ASSERT_TRUE(x2);
    QTest::mouseClick(x2, Qt::LeftButton, {}, QPoint(5, x2->height() / 2));
    EXPECT_EQ(device.model().inputs(), 0x04);

    auto *y5 = w.findChild<QLabel *>(QStringLiteral("lamp(5)"));
    ASSERT_TRUE(y5);
    const QString dark = y5->styleSheet();
    device.model().receive(frames::WriteRelaysFrame(33, 0x20));
    EXPECT_NE(y5->styleSheet(), dark);
    // Inputs set from elsewhere show on the switches.
    device.setInputs(0x80);
    EXPECT_FALSE(x2->isChecked());
    EXPECT_TRUE(w.findChild<QCheckBox *>(QStringLiteral("input(7)"))->isChecked());

    auto *log = w.findChild<QPlainTextEdit *>(QStringLiteral("log"));
    ASSERT_TRUE(log);
    EXPECT_TRUE(log->toPlainText().contains(QStringLiteral("write relays")));
    device.model().receive(frames::StepFrame(33, LogicStep{3, 0x01, 0x00, 0x02}));
    EXPECT_TRUE(w.findChild<QLabel *>(QStringLiteral("program"))->text().contains(QStringLiteral("X00")));
}
