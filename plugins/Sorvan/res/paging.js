// Searching and paging of the result pages. The page sets PAGE (which API
// path, which list, texts of its own) before this script runs.
var account = "";
var verifyCode = "";
var paging = { key: "", page: 1, pages: 1 };
var HINT = "请输入关键字";
var PAGE_SIZE = 4;

function repaint() {
    window.external.updateHtmlDlg("");
}

function say(text) {
    alert(text);
    repaint();
}

// A reply evaluated as JSON; null when it is not.
function parseReply(text) {
    try {
        var value = JSON.parse(text);
        return value && typeof value === "object" ? value : null;
    } catch (e) {
        return null;
    }
}

// Form posts: jQuery encodes every field, so quotes, %, &, # and Chinese
// reach the server as typed.
function post(path, fields, done, failed) {
    $.ajax({
        type: "POST",
        url: path,
        data: fields,
        dataType: "text",
        cache: false,
        success: function (text) { done(text); },
        error: function () { failed(); }
    });
}

function getCurUserId(id) {
    account = id == null ? "" : String(id);
}

function getVerifyCode(code) {
    verifyCode = code == null ? "" : String(code);
}

// The search box: its hint shows while it is empty and unfocused.
function boxText() {
    var box = document.getElementById("searchKey");
    return box.className == "hint" ? "" : box.value;
}

function setBox(text) {
    var box = document.getElementById("searchKey");
    if (text == "" && document.activeElement !== box) {
        box.className = "hint";
        box.value = HINT;
    } else {
        box.className = "";
        box.value = text;
    }
}

function boxFocus() {
    var box = document.getElementById("searchKey");
    if (box.className == "hint") {
        box.className = "";
        box.value = "";
    }
}

function boxBlur() {
    var box = document.getElementById("searchKey");
    if (box.value == "") setBox("");
}

// A new search for `key`, from its first page.
function search(key) {
    if (key == null || key === "") return;
    key = String(key);
    clearSelection();
    setBox(key);
    paging.key = key;
    requestPage(1);
}

// The search button (or Enter) of the page.
function searchAgain() {
    var key = boxText();
    // The hint is not a search text.
    if (key == "" || key == HINT) {
        say("请输入搜索内容!");
        return;
    }
    search(key);
}

function requestPage(page) {
    post(PAGE.url,
         { key: verifyCode, phone: account, page_index: page, page_size: PAGE_SIZE, search_key: paging.key },
         function (text) { showPage(parseReply(text), page); },
         function () { say("查找失败,请重试!"); });
}

function showPage(reply, page) {
    if (!reply || Number(reply.result) !== 0) {
        say("查找失败,请重试!");
        return;
    }
    var count = Number(reply.total_count) || 0;
    $("#heading").text("搜索结果");
    $("#count").text(String(count));
    paging.page = page;
    paging.pages = Math.max(1, Math.ceil(count / PAGE_SIZE));
    if (!(Number(reply.total) > 0)) {
        // Nothing found: no pager, and no rows of an earlier search.
        $("#pager").hide();
        drawRows([]);
        return;
    }
    $("#cPage").text(String(page));
    $("#tPage").text(String(paging.pages));
    $("#pager").show();
    setArrow("prev", page > 1);
    setArrow("next", page < paging.pages);
    drawRows(reply[PAGE.listKey] || []);
}

function setArrow(id, on) {
    var arrow = document.getElementById(id);
    if ((arrow.className != "off") == on) return;
    arrow.className = on ? "" : "off";
    $(arrow).stop(true, true).fadeTo(200, on ? 1 : 0.25);
}

function prevPage() {
    if (paging.page <= 1) return;
    clearSelection();
    requestPage(paging.page - 1);
}

function nextPage() {
    if (paging.page >= paging.pages) return;
    clearSelection();
    requestPage(paging.page + 1);
}
