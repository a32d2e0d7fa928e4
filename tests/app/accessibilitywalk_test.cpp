#include "accessibilitywalk.h"
#include "qtprint.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
QStringList names(const std::vector<accessibility::Control> &controls)
{
    QStringList out;
    for (const auto &c : controls)
        out << c.objectName;
    return out;
}

template <class W>
W *add(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}
} // namespace

TEST(AccessibilityWalk, FindsFocusableControlsWithoutANameAtAnyDepth)
{
    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    auto *frame = add<QGroupBox>(&window, "frame");
    add<QCheckBox>(frame, "captioned")->setText(QStringLiteral("X00"));
    add<QCheckBox>(frame, "bare");
    add<QLineEdit>(frame, "text");
    add<QLineEdit>(frame, "namedText")->setAccessibleName(QStringLiteral("新地址"));
    auto *labelled = add<QLineEdit>(&window, "labelledText");
    add<QLabel>(&window, "label")->setBuddy(labelled);
    window.findChild<QLabel *>(QStringLiteral("label"))->setText(QStringLiteral("485原地址："));
    add<QListWidget>(&window, "list");
    add<QPushButton>(&window, "button")->setText(QStringLiteral("搜索设备"));
    add<QLabel>(&window, "lamp"); // not focusable: not counted
    window.show();

    const auto all = accessibility::focusableControls(&window);
    EXPECT_EQ(names(all), QStringList({"captioned", "bare", "text", "namedText", "labelledText", "list", "button"}));
    const auto unnamed = accessibility::unnamedFocusableControls(&window);
    EXPECT_EQ(names(unnamed), QStringList({"bare", "text", "list"}));
    ASSERT_EQ(unnamed.size(), 3u);
    EXPECT_EQ(unnamed[0].path, "window/frame/bare");
    EXPECT_EQ(unnamed[0].role, "CheckBox");
    EXPECT_EQ(unnamed[1].className, "QLineEdit");
    EXPECT_TRUE(accessibility::describe(unnamed).contains("window/list [List, QListWidget]"))
        << accessibility::describe(unnamed).toStdString();
}
