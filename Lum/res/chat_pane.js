// Script of the chat panes: the history and write areas, the font bar, the
// face and greeting pickers, and the functions the native pane calls.
var FACES = ['hh', 'sj', 'dx', 's', 'bb', 'gg', 'bz', 'gl', 'kf', 'll', 'mg', 'pc', 'yt', 'yw', 'lh', 'sa', 'wx'];
var SMS_TYPES = ['节日祝福', '生日祝福', '整蛊短信', '爱情短信'];
var SMS_PAGE = 4;
var font = { family: '宋体', size: 14, color: '#000000', bold: 0, italic: 0, underline: 0 };
var sms = { type: '', page: 1, total: 0 };
var lastOwnLine = null, ownLines = 0;

function $(id) { return document.getElementById(id); }
function histDoc() { return $('MsgHistoryIFrame').contentDocument; }
function writeDoc() { return $('MsgWriteIFrame').contentDocument; }
function writeBody() { return writeDoc().getElementById('insertMsg'); }
function pad(n) { return (n < 10 ? '0' : '') + n; }
function nowText() {
  var d = new Date();
  return d.getFullYear() + '-' + pad(d.getMonth() + 1) + '-' + pad(d.getDate()) + ' ' +
         pad(d.getHours()) + ':' + pad(d.getMinutes()) + ':' + pad(d.getSeconds());
}
// A local path as the address the page shows it by; "#", "?", "%" and
// blanks escaped. The page comes from the web server and may not load file:
// addresses: the pictures of the files folder are served as lumfile:.
function fileUrl(path) {
  return 'lumfile://' + encodeURI(path).replace(/#/g, '%23').replace(/\?/g, '%3F');
}
// Markup with the file: addresses of its pictures as the page shows them
// (toShown) or as lines keep them (!toShown).
function pictureAddresses(markup, toShown) {
  var from = toShown ? /^file:/i : /^lumfile:/i, to = toShown ? 'lumfile:' : 'file:';
  if (!/file:/i.test(markup)) return markup;
  var t = document.createElement('template');
  t.innerHTML = markup;
  var images = t.content.querySelectorAll('img[src]');
  if (!images.length) return markup;
  for (var i = 0; i < images.length; ++i) {
    var src = images[i].getAttribute('src');
    if (from.test(src)) images[i].setAttribute('src', src.replace(from, to));
  }
  return t.innerHTML;
}

// The style of the write area (and of the lines sent with it).
function fontStyle() {
  var family = String(font.family || '').replace(/[;"'<>&]/g, '');
  var color = /^#[0-9a-fA-F]{6}$/.test(font.color) ? font.color : '#000000';
  return 'font-family:' + family + ';font-size:' + (parseInt(font.size, 10) || 14) + 'px;color:' + color +
         ';font-weight:' + (font.bold == 1 ? 'bold' : 'normal') + ';font-style:' + (font.italic == 1 ? 'italic' : 'normal') +
         ';text-decoration:' + (font.underline == 1 ? 'underline' : 'none');
}
function applyFont() {
  var body = writeBody();
  if (body) body.setAttribute('style', fontStyle() + ';margin:4px;outline:none;word-wrap:break-word;min-height:80%');
  $('fontFamily').value = font.family;
  $('fontSize').value = String(parseInt(font.size, 10) || 14);
  $('fontBold').classList.toggle('on', font.bold == 1);
  $('fontItalic').classList.toggle('on', font.italic == 1);
  $('fontUnderline').classList.toggle('on', font.underline == 1);
  $('imgColor').style.background = font.color;
}
function changeFont(name, value) {
  if (name === 'fontfamily') font.family = value;
  else if (name === 'fontsize') font.size = parseInt(value, 10);
  else if (name === 'fontbold') font.bold = value === '1' ? 1 : 0;
  else if (name === 'fontitalic') font.italic = value === '1' ? 1 : 0;
  else if (name === 'underline') font.underline = value === '1' ? 1 : 0;
  else if (name === 'fontcolor') font.color = value;
  applyFont();
  window.external.updateFontSet(name, String(value));
}
function toggleStyle(name, key) { changeFont(name, font[key] == 1 ? '0' : '1'); }

function updateCount() {
  var body = writeBody();
  $('GetWriteLen').textContent = (body ? body.textContent.length : 0) + '字';
}

function initFrames() {
  var h = histDoc();
  h.open();
  h.write('<!DOCTYPE html><html><head><meta charset="utf-8"><style>' +
          'body{margin:6px;font:13px "WenQuanYi Zen Hei",sans-serif;color:#1d2a38;word-wrap:break-word}' +
          '.line{margin:0 0 8px 0;line-height:1.5}.line img{vertical-align:bottom;max-width:100%}' +
          '.undelivered{color:#c00000;margin-left:6px}' +
          'a{color:#1a5ea8}</style></head><body></body></html>');
  h.close();
  var w = writeDoc();
  w.open();
  w.write('<!DOCTYPE html><html><head><meta charset="utf-8"></head>' +
          '<body id="insertMsg" contenteditable="true"></body></html>');
  w.close();
  w.addEventListener('input', updateCount);
  w.addEventListener('keyup', updateCount);
  applyFont();
}

// ---------------------------------------------------------------- native calls

function getWriteTxt() {
  var body = writeBody();
  var html = body.innerHTML;
  var test = html.replace(/<(?!img\b)[^>]*>/gi, '').replace(/&nbsp;/gi, '');
  if (/^\s*$/.test(test)) return '';
  if (html === '') return '';
  if (html.length > 1000) return 'err1000';
  // Pictures and line breaks stay; blanks as a character reference, which
  // XML readers know.
  var text = pictureAddresses(html, false).replace(/<(?!(img|br)\b)[^>]*>/gi, '').replace(/&nbsp;/gi, '&#160;');
  var style = fontStyle();
  lastOwnLine = setHistoryTxt('<span style="' + style + '">' + nowText() + '<br/>我:' + text + '</span>');
  body.innerHTML = '';
  $('GetWriteLen').textContent = '0字';
  body.focus();
  return '<span style="' + style + '">' + text + '</span>';
}

function insertWriteTxt(markup) {
  var doc = writeDoc(), body = writeBody();
  body.focus();
  var sel = doc.getSelection();
  if (!sel.rangeCount || !body.contains(sel.anchorNode)) {
    var range = doc.createRange();
    range.selectNodeContents(body);
    range.collapse(false);
    sel.removeAllRanges();
    sel.addRange(range);
  }
  markup = pictureAddresses(markup, true);
  if (!doc.execCommand('insertHTML', false, markup)) body.insertAdjacentHTML('beforeend', markup);
  updateCount();
}

// The line was made safe by the native side: it is inserted as markup.
function setHistoryTxt(markup) {
  var doc = histDoc();
  var line = doc.createElement('div');
  line.className = 'line';
  line.innerHTML = pictureAddresses(markup, true);
  doc.body.appendChild(line);
  doc.defaultView.scrollTo(0, doc.body.scrollHeight);
  return line;
}

// The own line just shown gets an id, which the native side keeps while the
// line is being sent.
function nameSentLine() {
  if (!lastOwnLine) return '';
  lastOwnLine.id = 'sent_' + (++ownLines);
  var id = lastOwnLine.id;
  lastOwnLine = null;
  return id;
}

// The service did not take the line: it says so under its text.
function markUndelivered(id) {
  var doc = histDoc();
  var line = doc.getElementById(id);
  if (!line || line.getElementsByClassName('undelivered').length) return;
  var mark = doc.createElement('span');
  mark.className = 'undelivered';
  mark.textContent = '（发送失败，对方未收到）';
  line.appendChild(mark);
}

function setFontInfo(family, size, color, bold, italic, underline) {
  if (family) font.family = family;
  if (parseInt(size, 10) > 0) font.size = parseInt(size, 10);
  if (color) font.color = color;
  font.bold = bold == 1 ? 1 : 0;
  font.italic = italic == 1 ? 1 : 0;
  font.underline = underline == 1 ? 1 : 0;
  applyFont();
}

function setColor(color) { changeFont('fontcolor', color); }

// A picture arrived in the files folder: every image of that name shows it.
function ReLoadImg(id, folder) {
  var images = histDoc().getElementsByTagName('img');
  for (var i = 0; i < images.length; ++i)
    if (images[i].id === id) {
      images[i].src = '';
      images[i].src = fileUrl(folder + id);
    }
}

function ReUpdateFileProgress(fileId, percent, status) {
  var doc = histDoc();
  var out = doc.getElementById(fileId + '_out');
  if (out) out.style.display = 'block';
  var pro = doc.getElementById(fileId + '_pro');
  if (pro) {
    pro.style.width = percent + '%';
    pro.textContent = percent + '%';
  }
}

// ---------------------------------------------------------------- links in lines

function AcceptFile(fileId, groupId) {
  var doc = histDoc();
  var file = doc.getElementById(fileId + '_file');
  var span = doc.getElementById(fileId + '_span');
  if (span) span.textContent = '正在接收...';
  var out = doc.getElementById(fileId + '_out');
  if (out) out.style.display = 'block';
  window.external.TrunFile(fileId, file ? file.textContent : '', groupId);
}

function RefuseFile(fileId) {
  var span = histDoc().getElementById(fileId + '_span');
  if (span) span.textContent = '已经拒绝！';
}

function IsAccessJoinGroup(userId, isJoin, nRandom) {
  var span = histDoc().getElementById('joinGroup_' + userId + '_' + nRandom);
  if (isJoin == 1) {
    window.external.AccessJoinGroup(userId);
    if (span) span.textContent = '已经同意申请！';
  } else if (span) {
    span.textContent = '已经拒绝！';
  }
}

// ---------------------------------------------------------------- pickers

function closePopups(except) {
  ['faces', 'sms'].forEach(function (id) { if (id !== except) $(id).classList.remove('open'); });
}

function toggleFaces() {
  var box = $('faces');
  closePopups('faces');
  if (!box.firstChild) {
    FACES.forEach(function (name) {
      var img = document.createElement('img');
      img.src = '/upload/face_images/' + name + '.gif';
      img.title = name;
      img.onclick = function () {
        insertWriteTxt("<img src='/upload/face_images/" + name + ".gif' width='32' height='32' border='0'/>");
        box.classList.remove('open');
      };
      box.appendChild(img);
    });
  }
  box.classList.toggle('open');
}

function post(url, fields) {
  return fetch(url, { method: 'POST', body: new URLSearchParams(fields) }).then(function (r) { return r.text(); });
}

function showSmsPage(page) {
  sms.page = page;
  var list = $('smsList');
  list.textContent = '';
  post('/Chirra_recommendmsg/sms_list', { toPage: page, max: SMS_PAGE }).then(function (text) {
    var rows = [];
    try { rows = JSON.parse(text); } catch (e) { rows = []; }
    if (rows && !Array.isArray(rows)) rows = rows.list || rows.rows || [];
    rows.forEach(function (row) {
      var div = document.createElement('div');
      div.textContent = row && row.msg !== undefined ? row.msg : String(row);
      div.onclick = function () {
        var holder = document.createElement('div');
        holder.textContent = div.textContent;
        insertWriteTxt(holder.innerHTML);
        $('sms').classList.remove('open');
      };
      list.appendChild(div);
    });
    var pages = Math.max(1, Math.ceil(sms.total / SMS_PAGE));
    $('smsPage').textContent = page + '/' + pages;
  }).catch(function () {});
}

function chooseSmsType(type) {
  sms.type = type;
  var tabs = $('smsTypes').children;
  for (var i = 0; i < tabs.length; ++i) tabs[i].classList.toggle('on', tabs[i].textContent === type);
  post('/Chirra_recommendmsg/smsType', { type: type }).then(function (reply) {
    if (reply.trim() !== '1') return;
    post('/Chirra_recommendmsg/getSmsTotal', {}).then(function (total) {
      sms.total = parseInt(total, 10) || 0;
      showSmsPage(1);
    }).catch(function () { showSmsPage(1); });
  }).catch(function () {});
}

function smsStep(step) {
  var pages = Math.max(1, Math.ceil(sms.total / SMS_PAGE));
  var next = sms.page + step;
  if (next >= 1 && next <= pages) showSmsPage(next);
}

function toggleSms() {
  var box = $('sms');
  closePopups('sms');
  var tabs = $('smsTypes');
  if (!tabs.firstChild) {
    SMS_TYPES.forEach(function (type) {
      var tab = document.createElement('span');
      tab.textContent = type;
      tab.onclick = function () { chooseSmsType(type); };
      tabs.appendChild(tab);
    });
  }
  box.classList.toggle('open');
  if (box.classList.contains('open') && !sms.type) chooseSmsType(SMS_TYPES[0]);
}

function toggleFontBar() {
  $('fontbar').classList.toggle('open');
  $('btnFont').classList.toggle('on', $('fontbar').classList.contains('open'));
}

// Head pictures of the web server, with the default head when missing.
function setHead(img, url, fallback) {
  img.onerror = function () { img.onerror = null; img.src = fallback; };
  img.src = url;
}

// ---------------------------------------------------------------- the page

// Writes what both chat pages show, where the page's script stands: the
// conversation (history, tool bar, font bar, write area, count and
// buttons, face and greeting pickers) and, beside it, the card with the
// default head `head`, the page's own `rows` under the id and what the
// page puts `below` the card. The page calls initFrames() in a later script.
function writeChatPage(head, rows, below) {
  document.write(`<div id="main">
<iframe id="MsgHistoryIFrame" name="MsgHistoryIFrame" frameborder="0"></iframe>
<div class="bar" id="toolbar">
  <span class="tool" id="btnFont" title="字体设置" onclick="toggleFontBar()"><b>A</b> 字体</span>
  <span class="tool" id="btnFace" title="选择表情" onclick="toggleFaces()">&#9786; 表情</span>
  <span class="tool" id="btnSms" title="祝福短信" onclick="toggleSms()">&#9993; 短信</span>
  <span class="tool" id="ImgSendImage" title="发送图片">&#9635; 图片</span>
  <span class="tool" id="btnShot" title="截图">&#9986; 截图</span>
  <span class="grow"></span>
  <span class="tool" id="ImgShowHistory" title="查看消息记录">&#9719; 消息记录</span>
</div>
<div class="bar" id="fontbar">
  <select id="fontFamily" onchange="changeFont('fontfamily', this.value)">
    <option>宋体</option><option>黑体</option><option>楷体</option><option>微软雅黑</option><option>Arial</option><option>Times New Roman</option>
  </select>
  <select id="fontSize" onchange="changeFont('fontsize', this.value + 'px')">
    <option>12</option><option>13</option><option>14</option><option>16</option><option>18</option><option>20</option><option>24</option>
  </select>
  <span class="tool" id="fontBold" title="粗体" onclick="toggleStyle('fontbold', 'bold')"><b>B</b></span>
  <span class="tool" id="fontItalic" title="斜体" onclick="toggleStyle('fontitalic', 'italic')"><i>I</i></span>
  <span class="tool" id="fontUnderline" title="下划线" onclick="toggleStyle('underline', 'underline')"><u>U</u></span>
  <span id="imgColor" title="字体颜色"></span>
</div>
<iframe id="MsgWriteIFrame" name="MsgWriteIFrame" frameborder="0"></iframe>
<div id="bottom">
  <span id="GetWriteLen">0字</span>
  <button id="ButtonClose" onclick="window.external.HTMLCloseDlg()">关闭(C)</button>
  <button id="ButtonOK">发送(S)</button>
</div>
<div class="popup" id="faces"></div>
<div class="popup" id="sms"><div id="smsTypes"></div><div id="smsList"></div>
  <div id="smsPager"><span id="smsPage"></span><a onclick="smsStep(-1)">上一页</a><a onclick="smsStep(1)">下一页</a></div></div>
</div>
<div id="side">
  <div class="card">
    <img id="cardHead" src="${head}" alt="">
    <div class="name" id="cardName"></div>
    <div class="row" id="cardId"></div>
    ${rows}
    <div class="note" id="cardNote"></div>
  </div>
  ${below}
</div>`);
}

// The card: the head from `headUrl` (the default head `head` when missing),
// the name (the id when there is none), the id and the note's first 20
// characters.
function setCard(id, headUrl, head, note, name) {
  setHead($('cardHead'), headUrl, head);
  $('cardName').textContent = name || id;
  $('cardId').textContent = '(' + id + ')';
  $('cardNote').textContent = String(note || '').substring(0, 20);
}
