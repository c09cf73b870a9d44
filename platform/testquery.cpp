// Answers questions a test driving the program from outside asks about its
// windows: where each control is, and where a page element is and what it
// says. The test writes the question into the property _LUM_QUERY of a
// top-level window ("<number> <verb> <argument>"); the answer comes back in
// _LUM_ANSWER of the same window, starting with the same number. Only when
// the program runs with LUM_TEST_QUERIES set in its environment.
//
// Verbs:
//   controls            one line per child window with a control id:
//                       "id<TAB>class<TAB>visible<TAB>x<TAB>y<TAB>w<TAB>h<TAB>text",
//                       the rectangle relative to the top-level window
//   element <selector>  "x y w h" of the first matching element of the page
//                       shown in the window, relative to the window; "none"
//   text <selector>     the element's text (its value for a form field)
//   items <id>          one line per row of the list control `id`:
//                       "x<TAB>y<TAB>w<TAB>h<TAB>text", the row's place
//                       relative to the top-level window (rows scrolled out
//                       of sight lie outside the list); with id 0, the
//                       entries of the popup menu the window is:
//                       "x<TAB>y<TAB>w<TAB>h<TAB>text<TAB>command id"
//   page                "loaded <address>" once the page shown in the
//                       window has loaded its document; "loading"; "none"
#include "platform/dhtml.h"
#include "platform/listctrl.h"
#include "platform/window_internal.h"

#include <wx/app.h>
#include <wx/textctrl.h>
#include <wx/window.h>

#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

namespace lumui {

namespace {

GdkAtom queryAtom()
{
    static const GdkAtom a = gdk_atom_intern_static_string("_LUM_QUERY");
    return a;
}

GdkAtom answerAtom()
{
    static const GdkAtom a = gdk_atom_intern_static_string("_LUM_ANSWER");
    return a;
}

// The screen origin of a window, from the layer's own geometry.
POINT originOf(HWND hwnd)
{
    POINT p{};
    for (WindowRecord* rec = Find(hwnd); rec; rec = (rec->style & WS_CHILD) ? Find(rec->parent) : nullptr) {
        p.x += rec->x;
        p.y += rec->y;
        if (!(rec->style & WS_CHILD)) break;
    }
    return p;
}

bool visibleInTree(HWND hwnd)
{
    for (WindowRecord* rec = Find(hwnd); rec; rec = (rec->style & WS_CHILD) ? Find(rec->parent) : nullptr) {
        if (!rec->visible) return false;
        if (!(rec->style & WS_CHILD)) break;
    }
    return true;
}

// Every window whose chain of parents leads to `top`, `top` first.
void treeOf(HWND top, const std::function<void(HWND, WindowRecord*)>& visit)
{
    for (const auto& entry : LiveWindows()) {
        WindowRecord* rec = Find(entry.first);
        if (!rec) continue;
        HWND h = entry.first;
        while (h && h != top) {
            WindowRecord* r = Find(h);
            h = r && (r->style & WS_CHILD) ? r->parent : nullptr;
        }
        if (h == top) visit(entry.first, rec);
    }
}

// The page shown in the window: the window itself or one of its children.
CDHtmlDialog* pageIn(HWND top)
{
    CDHtmlDialog* page = nullptr;
    treeOf(top, [&](HWND, WindowRecord* rec) {
        if (!page) page = dynamic_cast<CDHtmlDialog*>(rec->wnd);
    });
    return page;
}

std::string answer(HWND top, const std::string& verb, const std::string& argument)
{
    const POINT origin = originOf(top);
    std::ostringstream out;
    if (verb == "controls") {
        treeOf(top, [&](HWND h, WindowRecord* rec) {
            if (h == top || !rec->id) return;
            const POINT o = originOf(h);
            // An edit's text is what it shows now, typed text included.
            std::string text = rec->kind == WidgetKind::Edit
                                   ? std::string(static_cast<wxTextCtrl*>(rec->widget)->GetValue().utf8_str().data())
                                   : std::string(rec->text.GetString());
            for (char& c : text)
                if (c == '\n' || c == '\t') c = ' ';
            out << rec->id << '\t' << rec->className.GetString() << '\t' << (visibleInTree(h) ? 1 : 0) << '\t'
                << o.x - origin.x << '\t' << o.y - origin.y << '\t' << rec->cx << '\t' << rec->cy << '\t' << text
                << '\n';
        });
    } else if (verb == "element") {
        CDHtmlDialog* page = pageIn(top);
        CRect r;
        if (page && PageElementScreenRect(page, argument.c_str(), &r))
            out << r.left - origin.x << ' ' << r.top - origin.y << ' ' << r.Width() << ' ' << r.Height();
        else
            out << "none";
    } else if (verb == "text") {
        CDHtmlDialog* page = pageIn(top);
        CString text;
        if (page && PageElementText(page, argument.c_str(), &text)) out << text.GetString();
    } else if (verb == "items") {
        const int id = std::atoi(argument.c_str());
        auto line = [&](const CRect& r, const CString& text) {
            std::string t = text.GetString();
            for (char& c : t)
                if (c == '\n' || c == '\t') c = ' ';
            out << r.left - origin.x << '\t' << r.top - origin.y << '\t' << r.Width() << '\t' << r.Height() << '\t'
                << t;
        };
        if (id == 0) {
            std::vector<PopupMenuEntry> entries;
            PopupMenuEntries(top, &entries);
            for (const PopupMenuEntry& e : entries) {
                line(CRect(e.place.left + origin.x, e.place.top + origin.y, e.place.right + origin.x,
                           e.place.bottom + origin.y),
                     e.text);
                out << '\t' << static_cast<int>(e.id) << '\n';
            }
        } else {
            treeOf(top, [&](HWND h, WindowRecord* rec) {
                auto* list = dynamic_cast<CListCtrl*>(rec->wnd);
                if (static_cast<int>(rec->id) != id || !list) return;
                for (int i = 0; i < list->GetItemCount(); ++i) {
                    CRect r;
                    if (!list->GetItemRect(i, &r, LVIR_BOUNDS)) continue;
                    const POINT o = originOf(h);
                    r.OffsetRect(o.x, o.y);
                    line(r, list->GetItemText(i, 0));
                    out << '\n';
                }
            });
        }
    } else if (verb == "page") {
        CDHtmlDialog* page = pageIn(top);
        if (!page)
            out << "none";
        else if (page->m_strCurrentUrl.IsEmpty())
            out << "loading";
        else
            out << "loaded " << page->m_strCurrentUrl.GetString();
    }
    return out.str();
}

void answerQuery(HWND top, GtkWidget* widget)
{
    GdkWindow* w = gtk_widget_get_window(widget);
    if (!w) return;
    GdkAtom type = GDK_NONE;
    gint format = 0, length = 0;
    guchar* data = nullptr;
    if (!gdk_property_get(w, queryAtom(), GDK_NONE, 0, 65536, FALSE, &type, &format, &length, &data) || !data) return;
    const std::string query(reinterpret_cast<char*>(data), static_cast<size_t>(length));
    g_free(data);
    std::istringstream in(query);
    std::string number, verb, argument;
    in >> number >> verb;
    std::getline(in, argument);
    if (!argument.empty() && argument[0] == ' ') argument.erase(0, 1);
    // Answered after the event: reading a page runs script.
    wxTheApp->CallAfter([top, number, verb, argument] {
        WindowRecord* rec = Find(top);
        if (!rec || !rec->widget) return;
        GdkWindow* gw = gtk_widget_get_window(rec->widget->GetHandle());
        if (!gw) return;
        const std::string reply = number + "\n" + answer(top, verb, argument);
        gdk_property_change(gw, answerAtom(), gdk_atom_intern_static_string("UTF8_STRING"), 8, GDK_PROP_MODE_REPLACE,
                            reinterpret_cast<const guchar*>(reply.data()), static_cast<gint>(reply.size()));
    });
}

gboolean onProperty(GtkWidget* widget, GdkEventProperty* event, gpointer data)
{
    if (event->state == GDK_PROPERTY_NEW_VALUE && event->atom == queryAtom())
        answerQuery(static_cast<HWND>(data), widget);
    return FALSE;
}

}  // namespace

void AnswerTestQueries(HWND hwnd, GtkWidget* topLevel)
{
    static const bool enabled = getenv("LUM_TEST_QUERIES") != nullptr;
    if (!enabled) return;
    gtk_widget_add_events(topLevel, GDK_PROPERTY_CHANGE_MASK);
    g_signal_connect(topLevel, "property-notify-event", G_CALLBACK(onProperty), hwnd);
}

}  // namespace lumui
