// ExcelFile: workbooks written by the tests in both formats, read back as
// the member import reads them, written with results and read again; files
// that are no workbook or are damaged.
#include "platform/ExcelFile.h"
#include "platform/codepage.h"
#include "tests/platform/SheetFiles.h"
#include "tests/platform/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/resource.h>
#include <zip.h>

using sheetfiles::Rows;
using sheetfiles::Value;

namespace {

// The contact sheet both formats are checked with: a Chinese name, a
// mobile number typed as a number, an e-mail, a date, an empty row in the
// middle, a number with decimals.
Rows ContactRows()
{
    return {
        {"姓名", "手机号", "邮箱", "生日"},
        {"张三", 13800138000.0, "zhang@example.com", Value::DateOf(1990, 5, 17)},
        {},
        {"李四 <&'\">", "13900139000", "", Value::DateOf(2000, 2, 29)},
        {"", 12.5, "", Value::DateOf(1900, 3, 1)},
    };
}

class ExcelFileFormats : public ::testing::TestWithParam<const char*> {
protected:
    bool Write(const std::string& path, const Rows& rows)
    {
        return std::string(GetParam()) == "xls" ? sheetfiles::WriteXls(path, rows) : sheetfiles::WriteXlsx(path, rows);
    }
    std::string Name(const std::string& base) { return base + "." + GetParam(); }
    TempDir dir;
};

TEST_P(ExcelFileFormats, ReadsTextNumbersDatesAndEmptyRows)
{
    const std::string path = dir.file(Name("contacts"));
    ASSERT_TRUE(Write(path, ContactRows()));
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(path.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 5);
    EXPECT_EQ(file.GetColumnCount(), 4);
    EXPECT_EQ(file.GetCellText(1, 1), "姓名");
    EXPECT_EQ(file.GetCellText(2, 1), "张三");
    // A mobile number typed as a number: its plain digits.
    EXPECT_EQ(file.GetCellText(2, 2), "13800138000");
    EXPECT_EQ(file.GetCellText(2, 3), "zhang@example.com");
    EXPECT_EQ(file.GetCellText(2, 4), "1990-05-17");
    // The empty row stays a row of empty texts.
    for (long c = 1; c <= 4; ++c) EXPECT_EQ(file.GetCellText(3, c), "");
    EXPECT_EQ(file.GetCellText(4, 1), "李四 <&'\">");
    EXPECT_EQ(file.GetCellText(4, 2), "13900139000");
    EXPECT_EQ(file.GetCellText(4, 4), "2000-02-29");
    EXPECT_EQ(file.GetCellText(5, 2), "12");  // "%0.0f"
    EXPECT_EQ(file.GetCellText(5, 4), "1900-03-01");
    // Outside the sheet.
    EXPECT_EQ(file.GetCellText(6, 1), "");
    EXPECT_EQ(file.GetCellText(1, 9), "");
    EXPECT_EQ(file.GetCellText(0, 1), "");
}

TEST_P(ExcelFileFormats, FiveHundredRowsAndAnEmptySheet)
{
    Rows rows;
    for (int i = 0; i < 500; ++i)
        rows.push_back({"用户" + std::to_string(i), 13000000000.0 + i, "u" + std::to_string(i) + "@example.com"});
    const std::string path = dir.file(Name("many"));
    ASSERT_TRUE(Write(path, rows));
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(path.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    ASSERT_EQ(file.GetRowCount(), 500);
    EXPECT_EQ(file.GetCellText(1, 1), "用户0");
    EXPECT_EQ(file.GetCellText(500, 1), "用户499");
    EXPECT_EQ(file.GetCellText(500, 2), "13000000499");
    EXPECT_EQ(file.GetCellText(321, 3), "u320@example.com");

    const std::string empty = dir.file(Name("empty"));
    ASSERT_TRUE(Write(empty, {}));
    ASSERT_TRUE(file.OpenWorkbook(empty.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 0);
}

// Results written into column 4 are saved with the rest of the workbook,
// every worksheet included, and read back.
TEST_P(ExcelFileFormats, SavesResultsAndReadsThemBack)
{
    const std::string path = dir.file(Name("contacts"));
    std::vector<sheetfiles::SheetData> sheets{{"名单", ContactRows()}, {"Other", {{"x", 7.0}}}};
    ASSERT_TRUE(std::string(GetParam()) == "xls" ? sheetfiles::WriteXls(path, sheets)
                                                 : sheetfiles::WriteXlsx(path, sheets));
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(path.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    for (long row = 1; row <= 5; ++row) file.SetCellText(row, 4, row == 2 ? "成功" : "失败");
    const std::string saved = dir.file("saved.xlsx");
    ASSERT_TRUE(file.SaveAs(saved.c_str()));

    ExcelFile again;
    ASSERT_TRUE(again.OpenWorkbook(saved.c_str()));
    ASSERT_TRUE(again.LoadSheet());
    EXPECT_EQ(again.GetRowCount(), 5);
    EXPECT_EQ(again.GetCellText(2, 1), "张三");
    EXPECT_EQ(again.GetCellText(2, 2), "13800138000");
    EXPECT_EQ(again.GetCellText(2, 4), "成功");
    EXPECT_EQ(again.GetCellText(3, 4), "失败");
    EXPECT_EQ(again.GetCellText(4, 1), "李四 <&'\">");
    EXPECT_EQ(again.GetCellText(1, 4), "失败");
    EXPECT_EQ(again.GetCellText(5, 4), "失败");
}

INSTANTIATE_TEST_SUITE_P(Formats, ExcelFileFormats, ::testing::Values("xls", "xlsx"));

TEST(ExcelFileTest, DatesKeepTheirDayThroughSaving)
{
    TempDir dir;
    const std::string path = dir.file("dates.xls");
    ASSERT_TRUE(sheetfiles::WriteXls(path, Rows{{Value::DateOf(2023, 12, 31), "x"}, {Value::DateOf(1999, 1, 1)}}));
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(path.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    file.SetCellText(1, 3, "成功");
    const std::string saved = dir.file("dates.xlsx");
    ASSERT_TRUE(file.SaveAs(saved.c_str()));
    ExcelFile again;
    ASSERT_TRUE(again.OpenWorkbook(saved.c_str()));
    ASSERT_TRUE(again.LoadSheet());
    EXPECT_EQ(again.GetCellText(1, 1), "2023-12-31");
    EXPECT_EQ(again.GetCellText(2, 1), "1999-01-01");
    EXPECT_EQ(again.GetCellText(1, 3), "成功");
}

TEST(ExcelFileTest, DayNumbersAsDates)
{
    EXPECT_EQ(ExcelFile::DateText(1), "1900-01-01");
    EXPECT_EQ(ExcelFile::DateText(59), "1900-02-28");
    EXPECT_EQ(ExcelFile::DateText(61), "1900-03-01");
    EXPECT_EQ(ExcelFile::DateText(45000.75), "2023-03-15");
    EXPECT_EQ(ExcelFile::DateText(0, true), "1904-01-01");
}

// Texts come out in the ANSI code page in use.
TEST(ExcelFileTest, TextsInTheAnsiCodePage)
{
    TempDir dir;
    const std::string path = dir.file("gbk.xlsx");
    ASSERT_TRUE(sheetfiles::WriteXlsx(path, Rows{{"王五"}}));
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    ExcelFile file;
    const bool opened = file.OpenWorkbook(path.c_str()) && file.LoadSheet();
    const CString text = file.GetCellText(1, 1);
    file.SetCellText(1, 2, text);
    const bool saved = file.SaveAs(dir.file("gbk-out.xlsx").c_str());
    SetAnsiCodePage(CP_UTF8);
    ASSERT_TRUE(opened);
    EXPECT_EQ(text, CString(ConvertCodePage(CP_UTF8, CP_GBK, "王五")));
    ASSERT_TRUE(saved);
    ExcelFile again;
    ASSERT_TRUE(again.OpenWorkbook(dir.file("gbk-out.xlsx").c_str()) && again.LoadSheet());
    EXPECT_EQ(again.GetCellText(1, 2), "王五");
}

// Files that are no workbook, damaged workbooks and missing files are
// refused without harm.
TEST(ExcelFileTest, RefusesFilesThatAreNoWorkbook)
{
    TempDir dir;
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
        return dir.file(name);
    };
    ExcelFile file;
    EXPECT_FALSE(file.OpenWorkbook(dir.file("missing.xls").c_str()));
    EXPECT_FALSE(file.OpenWorkbook(write("text.xls", "姓名,手机号\n张三,138\n").c_str()));
    EXPECT_FALSE(file.OpenWorkbook(write("empty.xlsx", "").c_str()));
    EXPECT_FALSE(file.OpenWorkbook(dir.path().c_str()));  // a folder
    EXPECT_FALSE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 0);
    EXPECT_FALSE(file.SaveAs(dir.file("nothing.xlsx").c_str()));

    // A zip archive that holds no workbook.
    {
        lxw_workbook* book = workbook_new(dir.file("good.xlsx").c_str());
        workbook_add_worksheet(book, nullptr);
        ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
    }
    std::ifstream in(dir.file("good.xlsx"), std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(file.OpenWorkbook(write("cut.xlsx", good.substr(0, good.size() / 2)).c_str()));
    std::string garbled = good;
    for (size_t i = 100; i < garbled.size() - 100; i += 7) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    const std::string garbledPath = write("garbled.xlsx", garbled);
    EXPECT_FALSE(file.OpenWorkbook(garbledPath.c_str()) && file.LoadSheet());

    // A compound file cut short, and one whose workbook stream is garbage.
    ASSERT_TRUE(sheetfiles::WriteXls(dir.file("good.xls"), Rows{{"张三", 1.0}}));
    std::ifstream xin(dir.file("good.xls"), std::ios::binary);
    const std::string xls((std::istreambuf_iterator<char>(xin)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(file.OpenWorkbook(write("cut.xls", xls.substr(0, 700)).c_str()) && file.LoadSheet());
    std::string noise = xls;
    for (size_t i = 512; i < noise.size() - 1024; ++i) noise[i] = static_cast<char>((i * 131) & 0xFF);
    EXPECT_FALSE(file.OpenWorkbook(write("noise.xls", noise).c_str()) && file.LoadSheet());

    // After all that the same object still reads a good file.
    ASSERT_TRUE(file.OpenWorkbook(dir.file("good.xls").c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetCellText(1, 1), "张三");
}

// The most memory the process has taken so far, in megabytes.
long PeakMegabytes()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Small files that describe a lot: cells far apart (each row's value in the
// last column) and one long shared text used by many cells are held as
// what they are, not as the grid or the copies they stand for.
TEST(ExcelFileTest, FarApartCellsAndSharedTextsTakeLittleMemory)
{
    TempDir dir;
    const std::string wide = dir.file("wide.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(wide, sheetfiles::FarApartCells(3000)));
    std::string cells;
    for (int r = 1; r <= 300; ++r) cells += "<row r='" + std::to_string(r) + "'><c r='A" + std::to_string(r) + "' t='s'><v>0</v></c></row>";
    const std::string shared = dir.file("shared.xlsx");
    const std::string text(8u << 20, 'x');
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(shared, cells, "<si><t>" + text + "</t></si>"));
    EXPECT_LT(std::ifstream(wide, std::ios::ate | std::ios::binary).tellg(), 64 * 1024);
    EXPECT_LT(std::ifstream(shared, std::ios::ate | std::ios::binary).tellg(), 64 * 1024);

    const long before = PeakMegabytes();
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(wide.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 3000);
    EXPECT_EQ(file.GetColumnCount(), 16384);
    EXPECT_EQ(file.GetCellText(3000, 16384), "1");
    EXPECT_EQ(file.GetCellText(3000, 16383), "");
    ASSERT_TRUE(file.OpenWorkbook(shared.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 300);
    EXPECT_EQ(file.GetCellText(300, 1).GetLength(), static_cast<int>(text.size()));
    EXPECT_LT(PeakMegabytes() - before, 200) << "megabytes taken";

    // Its beginning alone, as often as the cells use it, costs no more than
    // the beginning: 300 whole copies would take over a second here.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 30; ++i)
        for (long r = 1; r <= 300; ++r) ASSERT_EQ(file.GetCellText(r, 1, 16), CString(std::string(16, 'x').c_str()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// A text's beginning is counted in the bytes the workbook keeps it in
// (UTF-8) and ends between whole characters; it comes in the ANSI code page
// in use, as every text.
TEST(ExcelFileTest, ATextsBeginningEndsBetweenCharacters)
{
    TempDir dir;
    const std::string path = dir.file("long.xlsx");
    ASSERT_TRUE(sheetfiles::WriteXlsx(path, Rows{{"王五ab赵六"}}));
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(path.c_str()) && file.LoadSheet());
    EXPECT_EQ(file.GetCellText(1, 1, 0), "");
    EXPECT_EQ(file.GetCellText(1, 1, 5), "王");
    EXPECT_EQ(file.GetCellText(1, 1, 6), "王五");
    EXPECT_EQ(file.GetCellText(1, 1, 10), "王五ab");
    EXPECT_EQ(file.GetCellText(1, 1, 100), "王五ab赵六");
    EXPECT_EQ(file.GetCellText(1, 2, 5), "");
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    const CString gbk = file.GetCellText(1, 1, 8);
    SetAnsiCodePage(CP_UTF8);
    EXPECT_EQ(gbk, CString(ConvertCodePage(CP_UTF8, CP_GBK, "王五ab")));
}

// Beyond the stated limits (65,536 rows, 1,000,000 values, 64 MB of text)
// a sheet is refused; just within them it is read.
TEST(ExcelFileTest, RefusesSheetsBeyondTheLimits)
{
    TempDir dir;
    ExcelFile file;
    const std::string last = dir.file("last.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(last, sheetfiles::FarApartCells(1, 65536)));
    ASSERT_TRUE(file.OpenWorkbook(last.c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 65536);

    const std::string beyond = dir.file("beyond.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(beyond, sheetfiles::FarApartCells(1, 65537)));
    ASSERT_TRUE(file.OpenWorkbook(beyond.c_str()));
    EXPECT_FALSE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 0);

    // Nine different texts of 8 MB each.
    std::string items, cells;
    for (int i = 0; i < 9; ++i) {
        items += "<si><t>" + std::string(8u << 20, static_cast<char>('a' + i)) + "</t></si>";
        cells += "<row r='" + std::to_string(i + 1) + "'><c r='A" + std::to_string(i + 1) + "' t='s'><v>" +
                 std::to_string(i) + "</v></c></row>";
    }
    const std::string texts = dir.file("texts.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(texts, cells, items));
    ASSERT_TRUE(file.OpenWorkbook(texts.c_str()));
    EXPECT_FALSE(file.LoadSheet());

    // More values than the limit, in a sheet within the rows.
    std::string many;
    for (int r = 1; r <= 62500; ++r) {
        many += "<row r='" + std::to_string(r) + "'>";
        for (int c = 0; c < 17; ++c) many += "<c><v>1</v></c>";
        many += "</row>";
    }
    const std::string full = dir.file("full.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(full, many));
    ASSERT_TRUE(file.OpenWorkbook(full.c_str()));
    EXPECT_FALSE(file.LoadSheet());
}

}  // namespace
