// The record pane shared by the message manager and the history viewer: one
// page of the history store in rows, and the HTML pieces a pane is built of.
// Every text from the stores is escaped where it is put; a message body is
// shown as its text and its file: pictures (no other markup is rendered).
#pragma once

#include "platform/CString.h"

#include <vector>

class CFileDbMsg;

struct HistoryRow {
    CString rtime;   // "YYYY-MM-DD hh:mm:ss"
    CString tagmsg;  // ANSI code page
    int id = 0;
    int gid = 0;
    int type = 0;  // 1: the user's own line
    int gtype = 0;
};

// One page (index from 0) of the store's rows for the query, in its order.
std::vector<HistoryRow> FetchHistoryPage(CFileDbMsg* store, int id, int code, int kind, const CString& keyword,
                                         int pageIndex);

// The pane's frame around the records.
extern const char* const kPaneStart;
extern const char* const kPaneEnd;
// A heading line (text is escaped here).
CString HistoryHeading(const CString& text);
// The date line of a new date; `first` for the first date of the pane.
CString HistoryDateLine(const CString& date, bool first);
// One record: its time, the sender and the body (escaped here); `viewer`
// takes the history viewer's cell layout.
CString HistoryRecord(const CString& rtime, const CString& sender, const CString& body, bool viewer);
// A chat body as HTML: the texts of its markup (the body itself when it is
// not markup), escaped, with line breaks kept, and its file: pictures by
// their lumfile: addresses (the page serves only those of the files folder;
// the stored body keeps its file: addresses).
CString HistoryBodyHtml(const CString& tagmsg);
// The folder whose pictures a history page shows: the user's files folder,
// where the user's history store is (empty without a store).
CString PictureFolder(const CFileDbMsg* store);
// The category code the history store takes for a contact kind.
int CodeOfKind(int kind);
