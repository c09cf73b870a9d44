// ExcelFile: workbooks written by the tests in both formats, read back as
// the member import reads them, written with results and read again; files
// that are no workbook or are damaged.
#include "platform/ExcelFile.h"
#include "platform/codepage.h"
#include "tests/platform/SheetFiles.h"
#include "tests/platform/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
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

// A workbook whose cells stand far apart (each row's value in the last
// column) is refused instead of taking all memory; one such cell is fine.
TEST(ExcelFileTest, RefusesSheetsTooLargeToHold)
{
    TempDir dir;
    auto write = [&](const std::string& name, int rows) {
        std::string sheet = "<worksheet xmlns='http://schemas.openxmlformats.org/spreadsheetml/2006/main'><sheetData>";
        for (int r = 1; r <= rows; ++r)
            sheet += "<row r='" + std::to_string(r) + "'><c r='XFD" + std::to_string(r) + "'><v>1</v></c></row>";
        sheet += "</sheetData></worksheet>";
        const std::string workbook =
            "<workbook xmlns='http://schemas.openxmlformats.org/spreadsheetml/2006/main' "
            "xmlns:r='http://schemas.openxmlformats.org/officeDocument/2006/relationships'>"
            "<sheets><sheet name='S' sheetId='1' r:id='rId1'/></sheets></workbook>";
        const std::string rels =
            "<Relationships xmlns='http://schemas.openxmlformats.org/package/2006/relationships'>"
            "<Relationship Id='rId1' Target='worksheets/sheet1.xml'/></Relationships>";
        int error = 0;
        zip_t* zip = zip_open(dir.file(name).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        EXPECT_NE(zip, nullptr);
        const std::vector<std::pair<const char*, const std::string*>> entries{
            {"xl/workbook.xml", &workbook}, {"xl/_rels/workbook.xml.rels", &rels}, {"xl/worksheets/sheet1.xml", &sheet}};
        for (const auto& entry : entries) {
            zip_source_t* src = zip_source_buffer(zip, entry.second->data(), entry.second->size(), 0);
            EXPECT_GE(zip_file_add(zip, entry.first, src, ZIP_FL_ENC_UTF_8), 0);
        }
        EXPECT_EQ(zip_close(zip), 0);
        return dir.file(name);
    };
    ExcelFile file;
    ASSERT_TRUE(file.OpenWorkbook(write("one.xlsx", 1).c_str()));
    ASSERT_TRUE(file.LoadSheet());
    EXPECT_EQ(file.GetCellText(1, 16384), "1");
    ASSERT_TRUE(file.OpenWorkbook(write("wide.xlsx", 4000).c_str()));
    EXPECT_FALSE(file.LoadSheet());
    EXPECT_EQ(file.GetRowCount(), 0);
}

}  // namespace
