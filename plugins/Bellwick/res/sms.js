// What both SMS notice pages share: the account and verify code handed in by
// the program, the checks of a notice's text, posting to the web API and
// reading its reply, and the pager of the greeting templates.
var smsAccount = "";
var smsKey = "";
var smsBusy = false;
var SMS_MAX_LENGTH = 200;

function getCurUserId(account) { smsAccount = account; }
function getVerifyCode(code) { smsKey = code; }

function smsTrim(text) { return String(text).replace(/^\s+|\s+$/g, ""); }

// Characters as a person counts them (a character outside the basic plane
// counts once).
function smsLength(text) { return Array.from(text).length; }

// An alert, then the page is repainted.
function smsAlert(text) {
    alert(text);
    try { window.external.updateHtmlDialog(""); } catch (e) {}
}

// The notice text's refusal, or "" when it may be sent.
function smsCheckContent(content) {
    if (content == "") return "请输入发送内容!";
    if (smsLength(content) > SMS_MAX_LENGTH) return "短信内容不能超过200个字!";
    return "";
}

// The reply's `result` as a number; null when there is no usable reply (an
// error status, a timeout, a body that is not a JSON object with a result).
function smsResultOf(text) {
    var reply;
    try { reply = JSON.parse(text); } catch (e) { return null; }
    if (!reply || typeof reply != "object" || reply.result === undefined || reply.result === null) return null;
    var n = Number(reply.result);
    return isNaN(n) ? null : n;
}

// Posts `fields` to `path` of the web server; `done` gets the reply's result
// (null as above). One notice at a time: a second send while one is on its
// way is ignored.
function smsPost(path, fields, done) {
    if (smsBusy) return;
    smsBusy = true;
    $.ajax({
        type: "POST", url: path, data: fields, dataType: "text", cache: false, timeout: 10000,
        success: function (text) { smsBusy = false; done(smsResultOf(text)); },
        error: function () { smsBusy = false; done(null); }
    });
}

// ---------------------------------------------------------------- greeting templates

var smsPage = 1;
var smsPages = 1;
var SMS_PER_PAGE = 4;

// Fills `box` with the templates of page `page`; a click on one hands its
// text to `pick`.
function smsLoadTemplates(box, pager, page, pick) {
    $.ajax({
        type: "POST", url: "/Chirra_recommendmsg/sms_list", data: { toPage: page, max: SMS_PER_PAGE },
        dataType: "text", cache: false, timeout: 10000,
        success: function (text) {
            var list;
            try { list = JSON.parse(text); } catch (e) { list = null; }
            box.innerHTML = "";
            if (!list || !list.length) return;
            smsPage = page;
            for (var i = 0; i < list.length; ++i) {
                if (!list[i] || typeof list[i].msg != "string") continue;
                var row = document.createElement("div");
                row.className = "template";
                row.textContent = list[i].msg;
                row.onclick = (function (msg) { return function () { pick(msg); }; })(list[i].msg);
                box.appendChild(row);
            }
            smsShowPager(pager);
        }
    });
}

function smsShowPager(pager) {
    pager.textContent = smsPage + "/" + smsPages;
}

// The count of templates, for the pager.
function smsLoadTotal(pager) {
    $.ajax({
        type: "POST", url: "/Chirra_recommendmsg/getSmsTotal", dataType: "text", cache: false, timeout: 10000,
        success: function (text) {
            var total = parseInt(smsTrim(text), 10);
            smsPages = isNaN(total) || total <= 0 ? 1 : Math.ceil(total / SMS_PER_PAGE);
            smsShowPager(pager);
        }
    });
}

// Opens the greeting area: only when the server offers templates of the
// kind (its reply is 1) are they listed.
function smsOpenTemplates(box, pager, pick) {
    $.ajax({
        type: "POST", url: "/Chirra_recommendmsg/smsType", data: { type: "节日祝福" }, dataType: "text",
        cache: false, timeout: 10000,
        success: function (text) {
            if (smsTrim(text) != "1") return;
            smsLoadTemplates(box, pager, 1, pick);
            smsLoadTotal(pager);
        }
    });
}

function smsTurnPage(box, pager, step, pick) {
    var page = smsPage + step;
    if (page < 1 || page > smsPages) return;
    smsLoadTemplates(box, pager, page, pick);
}
