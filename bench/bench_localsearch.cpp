// Local search as the user types, over 1,000 friends and 200 groups: each
// keystroke runs the search request of the quick-search box (matching both
// lists, filling the drop-down and painting it), against a bare baseline, a
// plain substring scan of the same names and ids into a vector, in the same
// run. Matching alone is timed as well. Needs an X display (run under
// xvfb-run).
//
//   bench_localsearch [rounds, default 20]
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivSearchList.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "platform/controls.h"
#include "platform/uiapp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kFriends = 1000;
const int kGroups = 200;

double ms(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double p95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() * 95 / 100];
}

double largest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

std::string FriendName(int k)
{
    static const char* family[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴", "徐", "孙"};
    static const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳", "杰", "涛"};
    std::string name = family[k % 12];
    name += given[(k / 12) % 14];
    if (k % 3 == 0) name += given[(k / 7) % 14];
    if (k % 10 == 0) name += " Li";
    return name;
}

std::string GroupName(int k)
{
    static const char* kinds[] = {"计算机", "数学", "物理", "篮球", "羽毛球", "合唱团"};
    return std::string(kinds[k % 6]) + std::to_string(k / 6 + 1) + "班群";
}

class Host : public CWnd {};

// The bare baseline: one pass over names and ids, substring test, matches
// appended to a vector.
struct Plain {
    std::vector<std::string> names;
    std::vector<std::string> ids;
    size_t Scan(const std::string& text, std::vector<int>& out) const
    {
        out.clear();
        const bool number = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i].find(text) != std::string::npos || (number && ids[i].find(text) != std::string::npos))
                out.push_back(static_cast<int>(i));
        return out.size();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }

    CKivUsersListCtrl friends;
    CKivGroupListCtrl groups;
    Plain plain;
    for (int k = 0; k < kFriends; ++k) {
        auto* rec = new CDataUser;
        rec->m_nId = 20001 + k * 7;
        rec->m_bstrName = FriendName(k).c_str();
        friends.m_mapUsers[rec->m_nId] = rec;
        plain.names.push_back(FriendName(k));
        plain.ids.push_back(std::to_string(rec->m_nId));
    }
    for (int k = 0; k < kGroups; ++k) {
        auto* rec = new CDataGroup;
        rec->m_nId = 501 + k;
        rec->m_nIsGroup = 1;
        rec->m_bstrName = GroupName(k).c_str();
        groups.m_mapGroups[rec->m_nId] = rec;
        plain.names.push_back(GroupName(k));
        plain.ids.push_back(std::to_string(rec->m_nId));
    }

    Host main;
    main.CreateEx(0, nullptr, "main", WS_POPUP | WS_VISIBLE, 200, 100, 202, 521, nullptr, 0);
    CEdit box;
    box.Create(ES_AUTOHSCROLL | WS_CHILD | WS_VISIBLE, CRect(10, 108, 167, 125), &main, 1013);
    lumui::Pump(50);

    // What the user types, one keystroke at a time: a Chinese name, a
    // latin part, an id, a group name, a text that matches nothing.
    const std::vector<std::string> words = {"张伟", "王芳娜", " Li", "2003", "20118", "计算机1", "羽毛球", "赵六七"};
    std::vector<std::string> keystrokes;
    for (const std::string& w : words) {
        std::string typed;
        for (size_t i = 0; i < w.size();) {
            size_t len = 1;
            const unsigned char c = static_cast<unsigned char>(w[i]);
            if (c >= 0xF0) len = 4;
            else if (c >= 0xE0) len = 3;
            else if (c >= 0xC0) len = 2;
            typed += w.substr(i, len);
            i += len;
            keystrokes.push_back(typed);
        }
    }

    // One warm-up pass creates the drop-down.
    box.SetWindowText("张");
    ShowSearchDropDown(&main, box, friends, groups, nullptr);
    lumui::Pump(50);

    std::vector<double> full, match, bare;
    size_t rowsShown = 0, matched = 0, scanned = 0;
    std::string slowestText;
    int slowestRows = 0;
    double slowest = 0;
    std::vector<int> plainOut;
    for (int r = 0; r < rounds; ++r) {
        for (const std::string& text : keystrokes) {
            Clock::time_point t = Clock::now();
            scanned += plain.Scan(text, plainOut);
            bare.push_back(ms(t));

            t = Clock::now();
            SearchResultSet found;
            SearchUsers(friends, text.c_str(), found);
            SearchGroups(groups, text.c_str(), found);
            match.push_back(ms(t));
            matched += found.size();

            box.SetWindowText(text.c_str());
            t = Clock::now();
            ShowSearchDropDown(&main, box, friends, groups, nullptr);
            CDlgSearchListctrl* drop = FindSearchDropDown(&main);
            drop->UpdateWindow();
            drop->m_list.UpdateWindow();
            full.push_back(ms(t));
            rowsShown += static_cast<size_t>(drop->m_list.GetItemCount());
            if (full.back() > slowest) {
                slowest = full.back();
                slowestText = text;
                slowestRows = drop->m_list.GetItemCount();
            }
        }
        lumui::Pump(0);
    }

    if (matched != scanned || rowsShown != scanned) {
        std::fprintf(stderr, "mismatch: scan %zu, search %zu, rows %zu\n", scanned, matched, rowsShown);
        return 1;
    }
    const double b = median(bare), m = median(match), f = median(full);
    std::printf("local search over %d friends and %d groups, %zu keystrokes x %d rounds\n", kFriends, kGroups,
                keystrokes.size(), rounds);
    std::printf("  bare substring scan       median %8.4f ms  p95 %8.4f ms  max %8.4f ms\n", b, p95(bare),
                largest(bare));
    std::printf("  matching (both lists)     median %8.4f ms  p95 %8.4f ms  max %8.4f ms  ratio %6.1f\n", m,
                p95(match), largest(match), b > 0 ? m / b : 0.0);
    std::printf("  keystroke with drop-down  median %8.4f ms  p95 %8.4f ms  max %8.4f ms  ratio %6.1f  (target < 5 ms)\n",
                f, p95(full), largest(full), b > 0 ? f / b : 0.0);
    std::printf("  slowest keystroke: \"%s\" with %d rows\n", slowestText.c_str(), slowestRows);
    ReleaseSearchDropDown(&main);
    box.DestroyWindow();
    main.DestroyWindow();
    return f < 5.0 ? 0 : 2;
}
