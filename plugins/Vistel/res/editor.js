// The remark and group-card editors: one text of at most 10 characters,
// posted to the web server; each page sets `editor` (its texts, what it
// posts and how it tells the host).
var HINT = "10个字符以内";
var uID = "", fID = "", verifyCode = "";

function byId(id) { return document.getElementById(id); }
function say(text) { byId("msg").textContent = text; }

function setIDs(u, f) { uID = u; fID = f; }
function getVerifyCode(code) { verifyCode = code; }

function onTextFocus() {
    var box = byId("text");
    if (box.className == "hint") { box.value = ""; box.className = ""; }
}

// The typed text; the hint counts as empty.
function typedText() {
    var box = byId("text");
    return box.className == "hint" ? "" : box.value;
}

function parseReply(text) {
    try { return JSON.parse(text); } catch (e) { return null; }
}

// Only a success answer counts as saved: then the host is told and the
// dialog ends; any other answer leaves the old text in place and says so.
function submitEdit() {
    var text = typedText();
    if (text.length > 10) {
        alert(editor.tooLong);
        window.external.RefreshWindow();
        return;
    }
    say("");
    byId("ok").disabled = true;
    var post = editor.post(text);
    $.ajax({ type: "POST", url: post.url, data: post.data, dataType: "text",
             success: function (reply) { done(parseReply(reply), text); },
             error: function () { done(null, text); } });
}

function done(reply, text) {
    byId("ok").disabled = false;
    if (reply && reply.result == 0) {
        editor.report(text);
        window.external.CloseWindow();
    } else {
        say(editor.failed);
        window.external.RefreshWindow();
    }
}

function cancelEdit() { window.external.CloseWindow(); }
