// The plug-in frame around its page: the page shows inside the frame, and
// the frame's end never reaches into a page its derived class already let go.
#include "plugins/common/PluginFrame.h"

#include "platform/dialog.h"
#include "platform/uiapp.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const UINT kFrameTemplate = 7101, kPageTemplate = 7102, kNoPicture = 7103;

// A frame that owns its page through a pointer, so that the page's memory is
// gone (not only its object) once the derived part of the frame has ended.
class OwnPageFrame : public CPluginFrame {
public:
    explicit OwnPageFrame(std::unique_ptr<CDialog> page)
        : CPluginFrame(kFrameTemplate, *page, kNoPicture, CRect(120, 120, 620, 520), 500), m_pOwnPage(std::move(page))
    {
    }
    CString Caption() const override { return "frame"; }
    CDialog& Page() { return *m_pOwnPage; }

private:
    std::unique_ptr<CDialog> m_pOwnPage;
};

class PluginFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        RegisterPluginTemplates(kFrameTemplate, kPageTemplate, CRect(120, 120, 620, 520), "frame");
    }
};

TEST_F(PluginFrameTest, APageGoneBeforeTheFrameIsNotTouchedAgain)
{
    // Never created: the frame's end alone.
    delete new OwnPageFrame(std::make_unique<CDialog>(kPageTemplate));

    // Shown with its page inside, then closed by deleting the object.
    auto* frame = new OwnPageFrame(std::make_unique<CDialog>(kPageTemplate));
    ASSERT_TRUE(frame->Create(kFrameTemplate, nullptr));
    frame->ShowWindow(SW_SHOW);
    lumui::Pump(10);
    const HWND page = frame->Page().m_hWnd;
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(::IsWindowVisible(page));
    EXPECT_EQ(::GetParent(page), frame->m_hWnd);
    delete frame;
    lumui::Pump(10);
    EXPECT_FALSE(::IsWindow(page));
}

}  // namespace
