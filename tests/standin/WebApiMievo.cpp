// The web API of the own profile and of the head photo: the profile read
// and save, the server's head-photo upload page and its upload, over the
// stand-in service's users, so that a saved profile shows in every client
// that asks the service afterwards and an accepted head is what the web
// server serves from then on.
//
// Replies as the profile page expects them: the read answers JSON with
// `result` (0 ok, 1 unknown user) and `user`; the save answers JSON
// {"result":0}, or the text "denied" (no verify code, or the account is not
// the user's own) or "fail" (a name that is empty or longer than 10
// characters, a note longer than 50). The upload answers "success",
// "oversize" (above 1 MiB), "photoFail" (bytes that are no image) or "fail"
// (unknown account, no file); only "success" replaces the stored head.
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace standin {

// Whether `bytes` hold a whole PNG, JPEG, GIF or BMP image (shared with the
// group photo upload of WebApiClanor.cpp).
bool IsWholeImage(const std::string& bytes);
// Serves `bytes` as the image at `path` from now on, in place of any file.
void ServeImage(StandinWeb& web, const std::string& path, const std::string& bytes);

namespace {

const size_t kMaxHeadBytes = 1024 * 1024;

uint32_t Be32(const std::string& b, size_t at)
{
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint32_t(uint8_t(b[at + 3]));
}

uint32_t Le32(const std::string& b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) | (uint32_t(uint8_t(b[at + 2])) << 16) |
           (uint32_t(uint8_t(b[at + 3])) << 24);
}

uint32_t Crc32(const std::string& b, size_t at, size_t n)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = at; i < at + n; ++i) c = table[(c ^ uint8_t(b[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Every chunk whole and with its checksum, IHDR first with a size, IEND last.
bool WholePng(const std::string& b)
{
    if (b.size() < 8 || b.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
    size_t at = 8;
    bool first = true, data = false;
    while (at + 12 <= b.size()) {
        const uint32_t len = Be32(b, at);
        if (len > b.size() - at - 12) return false;
        const std::string type = b.substr(at + 4, 4);
        if (Crc32(b, at + 4, len + 4) != Be32(b, at + 8 + len)) return false;
        if (first && (type != "IHDR" || len != 13 || Be32(b, at + 8) == 0 || Be32(b, at + 12) == 0)) return false;
        first = false;
        if (type == "IDAT") data = true;
        if (type == "IEND") return data;
        at += 12 + len;
    }
    return false;
}

bool WholeJpeg(const std::string& b)
{
    if (b.size() < 4 || uint8_t(b[0]) != 0xFF || uint8_t(b[1]) != 0xD8) return false;
    if (uint8_t(b[b.size() - 2]) != 0xFF || uint8_t(b[b.size() - 1]) != 0xD9) return false;
    // A frame header with a size before the scan.
    size_t at = 2;
    while (at + 4 <= b.size() && uint8_t(b[at]) == 0xFF) {
        const uint8_t marker = uint8_t(b[at + 1]);
        const size_t len = (size_t(uint8_t(b[at + 2])) << 8) | uint8_t(b[at + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return at + 9 <= b.size() && len >= 8 && (uint8_t(b[at + 5]) | uint8_t(b[at + 6])) &&
                   (uint8_t(b[at + 7]) | uint8_t(b[at + 8]));
        if (marker == 0xDA || len < 2) return false;
        at += 2 + len;
    }
    return false;
}

bool WholeGif(const std::string& b)
{
    return b.size() > 13 && (b.compare(0, 6, "GIF87a") == 0 || b.compare(0, 6, "GIF89a") == 0) &&
           (b[6] || b[7]) && (b[8] || b[9]) && b.back() == ';';
}

bool WholeBmp(const std::string& b)
{
    return b.size() > 26 && b[0] == 'B' && b[1] == 'M' && Le32(b, 2) == b.size() && Le32(b, 10) < b.size() &&
           Le32(b, 18) != 0 && Le32(b, 22) != 0;
}

bool IsVerifyCode(const std::string& key)
{
    if (key.size() != 32) return false;
    for (char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// Characters, not bytes, of UTF-8 text.
size_t Characters(const std::string& text)
{
    size_t n = 0;
    for (char c : text)
        if ((uint8_t(c) & 0xC0) != 0x80) ++n;
    return n;
}

WebReply Result(int code)
{
    return WebReply::Json(nlohmann::json{{"result", code}}.dump());
}

// The user's profile; with the asking account's remark for the user where
// it is a friend's card that asks.
WebReply UserInfo(StandinService& data, const WebRequest& r)
{
    SeedUser u;
    if (!data.User(static_cast<int32_t>(std::atol(r.Param("user_id").c_str())), &u)) return Result(1);
    std::string remark;
    const int32_t self = data.UserIdOfAccount(r.Param("phone"));
    for (const auto& f : data.Friends(self))
        if (f.first == u.id) remark = f.second;
    nlohmann::json user = {{"user_id", u.id},     {"name", u.name},         {"phone", u.phone},
                           {"note", u.note},      {"province", u.province}, {"city", u.city},
                           {"sex", u.gender},     {"email", u.email},       {"interests", u.interests},
                           {"birthday", u.birthday}, {"frdRemark", remark}};
    return WebReply::Json(nlohmann::json{{"result", 0}, {"user", user}}.dump());
}

WebReply SaveUserInfo(StandinService& data, const WebRequest& r)
{
    const int32_t uid = static_cast<int32_t>(std::atol(r.Param("userID").c_str()));
    if (!IsVerifyCode(r.Param("key")) || uid <= 0 || data.UserIdOfAccount(r.Param("phone")) != uid)
        return WebReply::Text("denied");
    SeedUser profile;
    profile.name = r.Param("name");
    profile.note = r.Param("note");
    profile.gender = r.Param("gender");
    profile.birthday = r.Param("birthday");
    profile.interests = r.Param("interests");
    profile.email = r.Param("email");
    if (profile.name.empty() || Characters(profile.name) > 10 || Characters(profile.note) > 50)
        return WebReply::Text("fail");
    return data.UpdateUserProfile(uid, profile) ? Result(0) : WebReply::Text("fail");
}

// The server's own upload page for the head-photo window. The client puts
// the account into hid_userID once the page has loaded; the page calls the
// window's ConfirmHeadChg after an accepted upload and CloseDialog on
// "取消".
const char* const kUploadPage = R"PAGE(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>更换头像</title>
<style>
body { margin: 0; font-family: "宋体", sans-serif; font-size: 12px; background: #FFFFFF; }
#box { margin: 40px auto; width: 360px; border: 1px solid #9CC2DE; background: #F3F9FE; padding: 16px 20px; }
h3 { margin: 0 0 12px; font-size: 14px; color: #1D4F77; }
p { color: #555555; line-height: 20px; }
#buttons { margin-top: 16px; text-align: right; }
button { width: 70px; height: 24px; margin-left: 8px; }
#status { height: 20px; color: #C0392B; }
</style>
<script>
function upload() {
  var file = document.getElementById("file_headPhoto");
  if (!file.files || file.files.length == 0) { alert("请选择要上传的图片!"); return; }
  if (!/\.(jpg|jpeg|gif|png|bmp)$/i.test(file.files[0].name)) { alert("文件格式不正确 !"); return; }
  var xhr = new XMLHttpRequest();
  xhr.open("POST", "/Chirra_User/uploadHeadPhoto_pc");
  xhr.timeout = 15000;
  var done = function (text) {
    if (text == "success") { alert("头像修改成功!"); window.external.ConfirmHeadChg(); }
    else if (text == "oversize") alert("图片大小不能超过1M!");
    else if (text == "photoFail") alert("图片无法识别，头像未更换!");
    else alert("头像上传失败!");
  };
  xhr.onload = function () { done(xhr.status == 200 ? xhr.responseText : ""); };
  xhr.onerror = xhr.ontimeout = function () { done(""); };
  xhr.send(new FormData(document.getElementById("form_headPhoto")));
}
</script></head>
<body><div id="box"><h3>更换头像</h3>
<form id="form_headPhoto" onsubmit="upload(); return false;">
<input type="hidden" id="hid_userID" name="hid_userID" value="">
<p>请选择一张不超过1M的图片(jpg、gif、png、bmp):</p>
<input type="file" id="file_headPhoto" name="file_headPhoto" accept="image/*">
<div id="status"></div>
<div id="buttons"><button type="button" id="btnUpload" onclick="upload()">上传</button><button type="button" id="btnCancel" onclick="window.external.CloseDialog()">取消</button></div>
</form></div></body></html>
)PAGE";

WebReply UploadPage(const WebRequest&)
{
    WebReply page = WebReply::Text(kUploadPage);
    page.contentType = "text/html; charset=utf-8";
    return page;
}

WebReply UploadHead(StandinWeb& web, StandinService& data, const WebRequest& r)
{
    const int32_t uid = data.UserIdOfAccount(r.Param("hid_userID"));
    auto file = r.files.find("file_headPhoto");
    if (uid <= 0 || file == r.files.end() || file->second.empty()) return WebReply::Text("fail");
    if (file->second.size() > kMaxHeadBytes) return WebReply::Text("oversize");
    if (!IsWholeImage(file->second)) return WebReply::Text("photoFail");
    ServeImage(web, "/upload/face/" + std::to_string(uid) + ".png", file->second);
    return WebReply::Text("success");
}

}  // namespace

bool IsWholeImage(const std::string& bytes)
{
    return WholePng(bytes) || WholeJpeg(bytes) || WholeGif(bytes) || WholeBmp(bytes);
}

void ServeImage(StandinWeb& web, const std::string& path, const std::string& bytes)
{
    auto image = std::make_shared<const std::string>(bytes);
    web.Handle("GET", path, [image](const WebRequest&) {
        WebReply reply;
        reply.body = *image;
        reply.contentType = "image/png";
        return reply;
    });
}

void RegisterMievoApi(StandinWeb& web, StandinService& data)
{
    StandinService* d = &data;
    StandinWeb* w = &web;
    for (const char* method : {"GET", "POST"}) {
        web.Handle(method, "/api/user/getUserInfo.jsp", [d](const WebRequest& r) { return UserInfo(*d, r); });
        web.Handle(method, "/api/user/updateUserInfo.jsp", [d](const WebRequest& r) { return SaveUserInfo(*d, r); });
    }
    web.Handle("GET", "/Chirra_User/uploadHeadPhoto_pc.gsp", UploadPage);
    web.Handle("POST", "/Chirra_User/uploadHeadPhoto_pc",
               [w, d](const WebRequest& r) { return UploadHead(*w, *d, r); });
}

}  // namespace standin
