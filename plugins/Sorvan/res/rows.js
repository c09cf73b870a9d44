// Result rows of the result pages: drawing, hover and selection, the card
// button, adding the selected user as friend and asking to join the
// selected group. Texts from the server are set as text, never as markup.
var selectedRow = null;

function drawRows(list) {
    var box = document.getElementById("list");
    while (box.firstChild) box.removeChild(box.firstChild);
    selectedRow = null;
    for (var i = 0; i < list.length; ++i) box.appendChild(makeRow(list[i]));
}

function makeRow(item) {
    var id = String(item[PAGE.idKey]);
    var row = document.createElement("div");
    row.className = "row";
    row.id = id;
    row.resultName = item.name == null ? id : String(item.name);
    row.resultNote = item.note == null ? "" : String(item.note);

    var head = document.createElement("img");
    head.className = "head";
    head.width = 40;
    head.height = 40;
    head.onerror = function () {
        // The folder's default head, once; then nothing.
        if (this.src.indexOf("default.png") < 0) this.src = PAGE.face + "default.png";
        else this.style.visibility = "hidden";
    };
    head.src = PAGE.face + encodeURIComponent(id) + ".png?" + new Date().getTime();
    row.appendChild(head);

    var text = document.createElement("div");
    text.className = "text";
    var name = document.createElement("div");
    name.className = "name";
    name.textContent = row.resultName;
    var note = document.createElement("div");
    note.className = "note";
    note.textContent = item.note == null ? PAGE.noNote : String(item.note);
    text.appendChild(name);
    text.appendChild(note);
    row.appendChild(text);

    var view = document.createElement("div");
    view.className = "view";
    view.title = "查看资料";
    view.onclick = function (e) {
        e.stopPropagation();
        if (PAGE.kind == "user") window.external.view_friend_info(id);
        else window.external.view_group_info(id);
    };
    row.appendChild(view);

    row.onmouseover = function () { if (selectedRow !== row) row.style.backgroundColor = "#CFF5FF"; };
    row.onmouseout = function () { if (selectedRow !== row) row.style.backgroundColor = ""; };
    row.onclick = function () { selectRow(row); };
    return row;
}

// Clicking a row selects it; clicking the selected row again deselects it.
function selectRow(row) {
    if (selectedRow === row) {
        row.style.backgroundColor = "#CFF5FF";
        selectedRow = null;
        window.external.getId("");
        return;
    }
    if (selectedRow) selectedRow.style.backgroundColor = "";
    selectedRow = row;
    row.style.backgroundColor = "#FFEFB1";
    window.external.getId(row.id);
}

function clearSelection() {
    if (selectedRow) selectedRow.style.backgroundColor = "";
    selectedRow = null;
    window.external.getId("");
}

// The frame's button with nothing selected.
function alertWord(kind) {
    say(kind == "g" ? "请求选择一个群!" : "请求选择一个用户!");
}

function rowOf(id) {
    var rows = document.getElementById("list").childNodes;
    for (var i = 0; i < rows.length; ++i)
        if (rows[i].id == String(id)) return rows[i];
    return null;
}

function add_friend(verifycode, phone, frd_id) {
    post("/api/friend/addFriend.jsp", { phone: phone, user_id: frd_id, key: verifycode }, function (text) {
        var reply = parseReply(text);
        var code = reply ? Number(reply.result) : NaN;
        if (code === 0) {
            alert("恭喜,添加好友" + frd_id + "成功!");
            // The friend is listed under the name and note the result shows.
            var row = rowOf(frd_id);
            window.external.addFrdSuc(frd_id, row ? row.resultName : frd_id, row ? row.resultNote : "");
            repaint();
        } else if (code === -2) {
            say("抱歉,不能添加自己为好友!");
        } else if (code === -99) {
            say("抱歉,添加好友" + frd_id + "失败!请稍后重试!");
        } else if (code === -101) {
            say("您无法使用该功能!");
        } else {
            say("添加失败!");
        }
    }, function () { say("添加失败!"); });
}

function app_add_group(verifycode, phone, group_id) {
    post("/api/group/joinGroupUser.jsp", { phone: phone, group_id: group_id, key: verifycode }, function (text) {
        var reply = parseReply(text);
        var code = reply ? Number(reply.result) : NaN;
        if (code === 0) say("申请已经发送出去,请等待群主审批!");
        else if (code === -15) say("加入失败," + "群" + group_id + "群为班级群，请联系辅导员，进行加入!");
        else if (code === -12) say("加入失败," + "已经加入'8'个群了,不能再继续加入其它群了!");
        else if (code === -13) say("加入失败," + "您已经是'" + group_id + "'群的成员了,不需要再加入!");
        else if (code === -14) say("加入失败," + "群" + group_id + "已经达到最大人数限制,不能再新增成员了!");
        else if (code === -101) say("您无法使用该功能!");
        else say("操作失败,建议稍后再试!");
    }, function () { say("操作失败,建议稍后再试!"); });
}
