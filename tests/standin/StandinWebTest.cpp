// The stand-in web server: API handlers, faults, files, and the stand-in
// service's data seen through the API.
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WireFormat.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using standin::StandinWeb;
using standin::WebFault;
using standin::WebReply;
using standin::WebRequest;

namespace {

class StandinWebTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() /
                ("standin-web-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root_ / "upload" / "face");
        std::ofstream(root_ / "upload" / "face" / "10001.png", std::ios::binary) << std::string("\x89PNG\r\n", 6);
        std::ofstream(root_ / "topic.txt") << "file topic";
    }
    void TearDown() override
    {
        web_.Stop();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void Start() { ASSERT_GT(web_.Start(0, root_.string()), 0); }
    httplib::Client Client() { return httplib::Client(web_.BaseUrl()); }

    fs::path root_;
    StandinWeb web_;
};

TEST_F(StandinWebTest, HandlersAnswerJsonNumbersAndTextBeforeFiles)
{
    web_.Handle("GET", "/api/info", [](const WebRequest& r) {
        return WebReply::Json("{\"id\":" + r.Param("uID", "0") + "}");
    });
    web_.Handle("GET", "/api/total", [](const WebRequest&) { return WebReply::Number(37); });
    web_.Handle("POST", "/api/state", [](const WebRequest&) { return WebReply::Text("denied"); });
    // A registered path wins over a file of the same name.
    web_.Handle("GET", "/topic.txt", [](const WebRequest&) { return WebReply::Text("api topic"); });
    Start();
    httplib::Client c = Client();

    auto json = c.Get("/api/info?uID=10002");
    ASSERT_TRUE(json);
    EXPECT_EQ(json->status, 200);
    EXPECT_EQ(json->body, "{\"id\":10002}");
    EXPECT_EQ(json->get_header_value("Content-Type").rfind("application/json", 0), 0u);

    auto number = c.Post("/api/total");  // a GET-only path does not answer POST
    ASSERT_TRUE(number);
    EXPECT_EQ(number->status, 404);
    number = c.Get("/api/total");
    ASSERT_TRUE(number);
    EXPECT_EQ(number->body, "37");

    auto text = c.Post("/api/state", httplib::Params{});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->body, "denied");
    EXPECT_EQ(text->get_header_value("Content-Type").rfind("text/plain", 0), 0u);

    auto topic = c.Get("/topic.txt");
    ASSERT_TRUE(topic);
    EXPECT_EQ(topic->body, "api topic");

    // Files keep being served, whatever the query says; a missing one is 404.
    auto head = c.Get("/upload/face/10001.png?r=123456");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->body, std::string("\x89PNG\r\n", 6));
    auto missing = c.Get("/upload/face/10009.png");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);

    const std::vector<WebRequest> log = web_.Requests();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/api/info");
    EXPECT_EQ(log[0].Param("uID"), "10002");
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_EQ(log[5].path, "/upload/face/10001.png");
    EXPECT_EQ(log[5].Param("r"), "123456");
    web_.ClearRequests();
    EXPECT_TRUE(web_.Requests().empty());
}

TEST_F(StandinWebTest, PagesGetDebiansJquery)
{
    Start();
    auto reply = Client().Get("/js/jquery-1.3.2.min.js");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_NE(reply->body.find("jQuery"), std::string::npos);
    EXPECT_EQ(reply->get_header_value("Content-Type"), "application/javascript");
}

TEST_F(StandinWebTest, FormAndQueryFieldsArriveDecoded)
{
    web_.Handle("POST", "/api/remark", [](const WebRequest& r) {
        return WebReply::Text(r.Param("frdID") + "|" + r.Param("remark") + "|" + r.Param("page"));
    });
    web_.Handle("GET", "/api/search", [](const WebRequest& r) { return WebReply::Text(r.Param("param")); });
    Start();
    httplib::Client c = Client();

    // Form-encoded body plus a query field; text with characters that need escaping.
    auto posted = c.Post("/api/remark?page=2", httplib::Params{{"frdID", "10002"}, {"remark", "娜娜 & 同学=好友?"}});
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->body, "10002|娜娜 & 同学=好友?|2");
    auto got = c.Get("/api/search?param=%E5%BC%A0%E4%BC%9F&param=other");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->body, "张伟");

    const std::vector<WebRequest> log = web_.Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].Param("remark"), "娜娜 & 同学=好友?");
    EXPECT_EQ(log[0].Param("page"), "2");
}

TEST_F(StandinWebTest, FaultsPerPathForApiAndFiles)
{
    web_.Handle("GET", "/api/list", [](const WebRequest&) { return WebReply::Json("[{\"id\":1}]"); });
    web_.Handle("POST", "/api/save", [](const WebRequest&) { return WebReply::Text("0"); });
    Start();
    httplib::Client c = Client();

    web_.SetFault("/api/list", WebFault::Status(500));
    web_.SetFault("/upload/face/10001.png", WebFault::Status(404));
    web_.SetFault("/api/save", WebFault::Malformed("<html>oops"));
    auto r = c.Get("/api/list");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    EXPECT_TRUE(r->body.empty());
    r = c.Get("/upload/face/10001.png");  // an existing head image reads as missing
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    r = c.Post("/api/save", httplib::Params{{"uID", "10001"}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "<html>oops");
    EXPECT_EQ(r->get_header_value("Content-Type").rfind("text/plain", 0), 0u);
    r = c.Get("/topic.txt");  // other paths are untouched
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "file topic");

    // A slow answer: a client with a shorter timeout gives up, a patient one gets it.
    web_.ClearFaults();
    web_.SetFault("/api/list", WebFault::Timeout(800));
    httplib::Client impatient = Client();
    impatient.set_read_timeout(0, 150000);
    const auto begin = std::chrono::steady_clock::now();
    auto late = impatient.Get("/api/list");
    EXPECT_FALSE(late);
    EXPECT_EQ(late.error(), httplib::Error::Read);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(700));
    r = c.Get("/api/list");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "[{\"id\":1}]");

    web_.ClearFaults();
    r = c.Get("/upload/face/10001.png");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
}

TEST_F(StandinWebTest, StopDoesNotWaitForADelayedAnswer)
{
    web_.SetFault("/topic.txt", WebFault::Timeout(60000));
    Start();
    std::thread asker([this] {
        httplib::Client c = Client();
        c.set_read_timeout(0, 100000);
        c.Get("/topic.txt");
    });
    asker.join();
    const auto begin = std::chrono::steady_clock::now();
    web_.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

// One call on the service's wire: sends a frame, returns the decoded reply.
standin::Message Call(int port, const standin::WireWriter& w)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect");
    }
    const std::string frame = w.Frame();
    if (::send(fd, frame.data(), frame.size(), 0) != static_cast<ssize_t>(frame.size())) {
        ::close(fd);
        throw std::runtime_error("cannot send");
    }
    auto readAll = [fd](size_t n) {
        std::string out(n, '\0');
        size_t got = 0;
        while (got < n) {
            const ssize_t k = ::recv(fd, &out[got], n - got, 0);
            if (k <= 0) throw std::runtime_error("connection closed");
            got += static_cast<size_t>(k);
        }
        return out;
    };
    const std::string len = readAll(4);
    const uint32_t n = (uint32_t(uint8_t(len[0])) << 24) | (uint32_t(uint8_t(len[1])) << 16) |
                       (uint32_t(uint8_t(len[2])) << 8) | uint32_t(uint8_t(len[3]));
    const std::string payload = readAll(n);
    ::close(fd);
    return standin::DecodeMessage(payload);
}

TEST(StandinWebServiceTest, ApiAnswersFromTheServiceData)
{
    standin::StandinService service;
    ASSERT_TRUE(service.LoadSeedFile(STANDIN_SEED_FILE));
    ASSERT_GT(service.Start(0), 0);
    StandinWeb web(&service);
    ASSERT_EQ(web.Service(), &service);
    web.Handle("GET", "/api/remark", [&web](const WebRequest& r) {
        for (const auto& f : web.Service()->Friends(std::stoi(r.Param("uID"))))
            if (std::to_string(f.first) == r.Param("frdID")) return WebReply::Text(f.second);
        return WebReply{404, "", "text/plain"};
    });
    web.Handle("GET", "/api/name", [&web](const WebRequest& r) {
        standin::SeedUser u;
        if (!web.Service()->User(std::stoi(r.Param("uID")), &u)) return WebReply::Json("{}");
        return WebReply::Json("{\"name\":\"" + u.name + "\"}");
    });
    const fs::path root = fs::temp_directory_path() / ("standin-web-service-" + std::to_string(::getpid()));
    fs::create_directories(root);
    ASSERT_GT(web.Start(0, root.string()), 0);
    httplib::Client c(web.BaseUrl());

    auto r = c.Get("/api/remark?uID=10001&frdID=10002");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "娜娜");
    r = c.Get("/api/name?uID=10003");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "{\"name\":\"王芳\"}");

    // The client changes the remark through the service; the page sees it.
    standin::WireWriter login;
    login.MessageBegin("login", standin::kCall, 1);
    login.FieldBegin(standin::kStruct, 1);
    login.FieldString(1, "13800000001");
    login.FieldString(2, "123456");
    login.FieldI32(3, 0);
    login.FieldI32(4, 0);
    login.Stop();
    login.Stop();
    const standin::Message loggedIn = Call(service.Port(), login);
    const standin::Value* result = loggedIn.body.Field(0);
    ASSERT_TRUE(result && result->Field(3));
    standin::WireWriter edit;
    edit.MessageBegin("editFriendRemark", standin::kCall, 2);
    edit.FieldString(1, result->Field(3)->s);
    edit.FieldI32(2, 10002);
    edit.FieldString(3, "新同桌");
    edit.Stop();
    const standin::Message edited = Call(service.Port(), edit);
    ASSERT_TRUE(edited.body.Field(0));
    EXPECT_EQ(edited.body.Field(0)->i, 0);

    r = c.Get("/api/remark?uID=10001&frdID=10002");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "新同桌");
    r = c.Get("/api/remark?uID=10001&frdID=10005");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);

    web.Stop();
    service.Stop();
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
