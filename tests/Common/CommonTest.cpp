#include "Common/stores/FileDB.h"
#include "Common/Common.h"
#include "Common/records/Data.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "tests/Common/ProgramFolder.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/ServeInBackground.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <memory>
#include <thread>

namespace {

std::string pngOf(int w, int h, Gdiplus::ARGB color)
{
    Gdiplus::Bitmap bmp(w, h, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(&bmp).Clear(Gdiplus::Color(color));
    std::string bytes;
    filedb::EncodeHead(&bmp, bytes);
    return bytes;
}

Gdiplus::ARGB pixel(Gdiplus::Bitmap& bmp, int x, int y)
{
    Gdiplus::Color c;
    bmp.GetPixel(x, y, &c);
    return c.GetValue();
}

// A web server on loopback serving head images, with Lum.ini pointing at it.
class WebServer {
public:
    explicit WebServer(const ProgramFolder& folder)
    {
        server_.Get(R"(/upload/face/(\d+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            lastQuery_ = req.get_param_value("r");
            const std::string id = req.matches[1];
            if (id == "120") res.set_content(pngOf(120, 120, 0xFF00FF00), "image/png");
            else if (id == "0") res.set_content("", "image/png");
            else if (id == "666") res.set_content("<html>not an image</html>", "image/png");
            else res.status = 404;
        });
        server_.Get(R"(/upload/group/(\d+)\.png)", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(pngOf(60, 60, 0xFF0000FF), "image/png");
        });
        server_.Get("/topic.txt", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("本周公告: 考试\r\nsecond line\r\n", "text/plain");
        });
        server_.Get("/missing.txt", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("error page", "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = ServeInBackground(server_);
        WritePrivateProfileString("Web", "BaseUrl", url("").c_str(), (folder.path() + "Lum.ini").c_str());
    }
    ~WebServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::string lastQuery() const { return lastQuery_; }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::string lastQuery_;
};

}  // namespace

TEST(CommonHelpers, AppPathIsTheProgramFolder)
{
    ProgramFolder folder;
    EXPECT_EQ(CCommon().GetAppPath(), folder.path().c_str());
}

TEST(CommonHelpers, FileNamesEncodeDateTimeCounterAndNumber)
{
    struct tm t = {};
    t.tm_year = 2012 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 3;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    EXPECT_EQ(CCommon::FormatFileName(t, 1, 25), "1330673#1618B$1@19");
    CString a, b;
    CCommon::getFileName(&a, 1);
    CCommon::getFileName(&b, 1);
    EXPECT_NE(a, b);  // the counter makes names of one second differ
    EXPECT_EQ(a.Find('#') > 0 && a.Find('$') > 0 && a.Find('@') > 0, true);
}

TEST(CommonHelpers, MemoryImagesAreScaledToFortyPixels)
{
    const std::string png = pngOf(120, 120, 0xFFFF8000);
    Gdiplus::Bitmap head(40, 40, Gdiplus::PixelFormat32bppARGB);
    EXPECT_EQ(CCommon::MemoryTOBitmap(png.data(), static_cast<int>(png.size()), &head), 1);
    EXPECT_EQ(pixel(head, 0, 0), 0xFFFF8000u);
    EXPECT_EQ(pixel(head, 39, 39), 0xFFFF8000u);

    Gdiplus::Bitmap untouched(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics(&untouched).Clear(Gdiplus::Color(0xFF123456));
    EXPECT_EQ(CCommon::MemoryTOBitmap("garbage", 7, &untouched), 0);
    EXPECT_EQ(pixel(untouched, 10, 10), 0xFF123456u);
}

TEST(CommonHelpers, HeadImagesComeFromTheWebServer)
{
    ProgramFolder folder;
    WebServer web(folder);
    const CString dir = folder.path().c_str();

    Gdiplus::Bitmap target(40, 40, Gdiplus::PixelFormat32bppARGB);
    EXPECT_EQ(CCommon::DownLoadHeaderImage(120, &target, 1, dir), 1);
    EXPECT_EQ(pixel(target, 20, 20), 0xFF00FF00u);
    EXPECT_EQ(web.lastQuery().size(), 6u);  // the local time "%H%M%S"
    EXPECT_FALSE(PathFileExists(dir + "120.png"));

    Gdiplus::Graphics(&target).Clear(Gdiplus::Color(0xFF000001));
    EXPECT_EQ(CCommon::DownLoadHeaderImage(0, &target, 1, dir), 0);    // empty answer
    EXPECT_EQ(CCommon::DownLoadHeaderImage(666, &target, 1, dir), 0);  // not an image
    EXPECT_EQ(CCommon::DownLoadHeaderImage(404, &target, 1, dir), 0);  // missing
    EXPECT_EQ(pixel(target, 20, 20), 0xFF000001u);

    CDataUser user;
    user.m_nId = 120;
    EXPECT_EQ(user.UpdateHead(dir), 1);
    ASSERT_NE(user.m_imgHead, nullptr);
    EXPECT_EQ(user.m_imgHead->GetWidth(), 40u);
    CDataUser broken;
    broken.m_nId = 666;
    EXPECT_EQ(broken.UpdateHead(dir), 0);
    EXPECT_EQ(broken.m_imgHead, nullptr);  // no blank head from an undecodable answer

    CDataGroup group;
    group.m_nId = 5;
    EXPECT_EQ(group.UpdateHead(dir), 1);
    ASSERT_NE(group.m_imgHead, nullptr);
    EXPECT_EQ(pixel(*group.m_imgHead, 0, 0), 0xFF0000FFu);
}

// The counter between "$" and "@" of a name made by getFileName.
unsigned nameCounter(const CString& name)
{
    const int dollar = name.Find('$'), at = name.Find('@');
    return static_cast<unsigned>(std::strtoul(name.Mid(dollar + 1, at - dollar - 1).GetString(), nullptr, 16));
}

TEST(CommonHelpers, FileNamesStepByOneWhateverHeadsAreDownloadedBetween)
{
    ProgramFolder folder;
    WebServer web(folder);
    CString before, after;
    CCommon::getFileName(&before, 1);
    Gdiplus::Bitmap target(40, 40, Gdiplus::PixelFormat32bppARGB);
    EXPECT_EQ(CCommon::DownLoadHeaderImage(120, &target, 1, folder.path().c_str()), 1);
    EXPECT_EQ(CCommon::DownLoadHeaderImage(5, &target, 0, folder.path().c_str()), 1);
    CCommon::getFileName(&after, 1);
    // The next name of the process, whatever heads came in between.
    EXPECT_EQ(nameCounter(after), nameCounter(before) + 1) << before << " then " << after;
}

TEST(CommonHelpers, TextFromUrlIsTheFirstLineOfASuccessfulAnswer)
{
    ProgramFolder folder;
    WebServer web(folder);
    EXPECT_EQ(CCommon::GetStrFromUrl(web.url("/topic.txt").c_str()), "本周公告: 考试");
    EXPECT_EQ(CCommon::GetStrFromUrl(web.url("/missing.txt").c_str()), "");
    EXPECT_EQ(CCommon::GetStrFromUrl(web.url("/nothing-here").c_str()), "");
    EXPECT_EQ(CCommon::GetStrFromUrl("http://127.0.0.1:1/refused"), "");
}

TEST(CommonHelpers, FolderPickerAddsTheSeparatorAndCancelGivesNothing)
{
    TestServices services;
    CString asked;
    services.SetFolderDialog([&](const CString& title) {
        asked = title;
        return CString("/home/学生/下载");
    });
    EXPECT_EQ(CCommon::ShowSelectPathDlg("请选择您要保存文件的路径"), "/home/学生/下载/");
    EXPECT_EQ(asked, "请选择您要保存文件的路径");
    services.SetFolderDialog([](const CString&) { return CString(); });
    EXPECT_EQ(CCommon::ShowSelectPathDlg("x"), "");
}
