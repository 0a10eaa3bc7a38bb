// What is the Qt history box's own: the positions its accessible
// interface gives for each character are where the box draws it (Qt's
// own cursor rectangles), scrolled and zoomed, and a point maps back to
// its character.
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QScrollBar>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <string>

#include "qt_accessibility.h"
#include "qt_row_box.h"

namespace {

class QtRowBox : public ::testing::Test {
protected:
    QDialog dialog;
    CQtRowBox* box = nullptr;

    void SetUp() override
    {
        InstallDialogAccessibility();
        dialog.resize(400, 260);
        box = new CQtRowBox(&dialog);
        box->setReadOnly(true);
        box->setGeometry(8, 8, 384, 220);
        wsys::RowChange fill;
        fill.replace = true;
        for (int i = 0; i < 60; ++i) {
            const std::string row = "row " + std::to_string(i) + std::string(i % 7, 'W');
            fill.added.emplace_back(row.begin(), row.end());
        }
        dialog.show();
        box->Update(fill);
        QApplication::processEvents();
    }

    QAccessibleTextInterface* Text() const
    {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        return a ? a->textInterface() : nullptr;
    }

    // Every row in view: its first and a middle character are where the
    // box puts its cursor for them, and their middles map back.
    void ExpectPositionsAsDrawn(const char* what)
    {
        QAccessibleTextInterface* text = Text();
        ASSERT_TRUE(text) << what;
        int checked = 0;
        for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
            for (const int at : {b.position(), b.position() + 3}) {
                QTextCursor c(box->document());
                c.setPosition(at);
                const QRect caret = box->cursorRect(c);
                if (caret.top() < 0 || caret.bottom() > box->viewport()->height())
                    continue;
                const QRect r = text->characterRect(at);
                const QPoint drawn = box->viewport()->mapToGlobal(caret.topLeft());
                EXPECT_LE(std::abs(r.left() - drawn.x()), 1) << what << " at " << at;
                EXPECT_LE(std::abs(r.top() - drawn.y()), 1) << what << " at " << at;
                EXPECT_GT(r.width(), 0) << what << " at " << at;
                EXPECT_EQ(text->offsetAtPoint(r.center()), at) << what << " at " << at;
                ++checked;
            }
        }
        EXPECT_GT(checked, 10) << what;
        // Outside the rows' characters: none.
        EXPECT_EQ(text->offsetAtPoint(box->viewport()->mapToGlobal(QPoint(360, 5))), -1);
        EXPECT_EQ(text->offsetAtPoint(dialog.mapToGlobal(QPoint(1, 1))), -1);
    }
};

TEST_F(QtRowBox, AccessiblePositionsAreWhereTheCharactersAreDrawn)
{
    ASSERT_GT(box->verticalScrollBar()->value(), 0);
    ExpectPositionsAsDrawn("following");
    box->verticalScrollBar()->setValue(12);
    QApplication::processEvents();
    ExpectPositionsAsDrawn("scrolled");
    box->Zoom(wsys::CBoxZoom::Step::In);
    box->Zoom(wsys::CBoxZoom::Step::In);
    QApplication::processEvents();
    EXPECT_EQ(box->verticalScrollBar()->value(), 12);
    ExpectPositionsAsDrawn("zoomed");
    EXPECT_EQ(Text()->text(0, 5), QStringLiteral("row 0"));
    EXPECT_EQ(Text()->text(5, 7), QStringLiteral("\nr"));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {

std::u16string RowName(int i)
{
    std::string s = std::to_string(i);
    s = "row " + std::string(4 - std::min<std::size_t>(4, s.size()), '0') + s;
    return std::u16string(s.begin(), s.end());
}

// A frame that takes many rows at once (a slow machine draws seldom): the
// box holds exactly the rows it was told, whatever it removes at the top.
TEST(QtRowBoxFrames, ALargeFrameRemovesAtTheTopWhatItWasTold)
{
    QDialog dialog;
    dialog.resize(400, 260);
    auto* box = new CQtRowBox(&dialog);
    box->setReadOnly(true);
    box->setGeometry(8, 8, 384, 220);
    dialog.show();
    wsys::CShownRows shown;
    std::vector<std::u16string> model;
    int next = 1;
    for (const int frame : {30, 990, 7, 400, 1200, 1, 999}) {
        std::vector<std::u16string> rows;
        for (int i = 0; i < frame; ++i)
            rows.push_back(RowName(next++));
        const wsys::RowSerial end = static_cast<wsys::RowSerial>(next - 1);
        const wsys::RowSerial first = end > 1000 ? end - 1000 : 0;
        const wsys::RowSerial from = end - static_cast<wsys::RowSerial>(rows.size());
        if (from < first)
            rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(first - from));
        const wsys::RowChange change = shown.Follow({first, end, rows});
        wsys::ApplyRowChange(model, change);
        box->Update(change);
        QApplication::processEvents();
        ASSERT_EQ(box->document()->blockCount(), static_cast<int>(model.size()))
            << "after a frame of " << frame;
        EXPECT_EQ(box->document()->firstBlock().text().toStdU16String(), model.front())
            << "after a frame of " << frame;
        EXPECT_EQ(box->document()->lastBlock().text().toStdU16String(), model.back())
            << "after a frame of " << frame;
    }
}

}  // namespace
