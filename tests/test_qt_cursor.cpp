// Tests of the wait cursor on Qt: nesting and pairing.
#include "platform/Cursor.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>

#include "QtTestApplication.h"
#include "platform/linux/QtServices.h"

namespace orvane {
namespace {

Qt::CursorShape Shown() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::BitmapCursor;  // BitmapCursor: no override at all
}

TEST(QtWaitCursor, ShowsFromTheFirstBeginUntilTheLastEnd) {
    test::TestApplication();
    CQtCursor cursor;
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    cursor.BeginWait();
    EXPECT_EQ(Shown(), Qt::WaitCursor);
    cursor.BeginWait();
    cursor.BeginWait();
    cursor.EndWait();
    cursor.EndWait();
    EXPECT_EQ(Shown(), Qt::WaitCursor) << "an inner EndWait ended the wait cursor";
    cursor.EndWait();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtWaitCursor, AnUnpairedEndLeavesOtherCursorsAlone) {
    test::TestApplication();
    QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
    CQtCursor cursor;
    cursor.EndWait();
    EXPECT_EQ(Shown(), Qt::CrossCursor);
    cursor.BeginWait();
    EXPECT_EQ(Shown(), Qt::WaitCursor);
    cursor.EndWait();
    EXPECT_EQ(Shown(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace
}  // namespace orvane
