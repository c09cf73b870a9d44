// The message centre: the frame CDlgShowParlet and its page CDHtmlParlet.
// The page lists every contact and group with unread messages, with the
// messages themselves, and the user opens the chat of one entry (REPLY) or
// of all of them (REPLYALL).
#pragma once

#include "plugins/Parlet/ParletResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"
#include "plugins/common/PluginUtil.h"

#include <list>
#include <string>
#include <vector>

class CData;

class CDHtmlParlet : public CPluginPage {
    DECLARE_DYNCREATE(CDHtmlParlet)

public:
    CDHtmlParlet();

    void DoDataExchange(CDataExchange* dx) override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // Page method: the selected entry's id ("g<id>", "f<id>", or empty).
    void getId(const VARIANT& id);
    // Handlers of the page's REPLY and REPLYALL buttons.
    HRESULT OnReply(IHTMLElement*);
    HRESULT OnReplyAll(IHTMLElement*);

    // Moves the records of `unread` into the page's list (emptying `unread`)
    // and returns the list's markup and the number of messages.
    CString Fill(std::list<CData*>* unread, int* total);

    // One entry of the list: the host's record and what it was when the
    // list was filled. The kind and id are kept, so that choosing an entry
    // never reads a record the host may have freed since; the host checks
    // the pointer before it uses it.
    struct Entry {
        CData* record;
        bool group;
        int id;
    };

    CString m_strCount;
    CString m_strSelectedId;
    CString m_strRandom;
    std::vector<Entry> m_entries;

protected:
    // Closes the frame, then asks the notify window for the chat of each entry.
    void OpenChats(const std::vector<Entry>& entries);
    // The address of an entry's head: its own where the web server has one,
    // else the default (until its own arrives).
    CString HeadImage(bool group, int id);
    // Heads that came after the list was built replace the default pictures
    // of their entries.
    void ShowArrivedHeads(const CPageHeads::Entries& arrived);

    CPageHeads m_heads;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

class CDlgShowParlet : public CPluginFrame {
public:
    CDlgShowParlet();
    CString Caption() const override { return "消息中心"; }

    CDHtmlParlet m_html;

protected:
    LRESULT OnCloseFrame(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()
};

// Registers the centre's templates with the plug-in module.
void RegisterParletTemplates();

// The text of a queued message's content as the service carries it
// (percent-encoded UTF-8 markup): decoded into the ANSI code page, with its
// markup dropped and its entities resolved; a text longer than 64 KiB is
// cut there and ends with "……".
CString QueuedMessageText(const std::string& content);
