// Member-import sheet benchmark: a 10,000-row sheet (name, mobile number as a
// number, e-mail) read into the import view's list, against the bare
// libraries reading the same file in the same run:
//   .xls:  freexl opening the file and fetching the three cells of each row;
//   .xlsx: libzip inflating the worksheet and shared strings, and the same
//          plus a bare expat parse of both (no handlers).
// Prints the median of several runs of each and the ratio (target: within 2x).
// Run under xvfb-run (the list is a real window).
//
//   bench_excel [rows] [runs]   (defaults: 10000, 7)
//
// Also prints ExcelFile reading the file alone (open, load, every cell
// text), to tell the reading from the list's own cost.
#include "Lum/import/DlgGroupUserAdd.h"
#include "platform/uiapp.h"
#include "tests/platform/SheetFiles.h"

#include <expat.h>
#include <freexl.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(const std::function<bool()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!work()) {
            std::fprintf(stderr, "bench_excel: a run failed\n");
            std::exit(1);
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool FreexlRead(const std::string& path, long expectRows)
{
    const void* handle = nullptr;
    if (freexl_open(path.c_str(), &handle) != FREEXL_OK) return false;
    unsigned int rows = 0;
    unsigned short cols = 0;
    bool ok = freexl_select_active_worksheet(handle, 0) == FREEXL_OK &&
              freexl_worksheet_dimensions(handle, &rows, &cols) == FREEXL_OK;
    long seen = 0;
    for (unsigned int r = 0; ok && r < rows; ++r) {
        FreeXL_CellValue v;
        for (unsigned short c = 0; c < 3 && c < cols; ++c)
            if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) ok = false;
        ++seen;
    }
    freexl_close(handle);
    return ok && seen == expectRows;
}

bool ZipRead(const std::string& path, bool parse)
{
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!zip) return false;
    bool ok = true;
    for (const char* entry : {"xl/sharedStrings.xml", "xl/worksheets/sheet1.xml"}) {
        zip_file_t* file = zip_fopen(zip, entry, 0);
        if (!file) {
            ok = false;
            break;
        }
        XML_Parser parser = parse ? XML_ParserCreate("UTF-8") : nullptr;
        char buffer[64 * 1024];
        for (;;) {
            const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
            if (n < 0) {
                ok = false;
                break;
            }
            if (parser && XML_Parse(parser, buffer, static_cast<int>(n), n == 0) == XML_STATUS_ERROR) ok = false;
            if (n == 0) break;
        }
        if (parser) XML_ParserFree(parser);
        zip_fclose(file);
    }
    zip_discard(zip);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    if (!lumui::Start(argc, argv)) {
        std::fprintf(stderr, "bench_excel: no display (run under xvfb-run)\n");
        return 1;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("bench_excel_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    sheetfiles::Rows sheet;
    for (int i = 0; i < rows; ++i)
        sheet.push_back({"同学" + std::to_string(i), 13000000000.0 + i, "student" + std::to_string(i) + "@example.com"});
    const std::string xls = (dir / "people.xls").string();
    const std::string xlsx = (dir / "people.xlsx").string();
    if (!sheetfiles::WriteXls(xls, sheet) || !sheetfiles::WriteXlsx(xlsx, sheet)) {
        std::fprintf(stderr, "bench_excel: cannot write the sheets\n");
        return 1;
    }

    CDlgGroupUserAdd view;
    view.CreateView(nullptr);
    view.ShowWindow(SW_SHOW);
    lumui::Pump(50);
    auto intoList = [&](const std::string& path) {
        return [&view, path, rows] {
            view.Reset();
            const bool ok = view.LoadSheetFile(path.c_str()) &&
                            lumui::PumpUntil([&view] { return !view.IsReading(); }, 60000) &&
                            view.m_list.GetItemCount() == rows;
            lumui::Pump(0);
            return ok;
        };
    };

    // ExcelFile alone: open, load and every cell text of the three columns.
    auto readTexts = [](const std::string& path) {
        return [path] {
            ExcelFile f;
            if (!f.OpenWorkbook(path.c_str()) || !f.LoadSheet()) return false;
            size_t n = 0;
            for (long r = 1; r <= f.GetRowCount(); ++r)
                for (long c = 1; c <= 3; ++c) n += static_cast<size_t>(f.GetCellText(r, c).GetLength());
            return n > 0;
        };
    };

    std::printf("member-import sheet, %d rows x 3 columns, median of %d runs\n", rows, runs);
    const double xlsList = Median(intoList(xls), runs);
    const double xlsRead = Median(readTexts(xls), runs);
    const double xlsBare = Median([&] { return FreexlRead(xls, rows); }, runs);
    std::printf(".xls   freexl alone                 %8.1f ms\n", xlsBare);
    std::printf(".xls   ExcelFile read, cell texts   %8.1f ms   ratio %.2f\n", xlsRead, xlsRead / xlsBare);
    std::printf(".xls   into the import list         %8.1f ms   ratio %.2f\n", xlsList, xlsList / xlsBare);
    const double xlsxList = Median(intoList(xlsx), runs);
    const double xlsxRead = Median(readTexts(xlsx), runs);
    const double zipBare = Median([&] { return ZipRead(xlsx, false); }, runs);
    const double zipParse = Median([&] { return ZipRead(xlsx, true); }, runs);
    std::printf(".xlsx  libzip inflate alone         %8.1f ms\n", zipBare);
    std::printf(".xlsx  libzip + bare expat parse    %8.1f ms\n", zipParse);
    std::printf(".xlsx  ExcelFile read, cell texts   %8.1f ms   ratio %.2f (to inflate %.2f)\n", xlsxRead,
                xlsxRead / zipParse, xlsxRead / zipBare);
    std::printf(".xlsx  into the import list         %8.1f ms   ratio %.2f (to inflate %.2f)\n", xlsxList,
                xlsxList / zipParse, xlsxList / zipBare);
    view.DestroyWindow();
    std::filesystem::remove_all(dir);
    return 0;
}
