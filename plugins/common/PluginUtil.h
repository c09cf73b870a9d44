// Helpers every feature plug-in uses: the head-image probe of the web
// server (through the process's head loader), escaping of text for the places a page puts it, and the offering
// of a message to the plug-in's own windows.
#pragma once

#include "platform/CString.h"
#include "platform/heads.h"
#include "platform/msgdef.h"

#include <functional>
#include <set>
#include <utility>
#include <vector>

// Whether the web server holds an own head image for a user (isGroup FALSE,
// "/upload/face/<id>.png") or a group ("/upload/group/<id>.png"), as the
// process's head loader knows it this session. Only a 404 answer means no; a
// server that cannot be reached counts as no image, so a page is never left
// half-built. A head the loader does not know yet counts as none for now: it
// is asked for in the background, never waited for.
BOOL HasCustomHeadImage(BOOL isGroup, const CString& id);

// The head pictures one page shows. A head not known yet is shown with the
// fallback picture and asked for; when the answers come, `show` gets those
// entries whose own head turned up (UI thread, one call per batch), so that
// the page can put their pictures in place. Made and used on the UI thread.
class CPageHeads {
public:
    using Entries = std::vector<std::pair<BOOL, int>>;  // (isGroup, id)
    explicit CPageHeads(std::function<void(const Entries& arrived)> show);
    ~CPageHeads();
    CPageHeads(const CPageHeads&) = delete;
    CPageHeads& operator=(const CPageHeads&) = delete;

    // HasCustomHeadImage; a head not known yet is waited for (not blocking).
    BOOL HasOwn(BOOL isGroup, int id);
    // The page was built anew or closed: the heads waited for are no longer shown.
    void Clear();

private:
    void OnArrived(const std::vector<const lumheads::Head*>& batch);

    std::function<void(const Entries&)> m_show;
    std::set<std::pair<BOOL, int>> m_waiting;
    int m_nListener = 0;
};

// Text for HTML element content: & < > " ' become entities.
CString EscapeHtmlText(const CString& text);
// Text for an attribute value (single or double quoted): as above.
inline CString EscapeHtmlAttr(const CString& text)
{
    return EscapeHtmlText(text);
}
// A script string literal in double quotes; quotes, backslashes, line
// breaks and the characters < > & ' are written as escapes, so the literal
// is also safe inside an HTML attribute or a script element.
CString ScriptString(const CString& text);

// A number (100 to 1000100, as decimal text) put after the address of a
// head picture so that no cache answers for it.
CString CacheBustingNumber();

// Offers a message to the plug-in module's own windows, from the target
// window up through its parents; TRUE when one of them consumed it.
BOOL ModulePreTranslateMessage(MSG* msg);
