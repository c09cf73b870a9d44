// The body of a pushed message: the service carries the inner part of a
// "msg" element, percent-encoded UTF-8. The client decodes it into the ANSI
// code page and parses it; notices are an "info" child of that element.
#pragma once

#include "Common/HtmlText.h"
#include "Common/XMLNode.h"
#include "platform/CString.h"

#include <string>

// "%" followed by two hexadecimal digits (either case) becomes that byte,
// "+" a space; every other byte is copied (a "%" without two digits too).
// Decoding stops once maxBytes bytes are out.
std::string PercentDecode(const std::string& text, size_t maxBytes = std::string::npos);
// Wraps the content as "<msg>%s</msg>", percent-decodes it, converts it to
// the ANSI code page and parses it: the "msg" element, or the empty node
// when the text is not XML.
XMLNode ParseMessageBody(const std::string& content);
// The notice of a body: its "info" child whose "cmd" is `cmd` (the empty
// node when there is none or it names another notice).
XMLNode NoticeOf(const XMLNode& body, const char* cmd);
// An attribute of a node as text ("" when missing).
CString AttributeText(const XMLNode& node, const char* name);
// A sender's name from a notice, without "'", "/" and ">", which would
// break the markup it is shown in.
CString CleanNoticeName(CString name);

#include <vector>

// A local path as a file URL: "file://" and the path with every byte that
// is not a letter, a digit or one of "/-_.~" percent-escaped, so that names
// holding "#", "%" or blanks still load.
CString FileUrl(const CString& path);
// The plain text of a body: the texts of its top level joined in order.
CString PlainTextOf(const XMLNode& body);

// How a received body becomes what a chat pane shows.
struct DisplayRewrite {
    CString filesFolder;  // the own files folder, ending with '/'
    CString webBase;      // the web server's address, without a trailing '/'
    int gid = 0;          // the message's gid, for the file offers' links
    // Out: pictures named by the sender that are not in the files folder yet
    // (to fetch from the web server), and the ids of offered files.
    std::vector<CString> missingPictures;
    std::vector<CString> offeredFiles;
};
// The markup a pane shows for a received body ("<msg>...</msg>"): only the
// formatting elements and attributes a chat line uses pass (span, font, br,
// b, i, u, p, div, img with colours, fonts, sizes and ids); every text and
// attribute value is escaped, so script, event attributes and links of a
// peer never reach the page. Pictures named "file:///<name>" point into the
// files folder, or at the web server's loading picture when the file is not
// there yet (names that would leave the folder are refused); file offers
// become offer blocks with accept and refuse links.
CString DisplayMarkup(const XMLNode& body, DisplayRewrite& rewrite);
// DisplayMarkup of a received content; a content that is not XML shows as
// its text, escaped.
CString DisplayMarkupOf(const std::string& content, DisplayRewrite& rewrite);

// A person types at most 1,000 characters; a received body whose text is
// longer than this is shown cut (the history keeps it whole), so that one
// line never holds the window.
const size_t kShownBodyBytes = 64 * 1024;
// What a pane shows of a received content: the content itself when its
// decoded text is within `limit` bytes; otherwise its beginning, up to
// `limit` bytes of whole characters and never ending inside a tag or a
// character reference, percent-encoded again, with `cut` set.
std::string ShownContent(const std::string& content, size_t limit, bool* cut);
// The note after a cut body.
extern const char* const kCutBodyNote;
